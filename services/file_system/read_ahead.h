// Listings read ahead of a walk by worker threads.
//
// The walk enters directories depth first, one at a time, on its own
// thread. Workers read the directories it will enter next, nearest first,
// so that when the walk gets to one its listing is in hand; the walk reads
// a directory itself when no worker has begun it. The platform's layer (the
// adapter) only calls the public methods below; each one checks the state
// of the nodes it is given under the lock, so no call the adapter makes can
// break the engine's rules, whatever state its node is in.
//
// Nodes. A node stands for one directory the walk will enter, or has
// entered. Its parts and who may touch them:
//
//   request  `through` (the parent's handle) and `name`: made before the
//            node is queued, fixed from then on; its reader reads them
//            without the lock.
//   result   the listing and the handle a read gives: only its reader
//            (a worker, or the walk reading it itself) while the node is
//            kReading; handed over under the lock in Finish, the one place
//            a finished read reaches the walk; then the walk's.
//   place    state, queue links, children, the released and claimed
//            marks: under the lock only.
//
// States, and who moves a node from one to the next (always under the
// lock):
//
//   made by Finish (the parent's reader) or Expand (the walk)
//       │
//       ▼
//   kQueued ──a worker, or the walk, picks it──► kReading
//                                                   │ Finish (its reader)
//                                                   ▼
//                                                kRead ──Take (walk)──► kTaken
//
//   A node the walk made itself (Expand without a node) starts as kTaken.
//   The walk claims a child (TakeChild) before it takes it; it releases
//   (Release) every node it claimed. Releasing a node releases with it
//   every child the walk never claimed, read or not, recursively. A
//   released node is freed at once, unless it is kReading: its reader
//   hands it back in Finish and the walk frees it at its next call. Only
//   the walk's thread frees nodes.
//
// The queue holds the kQueued and kReading nodes in exactly the order the
// walk enters them (a preorder of the tree). A read puts the node's
// children right after it, where its subtree belongs; the walk's own
// Expand puts them first, since it stands at that node. A worker takes the
// first kQueued node, except that once the walk has taken every listing
// read, it leaves that one to the walk and takes the next: on a chain of
// single directories the walk then reads alone, as it would without
// workers.
//
// Handles. A node whose children are queued keeps the handle its read gave
// (a descriptor, a path) in a holder that counts the children still to
// open through it; the last one let go of it releases it, outside the lock.
//
// Bounds: listings read and not yet taken (count and bytes), handles held
// for children still to read. Workers that meet a bound sleep until the
// walk has taken a quarter.
//
// Threads. Only the walk's thread calls the public methods and starts
// threads; workers only read, through the AheadSource, and call Finish.
// One mutex guards every place part; the walk watches briefly for a read to
// finish before it sleeps.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

class WorkerThread;

// What a platform keeps open of a read directory so that its
// subdirectories can be read (a descriptor, a path); opaque here.
using AheadHandle = intptr_t;
constexpr AheadHandle kNoAheadHandle = -1;

// One directory's entries, as one read gave them; the platform's own.
class AheadListing {
 public:
  virtual ~AheadListing() = default;
  // The bytes it holds, counted against the bound.
  virtual size_t Bytes() const = 0;
  // The subdirectories the walk will enter that may be read ahead, in the
  // order it enters them.
  virtual size_t SubdirectoryCount() const = 0;
  // The name the handle of this directory reads subdirectory `index` by.
  virtual std::string SubdirectoryName(size_t index) const = 0;
};
using AheadListingPtr = std::unique_ptr<AheadListing>;

// What one read of a directory gives.
struct AheadRead {
  int error = 0;            // the platform's error code, 0 when it was read
  AheadListingPtr listing;  // when it was read
  AheadHandle handle = kNoAheadHandle;  // for reading its subdirectories
};

// The platform's reads; called from any thread, several at once.
class AheadSource {
 public:
  virtual ~AheadSource() = default;
  // Reads the directory `name` in the one `parent` stands for.
  virtual void Read(AheadHandle parent, const std::string& name,
                    AheadRead* read) = 0;
  // Lets go of a handle a read, or the walk, gave.
  virtual void Release(AheadHandle handle) = 0;
};

struct AheadLimits {
  size_t workers = 0;        // threads besides the walk's, at most
  size_t first_workers = 0;  // started at once; more where reads wait
  size_t listings = 4096;    // read and not yet taken
  size_t bytes = 32u << 20;  // of those listings
  size_t handles = 1024;     // held for subdirectories still to read
};

// Of up to `workers` workers, those that start at once: with the walk's
// thread, one a processor.
size_t FirstWorkers(size_t workers);

struct AheadNode;
struct AheadHolder;

class ReadAhead {
 public:
  ReadAhead(AheadSource* source, const AheadLimits& limits);
  // Stops and joins the workers and frees every node.
  ~ReadAhead();
  ReadAhead(const ReadAhead&) = delete;
  ReadAhead& operator=(const ReadAhead&) = delete;

  // The walk descends into one more directory; the first workers start at
  // the 8th, as a tree of a few directories is done before they could
  // help.
  void Descend();
  // Starts the first workers now, once; a thread the system refuses is
  // done without.
  void StartAtOnce();
  // Stops the workers: the reads begun end, no other begins.
  void Stop();

  // The listing of `node`, read by a worker, or here when none has begun
  // it; null when the read failed or `node` has none to give (the walk then
  // reads the directory its own way).
  AheadListingPtr Take(AheadNode* node);
  // True when Expand would queue the subdirectories of `listing`, the one
  // the walk holds of `node` (null: a directory it read itself).
  bool WouldExpand(const AheadNode* node, const AheadListing& listing);
  // Queues the subdirectories of `listing` to be read through `handle`,
  // which is the engine's from now on; the node that stands for the
  // directory (`node`, or a new one when it is null).
  AheadNode* Expand(AheadNode* node, const AheadListing& listing,
                    AheadHandle handle);
  // Claims subdirectory `index` of the listing taken from `parent`; null
  // when it is not queued there (or was claimed before).
  AheadNode* TakeChild(AheadNode* parent, size_t index);
  // The walk is done with `node`; it goes with whatever was read below it
  // that the walk never claimed.
  void Release(AheadNode* node);

  // For tests: nodes alive, once the workers are stopped; the workers that
  // ever started; the children asked for before their parent's listing
  // was taken, which an adapter that keeps to the walk's order never asks.
  size_t LiveNodes();
  size_t WorkersStarted() const { return workers_started_; }
  size_t EarlyClaims() const { return early_claims_; }

 private:
  using Lock = std::unique_lock<std::mutex>;
  struct Deferred;

  // The loop each worker runs.
  void WorkerLoop();
  // Starts the workers that CountRead asked for (walk, without the lock).
  void StartWorkers(size_t wanted);
  // Counts a finished read; asks for more workers where reads wait.
  void CountRead(bool waited);
  // The first kQueued node, and the one a worker should take.
  AheadNode* FirstQueued() const;
  AheadNode* ForWorker() const;
  // True while listings read and not taken stay within the bounds.
  bool UnderBounds() const;
  // True when the walk holds `node`, has taken it, and its children are
  // not queued yet.
  bool Expandable(const AheadNode* node) const;
  // Reads `node`, kQueued, with the lock let go of meanwhile.
  void ReadNode(AheadNode* node, Lock& lock, Deferred& deferred);
  // Hands the result of `node`'s read over: the one place a read ends.
  void Finish(AheadNode* node, AheadRead& read,
              std::vector<AheadNode*>& children, Deferred& deferred);
  // Links `children` into the queue after `after` (null: at its head),
  // each to be opened through `holder`.
  void QueueChildren(AheadNode* node, AheadNode* after, AheadHolder* holder,
                     std::vector<AheadNode*>& children);
  void Unqueue(AheadNode* node);
  // One child that opened through `holder` no longer needs it.
  void LetGoOf(AheadHolder* holder, Deferred& deferred);
  // Frees `node` and every unclaimed node below it; kReading ones wait.
  void Discard(AheadNode* node, Deferred& deferred);
  // Frees the nodes released since the last call and those readers
  // handed back.
  void DiscardReleased(Deferred& deferred);
  // Wakes as many idle workers as there are nodes they may read.
  void WakeWorkers();
  // Watches for a read to finish for about as long as one from memory
  // takes, with the lock let go of.
  void AwaitBriefly(Lock& lock);
  // Releases handles and frees listings gathered under the lock; the second
  // lets go of `lock` meanwhile, when there is anything to do.
  void RunDeferred(Deferred& deferred);
  void RunDeferredUnlocked(Lock& lock, Deferred& deferred);
  bool OnWalkThread() const;

  AheadSource* source_;
  AheadLimits limits_;
  const std::thread::id walk_thread_;
  mutable std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable listing_ready_;
  // Under the lock.
  AheadNode* queue_head_ = nullptr;  // earliest first
  size_t ready_listings_ = 0;        // kRead, not released
  size_t ready_bytes_ = 0;
  size_t handles_ = 0;
  size_t idle_ = 0;
  size_t live_ = 0;
  const AheadNode* awaited_ = nullptr;  // the walk sleeps until it is read
  AheadNode* handed_back_ = nullptr;  // released while read; the walk frees
  size_t window_reads_ = 0;           // reads in the current window
  size_t waiting_reads_ = 0;          // of them, those that waited
  size_t wanted_workers_ = 0;  // the walk starts them
  bool over_bounds_ = false;   // a worker waits for listings to be taken
  bool started_ = false;
  bool stop_ = false;
  std::atomic<size_t> finished_{0};  // reads finished, watched unlocked
  // The walk's thread only.
  AheadNode* released_ = nullptr;  // released, not yet let go of
  size_t released_count_ = 0;
  size_t descents_ = 0;
  bool refused_ = false;  // the system refused a thread
  size_t workers_started_ = 0;
  size_t early_claims_ = 0;
  std::vector<std::unique_ptr<WorkerThread>> workers_;
};

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_H_
