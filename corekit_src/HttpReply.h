#ifndef COREKIT_HTTPREPLY_H
#define COREKIT_HTTPREPLY_H

#include <cstddef>
#include <string>

/// The reading side of the engine's HTTP/1.0 exchange, fed with the received bytes however the
/// network slices them. The header block is read as lines: a line feed ends a line and is kept,
/// a zero byte ends a line and is dropped, and an empty line there ends the reply. The first line
/// gives the status code; the other header lines are skipped up to a line "\r\n" or "\n". After
/// it every byte goes into the body as it came (zero bytes, carriage returns and line feeds
/// included) until the connection ends; a "Transfer-Encoding: chunked" header only drops the
/// first chunk-size line of the body (up to its line feed or zero byte).
class HttpReply {
 public:
  /// Replies are cut at this many bytes (status line and headers included), so that a runaway
  /// server cannot exhaust memory.
  static constexpr size_t maxSize = 16 * 1024 * 1024;

  /// verbose: every line that ends with a line feed is printed as "readLine: " and the line.
  explicit HttpReply(bool parVerbose = false) : verbose(parVerbose) {}

  /// Takes the next received bytes. Answers false once the reply is over (an empty header line
  /// came, or the size limit was reached); later bytes are not looked at.
  bool take(const char* data, size_t size);
  /// The connection ended (closed or broken): the reply is over with what came.
  void finish();

  bool getIsOver() const { return isOver; }
  /// More than maxSize bytes came: the reply ended there.
  bool getIsTooLarge() const { return isTooLarge; }
  const std::string& getBody() const { return body; }
  /// The status code of the first line ("HTTP/1.1 404 Not Found" gives 404); 0 while no such
  /// line came.
  int getStatus() const { return status; }

 private:
  /// Takes header bytes until the header block ends; answers how many it used.
  size_t takeHeader(const char* data, size_t size);
  /// Takes body bytes (all of them).
  void takeBody(const char* data, size_t size);
  void endHeaderLine();

  bool verbose;
  std::string line;
  std::string body;
  /// Where the body line under way starts, for the verbose log.
  size_t bodyLineStart = 0;
  size_t nbBytesTaken = 0;
  int status = 0;
  bool isStatusLine = true;
  bool isHeader = true;
  bool isChunked = false;
  bool isDroppingSizeLine = false;
  bool isOver = false;
  bool isTooLarge = false;
};

#endif
