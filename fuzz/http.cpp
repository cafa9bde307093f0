// The reply parser of the web client, fed as the network would: in slices whose sizes come from
// the first byte of the input, then the end of the connection.
#include <algorithm>

#include "FuzzHarness.h"
#include "HttpReply.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const size_t slice = data[0] % 16 + 1;
  FuzzHarness::run([data, size, slice] {
    HttpReply reply;
    for (size_t at = 1; at < size && !reply.getIsOver(); at += slice)
      reply.take(reinterpret_cast<const char*>(data) + at, std::min(slice, size - at));
    reply.finish();
    if (reply.getBody().size() > size) __builtin_trap();
  });
  return 0;
}
