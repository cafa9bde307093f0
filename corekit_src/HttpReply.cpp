#include "HttpReply.h"

#include <iostream>

bool HttpReply::take(const char* data, size_t size) {
  if (isOver) return false;
  size_t nbUsable = size;
  if (nbUsable > maxSize - nbBytesTaken) nbUsable = maxSize - nbBytesTaken;
  for (size_t i = 0; i < nbUsable && !isOver; ++i) {
    ++nbBytesTaken;
    const char byte = data[i];
    if (byte == '\0') {
      endLine();
    } else {
      line += byte;
      if (byte == '\n') {
        if (verbose) std::cout << "readLine: " << line;
        endLine();
      }
    }
  }
  if (!isOver && nbUsable < size) {
    isTooLarge = true;
    finish();
  }
  return !isOver;
}

void HttpReply::finish() {
  if (isOver) return;
  if (!line.empty()) endLine();
  isOver = true;
}

void HttpReply::endLine() {
  if (isDroppingSizeLine) {
    // Dropped even when empty: only the line after it can end the reply.
    isDroppingSizeLine = false;
  } else if (line.empty()) {
    isOver = true;
  } else if (!isHeader) {
    body += line;
  } else if (line == "Transfer-Encoding: chunked\r\n" || line == "Transfer-Encoding: chunked\n") {
    isChunked = true;
  } else if (line == "\r\n" || line == "\n") {
    isHeader = false;
    isDroppingSizeLine = isChunked;
  }
  line.clear();
}
