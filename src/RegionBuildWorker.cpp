#include "RegionBuildWorker.h"

#include "Thread.h"

RegionBuildWorker::RegionBuildWorker() : thread(new Thread(&RegionBuildWorker::loop, this)) {}

RegionBuildWorker::~RegionBuildWorker() {
  {
    std::lock_guard<std::mutex> lock(mutex);
    isStopping = true;
  }
  wakeWorker.notify_one();
  thread->join();
}

void* RegionBuildWorker::loop(void* self) {
  static_cast<RegionBuildWorker*>(self)->serve();
  return nullptr;
}

void RegionBuildWorker::serve() {
  std::unique_lock<std::mutex> lock(mutex);
  for (;;) {
    wakeWorker.wait(lock, [this] { return isStopping || state == State::pending; });
    if (state != State::pending) return;
    state = State::running;
    const Task runTask = task;
    void* runContext = context;
    lock.unlock();
    runTask(runContext, 1);
    lock.lock();
    state = State::finished;
    wakeCaller.notify_one();
  }
}

bool RegionBuildWorker::run(Task parTask, void* parContext) {
  {
    std::lock_guard<std::mutex> lock(mutex);
    task = parTask;
    context = parContext;
    state = State::pending;
  }
  wakeWorker.notify_one();
  parTask(parContext, 0);

  std::unique_lock<std::mutex> lock(mutex);
  if (state == State::pending) {
    // Not started yet: waiting for the worker to wake up could only cost time.
    state = State::idle;
    lock.unlock();
    parTask(parContext, 1);
    return false;
  }
  wakeCaller.wait(lock, [this] { return state == State::finished; });
  state = State::idle;
  return true;
}
