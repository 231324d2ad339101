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

  // The platform's thread, and what waits for it and lets it go.
  struct Platform;
  struct Joiner {
    void operator()(Platform* platform) const;
  };

 private:
  WorkerThread() = default;
  std::function<void()> body_;
  // Declared after the body it runs: joined before the body goes.
  std::unique_ptr<Platform, Joiner> platform_;
};

// Starts a thread that runs `*body`, which outlives it; null when the
// system refuses one.
WorkerThread::Platform* StartPlatformThread(std::function<void()>* body);

#endif  // KESTRIV_SERVICES_WORKER_THREAD_H_
