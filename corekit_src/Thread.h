#ifndef COREKIT_THREAD_H
#define COREKIT_THREAD_H

#include <pthread.h>

/// A POSIX thread running function(argument). Started by the constructor; must be joined
/// exactly once.
class Thread {
 public:
  using Function = void* (*)(void*);

  Thread(Function function, void* argument);
  ~Thread();
  Thread(const Thread&) = delete;
  Thread& operator=(const Thread&) = delete;

  /// Waits for the thread, ignores its result and releases the attribute object and the handle.
  void join();

 private:
  pthread_attr_t* attributes;
  pthread_t* handle;
};

#endif
