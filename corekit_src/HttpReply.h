#ifndef COREKIT_HTTPREPLY_H
#define COREKIT_HTTPREPLY_H

#include <cstddef>
#include <string>

/// The reading side of the engine's HTTP/1.0 exchange, fed with the received bytes however the
/// network slices them. The bytes are cut into lines: a line feed ends a line and is kept, a
/// zero byte ends a line and is dropped, the end of the connection ends the last line. The first
/// empty line ends the reply. Header lines are skipped (the status is not examined) up to a line
/// "\r\n" or "\n"; a "Transfer-Encoding: chunked" header only drops the first chunk-size line
/// after it; every later line goes into the body unchanged.
class HttpReply {
 public:
  /// Replies are cut at this many bytes (status line and headers included), so that a runaway
  /// server cannot exhaust memory.
  static constexpr size_t maxSize = 16 * 1024 * 1024;

  /// verbose: every line that ends with a line feed is printed as "readLine: " and the line.
  explicit HttpReply(bool parVerbose = false) : verbose(parVerbose) {}

  /// Takes the next received bytes. Answers false once the reply is over (an empty line came,
  /// or the size limit was reached); later bytes are not looked at.
  bool take(const char* data, size_t size);
  /// The connection ended (closed or broken): the line under way is the last one.
  void finish();

  bool getIsOver() const { return isOver; }
  /// More than maxSize bytes came: the reply ended there.
  bool getIsTooLarge() const { return isTooLarge; }
  const std::string& getBody() const { return body; }

 private:
  void endLine();

  bool verbose;
  std::string line;
  std::string body;
  size_t nbBytesTaken = 0;
  bool isHeader = true;
  bool isChunked = false;
  bool isDroppingSizeLine = false;
  bool isOver = false;
  bool isTooLarge = false;
};

#endif
