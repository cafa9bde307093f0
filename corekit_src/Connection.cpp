#include "Connection.h"

#include <iostream>

#include "Assert.h"

Connection::Connection(const std::string& parHostName, int parPort, bool parVerbose,
                       std::string& errorText)
    : socketHandle(PlatformSockets::createStreamSocket()),
      hostName(parHostName),
      port(parPort),
      verbose(parVerbose) {
  errorText.clear();
  if (verbose) std::cout << "Getting ip " << hostName << "..." << std::flush;
  std::string systemText;
  if (!PlatformSockets::lookUpHost(hostName, address, systemText)) {
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

void Connection::connect() {
  if (verbose) {
    std::cout << "Connecting to " << hostName << " on port " << port << " using socket "
              << socketHandle << "..." << std::flush;
  }
  std::string systemText;
  const bool isConnected =
      PlatformSockets::connectSocket(socketHandle, address, port, systemText);
  assertNoCondition(isConnected, "error while connecting to server" + systemText);
  if (verbose) std::cout << "done." << std::endl;
}

void Connection::sendLine(const std::string& line) {
  const std::string text = line + "\n";
  // A send error shows in the response, which then ends early.
  PlatformSockets::sendAll(socketHandle, text.data(), text.size());
  if (verbose) std::cout << "sendLine: " << text;
}

bool Connection::readByte(char& byte) {
  if (receivedPosition == receivedSize) {
    if (isResponseTooLarge) return false;
    const long nbReceived =
        PlatformSockets::receive(socketHandle, receiveBuffer, sizeof(receiveBuffer));
    if (nbReceived <= 0) return false;
    size_t size = static_cast<size_t>(nbReceived);
    if (size > maxResponseSize - nbBytesReceived) {
      size = maxResponseSize - nbBytesReceived;
      isResponseTooLarge = true;
      if (size == 0) return false;
    }
    receivedSize = size;
    receivedPosition = 0;
    nbBytesReceived += size;
  }
  byte = receiveBuffer[receivedPosition++];
  return true;
}

std::string Connection::readLine() {
  std::string line;
  char byte;
  while (readByte(byte)) {
    if (byte == '\0') break;
    line += byte;
    if (byte == '\n') {
      if (verbose) std::cout << "readLine: " << line;
      break;
    }
  }
  return line;
}

std::string Connection::request(const std::string& path,
                                const std::map<std::string, std::string>* formFields) {
  if (verbose) std::cout << "Sending ..." << std::endl;
  sendLine((formFields != nullptr ? "POST " : "GET ") + path + " HTTP/1.0");
  sendLine("Host: " + hostName);
  if (formFields != nullptr) {
    std::string body;
    for (const auto& field : *formFields) {
      if (!body.empty()) body += '&';
      body += field.first + "=" + field.second;
    }
    sendLine("Content-Length: " + std::to_string(body.size()));
    sendLine("Content-Type: application/x-www-form-urlencoded");
    sendLine("");
    sendLine(body);
  }
  sendLine("");
  if (verbose) std::cout << "End sending, waiting for response ..." << std::endl;

  std::string body;
  bool isHeader = true;
  bool isChunked = false;
  for (std::string line = readLine(); !line.empty(); line = readLine()) {
    if (!isHeader) {
      body += line;
    } else if (line == "Transfer-Encoding: chunked\r\n" ||
               line == "Transfer-Encoding: chunked\n") {
      isChunked = true;
    } else if (line == "\r\n" || line == "\n") {
      isHeader = false;
      if (isChunked) readLine();
    }
  }
  if (isResponseTooLarge) {
    showProblem("The response of " + hostName + " for " + path + " is larger than " +
                std::to_string(maxResponseSize) + " bytes: the page is cut there.");
  }
  if (verbose) std::cout << "End response." << std::endl;
  return body;
}
