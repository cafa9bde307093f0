#ifndef REGIONBUILDWORKER_H
#define REGIONBUILDWORKER_H

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

class Thread;

/// The second thread of region building. A job is cut into parts that the caller and the
/// worker take in turn, each the next part nobody has taken yet, until none is left; the worker
/// is woken at once (no polling). A worker that wakes late, or is held up by a busy machine,
/// only delays the part it holds: the caller takes the rest, so a job never takes much longer
/// than the caller running every part itself.
class RegionBuildWorker {
 public:
  /// Runs one part of a job on `context`. Different parts must not write the same data.
  using Task = void (*)(void* context, int part);
  /// Called on the caller's thread when no part is left to take but the worker still runs
  /// one: takes over some of that part's work and answers true, or answers false when there
  /// is nothing worth taking (the caller then waits for the worker).
  using Help = bool (*)(void* context);

  /// Starts the thread.
  RegionBuildWorker();
  /// Stops and joins the thread.
  ~RegionBuildWorker();
  RegionBuildWorker(const RegionBuildWorker&) = delete;
  RegionBuildWorker& operator=(const RegionBuildWorker&) = delete;

  /// Runs task(context, p) for every p in [0, nbParts), on this thread and on the worker;
  /// returns when all are done, with everything they wrote visible to the caller. Answers the
  /// number of parts the worker ran. With `help`, the caller helps with the worker's last
  /// part instead of waiting for it: a worker held up by a busy machine then costs little.
  int run(Task task, void* context, int nbParts, Help help = nullptr);

 private:
  static void* loop(void* self);
  void serve();
  /// Takes and runs parts while some are left (the lock is held on entry and on return).
  int runParts(std::unique_lock<std::mutex>& lock);

  std::mutex mutex;
  std::condition_variable wakeWorker;
  std::condition_variable wakeCaller;
  bool isStopping = false;
  Task task = nullptr;
  void* context = nullptr;
  int nbParts = 0;
  int nextPart = 0;
  int nbPartsDone = 0;
  /// Last: started once the fields above exist.
  std::unique_ptr<Thread> thread;
};

#endif
