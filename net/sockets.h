// What is left of the socket layer beside libcurl: the time-outs every
// transfer uses and the helpers of the remote position server's sockets.
#pragma once
#include <cstdint>

enum { NET_NAME_SIZE = 1024, NET_BUFFER_SIZE = 16384 };

// The socket library needs no start-up here; kept so callers pair
// StartWinsock/StopWinsock as every operation does.
int  StartWinsock();               // always 1
void StopWinsock();

void CloseSocket(int socket);

// Time-outs in milliseconds, settable for the whole program (tests use short ones).
void net_set_connect_timeout_ms(int ms);   // default 5000
void net_set_receive_timeout_ms(int ms);   // default 30000: silence that ends a transfer
int  net_connect_timeout_ms();
int  net_receive_timeout_ms();
// Applies receive and send time-outs to a connected socket.
void net_apply_timeouts(int socket, int receiveMs);
// Sends all bytes (never raises SIGPIPE); 1 when everything went out.
int  net_send_all(int socket, const char* bytes, int count);
