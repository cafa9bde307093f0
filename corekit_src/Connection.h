#ifndef COREKIT_CONNECTION_H
#define COREKIT_CONNECTION_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <string>

#include "PlatformSockets.h"

/// One blocking HTTP/1.0 exchange with a web server: owns the TCP socket, sends lines and reads
/// lines. Used for a single request, then destroyed (which closes the socket).
class Connection {
 public:
  /// Responses are cut at this many bytes (status line and headers included), with a problem
  /// report, so that a runaway server cannot exhaust memory.
  static constexpr size_t maxResponseSize = 16 * 1024 * 1024;

  /// Creates the socket and looks the host up. errorText is empty on success; otherwise it
  /// explains the failure and the connection must only be destroyed.
  Connection(const std::string& parHostName, int parPort, bool parVerbose,
             std::string& errorText);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  /// Connects to the host's address and port; a failure is a fatal report.
  void connect();
  /// Sends the line followed by one line feed.
  void sendLine(const std::string& line);
  /// One line, its line feed included; "" when the connection is closed or broken.
  std::string readLine();
  /// Sends a GET request for path, or a form POST when formFields is given (fields in ascending
  /// name order, not escaped), and answers the body of the response.
  std::string request(const std::string& path,
                      const std::map<std::string, std::string>* formFields = nullptr);

 private:
  /// The next received byte; false when the connection is closed or broken.
  bool readByte(char& byte);

  PlatformSockets::SocketHandle socketHandle;
  std::string hostName;
  uint32_t address = 0;
  int port;
  bool verbose;

  // Bytes received but not yet handed out by readLine (the socket is read in blocks).
  char receiveBuffer[4096];
  size_t receivedSize = 0;
  size_t receivedPosition = 0;
  // Every byte received so far, checked against maxResponseSize.
  size_t nbBytesReceived = 0;
  bool isResponseTooLarge = false;
};

#endif
