#include <gtest/gtest.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <regex>
#include <string>
#include <thread>

#include "Connection.h"
#include "HttpReply.h"
#include "Network.h"

namespace {

// A web server on 127.0.0.1 (ephemeral port) that serves one connection: it reads the whole
// request, answers the given bytes and closes the connection, or, when stalling, keeps it open
// until the client goes. Listening starts in the constructor, so a client may connect at once.
class LoopbackServer {
 public:
  explicit LoopbackServer(std::string parResponse, bool parIsStalling = false)
      : response(std::move(parResponse)), isStalling(parIsStalling) {
    listener = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = 0;
    EXPECT_EQ(bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
    EXPECT_EQ(listen(listener, 1), 0);
    socklen_t length = sizeof(address);
    getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    worker = std::thread([this] { serve(); });
  }

  ~LoopbackServer() {
    if (worker.joinable()) worker.join();
    close(listener);
  }

  int getPort() const { return port; }

  /// The request as received (complete once the client has its answer).
  const std::string& getRequest() {
    if (worker.joinable()) worker.join();
    return request;
  }

 private:
  // A request is whole after its header block and, for a form, the body.
  bool isRequestComplete() const {
    const size_t headerEnd = request.find("\r\n\r\n");
    if (headerEnd == std::string::npos) return false;
    const size_t lengthField = request.find("Content-Length: ");
    if (lengthField == std::string::npos || lengthField > headerEnd) return true;
    const size_t bodyLength = std::stoul(request.substr(lengthField + 16));
    return request.size() >= headerEnd + 4 + bodyLength;
  }

  void serve() {
    const int client = accept(listener, nullptr, nullptr);
    if (client < 0) return;
    char block[1024];
    while (!isRequestComplete()) {
      const ssize_t nbReceived = recv(client, block, sizeof(block), 0);
      if (nbReceived <= 0) break;
      request.append(block, static_cast<size_t>(nbReceived));
    }
    // A client that stops reading early makes the rest of the send fail: that is expected.
    size_t sent = 0;
    while (sent < response.size()) {
      const ssize_t nbSent =
          send(client, response.data() + sent, response.size() - sent, MSG_NOSIGNAL);
      if (nbSent <= 0) break;
      sent += static_cast<size_t>(nbSent);
    }
    while (isStalling && recv(client, block, sizeof(block), 0) > 0) {
    }
    close(client);
  }

  std::string response;
  bool isStalling;
  std::string request;
  int listener = -1;
  int port = 0;
  std::thread worker;
};

std::optional<std::string> fetch(LoopbackServer& server, const std::string& path,
                                 bool verbose = false) {
  return Network::getPageFromWebServer(verbose, "http://127.0.0.1" + path, server.getPort());
}

const std::string okHeader = "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n";

TEST(NetworkTest, UrlGivesHostAndPathWithItsQuery) {
  std::string host;
  std::string path;
  std::string failure;
  int port = 80;
  EXPECT_TRUE(Network::splitUrl("http://example.org", host, port, path, failure));
  EXPECT_EQ(host, "example.org");
  EXPECT_EQ(path, "/");
  EXPECT_TRUE(Network::splitUrl("http://example.org/scores/top.php?level=3&name=a/b", host, port, path, failure));
  EXPECT_EQ(host, "example.org");
  EXPECT_EQ(path, "/scores/top.php?level=3&name=a/b");
  EXPECT_TRUE(Network::splitUrl("http://", host, port, path, failure));
  EXPECT_EQ(host, "");
  EXPECT_EQ(path, "/");
  EXPECT_EQ(port, 80);
  EXPECT_EQ(failure, "");
}

TEST(NetworkTest, UrlPortIsReadAndAMalformedOneIsRefused) {
  const struct {
    const char* url;
    const char* host;
    int port;
    const char* path;
  } good[] = {
      {"http://127.0.0.1:8000/x?a=b:c", "127.0.0.1", 8000, "/x?a=b:c"},
      {"http://example.org:65535", "example.org", 65535, "/"},
      {"http://example.org:1/", "example.org", 1, "/"},
      {"http://example.org:/p", "example.org", 80, "/p"},  // empty: the default
      {"http://example.org/a:b", "example.org", 80, "/a:b"},  // a colon of the path
  };
  for (const auto& c : good) {
    std::string host;
    std::string path;
    std::string failure;
    int port = 80;
    EXPECT_TRUE(Network::splitUrl(c.url, host, port, path, failure)) << c.url << failure;
    EXPECT_EQ(host, c.host) << c.url;
    EXPECT_EQ(port, c.port) << c.url;
    EXPECT_EQ(path, c.path) << c.url;
  }
  for (const char* portText : {"abc", "0", "65536", "-1", "+80", " 80", "80a", "99999999999999999999999"}) {
    std::string host;
    std::string path;
    std::string failure;
    int port = 80;
    const std::string url = std::string("http://127.0.0.1:") + portText + "/x";
    EXPECT_FALSE(Network::splitUrl(url, host, port, path, failure)) << url;
    EXPECT_EQ(failure, std::string("malformed port \"") + portText + "\" in " + url +
                           ": a port is a number from 1 to 65535");
    // Refused at once, reported as such (not as a host that cannot be found), and no page.
    testing::internal::CaptureStderr();
    EXPECT_EQ(Network::getPageFromWebServer(false, url), std::nullopt);
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_EQ(report, "ERROR : getPageFromWebServer: no page from 127.0.0.1:" + std::string(portText) + " (" +
                          failure + ")\n");
  }
}

TEST(NetworkTest, UrlPortIsTheServerPortAndTheHostLineNamesIt) {
  LoopbackServer server(okHeader + "on my port");
  const std::string port = std::to_string(server.getPort());
  int status = -1;
  // The port argument (80 here) only serves urls that name none.
  EXPECT_EQ(Network::getPageFromWebServer(false, "http://127.0.0.1:" + port + "/p", 80, 0.0, &status),
            "on my port");
  EXPECT_EQ(status, 200);
  EXPECT_EQ(server.getRequest(), "GET /p HTTP/1.0\r\nHost: 127.0.0.1:" + port + "\r\n\r\n");
}

TEST(NetworkTest, OtherSchemesAreFatal) {
  for (const char* url : {"https://example.org/", "ftp://example.org", "HTTP://example.org/",
                          "http:/", "", "example.org/index.html"}) {
    EXPECT_EXIT(Network::getPageFromWebServer(false, url), testing::ExitedWithCode(1),
                "getPageFromWebServer: unknown protocol, url not beginning by http://")
        << url;
  }
}

TEST(NetworkTest, GetSendsTheRequestLinesAndAnswersTheBodyByteForByte) {
  LoopbackServer server(okHeader + "line one\r\nline two\n\r\nlast");
  EXPECT_EQ(fetch(server, "/page.php?q=1&r=/x"), "line one\r\nline two\n\r\nlast");
  const std::string port = std::to_string(server.getPort());
  EXPECT_EQ(server.getRequest(), "GET /page.php?q=1&r=/x HTTP/1.0\r\nHost: 127.0.0.1:" + port + "\r\n\r\n");

  LoopbackServer root(okHeader + "home");
  EXPECT_EQ(Network::getPageFromWebServer(false, "http://127.0.0.1", root.getPort()), "home");
  EXPECT_EQ(root.getRequest(),
            "GET / HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(root.getPort()) + "\r\n\r\n");
}

// Every byte value, and the runs of line feeds and zero bytes that once ended the body, come
// through as sent, together with the status code.
TEST(NetworkTest, BinaryBodyKeepsEveryByteAndTheStatusComes) {
  std::string binary("\0\0\n\0\n\n\0\r\n\r\n\0", 11);
  for (int round = 0; round < 64; ++round)
    for (int value = 0; value < 256; ++value) binary += static_cast<char>((value * 7 + round) & 0xff);
  binary += std::string("\n\0", 2);
  LoopbackServer server("HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\n\r\n" + binary);
  int status = -1;
  EXPECT_EQ(Network::getPageFromWebServer(false, "http://127.0.0.1/bin", server.getPort(), 0.0, &status), binary);
  EXPECT_EQ(status, 200);
}

TEST(NetworkTest, BodyDoesNotDependOnHowTheNetworkSlicesIt) {
  const std::string reply = "HTTP/1.0 203 Fine\nX: y\n\r\n" + std::string("a\0\0b\n\0\nc", 8);
  for (size_t slice : {size_t(1), size_t(2), size_t(5), reply.size()}) {
    HttpReply parsed;
    for (size_t at = 0; at < reply.size(); at += slice) parsed.take(reply.data() + at, std::min(slice, reply.size() - at));
    parsed.finish();
    EXPECT_EQ(parsed.getBody(), std::string("a\0\0b\n\0\nc", 8)) << slice;
    EXPECT_EQ(parsed.getStatus(), 203) << slice;
  }
}

TEST(NetworkTest, HeadersEndAtABareLineFeedToo) {
  LoopbackServer server("HTTP/1.0 200 OK\nServer: tiny\n\nbody\n");
  EXPECT_EQ(fetch(server, "/"), "body\n");
}

TEST(NetworkTest, ChunkedBodyLosesOnlyItsFirstSizeLine) {
  LoopbackServer server(
      "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n");
  EXPECT_EQ(fetch(server, "/"), "hello\r\n0\r\n\r\n");
}

TEST(NetworkTest, ErrorStatusBodiesAreAnsweredLikeAnyOther) {
  LoopbackServer server("HTTP/1.0 404 Not Found\r\n\r\nno such page");
  int status = 0;
  EXPECT_EQ(Network::getPageFromWebServer(false, "http://127.0.0.1/missing", server.getPort(), 0.0, &status),
            "no such page");
  EXPECT_EQ(status, 404);
}

TEST(NetworkTest, FormIsPostedInNameOrderWithItsLength) {
  LoopbackServer server(okHeader + "stored");
  std::string errorText;
  Connection connection("127.0.0.1", server.getPort(), false, errorText);
  ASSERT_EQ(errorText, "");
  const std::map<std::string, std::string> fields = {{"b", "2"}, {"a", "1"}};
  ASSERT_TRUE(connection.connect());
  EXPECT_EQ(connection.request("/save", &fields), "stored");
  // The body is exactly the announced bytes.
  EXPECT_EQ(server.getRequest(),
            "POST /save HTTP/1.0\r\nHost: 127.0.0.1:" + std::to_string(server.getPort()) +
                "\r\nContent-Length: 7\r\n"
                "Content-Type: application/x-www-form-urlencoded\r\n\r\na=1&b=2");
}

TEST(NetworkTest, MalformedAndTruncatedResponsesGiveWhatArrived) {
  const struct {
    const char* response;
    std::string body;
  } cases[] = {
      {"", ""},                                         // closed without a word
      {"HTTP/1.0 200 OK\r\nContent-Ty", ""},            // cut inside the headers
      {"garbage without any line end", ""},             // no header block at all
      {"HTTP/1.0 200 OK\r\n\r\nhalf a li", "half a li"},  // cut inside the body
      {"HTTP/1.0 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n", ""},  // no chunk at all
  };
  for (const auto& c : cases) {
    LoopbackServer server(c.response);
    int status = -1;
    EXPECT_EQ(Network::getPageFromWebServer(false, "http://127.0.0.1/", server.getPort(), 0.0, &status), c.body)
        << c.response;
    // No status line, no status.
    if (std::string(c.response).compare(0, 5, "HTTP/") != 0) {
      EXPECT_EQ(status, 0) << c.response;
    }
  }
  // A zero byte of the body is kept like any other.
  LoopbackServer withZero(std::string("HTTP/1.0 200 OK\n\nab\0cd\n", 23));
  EXPECT_EQ(fetch(withZero, "/"), std::string("ab\0cd\n", 6));
}

TEST(NetworkTest, HugeResponseIsCutAtTheLimitWithAReport) {
  const std::string header = "HTTP/1.0 200 OK\r\n\r\n";
  const size_t limit = Connection::maxResponseSize;
  {
    // Exactly at the limit: whole, no report.
    LoopbackServer server(header + std::string(limit - header.size(), 'x'));
    testing::internal::CaptureStderr();
    const std::optional<std::string> body = fetch(server, "/");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(body->size(), limit - header.size());
  }
  {
    // One line far past the limit: cut, reported, memory bounded.
    LoopbackServer server(header + std::string(limit + 100000, 'y'));
    testing::internal::CaptureStderr();
    const std::optional<std::string> body = fetch(server, "/big");
    const std::string report = testing::internal::GetCapturedStderr();
    ASSERT_TRUE(body.has_value());
    EXPECT_EQ(body->size(), limit - header.size());
    EXPECT_NE(report.find("ERROR : The response of 127.0.0.1 for /big is larger than " +
                          std::to_string(limit) + " bytes"),
              std::string::npos)
        << report;
  }
}

TEST(NetworkTest, UnknownHostAnswersNoPage) {
  // All digits and dots but no address: the resolver refuses it without asking any server.
  std::string errorText;
  { Connection connection("999.999.999.999", 80, false, errorText); }
  EXPECT_EQ(errorText.rfind("La connection a echoue. Verifiez votre connection Internet.\n"
                            "Connection failed. Check your Internet connection.\n"
                            "Details of the failure :\n"
                            "(he = gethostbyname(hostName)) == 0 failed: ",
                            0),
            0u)
      << errorText;
  EXPECT_NE(errorText.find(" ; Server:999.999.999.999"), std::string::npos) << errorText;

  testing::internal::CaptureStdout();
  EXPECT_EQ(Network::getPageFromWebServer(true, "http://999.999.999.999/x"), std::nullopt);
  const std::string log = testing::internal::GetCapturedStdout();
  EXPECT_EQ(log.rfind("Getting ip 999.999.999.999...Error in connection: La connection", 0), 0u)
      << log;
  EXPECT_NE(log.find("Server:999.999.999.999\ndone.\n"), std::string::npos) << log;
}

// Each failure gives no page and a problem report naming the host and the cause, well within
// the test's short deadline and without stopping the program.
TEST(NetworkTest, SilentStalledRefusedAndUnknownServersGiveNoPageInTime) {
  const double timeout = 0.3;
  const auto expectNoPage = [&](int port, const std::string& url, const std::string& cause) {
    testing::internal::CaptureStderr();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(Network::getPageFromWebServer(false, url, port, timeout), std::nullopt) << cause;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const std::string report = testing::internal::GetCapturedStderr();
    EXPECT_LT(seconds, 5.0) << cause;
    EXPECT_NE(report.find("ERROR : getPageFromWebServer: no page from " +
                          url.substr(7, url.find('/', 7) - 7) + " (" + cause),
              std::string::npos)
        << report;
  };
  {
    LoopbackServer silent("", true);
    expectNoPage(silent.getPort(), "http://127.0.0.1/", "no answer within 0.3 s while receiving");
  }
  {
    LoopbackServer headersOnly(okHeader, true);
    expectNoPage(headersOnly.getPort(), "http://127.0.0.1/", "no answer within 0.3 s");
  }
  {
    LoopbackServer midBody(okHeader + "first half of the bo", true);
    expectNoPage(midBody.getPort(), "http://127.0.0.1/", "no answer within 0.3 s");
  }
  // Bound but not listening: connecting is refused at once.
  const int closedPort = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  ASSERT_EQ(bind(closedPort, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  socklen_t length = sizeof(address);
  getsockname(closedPort, reinterpret_cast<sockaddr*>(&address), &length);
  expectNoPage(ntohs(address.sin_port), "http://127.0.0.1/", "cannot connect: Connection refused");
  close(closedPort);
  expectNoPage(80, "http://999.999.999.999/", "host not found: ");
  // The same server answering in time still gives its page.
  LoopbackServer prompt(okHeader + "in time", false);
  EXPECT_EQ(Network::getPageFromWebServer(false, "http://127.0.0.1/", prompt.getPort(), timeout),
            "in time");
}

TEST(NetworkTest, VerboseLogShowsEveryStepAndLine) {
  LoopbackServer server("HTTP/1.0 200 OK\r\n\r\nhi\n");
  testing::internal::CaptureStdout();
  EXPECT_EQ(fetch(server, "/v", true), "hi\n");
  const std::string log = std::regex_replace(testing::internal::GetCapturedStdout(),
                                             std::regex("socket [0-9]+"), "socket S");
  const std::string port = std::to_string(server.getPort());
  EXPECT_EQ(log,
            "Getting ip 127.0.0.1...done.\n"
            "Connecting to 127.0.0.1 on port " + port + " using socket S...done.\n"
            "Sending ...\n"
            "sendLine: GET /v HTTP/1.0\r\n"
            "sendLine: Host: 127.0.0.1:" + port + "\r\n"
            "sendLine: \r\n"
            "End sending, waiting for response ...\n"
            "readLine: HTTP/1.0 200 OK\r\n"
            "readLine: \r\n"
            "readLine: hi\n"
            "End response.\n"
            "Closing socket S...done.\n");
}

}  // namespace
