// Thin socket layer over POSIX sockets: create, resolve, bind, connect.
// Each failure prints a fixed diagnostic text to standard output.
// Addresses and ports are IPv4 in network byte order.
#pragma once
#include <cstdint>

enum { NET_INVALID_SOCKET = -1, NET_SOCK_STREAM = 1 };
enum { NET_NAME_SIZE = 1024, NET_BUFFER_SIZE = 16384 };

// The socket library needs no start-up here; kept so callers pair
// StartWinsock/StopWinsock as every operation does.
int  StartWinsock();               // always 1
void StopWinsock();

int      CreateSocket(int type);   // socket or NET_INVALID_SOCKET
void     CloseSocket(int socket);
uint32_t GetHostAddress(const char* name);            // 0 when unresolved
uint32_t GetLocalHost();                              // 0 when unresolved
uint16_t GetServicePort(const char* service, const char* protocol);  // 0xFFFF on failure

// option 1: any address and port; 2: this computer, given port;
// 3: this computer, service port. A set anyAddress forces option 1.
// Returns 0 on success, -1 or the error code otherwise.
int BindSocket(int option, int socket, const char* service, const char* protocol,
               int port, int anyAddress);
// option 2: this computer, given port; 3: this computer, service port;
// 4: host at port 80; 5: host at the given port. Returns 0 on success.
// The connection attempt is bounded by the connect time-out.
int ConnectToServer(int option, int socket, const char* host, const char* service,
                    const char* protocol, int port);
// Binds to an explicit address (network order) and port.
int BindSocketToAddress(int socket, uint32_t address, int port);

// Time-outs in milliseconds, settable for the whole program (tests use short ones).
void net_set_connect_timeout_ms(int ms);   // default 5000
void net_set_receive_timeout_ms(int ms);   // default 30000: silence that ends a transfer
int  net_connect_timeout_ms();
int  net_receive_timeout_ms();
// Applies receive and send time-outs to a connected socket.
void net_apply_timeouts(int socket, int receiveMs);
// Sends all bytes (never raises SIGPIPE); 1 when everything went out.
int  net_send_all(int socket, const char* bytes, int count);
// Last socket error code (errno), as the diagnostics print it.
int  net_last_error();
