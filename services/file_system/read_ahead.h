// Listings read ahead of a walk by worker threads. The directories the
// walk will enter are kept in one queue in exactly the order it enters
// them: whoever reads a directory puts its subdirectories where they
// belong, right after it, so the workers always read the nearest ones
// first, and the walk takes each listing when it gets there, reading it
// itself when no worker has begun it. Bounded in listings, bytes and held
// handles; the workers only read, and stop with the object.
#ifndef KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_H_
#define KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_H_

#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// What a platform keeps open of a read directory so that its
// subdirectories can be read (a descriptor, a path); opaque here.
using AheadHandle = intptr_t;
constexpr AheadHandle kNoAheadHandle = -1;

// What one read of a directory gives.
struct AheadRead {
  int error = 0;          // the platform's error code, 0 when it was read
  std::string listing;    // the platform's listing of its entries
  std::vector<std::string> subdirectories;  // to be entered, in order
  AheadHandle handle = kNoAheadHandle;  // for reading them, if any
};

// The platform's reads; called from any thread at once.
class AheadSource {
 public:
  virtual ~AheadSource() = default;
  // Reads the directory `name` in the one `parent` stands for.
  virtual void Read(AheadHandle parent, const std::string& name,
                    AheadRead* read) = 0;
  // Lets go of a handle a read returned.
  virtual void Release(AheadHandle handle) = 0;
};

struct AheadLimits {
  size_t workers = 0;      // threads besides the walk's, at most
  size_t first_workers = 0;  // started at once; more where reads wait
  size_t listings = 4096;  // read and not yet taken
  size_t bytes = 32u << 20;  // of those listings
  size_t handles = 1024;   // held for subdirectories still to read
};

// Of up to `workers` workers, those that start at once: with the walk's
// thread, one a processor.
size_t FirstWorkers(size_t workers);

// One directory the walk will enter or has entered.
struct AheadNode;

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

  // The walk has read a directory itself (`node` null) or has taken the
  // listing of `node`, whose subdirectories were not queued: they are
  // entered next, through `handle`. The node that stands for it.
  AheadNode* Seed(AheadNode* node, AheadHandle handle,
                  std::vector<std::string> subdirectories);
  // True when the subdirectories of `node`, whose listing the walk has
  // taken, are queued or known to be none.
  bool Expanded(const AheadNode* node) const;
  // The node of the subdirectory `name` the walk now enters below
  // `parent`, when it is the next one queued there; null otherwise.
  AheadNode* TakeSubdirectory(AheadNode* parent, const std::string& name);
  // The listing of `node` moved into `listing`, waiting for a worker or
  // reading it now; false when the read failed (the walk then reads it
  // its own way).
  bool TakeListing(AheadNode* node, std::string* listing);
  // The walk is done with `node`: it and whatever was read below it that
  // the walk did not take go.
  void Release(AheadNode* node);

  // Nodes alive, for tests that check, once the workers are stopped, that
  // nothing is kept.
  size_t LiveNodes();

 private:
  using Lock = std::unique_lock<std::mutex>;
  void WorkerLoop();
  void AddWorker();
  void CountRead(bool waited);
  AheadNode* FirstQueued() const;
  AheadNode* ForWorker() const;
  bool UnderBounds() const;
  void ReadNode(AheadNode* node, Lock& lock);
  void Finish(AheadNode* node, AheadRead& read,
              std::vector<AheadNode*>& children);
  void Queue(AheadNode* after, AheadNode* node);
  void Unqueue(AheadNode* node);
  void AddSubdirectories(AheadNode* node, AheadNode* after,
                         std::vector<AheadNode*>& children);
  void Discard(AheadNode* node);
  void FreeIfDone(AheadNode* node);
  void OneLessPending(AheadNode* node);
  void WakeWorkers();
  void AwaitBriefly(Lock& lock);
  void DiscardReleased();

  AheadSource* source_;
  AheadLimits limits_;
  mutable std::mutex mutex_;
  std::condition_variable work_ready_;
  std::condition_variable listing_ready_;
  AheadNode* queue_head_ = nullptr;  // earliest first
  size_t ready_listings_ = 0;  // read, not yet taken
  size_t ready_bytes_ = 0;
  size_t handles_ = 0;
  size_t idle_ = 0;
  size_t live_ = 0;
  const AheadNode* awaited_ = nullptr;  // the walk waits for it
  // Released by the walk, not yet let go of; only the walk touches them.
  AheadNode* released_ = nullptr;
  size_t released_count_ = 0;
  size_t window_reads_ = 0;   // reads in the current window
  size_t waiting_reads_ = 0;  // of them, those that waited
  size_t descents_ = 0;       // only the walk counts them
  bool refused_ = false;  // the system refused a thread
  std::atomic<size_t> finished_{0};  // reads finished, watched unlocked
  bool over_bounds_ = false;  // a worker waits for listings to be taken
  bool stop_ = false;
  bool started_ = false;
  std::vector<std::thread> workers_;
};

#endif  // KESTRIV_SERVICES_FILE_SYSTEM_READ_AHEAD_H_
