#ifndef COREKIT_NETWORK_H
#define COREKIT_NETWORK_H

#include <optional>
#include <string>

/// Fetches web pages for the game over plain HTTP/1.0, waiting until the server closes the
/// connection or the time allowed runs out.
class Network {
 public:
  static constexpr int defaultPort = 80;

  /// The body of the page at url ("http://host/path?query"; no port syntax), or nothing, with a
  /// problem report naming the host and the cause, when the host cannot be found, refuses the
  /// connection or the exchange takes longer than timeoutSeconds (name look-up included; 0 or
  /// less: Connection::defaultTimeoutSeconds). Any other scheme is a fatal report. `port` is
  /// the server port (80 unless a test serves the page elsewhere).
  static std::optional<std::string> getPageFromWebServer(bool verbose, const std::string& url,
                                                         int port = defaultPort,
                                                         double timeoutSeconds = 0.0);

  /// Splits an "http://" url into the host (up to the first "/") and the path (from that "/",
  /// "/" when there is none). Any other scheme is a fatal report.
  static void splitUrl(const std::string& url, std::string& host, std::string& path);
};

#endif
