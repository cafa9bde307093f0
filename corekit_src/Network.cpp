#include "Network.h"

#include "Connection.h"
#include "Assert.h"

void Network::splitUrl(const std::string& url, std::string& host, std::string& path) {
  const std::string scheme = "http://";
  assertNoCondition(url.size() >= scheme.size() && url.compare(0, scheme.size(), scheme) == 0,
                    "getPageFromWebServer: unknown protocol, url not beginning by http://");
  const size_t slash = url.find('/', scheme.size());
  if (slash == std::string::npos) {
    host = url.substr(scheme.size());
    path = "/";
  } else {
    host = url.substr(scheme.size(), slash - scheme.size());
    path = url.substr(slash);
  }
}

std::optional<std::string> Network::getPageFromWebServer(bool verbose, const std::string& url,
                                                         int port, double timeoutSeconds) {
  std::string host;
  std::string path;
  splitUrl(url, host, path);
  std::string errorText;
  Connection connection(host, port, verbose, errorText, timeoutSeconds);
  std::optional<std::string> page;
  if (errorText.empty() && connection.connect()) page = connection.request(path);
  // Offline play, a server that is down or one that never finishes must not stop the game.
  if (!page) showProblem("getPageFromWebServer: no page from " + host + " (" +
                         connection.getFailure() + ")");
  return page;
}
