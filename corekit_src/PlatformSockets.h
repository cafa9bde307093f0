#ifndef COREKIT_PLATFORMSOCKETS_H
#define COREKIT_PLATFORMSOCKETS_H

#include <cstddef>
#include <cstdint>
#include <string>

// The few socket services the HTTP client needs, kept apart from the rest of the code: IPv4 TCP
// sockets whose every wait ends at a deadline, so that a silent server or resolver cannot hold
// the caller. Deadlines are absolute times of Platform::getMicroseconds(). POSIX sockets need no
// library start-up or shut-down.
namespace PlatformSockets {

using SocketHandle = int;

/// How a call that may wait ended.
enum class Outcome { done, failed, timedOut };

/// A new IPv4 stream socket (negative when the system refuses one).
SocketHandle createStreamSocket();

/// Looks the host name up and keeps the first IPv4 address (network byte order). On failure
/// sets errorText to the system's text for it. The system resolver has no time limit of its
/// own: it runs on a thread of its own, which is left to finish alone when the deadline comes.
Outcome lookUpHost(const std::string& hostName, int64_t deadline, uint32_t& address,
                   std::string& errorText);

/// Connects to address (network byte order) and port. On failure sets errorText to the
/// system's text for it.
Outcome connectSocket(SocketHandle socket, uint32_t address, int port, int64_t deadline,
                      std::string& errorText);

/// Sends every byte (looping over partial sends); a peer that has gone away never raises a
/// signal.
Outcome sendAll(SocketHandle socket, const char* data, size_t size, int64_t deadline);

/// Receives at most `capacity` bytes: the count received, 0 when the peer closed the
/// connection, negative on an error or when the deadline came first (then isTimedOut is set).
long receive(SocketHandle socket, char* buffer, size_t capacity, int64_t deadline,
             bool& isTimedOut);

void closeSocket(SocketHandle socket);

}  // namespace PlatformSockets

#endif
