#include "Connection.h"

#include <cmath>
#include <iostream>
#include <sstream>

#include "Platform.h"
#include "Assert.h"

namespace {

// A day is past any sensible wait and keeps the deadline far from overflowing.
constexpr double maxTimeoutSeconds = 86400.0;

}  // namespace

Connection::Connection(const std::string& parHostName, int parPort, bool parVerbose,
                       std::string& errorText, double parTimeoutSeconds)
    : socketHandle(PlatformSockets::createStreamSocket()),
      hostName(parHostName),
      port(parPort),
      verbose(parVerbose),
      timeoutSeconds(std::isfinite(parTimeoutSeconds) && parTimeoutSeconds > 0.0
                         ? std::fmin(parTimeoutSeconds, maxTimeoutSeconds)
                         : defaultTimeoutSeconds),
      deadline(Platform::getMicroseconds() + static_cast<int64_t>(timeoutSeconds * 1e6)) {
  errorText.clear();
  if (verbose) std::cout << "Getting ip " << hostName << "..." << std::flush;
  std::string systemText;
  const PlatformSockets::Outcome found =
      PlatformSockets::lookUpHost(hostName, deadline, address, systemText);
  if (found != PlatformSockets::Outcome::done) {
    failure = found == PlatformSockets::Outcome::timedOut ? timeoutText("looking the host up")
                                                          : "host not found: " + systemText;
    if (found == PlatformSockets::Outcome::timedOut) systemText = failure;
    errorText = std::string("La connection a echoue. Verifiez votre connection Internet.\n") +
                "Connection failed. Check your Internet connection.\n" +
                "Details of the failure :\n" + "(he = gethostbyname(hostName)) == 0 failed: " +
                systemText + " ; Server:" + hostName;
  }
  if (verbose) {
    if (!errorText.empty()) std::cout << "Error in connection: " << errorText << std::endl;
    std::cout << "done." << std::endl;
  }
}

Connection::~Connection() {
  if (verbose) std::cout << "Closing socket " << socketHandle << "..." << std::flush;
  PlatformSockets::closeSocket(socketHandle);
  if (verbose) std::cout << "done." << std::endl;
}

std::string Connection::timeoutText(const char* step) const {
  std::ostringstream text;
  text << "no answer within " << timeoutSeconds << " s while " << step;
  return text.str();
}

bool Connection::connect() {
  if (verbose) {
    std::cout << "Connecting to " << hostName << " on port " << port << " using socket "
              << socketHandle << "..." << std::flush;
  }
  std::string systemText;
  const PlatformSockets::Outcome connected =
      PlatformSockets::connectSocket(socketHandle, address, port, deadline, systemText);
  if (connected == PlatformSockets::Outcome::timedOut) {
    failure = timeoutText("connecting");
  } else if (connected == PlatformSockets::Outcome::failed) {
    failure = "cannot connect: " + systemText;
  }
  if (verbose) std::cout << (failure.empty() ? "done." : failure) << std::endl;
  return failure.empty();
}

void Connection::sendBytes(const std::string& bytes) {
  // A send error shows in the response, which then ends early; running out of time ends the
  // exchange.
  if (!isTimedOut &&
      PlatformSockets::sendAll(socketHandle, bytes.data(), bytes.size(), deadline) ==
          PlatformSockets::Outcome::timedOut)
    isTimedOut = true;
}

void Connection::sendLine(const std::string& line) {
  // Carriage return and line feed: servers that follow HTTP to the letter refuse a bare line feed.
  const std::string text = line + "\r\n";
  sendBytes(text);
  if (verbose) std::cout << "sendLine: " << text;
}

std::optional<std::string> Connection::request(
    const std::string& path, const std::map<std::string, std::string>* formFields) {
  if (verbose) std::cout << "Sending ..." << std::endl;
  sendLine((formFields != nullptr ? "POST " : "GET ") + path + " HTTP/1.0");
  // The Host line names the server as its URL does: with the port unless it is HTTP's own.
  sendLine("Host: " + hostName + (port != httpPort ? ":" + std::to_string(port) : std::string()));
  if (formFields != nullptr) {
    std::string body;
    for (const auto& field : *formFields) {
      if (!body.empty()) body += '&';
      body += field.first + "=" + field.second;
    }
    sendLine("Content-Length: " + std::to_string(body.size()));
    sendLine("Content-Type: application/x-www-form-urlencoded");
    sendLine("");
    // Exactly the announced bytes: anything after them would be read as the start of another
    // request.
    sendBytes(body);
    if (verbose) std::cout << "sendBody: " << body << std::endl;
  } else {
    sendLine("");
  }
  if (isTimedOut) {
    failure = timeoutText("sending the request");
    return std::nullopt;
  }
  if (verbose) std::cout << "End sending, waiting for response ..." << std::endl;

  HttpReply reply(verbose);
  char block[4096];
  while (!reply.getIsOver()) {
    const long nbReceived =
        PlatformSockets::receive(socketHandle, block, sizeof(block), deadline, isTimedOut);
    if (isTimedOut) {
      failure = timeoutText("receiving the page");
      if (verbose) std::cout << failure << std::endl;
      return std::nullopt;
    }
    // Closed, or broken: the reply ends with what came.
    if (nbReceived <= 0) {
      reply.finish();
    } else {
      reply.take(block, static_cast<size_t>(nbReceived));
    }
  }
  if (reply.getIsTooLarge()) {
    showProblem("The response of " + hostName + " for " + path + " is larger than " +
                std::to_string(maxResponseSize) + " bytes: the page is cut there.");
  }
  status = reply.getStatus();
  if (verbose) std::cout << "End response." << std::endl;
  return reply.getBody();
}
