#include "meshing/RegionBuildWorker.h"

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
    wakeWorker.wait(lock, [this] { return isStopping || nextPart < nbParts; });
    if (nextPart >= nbParts) return;
    runParts(lock);
  }
}

int RegionBuildWorker::runParts(std::unique_lock<std::mutex>& lock) {
  int nbRun = 0;
  while (nextPart < nbParts) {
    const int part = nextPart++;
    const Task runTask = task;
    void* runContext = context;
    lock.unlock();
    runTask(runContext, part);
    lock.lock();
    ++nbRun;
    if (++nbPartsDone == nbParts) wakeCaller.notify_one();
  }
  return nbRun;
}

int RegionBuildWorker::run(Task parTask, void* parContext, int parNbParts, Help help) {
  std::unique_lock<std::mutex> lock(mutex);
  task = parTask;
  context = parContext;
  nbParts = parNbParts;
  nextPart = 0;
  nbPartsDone = 0;
  lock.unlock();
  wakeWorker.notify_one();
  lock.lock();
  const int nbRunHere = runParts(lock);
  while (nbPartsDone != nbParts) {
    if (help != nullptr) {
      lock.unlock();
      const bool helped = help(parContext);
      lock.lock();
      if (helped) continue;
    }
    wakeCaller.wait(lock, [this] { return nbPartsDone == nbParts; });
  }
  // No part left to take: the worker goes back to sleep until the next job.
  nbParts = 0;
  nextPart = 0;
  return parNbParts - nbRunHere;
}
