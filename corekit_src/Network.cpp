#include "Network.h"

#include "Connection.h"
#include "Assert.h"

bool Network::splitUrl(const std::string& url, std::string& host, int& port, std::string& path,
                       std::string& failure) {
  const std::string scheme = "http://";
  assertNoCondition(url.size() >= scheme.size() && url.compare(0, scheme.size(), scheme) == 0,
                    "getPageFromWebServer: unknown protocol, url not beginning by http://");
  const size_t slash = url.find('/', scheme.size());
  const size_t authorityEnd = slash == std::string::npos ? url.size() : slash;
  path = slash == std::string::npos ? "/" : url.substr(slash);
  const size_t colon = url.find(':', scheme.size());
  if (colon >= authorityEnd) {
    host = url.substr(scheme.size(), authorityEnd - scheme.size());
    return true;
  }
  host = url.substr(scheme.size(), colon - scheme.size());
  const std::string portText = url.substr(colon + 1, authorityEnd - colon - 1);
  // An empty port means the default one, as in any URL.
  if (portText.empty()) return true;
  long value = 0;
  for (const char digit : portText) {
    if (digit < '0' || digit > '9' || value > 65535) {
      value = -1;
      break;
    }
    value = value * 10 + (digit - '0');
  }
  if (value < 1 || value > 65535) {
    failure = "malformed port \"" + portText + "\" in " + url + ": a port is a number from 1 to 65535";
    return false;
  }
  port = static_cast<int>(value);
  return true;
}

std::optional<std::string> Network::getPageFromWebServer(bool verbose, const std::string& url,
                                                         int port, double timeoutSeconds,
                                                         int* statusCode) {
  if (statusCode != nullptr) *statusCode = 0;
  std::string host;
  std::string path;
  std::string failure;
  const bool isSplit = splitUrl(url, host, port, path, failure);
  // The server as the url names it: the host, and the port when the url gives one.
  const std::string server = url.substr(7, url.find('/', 7) - 7);
  if (!isSplit) {
    showProblem("getPageFromWebServer: no page from " + server + " (" + failure + ")");
    return std::nullopt;
  }
  std::string errorText;
  Connection connection(host, port, verbose, errorText, timeoutSeconds);
  std::optional<std::string> page;
  if (errorText.empty() && connection.connect()) page = connection.request(path);
  // Offline play, a server that is down or one that never finishes must not stop the game.
  if (!page) {
    showProblem("getPageFromWebServer: no page from " + server + " (" + connection.getFailure() +
                ")");
  } else if (statusCode != nullptr) {
    *statusCode = connection.getStatus();
  }
  return page;
}
