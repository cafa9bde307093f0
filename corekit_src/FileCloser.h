#ifndef COREKIT_FILECLOSER_H
#define COREKIT_FILECLOSER_H

#include <cstdio>
#include <memory>

/// Closes a C file when its owner goes, on every way out of a reader: a report that unwinds
/// (the recoverable context of a script's call) closes it too.
///   UniqueFile file(std::fopen(path.c_str(), "rb"));
struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};
using UniqueFile = std::unique_ptr<std::FILE, FileCloser>;

#endif
