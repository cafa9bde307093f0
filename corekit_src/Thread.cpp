#include "Thread.h"
#include "Assert.h"

Thread::Thread(Function function, void* argument)
    : attributes(new pthread_attr_t), handle(new pthread_t) {
  // POSIX reports failure as a non-zero error number.
  const int ret1 = pthread_attr_init(attributes);
  assert(ret1 == 0, "error during arguments initialisation (pthread_attr).");
  const int ret2 = pthread_create(handle, attributes, function, argument);
  assert(ret2 == 0, "error during the creation of the new thread.");
}

Thread::~Thread() {
  // A thread left running would outlive its handle: join it.
  if (handle != nullptr) join();
}

void Thread::join() {
  if (handle == nullptr) return;
  pthread_join(*handle, nullptr);
  pthread_attr_destroy(attributes);
  delete attributes;
  delete handle;
  attributes = nullptr;
  handle = nullptr;
}
