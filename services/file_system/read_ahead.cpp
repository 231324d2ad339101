#include "services/file_system/read_ahead.h"

#include "services/file_system/file_system.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <new>
#include <system_error>
#include <utility>

enum class AheadState : uint8_t { kQueued, kReading, kRead };

struct AheadNode {
  AheadNode* parent = nullptr;  // its handle opens this one
  std::string name;
  AheadState state = AheadState::kQueued;
  bool released = false;  // nobody will take it any more
  bool expanded = false;  // its subdirectories are queued, or are none
  bool listing_taken = false;
  int error = 0;
  std::string listing;
  AheadHandle handle = kNoAheadHandle;  // held while `pending`
  size_t pending = 0;  // subdirectories queued or being read
  std::vector<AheadNode*> subdirectories;
  size_t next_taken = 0;  // the walk enters them in order
  AheadNode* previous = nullptr;  // in the queue, while queued or read
  AheadNode* next = nullptr;
  AheadNode* next_discarded = nullptr;
};

namespace {

// A read that takes longer than this, and a little more for each byte it
// lists, waited for a disk or a network, or for a processor. When a
// quarter of the reads in a window wait, they wait for the disk, and the
// processors are free for more reads at once: the workers double.
constexpr auto kWaitingRead = std::chrono::microseconds(150);
constexpr auto kWaitingReadPerByte = std::chrono::nanoseconds(20);
constexpr size_t kReadWindow = 16;
constexpr size_t kWaitingReadsPerWindow = kReadWindow / 4;
// Nodes the walk is done with, let go of together.
constexpr size_t kReleasedBatch = 64;

// Nodes for `names`, made before the lock is taken; on a shortage of
// memory none are made.
std::vector<AheadNode*> NewNodes(std::vector<std::string>& names) {
  std::vector<std::unique_ptr<AheadNode>> made;
  made.reserve(names.size());
  for (std::string& name : names) {
    made.push_back(std::make_unique<AheadNode>());
    made.back()->name = std::move(name);
  }
  std::vector<AheadNode*> nodes;
  nodes.reserve(made.size());
  for (std::unique_ptr<AheadNode>& node : made) nodes.push_back(node.release());
  return nodes;
}

// Tells the processor that this is a wait loop, which spares the
// other thread on its core and the memory bus while spinning.
void Pause() {
#if defined(__x86_64__) || defined(__i386__)
  __builtin_ia32_pause();
#endif
}

// Takes `lock`, first trying for a while without sleeping: the lock is
// held for a few hundred instructions at a time, far less than a sleep
// and a wake-up cost, and both threads are busy.
void LockSpinning(std::unique_lock<std::mutex>& lock) {
  constexpr int kTries = 1000;
  for (int i = 0; i < kTries; ++i) {
    if (lock.try_lock()) return;
    Pause();
  }
  lock.lock();
}

}  // namespace

// Threads by default, at most: reads that wait for a disk or a network
// leave the processors idle, so there may be more threads than processors.
constexpr size_t kDefaultThreads = 16;

size_t DefaultThreadCount() { return kDefaultThreads; }

size_t FirstWorkers(size_t workers) {
  const size_t processors = std::thread::hardware_concurrency();
  return std::min(workers, std::max<size_t>(processors, 2) - 1);
}

ReadAhead::ReadAhead(AheadSource* source, const AheadLimits& limits)
    : source_(source), limits_(limits) {}

ReadAhead::~ReadAhead() {
  Stop();
  DiscardReleased();
  // What is left was never taken: each queued node and its parents.
  while (queue_head_ != nullptr) Discard(queue_head_);
}

void ReadAhead::Stop() {
  {
    Lock lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  // No worker starts any more: the vector stays as it is.
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
}

void ReadAhead::Descend() {
  constexpr size_t kDescentsBeforeWorkers = 8;
  if (++descents_ == kDescentsBeforeWorkers) StartAtOnce();
}

void ReadAhead::StartAtOnce() {
  Lock lock(mutex_);
  if (started_ || stop_) return;
  started_ = true;
  while (workers_.size() < limits_.first_workers && !refused_) AddWorker();
}

// Called with the lock held; the new thread waits for it.
void ReadAhead::AddWorker() {
  try {
    workers_.emplace_back([this] { WorkerLoop(); });
  } catch (const std::system_error&) {
    refused_ = true;  // no more threads
  } catch (const std::bad_alloc&) {
    refused_ = true;  // nor memory for them
  }
}

void ReadAhead::WorkerLoop() {
  Lock lock(mutex_, std::defer_lock);
  LockSpinning(lock);
  while (!stop_) {
    const bool under = UnderBounds();
    AheadNode* node = under ? ForWorker() : nullptr;
    if (node == nullptr) {
      if (!under) over_bounds_ = true;
      ++idle_;
      work_ready_.wait(lock);
      --idle_;
      continue;
    }
    ReadNode(node, lock);
  }
}

AheadNode* ReadAhead::FirstQueued() const {
  // Only the nodes being read, at most one a thread, stand before it.
  AheadNode* node = queue_head_;
  while (node != nullptr && node->state != AheadState::kQueued)
    node = node->next;
  return node;
}

// Once the walk has taken every listing read, the first one queued is the
// one it needs next: it reads that itself, rather than wait for a worker
// to hand it over, and the workers read on after it. On a chain of single
// directories the walk then reads alone, as it would without workers.
AheadNode* ReadAhead::ForWorker() const {
  AheadNode* node = FirstQueued();
  if (node == nullptr || ready_listings_ != 0) return node;
  for (node = node->next; node != nullptr; node = node->next)
    if (node->state == AheadState::kQueued) return node;
  return nullptr;
}

bool ReadAhead::UnderBounds() const {
  return ready_listings_ < limits_.listings && ready_bytes_ < limits_.bytes;
}

// Reads that wait leave the processors free: more workers start while
// there is more to read than the workers have in hand.
void ReadAhead::CountRead(bool waited) {
  waiting_reads_ += waited;
  if (++window_reads_ < kReadWindow) return;
  const bool more = waiting_reads_ >= kWaitingReadsPerWindow;
  window_reads_ = waiting_reads_ = 0;
  if (!more || !started_ || stop_ || idle_ != 0 || ForWorker() == nullptr)
    return;
  const size_t wanted = std::min(limits_.workers, 2 * workers_.size() + 1);
  while (workers_.size() < wanted && !refused_) AddWorker();
}

// Reads `node` without the lock: its parent keeps its handle, and no one
// changes its name, until it is finished.
void ReadAhead::ReadNode(AheadNode* node, Lock& lock) {
  node->state = AheadState::kReading;
  const AheadHandle parent = node->parent->handle;
  lock.unlock();
  AheadRead read;
  std::vector<AheadNode*> children;
  const auto start = std::chrono::steady_clock::now();
  try {
    source_->Read(parent, node->name, &read);
    children = NewNodes(read.subdirectories);
  } catch (const std::bad_alloc&) {
    // The walk reads it again its own way, and meets the shortage there.
    if (read.handle != kNoAheadHandle) source_->Release(read.handle);
    read.handle = kNoAheadHandle;
    read.error = ENOMEM;
    read.listing.clear();
  }
  const bool waited = std::chrono::steady_clock::now() - start >
                      kWaitingRead + kWaitingReadPerByte * read.listing.size();
  LockSpinning(lock);
  CountRead(waited);
  Finish(node, read, children);
}

void ReadAhead::Finish(AheadNode* node, AheadRead& read,
                       std::vector<AheadNode*>& children) {
  node->state = AheadState::kRead;
  finished_.fetch_add(1, std::memory_order_relaxed);
  node->error = read.error;
  const bool expand = !node->released && read.error == 0 &&
                      !children.empty() && handles_ < limits_.handles;
  if (expand) {
    node->handle = read.handle;
    ++handles_;
    AddSubdirectories(node, node, children);
  } else {
    if (read.handle != kNoAheadHandle) source_->Release(read.handle);
    for (AheadNode* child : children) delete child;
    node->expanded = read.error == 0 && children.empty();
  }
  Unqueue(node);
  if (node->released) {
    node->listing_taken = true;  // never counted as ready
    FreeIfDone(node);
    return;
  }
  node->listing = std::move(read.listing);
  ++ready_listings_;
  ready_bytes_ += node->listing.size();
  AheadNode* parent = node->parent;
  node->parent = nullptr;
  OneLessPending(parent);
  if (awaited_ == node) listing_ready_.notify_one();
}

void ReadAhead::Queue(AheadNode* after, AheadNode* node) {
  node->previous = after;
  node->next = after != nullptr ? after->next : queue_head_;
  if (node->next != nullptr) node->next->previous = node;
  if (after != nullptr)
    after->next = node;
  else
    queue_head_ = node;
}

void ReadAhead::Unqueue(AheadNode* node) {
  if (node->previous == nullptr && queue_head_ != node) return;  // not in it
  if (node->previous != nullptr)
    node->previous->next = node->next;
  else
    queue_head_ = node->next;
  if (node->next != nullptr) node->next->previous = node->previous;
  node->previous = node->next = nullptr;
}

// The subdirectories come right after `after` in the queue: the walk
// enters them before whatever follows it.
void ReadAhead::AddSubdirectories(AheadNode* node, AheadNode* after,
                                  std::vector<AheadNode*>& children) {
  node->expanded = true;
  for (AheadNode* child : children) {
    child->parent = node;
    Queue(after, child);
    after = child;
  }
  live_ += children.size();
  node->pending = children.size();
  node->subdirectories = std::move(children);
  WakeWorkers();
}

// Wakes as many idle workers as there are directories they may read; none
// where there are none, as a wake-up costs a system call.
void ReadAhead::WakeWorkers() {
  if (idle_ == 0 || !UnderBounds()) return;
  size_t work = 0;
  for (AheadNode* node = ForWorker(); node != nullptr && work < idle_;
       node = node->next)
    work += node->state == AheadState::kQueued;
  if (work == 1)
    work_ready_.notify_one();
  else if (work > 1)
    work_ready_.notify_all();
}

// Handles are let go of with the lock held: a close is quick, and no list
// of them has to be made.
void ReadAhead::OneLessPending(AheadNode* node) {
  if (node == nullptr) return;
  if (--node->pending == 0 && node->handle != kNoAheadHandle) {
    source_->Release(node->handle);
    node->handle = kNoAheadHandle;
    --handles_;
  }
  FreeIfDone(node);
}

void ReadAhead::FreeIfDone(AheadNode* node) {
  if (!node->released || node->state == AheadState::kReading ||
      node->pending != 0)
    return;
  if (node->handle != kNoAheadHandle) {
    source_->Release(node->handle);
    --handles_;
  }
  if (node->state == AheadState::kRead && !node->listing_taken) {
    --ready_listings_;
    ready_bytes_ -= node->listing.size();
  }
  AheadNode* parent = node->parent;  // still set while it counts there
  Unqueue(node);
  delete node;
  --live_;
  OneLessPending(parent);
}

// Lets go of a node the walk will never take, with everything below it
// that it did not take either.
void ReadAhead::Discard(AheadNode* node) {
  AheadNode* stack = node;
  node->next_discarded = nullptr;
  while (stack != nullptr) {
    AheadNode* at = stack;
    stack = at->next_discarded;
    for (size_t i = at->next_taken; i < at->subdirectories.size(); ++i) {
      at->subdirectories[i]->next_discarded = stack;
      stack = at->subdirectories[i];
    }
    at->subdirectories.clear();
    at->next_taken = 0;
    at->released = true;
    FreeIfDone(at);
  }
}

AheadNode* ReadAhead::Seed(AheadNode* node, AheadHandle handle,
                           std::vector<std::string> subdirectories) {
  std::unique_ptr<AheadNode> made;
  if (node == nullptr) {
    made = std::make_unique<AheadNode>();
    made->state = AheadState::kRead;
    made->listing_taken = true;
  }
  std::vector<AheadNode*> children = NewNodes(subdirectories);
  Lock lock(mutex_);
  if (made) {
    node = made.release();
    ++live_;
  }
  if (children.empty() || handles_ >= limits_.handles) {
    if (handle != kNoAheadHandle) source_->Release(handle);
    for (AheadNode* child : children) delete child;
    node->expanded = children.empty();
  } else {
    node->handle = handle;
    ++handles_;
    // The walk stands at this directory: all that is queued comes after
    // its subdirectories.
    AddSubdirectories(node, nullptr, children);
  }
  return node;
}

// Set before the walk took the listing, or by the walk itself.
bool ReadAhead::Expanded(const AheadNode* node) const {
  return node->expanded;
}

// The subdirectories of a taken node change no more, and only the walk
// moves along them.
AheadNode* ReadAhead::TakeSubdirectory(AheadNode* parent,
                                       const std::string& name) {
  if (parent->next_taken >= parent->subdirectories.size()) return nullptr;
  AheadNode* child = parent->subdirectories[parent->next_taken];
  if (child->name != name) return nullptr;
  ++parent->next_taken;
  return child;
}

// A read from memory takes microseconds: the walk watches for the next
// one to finish for about as long before it sleeps, as a sleep and a
// wake-up cost more. Lets go of the lock meanwhile.
void ReadAhead::AwaitBriefly(Lock& lock) {
  constexpr int kTries = 2000;
  const size_t seen = finished_.load(std::memory_order_relaxed);
  lock.unlock();
  bool finished = false;
  for (int i = 0; i < kTries && !finished; ++i) {
    Pause();
    finished = finished_.load(std::memory_order_relaxed) != seen;
  }
  LockSpinning(lock);
}

bool ReadAhead::TakeListing(AheadNode* node, std::string* listing) {
  Lock lock(mutex_, std::defer_lock);
  LockSpinning(lock);
  DiscardReleased();
  bool watched = false;
  while (node->state != AheadState::kRead) {
    if (node->state == AheadState::kQueued) {
      ReadNode(node, lock);
      continue;
    }
    // A worker reads it: read the next one meanwhile, or wait.
    AheadNode* next = UnderBounds() ? FirstQueued() : nullptr;
    if (next != nullptr) {
      ReadNode(next, lock);
      continue;
    }
    // The lock is let go of while watching: the state is looked at again.
    if (!watched) {
      watched = true;
      AwaitBriefly(lock);
      continue;
    }
    watched = false;
    awaited_ = node;
    listing_ready_.wait(lock);
    awaited_ = nullptr;
  }
  if (node->listing_taken) return false;
  node->listing_taken = true;
  --ready_listings_;
  ready_bytes_ -= node->listing.size();
  // Workers stopped by the bounds go on once a quarter is taken, not at
  // every listing.
  if (over_bounds_ && ready_listings_ <= limits_.listings / 4 * 3 &&
      ready_bytes_ <= limits_.bytes / 4 * 3) {
    over_bounds_ = false;
    WakeWorkers();
  }
  if (node->error != 0) return false;
  listing->swap(node->listing);
  node->listing = std::string();
  return true;
}

// The nodes the walk is done with go in batches, with the next listing it
// takes, so that the walk takes the lock once a directory.
void ReadAhead::Release(AheadNode* node) {
  node->next_discarded = released_;
  released_ = node;
  if (++released_count_ < kReleasedBatch) return;
  Lock lock(mutex_, std::defer_lock);
  LockSpinning(lock);
  DiscardReleased();
}

void ReadAhead::DiscardReleased() {
  while (released_ != nullptr) {
    AheadNode* node = released_;
    released_ = node->next_discarded;
    Discard(node);
  }
  released_count_ = 0;
}

size_t ReadAhead::LiveNodes() {
  Lock lock(mutex_);
  DiscardReleased();
  return live_;
}
