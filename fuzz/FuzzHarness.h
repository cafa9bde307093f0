#ifndef FUZZ_FUZZHARNESS_H
#define FUZZ_FUZZHARNESS_H

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>

// What every fuzzing target shares. The engine's fatal report is its answer to a file it
// refuses: under the fuzzer it ends the current input cleanly (the report unwinds back here)
// instead of the process, so that only crashes, sanitizer findings and hangs count.
namespace FuzzHarness {

/// Runs one input through `parse`; a fatal report inside it ends it like a normal return.
void run(const std::function<void()>& parse);

/// Writes the bytes to `name` in a directory of this process and answers the file's path.
std::string writeFile(const std::string& name, const uint8_t* data, size_t size);

/// The bytes as a read-only stream (closed by the caller).
FILE* openBytes(const uint8_t* data, size_t size);

}  // namespace FuzzHarness

#endif
