#ifndef COREKIT_NETWORK_H
#define COREKIT_NETWORK_H

#include <optional>
#include <string>

/// Fetches web pages for the game over plain HTTP/1.0, waiting until the server closes the
/// connection or the time allowed runs out.
class Network {
 public:
  static constexpr int defaultPort = 80;

  /// The body of the page at url ("http://host/path?query" or "http://host:port/path"), every
  /// byte as the server sent it, or nothing, with a problem report naming the host and the
  /// cause, when the url's port is malformed, the host cannot be found, refuses the connection
  /// or the exchange takes longer than timeoutSeconds (name look-up included; 0 or less:
  /// Connection::defaultTimeoutSeconds). Any other scheme is a fatal report. `port` is the
  /// server port when the url names none (80 unless a test serves the page elsewhere).
  /// statusCode, when given, receives the reply's status code (0 without a page or without a
  /// status line).
  static std::optional<std::string> getPageFromWebServer(bool verbose, const std::string& url,
                                                         int port = defaultPort,
                                                         double timeoutSeconds = 0.0,
                                                         int* statusCode = nullptr);

  /// Splits an "http://" url into the host (up to the first "/" or ":"), the port (after that
  /// ":", up to the "/"; left as it is when the url names none or leaves it empty) and the path
  /// (from the "/", "/" when there is none). Any other scheme is a fatal report. A port that
  /// is not a number from 1 to 65535 answers false, with the reason in `failure`.
  static bool splitUrl(const std::string& url, std::string& host, int& port, std::string& path,
                       std::string& failure);
};

#endif
