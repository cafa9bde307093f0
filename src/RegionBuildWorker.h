#ifndef REGIONBUILDWORKER_H
#define REGIONBUILDWORKER_H

#include <condition_variable>
#include <cstddef>
#include <memory>
#include <mutex>

class Thread;

/// The second thread of region building: a job is cut in two parts; the caller runs part 0
/// while the worker runs part 1. Each side is woken at once (no polling). A worker that has
/// not picked part 1 up by the time the caller finished part 0 (a busy machine, a tiny job)
/// loses it to the caller, so a split job never takes longer than running both parts in turn.
class RegionBuildWorker {
 public:
  /// Runs one part (0 or 1) of a job on `context`. The two parts must not write the same data.
  using Task = void (*)(void* context, int part);

  /// Starts the thread.
  RegionBuildWorker();
  /// Stops and joins the thread.
  ~RegionBuildWorker();
  RegionBuildWorker(const RegionBuildWorker&) = delete;
  RegionBuildWorker& operator=(const RegionBuildWorker&) = delete;

  /// Runs task(context, 0) here and task(context, 1) on the worker (or here, after part 0, when
  /// the worker did not start it in time); returns when both are done. True when the worker
  /// ran part 1. Everything part 1 wrote is visible to the caller on return.
  bool run(Task task, void* context);

 private:
  enum class State { idle, pending, running, finished };

  static void* loop(void* self);
  void serve();

  std::mutex mutex;
  std::condition_variable wakeWorker;
  std::condition_variable wakeCaller;
  State state = State::idle;
  bool isStopping = false;
  Task task = nullptr;
  void* context = nullptr;
  /// Last: started once the fields above exist.
  std::unique_ptr<Thread> thread;
};

#endif
