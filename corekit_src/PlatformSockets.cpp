#include "PlatformSockets.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "Platform.h"

namespace PlatformSockets {

namespace {

// What the resolver thread hands back; shared, so that an abandoned thread still has it.
struct Lookup {
  std::mutex mutex;
  std::condition_variable finished;
  bool isFinished = false;
  bool isFound = false;
  uint32_t address = 0;
  std::string errorText;
};

void resolve(const std::string& hostName, Lookup& lookup) {
  hostent entry;
  hostent* he = nullptr;
  int hostError = 0;
  std::vector<char> work(8192);
  while (gethostbyname_r(hostName.c_str(), &entry, work.data(), work.size(), &he, &hostError) ==
             ERANGE &&
         work.size() < (1u << 20))
    work.resize(work.size() * 2);
  uint32_t address = 0;
  std::string errorText;
  const bool isFound = he != nullptr && he->h_addrtype == AF_INET && he->h_length == 4 &&
                       he->h_addr_list[0] != nullptr;
  if (isFound)
    std::memcpy(&address, he->h_addr_list[0], 4);
  else
    errorText = he == nullptr ? hstrerror(hostError) : "no IPv4 address";
  std::lock_guard<std::mutex> lock(lookup.mutex);
  lookup.isFound = isFound;
  lookup.address = address;
  lookup.errorText = errorText;
  lookup.isFinished = true;
  lookup.finished.notify_all();
}

// Milliseconds left until the deadline, for poll (0 once it has passed).
int millisecondsLeft(int64_t deadline) {
  const int64_t left = deadline - Platform::getMicroseconds();
  if (left <= 0) return 0;
  const int64_t milliseconds = (left + 999) / 1000;
  return milliseconds > INT_MAX ? INT_MAX : static_cast<int>(milliseconds);
}

// Waits until the socket is ready for `events` (POLLIN or POLLOUT): done, timed out, or failed.
Outcome waitFor(SocketHandle socket, short events, int64_t deadline) {
  for (;;) {
    pollfd entry{socket, events, 0};
    const int result = ::poll(&entry, 1, millisecondsLeft(deadline));
    if (result > 0) return Outcome::done;
    if (result == 0) {
      if (Platform::getMicroseconds() >= deadline) return Outcome::timedOut;
      continue;
    }
    if (errno != EINTR) return Outcome::failed;
  }
}

}  // namespace

SocketHandle createStreamSocket() {
  const SocketHandle socket = ::socket(AF_INET, SOCK_STREAM, 0);
  // Never blocking: every wait goes through poll with the time left.
  if (socket >= 0) fcntl(socket, F_SETFL, fcntl(socket, F_GETFL, 0) | O_NONBLOCK);
  return socket;
}

Outcome lookUpHost(const std::string& hostName, int64_t deadline, uint32_t& address,
                   std::string& errorText) {
  const std::shared_ptr<Lookup> lookup = std::make_shared<Lookup>();
  try {
    std::thread([lookup, hostName] { resolve(hostName, *lookup); }).detach();
  } catch (const std::system_error&) {
    // No thread to be had: look up on this one, without a time limit.
    resolve(hostName, *lookup);
  }
  std::unique_lock<std::mutex> lock(lookup->mutex);
  const auto left = std::chrono::microseconds(deadline - Platform::getMicroseconds());
  if (!lookup->finished.wait_for(lock, left, [&lookup] { return lookup->isFinished; }))
    return Outcome::timedOut;
  if (!lookup->isFound) {
    errorText = lookup->errorText;
    return Outcome::failed;
  }
  address = lookup->address;
  return Outcome::done;
}

Outcome connectSocket(SocketHandle socket, uint32_t address, int port, int64_t deadline,
                      std::string& errorText) {
  sockaddr_in server;
  std::memset(&server, 0, sizeof(server));
  server.sin_family = AF_INET;
  server.sin_port = htons(static_cast<uint16_t>(port));
  server.sin_addr.s_addr = address;
  if (::connect(socket, reinterpret_cast<const sockaddr*>(&server), sizeof(server)) == 0)
    return Outcome::done;
  int error = errno;
  if (error == EINPROGRESS || error == EINTR) {
    const Outcome waited = waitFor(socket, POLLOUT, deadline);
    if (waited == Outcome::timedOut) return waited;
    error = errno;
    if (waited == Outcome::done) {
      socklen_t length = sizeof(error);
      if (getsockopt(socket, SOL_SOCKET, SO_ERROR, &error, &length) != 0) error = errno;
      if (error == 0) return Outcome::done;
    }
  }
  errorText = std::strerror(error);
  return Outcome::failed;
}

Outcome sendAll(SocketHandle socket, const char* data, size_t size, int64_t deadline) {
  while (size > 0) {
    // MSG_NOSIGNAL: a server that closed early must not end the program through SIGPIPE.
    const ssize_t nbSent = ::send(socket, data, size, MSG_NOSIGNAL);
    if (nbSent < 0) {
      if (errno == EINTR) continue;
      if (errno != EAGAIN && errno != EWOULDBLOCK) return Outcome::failed;
      const Outcome waited = waitFor(socket, POLLOUT, deadline);
      if (waited != Outcome::done) return waited;
      continue;
    }
    data += nbSent;
    size -= static_cast<size_t>(nbSent);
  }
  return Outcome::done;
}

long receive(SocketHandle socket, char* buffer, size_t capacity, int64_t deadline,
             bool& isTimedOut) {
  isTimedOut = false;
  for (;;) {
    const ssize_t nbReceived = ::recv(socket, buffer, capacity, 0);
    if (nbReceived >= 0) return static_cast<long>(nbReceived);
    if (errno == EINTR) continue;
    if (errno != EAGAIN && errno != EWOULDBLOCK) return -1;
    const Outcome waited = waitFor(socket, POLLIN, deadline);
    if (waited == Outcome::timedOut) isTimedOut = true;
    if (waited != Outcome::done) return -1;
  }
}

void closeSocket(SocketHandle socket) {
  if (socket >= 0) ::close(socket);
}

}  // namespace PlatformSockets
