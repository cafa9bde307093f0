#include "HttpReply.h"

#include <cstring>
#include <iostream>

namespace {

// "HTTP/<version> <three digits>" at the start of the status line: the code, else 0.
int statusOf(const std::string& line) {
  if (line.compare(0, 5, "HTTP/") != 0) return 0;
  size_t at = line.find(' ', 5);
  if (at == std::string::npos) return 0;
  while (at < line.size() && line[at] == ' ') ++at;
  if (line.size() < at + 3) return 0;
  int code = 0;
  for (size_t i = at; i < at + 3; ++i) {
    if (line[i] < '0' || line[i] > '9') return 0;
    code = code * 10 + (line[i] - '0');
  }
  // A fourth digit would make it no three-digit code.
  if (line.size() > at + 3 && line[at + 3] >= '0' && line[at + 3] <= '9') return 0;
  return code;
}

}  // namespace

bool HttpReply::take(const char* data, size_t size) {
  if (isOver) return false;
  size_t nbUsable = size;
  if (nbUsable > maxSize - nbBytesTaken) nbUsable = maxSize - nbBytesTaken;
  nbBytesTaken += nbUsable;
  size_t used = 0;
  if (isHeader) used = takeHeader(data, nbUsable);
  if (!isOver && used < nbUsable) takeBody(data + used, nbUsable - used);
  if (!isOver && nbUsable < size) {
    isTooLarge = true;
    finish();
  }
  return !isOver;
}

size_t HttpReply::takeHeader(const char* data, size_t size) {
  size_t i = 0;
  while (i < size && isHeader && !isOver) {
    const char byte = data[i++];
    if (byte == '\0') {
      endHeaderLine();
    } else {
      line += byte;
      if (byte == '\n') {
        if (verbose) std::cout << "readLine: " << line;
        endHeaderLine();
      }
    }
  }
  return i;
}

void HttpReply::takeBody(const char* data, size_t size) {
  if (isDroppingSizeLine) {
    size_t i = 0;
    while (i < size && isDroppingSizeLine) {
      const char byte = data[i++];
      if (byte == '\n' || byte == '\0') isDroppingSizeLine = false;
    }
    data += i;
    size -= i;
    bodyLineStart = body.size();
  }
  const size_t nbBefore = body.size();
  body.append(data, size);
  if (!verbose) return;
  // Only the new bytes are searched for line ends.
  const char* next = body.data() + nbBefore;
  const char* const end = body.data() + body.size();
  while (const void* lineFeed = std::memchr(next, '\n', static_cast<size_t>(end - next))) {
    next = static_cast<const char*>(lineFeed) + 1;
    const size_t lineEnd = static_cast<size_t>(next - body.data());
    std::cout << "readLine: ";
    std::cout.write(body.data() + bodyLineStart, static_cast<std::streamsize>(lineEnd - bodyLineStart));
    bodyLineStart = lineEnd;
  }
}

void HttpReply::finish() {
  if (isOver) return;
  if (isHeader && !line.empty()) endHeaderLine();
  isOver = true;
}

void HttpReply::endHeaderLine() {
  if (!line.empty() && isStatusLine) {
    isStatusLine = false;
    status = statusOf(line);
  }
  if (line.empty()) {
    isOver = true;
  } else if (line == "Transfer-Encoding: chunked\r\n" || line == "Transfer-Encoding: chunked\n") {
    isChunked = true;
  } else if (line == "\r\n" || line == "\n") {
    isHeader = false;
    isDroppingSizeLine = isChunked;
  }
  line.clear();
}
