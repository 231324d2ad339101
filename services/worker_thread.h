// Threads that only read for the walk. Each starts with a small stack, so
// that many fit in a limited address space, and is joined when its object
// goes.
#ifndef KESTRIV_SERVICES_WORKER_THREAD_H_
#define KESTRIV_SERVICES_WORKER_THREAD_H_

#include <functional>
#include <memory>

class WorkerThread {
 public:
  // Runs `body` on a new thread; null when the system refuses one.
  static std::unique_ptr<WorkerThread> Start(std::function<void()> body);
  // Waits for `body` to return.
  ~WorkerThread();
  WorkerThread(const WorkerThread&) = delete;
  WorkerThread& operator=(const WorkerThread&) = delete;

  struct Platform;  // the platform's thread

 private:
  explicit WorkerThread(std::unique_ptr<Platform> platform);
  std::unique_ptr<Platform> platform_;
};

#endif  // KESTRIV_SERVICES_WORKER_THREAD_H_
