// The remote position server: while the device is REMOTE, a small HTTP/1.0
// server on its own thread takes posted positions into the fix record and
// answers GET with an identification page. Listens on basePort, on every
// address unless Listen= names one.
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
int64_t remote_last_position_time();     // platform_monotonic_seconds(), 0 before the first post

// Where the server listens, for the user: "Remote server on all addresses,
// port N" or "Remote server on ADDRESS port N". 0 (out empty) when not
// listening.
int  remote_server_listen_text(char* out, int size);

// Address to listen on when Listen= is not set; empty (the default) means
// every address of this computer.
void remote_server_set_listen_host(const char* host);
// Time a client has to send its request, from its connection (default
// 2000 ms); connections are served at once, so a slow one holds up nobody.
void remote_server_set_client_timeout_ms(int ms);
