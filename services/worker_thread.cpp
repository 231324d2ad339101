#include "services/worker_thread.h"

#include <new>
#include <utility>

// Everything is made before the thread starts, so that a start that
// succeeds always has an object to join it.
std::unique_ptr<WorkerThread> WorkerThread::Start(std::function<void()> body) {
  try {
    std::unique_ptr<WorkerThread> worker(new WorkerThread);
    worker->body_ = std::move(body);
    worker->platform_.reset(StartPlatformThread(&worker->body_));
    if (!worker->platform_) return nullptr;
    return worker;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}
