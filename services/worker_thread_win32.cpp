#include "services/worker_thread.h"

#include <new>
#include <system_error>
#include <thread>
#include <utility>

// The platform's default stack is a reservation of address space, committed
// as it is used: a worker costs little of it.
struct WorkerThread::Platform {
  std::thread thread;
};

WorkerThread::WorkerThread(std::unique_ptr<Platform> platform)
    : platform_(std::move(platform)) {}

std::unique_ptr<WorkerThread> WorkerThread::Start(std::function<void()> body) {
  try {
    std::unique_ptr<WorkerThread> worker(
        new WorkerThread(std::make_unique<Platform>()));
    worker->platform_->thread = std::thread(std::move(body));
    return worker;
  } catch (const std::system_error&) {
    return nullptr;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

WorkerThread::~WorkerThread() {
  if (platform_->thread.joinable()) platform_->thread.join();
}
