#ifndef COREKIT_ATOMICFILEWRITER_H
#define COREKIT_ATOMICFILEWRITER_H

#include <cstddef>
#include <cstdio>
#include <string>

/// Replaces a file so that a crash, a kill or a full disk at any moment leaves either the
/// previous file or the complete new one, never a mix or an empty file. The bytes go to a
/// temporary file of this writer's own in the same directory (the file's name followed by
/// ".<process id>-<n>.tmp", so that the rename stays on one file system), which is flushed and
/// synced before it is renamed over the file; the directory is then synced so that the rename
/// itself survives a power cut. Writers of one file at once (two programs in one directory)
/// never touch each other's temporary file: the file ends as the last one committed.
///
/// A failed step removes the temporary file, leaves the previous file as it was and sets
/// getProblem() to a sentence naming the step, the file and the system's reason; later writes
/// do nothing and commit() answers false. The caller reports it. Only a killed process leaves
/// its temporary file behind; it may be deleted.
///
///   AtomicFileWriter out(path);
///   out.write(bytes, size);                 // or fprintf(out.getStream(), ...)
///   if (!out.commit()) showProblem("... " + out.getProblem());
class AtomicFileWriter {
 public:
  /// Creates the temporary file (with the permissions of the file it replaces, if any).
  explicit AtomicFileWriter(const std::string& parPath);
  /// Without a successful commit the temporary file goes and the file stays as it was.
  ~AtomicFileWriter();
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  /// Appends bytes; large blocks go to the file without an extra copy. False after a failure.
  bool write(const void* data, size_t size);
  /// The stream on the temporary file, for writers built on stdio; null after a failure. Do
  /// not close it: commit() does.
  FILE* getStream() { return stream; }
  /// Flushes, syncs and closes the temporary file, renames it over the file and syncs the
  /// directory. True when the file now holds exactly what was written.
  bool commit();

  bool isOk() const { return problem.empty(); }
  const std::string& getProblem() const { return problem; }
  const std::string& getPath() const { return path; }
  /// Where the bytes go until commit (empty when it could not be created).
  const std::string& getTemporaryPath() const { return temporaryPath; }
  /// Names tried for the temporary file before giving up.
  static constexpr int maxAttempts = 100;

 private:
  /// Records what failed (with errno's text), closes and removes the temporary file.
  bool fail(const std::string& what, int error);
  void discardTemporary();

  std::string path;
  std::string temporaryPath;
  std::string problem;
  FILE* stream = nullptr;
  bool isCommitted = false;
};

#endif
