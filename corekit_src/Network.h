#ifndef COREKIT_NETWORK_H
#define COREKIT_NETWORK_H

#include <optional>
#include <string>

/// Fetches web pages for the game over plain HTTP/1.0, blocking until the server closes the
/// connection.
class Network {
 public:
  static constexpr int defaultPort = 80;

  /// The body of the page at url ("http://host/path?query"; no port syntax), or nothing when the
  /// host cannot be found. Any other scheme is a fatal report. `port` is the server port (80
  /// unless a test serves the page elsewhere).
  static std::optional<std::string> getPageFromWebServer(bool verbose, const std::string& url,
                                                         int port = defaultPort);

  /// Splits an "http://" url into the host (up to the first "/") and the path (from that "/",
  /// "/" when there is none). Any other scheme is a fatal report.
  static void splitUrl(const std::string& url, std::string& host, std::string& path);
};

#endif
