// The remote position server: while the device is REMOTE, a small HTTP/1.0
// server on its own thread takes posted positions into the fix record and
// answers GET with an identification page. Listens on basePort.
#pragma once
#include <cstdint>

struct AppSettings;

enum { REMOTE_STALE_SECONDS = 300 };

// Starts the server thread into settings->readerThread and sets
// readerThreadId; returns once the server listens (or has failed to).
// Returns 1 when the thread was started, 0 when a server is already running.
int  remote_server_start(AppSettings* settings);
// Stops the server and waits for its thread. Always ends: the wait does not
// depend on the network, and the server's repaints never wait on it.
void remote_server_stop(AppSettings* settings);
// The thread procedure: 1 after a normal stop, 0 when listening failed.
// Clears readerThreadId when it ends.
int  remote_server_thread(AppSettings* settings);

// Lets the serial link's Connect and Disconnect start and stop the server
// for the REMOTE device. Call once at program start.
void net_install_remote_hooks();

int     remote_server_running();
int     remote_server_port();            // port listened on, 0 when not listening
int64_t remote_last_position_time();     // seconds since 1970, 0 before the first post

// Address to listen on; empty (the default) means this computer's own
// address (the first address of its host name).
void remote_server_set_listen_host(const char* host);
// Silence that ends a client's request (default 5000 ms).
void remote_server_set_client_timeout_ms(int ms);
