#include "services/worker_thread.h"

#include <limits.h>
#include <pthread.h>

#include <algorithm>
#include <new>
#include <utility>

namespace {

// A worker only reads into the heap; the system's default stack (the main
// thread's limit, often 8 MiB) would spend address space a run under a
// memory limit needs.
constexpr size_t kWorkerStack = 512 << 10;

void* RunBody(void* body) {
  (*static_cast<std::function<void()>*>(body))();
  return nullptr;
}

// Starts a thread with the small stack, else, where the system (or a
// sanitizer's runtime) refuses that size, with its default attributes.
bool StartThread(pthread_t* thread, std::function<void()>* body) {
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) == 0) {
    const size_t stack = std::max<size_t>(kWorkerStack, PTHREAD_STACK_MIN);
    const bool sized = pthread_attr_setstacksize(&attributes, stack) == 0;
    const bool started =
        sized && pthread_create(thread, &attributes, RunBody, body) == 0;
    pthread_attr_destroy(&attributes);
    if (started) return true;
  }
  return pthread_create(thread, nullptr, RunBody, body) == 0;
}

}  // namespace

struct WorkerThread::Platform {
  std::function<void()> body;  // outlives the thread, which refers to it
  pthread_t thread;
  bool started = false;
};

WorkerThread::WorkerThread(std::unique_ptr<Platform> platform)
    : platform_(std::move(platform)) {}

// Everything is made before the thread starts, so that a start that
// succeeds always has an object to join it.
std::unique_ptr<WorkerThread> WorkerThread::Start(std::function<void()> body) {
  try {
    std::unique_ptr<WorkerThread> worker(
        new WorkerThread(std::make_unique<Platform>()));
    Platform& platform = *worker->platform_;
    platform.body = std::move(body);
    platform.started = StartThread(&platform.thread, &platform.body);
    if (!platform.started) return nullptr;
    return worker;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

WorkerThread::~WorkerThread() {
  if (platform_->started) pthread_join(platform_->thread, nullptr);
}
