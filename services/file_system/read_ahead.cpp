#include "services/file_system/read_ahead.h"

#include <errno.h>

#include <algorithm>
#include <chrono>
#include <new>
#include <utility>

#include "services/checks.h"
#include "services/worker_thread.h"

namespace {

enum class State : uint8_t { kQueued, kReading, kRead, kTaken };

}  // namespace

// A directory's handle, kept while subdirectories still open through it.
struct AheadHolder {
  AheadHandle handle = kNoAheadHandle;
  size_t users = 0;  // children kQueued or kReading that open through it
};

struct AheadNode {
  // The request.
  AheadHolder* through = nullptr;  // null for a node the walk made
  std::string name;
  // The result, once read; the walk takes it.
  AheadListingPtr listing;
  size_t bytes = 0;  // of `listing`, counted while it waits
  // The place, under the lock.
  State state = State::kQueued;
  bool claimed = false;   // the walk holds it, and alone releases it
  bool released = false;  // nobody will take it any more
  bool expanded = false;  // its children are queued
  std::vector<AheadNode*> children;  // unclaimed ones; claimed ones are null
  AheadNode* previous = nullptr;  // in the queue, while kQueued or kReading
  AheadNode* next = nullptr;
  AheadNode* next_handed_back = nullptr;
  // The walk's own list of nodes it released.
  AheadNode* next_released = nullptr;
};

// What a call gathered under the lock to do once it has let go of it:
// releasing a handle is a system call, and freeing a big listing takes a
// while.
struct ReadAhead::Deferred {
  std::vector<AheadHandle> handles;
  std::vector<AheadListingPtr> listings;
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
// Descents before the first workers start.
constexpr size_t kDescentsBeforeWorkers = 8;

// Nodes for the subdirectories of `listing`, made before the lock is
// taken; on a shortage of memory none are made.
std::vector<AheadNode*> NewChildren(const AheadListing* listing) {
  std::vector<AheadNode*> nodes;
  if (listing == nullptr) return nodes;
  try {
    std::vector<std::unique_ptr<AheadNode>> made;
    made.reserve(listing->SubdirectoryCount());
    for (size_t i = 0; i < listing->SubdirectoryCount(); ++i) {
      made.push_back(std::make_unique<AheadNode>());
      made.back()->name = listing->SubdirectoryName(i);
    }
    nodes.reserve(made.size());
    for (std::unique_ptr<AheadNode>& node : made) nodes.push_back(node.release());
  } catch (const std::bad_alloc&) {
    for (AheadNode* node : nodes) delete node;
    nodes.clear();
  }
  return nodes;
}

void DeleteAll(std::vector<AheadNode*>& nodes) {
  for (AheadNode* node : nodes) delete node;
  nodes.clear();
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
    : source_(source),
      limits_(limits),
      walk_thread_(std::this_thread::get_id()) {}

ReadAhead::~ReadAhead() {
  Stop();
  Deferred deferred;
  {
    Lock lock(mutex_);
    DiscardReleased(deferred);
    // What is left in the queue was never claimed: each node there and
    // whatever was read below it.
    while (queue_head_ != nullptr) Discard(queue_head_, deferred);
  }
  RunDeferred(deferred);
}

bool ReadAhead::OnWalkThread() const {
  return std::this_thread::get_id() == walk_thread_;
}

void ReadAhead::Stop() {
  KESTRIV_CHECK(OnWalkThread());
  {
    Lock lock(mutex_);
    stop_ = true;
  }
  work_ready_.notify_all();
  workers_.clear();  // joins them
}

void ReadAhead::Descend() {
  KESTRIV_CHECK(OnWalkThread());
  if (++descents_ == kDescentsBeforeWorkers) StartAtOnce();
}

void ReadAhead::StartAtOnce() {
  KESTRIV_CHECK(OnWalkThread());
  {
    Lock lock(mutex_);
    if (started_ || stop_) return;
    started_ = true;
    wanted_workers_ = limits_.first_workers;
  }
  StartWorkers(limits_.first_workers);
}

// Threads start without the lock: a start is a system call, and the new
// thread's first step is to take the lock.
void ReadAhead::StartWorkers(size_t wanted) {
  wanted = std::min(wanted, limits_.workers);
  while (workers_.size() < wanted && !refused_) {
    std::unique_ptr<WorkerThread> worker =
        WorkerThread::Start([this] { WorkerLoop(); });
    if (!worker) {
      refused_ = true;  // no more threads: the walk goes on with those it has
      return;
    }
    workers_.push_back(std::move(worker));
    ++workers_started_;
  }
}

void ReadAhead::WorkerLoop() {
  Lock lock(mutex_, std::defer_lock);
  LockSpinning(lock);
  Deferred deferred;
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
    ReadNode(node, lock, deferred);
    RunDeferredUnlocked(lock, deferred);
  }
}

AheadNode* ReadAhead::FirstQueued() const {
  // Only the nodes being read, at most one a thread, stand before it.
  AheadNode* node = queue_head_;
  while (node != nullptr && node->state != State::kQueued) node = node->next;
  return node;
}

AheadNode* ReadAhead::ForWorker() const {
  AheadNode* node = FirstQueued();
  if (node == nullptr || ready_listings_ != 0) return node;
  for (node = node->next; node != nullptr; node = node->next)
    if (node->state == State::kQueued) return node;
  return nullptr;
}

bool ReadAhead::UnderBounds() const {
  return ready_listings_ < limits_.listings && ready_bytes_ < limits_.bytes;
}

// Reads that wait leave the processors free: more workers are asked for
// while there is more to read than the workers have in hand.
void ReadAhead::CountRead(bool waited) {
  waiting_reads_ += waited;
  if (++window_reads_ < kReadWindow) return;
  const bool more = waiting_reads_ >= kWaitingReadsPerWindow;
  window_reads_ = waiting_reads_ = 0;
  if (!more || !started_ || stop_ || idle_ != 0 || ForWorker() == nullptr)
    return;
  wanted_workers_ = std::min(limits_.workers, 2 * wanted_workers_ + 1);
}

void ReadAhead::ReadNode(AheadNode* node, Lock& lock, Deferred& deferred) {
  KESTRIV_CHECK(node->state == State::kQueued && node->through != nullptr);
  node->state = State::kReading;
  // Fixed while the node is kReading: its holder keeps the handle, and no
  // one changes its name.
  const AheadHandle parent = node->through->handle;
  lock.unlock();
  AheadRead read;
  const auto start = std::chrono::steady_clock::now();
  try {
    source_->Read(parent, node->name, &read);
  } catch (const std::bad_alloc&) {
    // The walk reads it again its own way, and meets the shortage there.
    if (read.handle != kNoAheadHandle) source_->Release(read.handle);
    read = AheadRead();
    read.error = ENOMEM;
  }
  if (read.error != 0 || !read.listing) {
    if (read.handle != kNoAheadHandle) source_->Release(read.handle);
    read.handle = kNoAheadHandle;
    read.listing.reset();
    if (read.error == 0) read.error = EIO;
  }
  std::vector<AheadNode*> children = NewChildren(read.listing.get());
  const size_t bytes = read.listing ? read.listing->Bytes() : 0;
  const bool waited = std::chrono::steady_clock::now() - start >
                      kWaitingRead + kWaitingReadPerByte * bytes;
  LockSpinning(lock);
  CountRead(waited);
  Finish(node, read, children, deferred);
}

void ReadAhead::Finish(AheadNode* node, AheadRead& read,
                       std::vector<AheadNode*>& children,
                       Deferred& deferred) {
  KESTRIV_CHECK(node->state == State::kReading);
  node->state = State::kRead;
  finished_.fetch_add(1, std::memory_order_relaxed);
  LetGoOf(node->through, deferred);
  node->through = nullptr;
  const bool keep_handle = !node->released && !children.empty() &&
                           read.handle != kNoAheadHandle &&
                           handles_ < limits_.handles;
  if (keep_handle) {
    AheadHolder* holder = new (std::nothrow) AheadHolder;
    if (holder != nullptr) {
      holder->handle = read.handle;
      read.handle = kNoAheadHandle;
      ++handles_;
      QueueChildren(node, node, holder, children);
      // Woken for the children before this listing counts as ready: one
      // the walk read itself it takes at once, and on a chain of single
      // directories it then reads the next itself, without a hand-over.
      WakeWorkers();
    }
  }
  DeleteAll(children);
  if (read.handle != kNoAheadHandle) deferred.handles.push_back(read.handle);
  Unqueue(node);
  if (node->released) {
    // The walk let go of it while it was read: it frees it.
    if (read.listing) deferred.listings.push_back(std::move(read.listing));
    node->next_handed_back = handed_back_;
    handed_back_ = node;
    return;
  }
  node->bytes = read.listing ? read.listing->Bytes() : 0;
  node->listing = std::move(read.listing);
  ++ready_listings_;
  ready_bytes_ += node->bytes;
  if (awaited_ == node) listing_ready_.notify_one();
}

void ReadAhead::QueueChildren(AheadNode* node, AheadNode* after,
                              AheadHolder* holder,
                              std::vector<AheadNode*>& children) {
  KESTRIV_CHECK(!node->expanded && holder->users == 0);
  for (AheadNode* child : children) {
    child->through = holder;
    child->previous = after;
    child->next = after != nullptr ? after->next : queue_head_;
    if (child->next != nullptr) child->next->previous = child;
    if (after != nullptr)
      after->next = child;
    else
      queue_head_ = child;
    after = child;
  }
  holder->users = children.size();
  live_ += children.size();
  node->expanded = true;
  node->children = std::move(children);
  children.clear();
}

void ReadAhead::Unqueue(AheadNode* node) {
  if (node->previous != nullptr)
    node->previous->next = node->next;
  else
    queue_head_ = node->next;
  if (node->next != nullptr) node->next->previous = node->previous;
  node->previous = node->next = nullptr;
}

void ReadAhead::LetGoOf(AheadHolder* holder, Deferred& deferred) {
  if (holder == nullptr) return;
  KESTRIV_CHECK(holder->users > 0);
  if (--holder->users != 0) return;
  deferred.handles.push_back(holder->handle);
  delete holder;
  --handles_;
}

void ReadAhead::WakeWorkers() {
  if (idle_ == 0 || !UnderBounds()) return;
  size_t work = 0;
  for (AheadNode* node = ForWorker(); node != nullptr && work < idle_;
       node = node->next)
    work += node->state == State::kQueued;
  if (work == 1)
    work_ready_.notify_one();
  else if (work > 1)
    work_ready_.notify_all();
}

void ReadAhead::Discard(AheadNode* node, Deferred& deferred) {
  std::vector<AheadNode*> stack{node};
  while (!stack.empty()) {
    AheadNode* at = stack.back();
    stack.pop_back();
    KESTRIV_CHECK(!at->released);
    at->released = true;
    for (AheadNode* child : at->children)
      if (child != nullptr) stack.push_back(child);
    at->children.clear();
    switch (at->state) {
      case State::kReading:
        continue;  // its reader hands it back
      case State::kQueued:
        Unqueue(at);
        LetGoOf(at->through, deferred);
        break;
      case State::kRead:
        --ready_listings_;
        ready_bytes_ -= at->bytes;
        if (at->listing) deferred.listings.push_back(std::move(at->listing));
        break;
      case State::kTaken:
        break;
    }
    delete at;
    --live_;
  }
}

void ReadAhead::DiscardReleased(Deferred& deferred) {
  KESTRIV_CHECK(OnWalkThread());
  while (released_ != nullptr) {
    AheadNode* node = released_;
    released_ = node->next_released;
    Discard(node, deferred);
  }
  released_count_ = 0;
  while (handed_back_ != nullptr) {
    AheadNode* node = handed_back_;
    handed_back_ = node->next_handed_back;
    KESTRIV_CHECK(node->released && node->state == State::kRead);
    delete node;
    --live_;
  }
}

void ReadAhead::RunDeferred(Deferred& deferred) {
  for (AheadHandle handle : deferred.handles) source_->Release(handle);
  deferred.handles.clear();
  deferred.listings.clear();
}

// After each read: handles are bounded, so none waits for the next one.
void ReadAhead::RunDeferredUnlocked(Lock& lock, Deferred& deferred) {
  if (deferred.handles.empty() && deferred.listings.empty()) return;
  lock.unlock();
  RunDeferred(deferred);
  LockSpinning(lock);
}

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

AheadListingPtr ReadAhead::Take(AheadNode* node) {
  KESTRIV_CHECK(OnWalkThread());
  Deferred deferred;
  AheadListingPtr listing;
  size_t wanted = 0;
  {
    Lock lock(mutex_, std::defer_lock);
    LockSpinning(lock);
    DiscardReleased(deferred);
    // A node taken before (its read failed, and so did the walk's own)
    // has nothing more to give.
    const bool takable = node != nullptr && node->claimed && !node->released &&
                         node->state != State::kTaken;
    bool watched = false;
    while (takable && node->state != State::kRead) {
      if (node->state == State::kQueued) {
        ReadNode(node, lock, deferred);
        RunDeferredUnlocked(lock, deferred);
        continue;
      }
      // A worker reads it: read the next one meanwhile, or wait.
      AheadNode* next = UnderBounds() ? FirstQueued() : nullptr;
      if (next != nullptr) {
        ReadNode(next, lock, deferred);
        RunDeferredUnlocked(lock, deferred);
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
    if (takable) {
      node->state = State::kTaken;
      --ready_listings_;
      ready_bytes_ -= node->bytes;
      node->bytes = 0;
      listing = std::move(node->listing);
      // Workers stopped by the bounds go on once a quarter is taken, not
      // at every listing.
      if (over_bounds_ && ready_listings_ <= limits_.listings / 4 * 3 &&
          ready_bytes_ <= limits_.bytes / 4 * 3) {
        over_bounds_ = false;
        WakeWorkers();
      }
    }
    wanted = wanted_workers_;
  }
  RunDeferred(deferred);
  if (wanted > workers_.size()) StartWorkers(wanted);
  return listing;
}

bool ReadAhead::WouldExpand(const AheadNode* node,
                            const AheadListing& listing) {
  KESTRIV_CHECK(OnWalkThread());
  if (listing.SubdirectoryCount() == 0) return false;
  Lock lock(mutex_);
  return (node == nullptr || Expandable(node)) && handles_ < limits_.handles;
}

bool ReadAhead::Expandable(const AheadNode* node) const {
  return node->claimed && !node->released && node->state == State::kTaken &&
         !node->expanded;
}

AheadNode* ReadAhead::Expand(AheadNode* node, const AheadListing& listing,
                             AheadHandle handle) {
  KESTRIV_CHECK(OnWalkThread());
  std::vector<AheadNode*> children = NewChildren(&listing);
  AheadNode* made = node == nullptr ? new (std::nothrow) AheadNode : nullptr;
  AheadHolder* holder = new (std::nothrow) AheadHolder;
  Deferred deferred;
  {
    Lock lock(mutex_, std::defer_lock);
    LockSpinning(lock);
    if (made != nullptr) {
      made->state = State::kTaken;
      made->claimed = true;
      node = made;
      ++live_;
    }
    if (node != nullptr && Expandable(node) && holder != nullptr && !children.empty() &&
        handle != kNoAheadHandle && handles_ < limits_.handles) {
      holder->handle = handle;
      handle = kNoAheadHandle;
      ++handles_;
      // The walk stands at this node: everything queued comes after its
      // subtree.
      QueueChildren(node, nullptr, holder, children);
      holder = nullptr;
      WakeWorkers();
    }
  }
  delete holder;
  DeleteAll(children);
  if (handle != kNoAheadHandle) source_->Release(handle);
  return node;
}

AheadNode* ReadAhead::TakeChild(AheadNode* parent, size_t index) {
  KESTRIV_CHECK(OnWalkThread());
  if (parent == nullptr) return nullptr;
  Lock lock(mutex_, std::defer_lock);
  LockSpinning(lock);
  // Only a taken node's children are fixed: a worker may still be making
  // them otherwise.
  if (!parent->claimed || parent->released ||
      parent->state != State::kTaken) {
    ++early_claims_;
    return nullptr;
  }
  if (index >= parent->children.size()) return nullptr;
  AheadNode* child = parent->children[index];
  parent->children[index] = nullptr;
  if (child != nullptr) child->claimed = true;
  return child;
}

// The nodes the walk is done with go in batches, with the next listing it
// takes, so that the walk takes the lock about once a directory.
void ReadAhead::Release(AheadNode* node) {
  KESTRIV_CHECK(OnWalkThread());
  if (node == nullptr) return;
  node->next_released = released_;
  released_ = node;
  if (++released_count_ < kReleasedBatch) return;
  Deferred deferred;
  {
    Lock lock(mutex_, std::defer_lock);
    LockSpinning(lock);
    DiscardReleased(deferred);
  }
  RunDeferred(deferred);
}

size_t ReadAhead::LiveNodes() {
  Deferred deferred;
  size_t live;
  {
    Lock lock(mutex_);
    DiscardReleased(deferred);
    live = live_;
  }
  RunDeferred(deferred);
  return live;
}
