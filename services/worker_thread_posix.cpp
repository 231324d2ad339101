#include <limits.h>
#include <pthread.h>

#include <algorithm>
#include <new>

#include "services/worker_thread.h"

namespace {

// A worker only reads into the heap; the system's default stack (the main
// thread's limit, often 8 MiB) would spend address space a run under a
// memory limit needs.
constexpr size_t kWorkerStack = 512 << 10;

void* RunBody(void* body) {
  (*static_cast<std::function<void()>*>(body))();
  return nullptr;
}

}  // namespace

struct WorkerThread::Platform {
  pthread_t thread;
};

// The small stack, else, where the system (or a sanitizer's runtime)
// refuses that size, the system's default attributes.
WorkerThread::Platform* StartPlatformThread(std::function<void()>* body) {
  auto* platform = new (std::nothrow) WorkerThread::Platform;
  if (platform == nullptr) return nullptr;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) == 0) {
    const size_t stack = std::max<size_t>(kWorkerStack, PTHREAD_STACK_MIN);
    const bool started =
        pthread_attr_setstacksize(&attributes, stack) == 0 &&
        pthread_create(&platform->thread, &attributes, RunBody, body) == 0;
    pthread_attr_destroy(&attributes);
    if (started) return platform;
  }
  if (pthread_create(&platform->thread, nullptr, RunBody, body) == 0)
    return platform;
  delete platform;
  return nullptr;
}

void WorkerThread::Joiner::operator()(Platform* platform) const {
  pthread_join(platform->thread, nullptr);
  delete platform;
}
