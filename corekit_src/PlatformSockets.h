#ifndef COREKIT_PLATFORMSOCKETS_H
#define COREKIT_PLATFORMSOCKETS_H

#include <cstddef>
#include <cstdint>
#include <string>

// The few socket services the HTTP client needs, kept apart from the rest of the code: blocking
// IPv4 TCP sockets. POSIX sockets need no library start-up or shut-down.
namespace PlatformSockets {

using SocketHandle = int;

/// A new IPv4 stream socket (negative when the system refuses one).
SocketHandle createStreamSocket();

/// Looks the host name up and keeps the first IPv4 address (network byte order). On failure
/// answers false and sets errorText to the system's text for the failure.
bool lookUpHost(const std::string& hostName, uint32_t& address, std::string& errorText);

/// Connects to address (network byte order) and port. On failure answers false and sets
/// errorText to the system's text for the failure.
bool connectSocket(SocketHandle socket, uint32_t address, int port, std::string& errorText);

/// Sends every byte (looping over partial sends); a peer that has gone away never raises a
/// signal. Answers false on an error.
bool sendAll(SocketHandle socket, const char* data, size_t size);

/// Receives at most `capacity` bytes: the count received, 0 when the peer closed the
/// connection, negative on an error.
long receive(SocketHandle socket, char* buffer, size_t capacity);

void closeSocket(SocketHandle socket);

}  // namespace PlatformSockets

#endif
