#include <new>
#include <system_error>
#include <thread>

#include "services/worker_thread.h"

// The platform's default stack is a reservation of address space,
// committed as it is used: a worker costs little of it.
struct WorkerThread::Platform {
  std::thread thread;
};

WorkerThread::Platform* StartPlatformThread(std::function<void()>* body) {
  auto* platform = new (std::nothrow) WorkerThread::Platform;
  if (platform == nullptr) return nullptr;
  try {
    platform->thread = std::thread([body] { (*body)(); });
    return platform;
  } catch (const std::system_error&) {
  } catch (const std::bad_alloc&) {
  }
  delete platform;
  return nullptr;
}

void WorkerThread::Joiner::operator()(Platform* platform) const {
  platform->thread.join();
  delete platform;
}
