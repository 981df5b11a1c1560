// Bytes from the decoders to the receiver. The serial link installs the
// write hook while a port is open; tests install their own to capture writes.
#pragma once

// Returns 1 when the write was accepted, 0 when it failed (or nothing is installed).
typedef int (*ReceiverWriteHook)(const char* bytes, int count, void* context);

void receiver_set_write_hook(ReceiverWriteHook hook, void* context);
int  receiver_write(const char* bytes, int count);
