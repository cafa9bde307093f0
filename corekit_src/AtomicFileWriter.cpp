#include "AtomicFileWriter.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string directoryOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

AtomicFileWriter::AtomicFileWriter(const std::string& parPath) : path(parPath) {
  // A name of this writer's own: two programs (or two threads) saving one file at once each
  // write their own temporary file, and the last rename wins with a complete file. The name
  // carries the process id; an attempt number separates the writers of one process, and skips
  // a name left by a killed process that had the same id (or anything else under that name).
  const std::string prefix = path + "." + std::to_string(::getpid()) + "-";
  int fd = -1;
  for (int attempt = 0; fd < 0; ++attempt) {
    temporaryPath = prefix + std::to_string(attempt) + ".tmp";
    fd = ::open(temporaryPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0 && (errno != EEXIST || attempt + 1 == maxAttempts)) {
      const int error = errno;
      temporaryPath.clear();  // not ours: nothing to remove
      fail("cannot create a temporary file beside '" + path + "'", error);
      return;
    }
  }
  struct stat previous;
  if (::stat(path.c_str(), &previous) == 0 && S_ISREG(previous.st_mode)) ::fchmod(fd, previous.st_mode & 07777);
  stream = ::fdopen(fd, "wb");
  if (stream == nullptr) {
    const int error = errno;
    ::close(fd);
    fail("cannot open a stream on '" + temporaryPath + "'", error);
  }
}

AtomicFileWriter::~AtomicFileWriter() {
  if (!isCommitted) discardTemporary();
}

bool AtomicFileWriter::write(const void* data, size_t size) {
  if (stream == nullptr) return false;
  if (size == 0) return true;
  if (std::fwrite(data, 1, size, stream) != size) return fail("cannot write '" + temporaryPath + "'", errno);
  return true;
}

bool AtomicFileWriter::commit() {
  if (stream == nullptr) return false;
  if (std::fflush(stream) != 0 || std::ferror(stream) != 0)
    return fail("cannot write '" + temporaryPath + "'", errno);
  if (::fsync(::fileno(stream)) != 0) return fail("cannot sync '" + temporaryPath + "' to the disk", errno);
  FILE* closing = stream;
  stream = nullptr;
  if (std::fclose(closing) != 0) return fail("cannot close '" + temporaryPath + "'", errno);
  if (::rename(temporaryPath.c_str(), path.c_str()) != 0)
    return fail("cannot rename '" + temporaryPath + "' to '" + path + "'", errno);
  isCommitted = true;
  // The rename lives in the directory: without this a power cut may bring the old file back.
  const std::string directory = directoryOf(path);
  const int dirFd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dirFd < 0 || (::fsync(dirFd) != 0 && errno != EINVAL)) {
    const int error = errno;
    if (dirFd >= 0) ::close(dirFd);
    problem = "'" + path + "' was written but its directory '" + directory + "' could not be synced (" +
              std::strerror(error) + ")";
    return false;
  }
  ::close(dirFd);
  return true;
}

bool AtomicFileWriter::fail(const std::string& what, int error) {
  if (problem.empty()) problem = what + " (" + std::strerror(error) + "); '" + path + "' is left as it was";
  discardTemporary();
  return false;
}

void AtomicFileWriter::discardTemporary() {
  if (stream != nullptr) {
    std::fclose(stream);
    stream = nullptr;
  }
  if (!isCommitted && !temporaryPath.empty()) ::unlink(temporaryPath.c_str());
}
