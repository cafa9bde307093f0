#ifndef COREKIT_PLATFORM_H
#define COREKIT_PLATFORM_H

#include <cstdint>
#include <string>
#include <vector>

// The few services the engine needs from the operating system, kept apart from the rest of
// the code: clocks, sleep, the console report, directories and the command line.
namespace Platform {

/// Microseconds from a monotonic high-resolution clock (arbitrary origin).
int64_t getMicroseconds();

/// Processor time used by all threads of the process, microseconds (arbitrary origin).
int64_t getProcessCpuMicroseconds();
/// Processor time used by the calling thread, microseconds (arbitrary origin).
int64_t getThreadCpuMicroseconds();

/// Wall-clock time since 1970-01-01: whole seconds and the microseconds within the second.
void getWallClock(int64_t& seconds, int64_t& microseconds);

/// Suspends the calling thread for about `milliseconds` ms.
void sleepMs(int milliseconds);

/// Shows a report that needs the user's attention. On the console: when standard input is a
/// terminal, prints the caption and waits for Enter; otherwise returns at once (the text itself
/// is logged by the caller).
void showConsoleReport(const std::string& caption, const std::string& text);

/// Creates the directory (one level) unless it exists; false when it cannot be had.
bool makeDirectory(const std::string& path);

/// The process arguments, element 0 being the program path.
std::vector<std::string> getArguments(int argc, char** argv);

}  // namespace Platform

#endif
