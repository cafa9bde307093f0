#include "PlatformSockets.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace PlatformSockets {

SocketHandle createStreamSocket() { return ::socket(AF_INET, SOCK_STREAM, 0); }

bool lookUpHost(const std::string& hostName, uint32_t& address, std::string& errorText) {
  // The engine makes every socket call on the main thread, so the non-reentrant lookup is safe.
  const hostent* he = gethostbyname(hostName.c_str());
  if (he == nullptr || he->h_addrtype != AF_INET || he->h_length != 4 ||
      he->h_addr_list[0] == nullptr) {
    errorText = he == nullptr ? hstrerror(h_errno) : "no IPv4 address";
    return false;
  }
  std::memcpy(&address, he->h_addr_list[0], 4);
  return true;
}

bool connectSocket(SocketHandle socket, uint32_t address, int port, std::string& errorText) {
  sockaddr_in server;
  std::memset(&server, 0, sizeof(server));
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(port));
  server.sin_addr.s_addr = address;
  int result;
  do {
    result = ::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof(server));
  } while (result != 0 && errno == EINTR);
  if (result == 0) return true;
  errorText = std::strerror(errno);
  return false;
}

bool sendAll(SocketHandle socket, const char* data, size_t size) {
  while (size > 0) {
    // MSG_NOSIGNAL: a server that closed early must not end the program through SIGPIPE.
    const ssize_t nbSent = ::send(socket, data, size, MSG_NOSIGNAL);
    if (nbSent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += nbSent;
    size -= static_cast<size_t>(nbSent);
  }
  return true;
}

long receive(SocketHandle socket, char* buffer, size_t capacity) {
  ssize_t nbReceived;
  do {
    nbReceived = ::recv(socket, buffer, capacity, 0);
  } while (nbReceived < 0 && errno == EINTR);
  return static_cast<long>(nbReceived);
}

void closeSocket(SocketHandle socket) {
  if (socket >= 0) ::close(socket);
}

}  // namespace PlatformSockets
