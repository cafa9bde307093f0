#ifndef COREKIT_CONNECTION_H
#define COREKIT_CONNECTION_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>

#include "HttpReply.h"
#include "PlatformSockets.h"

/// One HTTP/1.0 exchange with a web server: owns the TCP socket, sends the request and reads the
/// reply.
/// Used for a single request, then destroyed (which closes the socket). Every step (the host
/// look-up, connecting, sending, receiving) ends at one deadline set at construction, so that a
/// server that stays silent or stalls cannot hold the caller longer than the time given.
class Connection {
 public:
  static constexpr size_t maxResponseSize = HttpReply::maxSize;
  /// HTTP's own port, which the Host line leaves unsaid.
  static constexpr int httpPort = 80;
  /// Time allowed for a whole exchange when the caller gives none (0 or less).
  static constexpr double defaultTimeoutSeconds = 10.0;

  /// Creates the socket and looks the host up. errorText is empty on success; otherwise it
  /// explains the failure (getFailure() then holds the short cause) and the connection must
  /// only be destroyed.
  Connection(const std::string& parHostName, int parPort, bool parVerbose,
             std::string& errorText, double timeoutSeconds = defaultTimeoutSeconds);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// Connects to the host's address and port; false (getFailure() set) when refused,
  /// unreachable or out of time.
  bool connect();
  /// Sends the line followed by a carriage return and a line feed, the line end of HTTP.
  void sendLine(const std::string& line);
  /// Sends a GET request for path, or a form POST when formFields is given (fields in ascending
  /// name order, not escaped; the body is sent as its length announces, with nothing after it),
  /// and answers the body of the response, every byte as it came; nothing (getFailure() set)
  /// when the time ran out first. The Host line names the port when it is not 80.
  std::optional<std::string> request(
      const std::string& path, const std::map<std::string, std::string>* formFields = nullptr);

  /// The status code of the last response (200, 404...); 0 before one came or when its first
  /// line was not an HTTP status line.
  int getStatus() const { return status; }
  /// Why the exchange failed, as a short text naming the cause; empty while all went well.
  const std::string& getFailure() const { return failure; }

 private:
  std::string timeoutText(const char* step) const;
  /// Sends the bytes as they are, unless the time already ran out.
  void sendBytes(const std::string& bytes);

  PlatformSockets::SocketHandle socketHandle;
  std::string hostName;
  uint32_t address = 0;
  int port;
  bool verbose;
  double timeoutSeconds;
  int64_t deadline;
  bool isTimedOut = false;
  int status = 0;
  std::string failure;
};

#endif
