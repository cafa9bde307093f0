#ifndef COREKIT_ASSERTIONFAILURE_H
#define COREKIT_ASSERTIONFAILURE_H

#include <stdexcept>
#include <string>

/// An assertion report raised under a recoverable context (see setAssertionContext in
/// Assert.h): thrown in place of the end of the process, with the report's whole text. Caught
/// only where the recoverable code was called (the script's engine functions).
class AssertionFailure : public std::runtime_error {
 public:
  explicit AssertionFailure(const std::string& report) : std::runtime_error(report) {}

  /// The report without its three-language preamble: from the compile date on.
  std::string details() const {
    const std::string report = what();
    const size_t start = report.find("__DATE__ ");
    return start == std::string::npos ? report : report.substr(start);
  }
};

#endif
