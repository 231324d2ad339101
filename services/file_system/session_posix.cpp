#include "services/file_system/session_posix.h"

#include <errno.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstring>

#include "services/case_fold.h"
#include "services/wildcard.h"

namespace {

// Descriptors left free for everything else the process opens.
constexpr size_t kSpareDescriptors = 64;
// The fewest descriptors the directories are given: below it a deep walk
// would reopen its ancestors at every step.
constexpr size_t kLeastBudget = 8;
// Descriptors asked for: plenty for any real tree, few enough to stay a
// small share of the system's.
constexpr rlim_t kWantedDescriptors = 1 << 16;
// Descriptors of finished directories closed together.
constexpr size_t kCloseBatch = 256;
// Descriptors the workers may hold for directories still to read, and the
// fewest that make workers worth starting.
constexpr size_t kAheadDescriptors = 1024;
constexpr size_t kLeastAheadDescriptors = 16;

// Descriptors of finished directories are closed in batches: the process
// then holds them in runs of neighbouring numbers, and the system closes a
// run in one call instead of one call per directory.
void CloseLater(FileSystemSession& session, int fd) {
  if (session.close_batch == 0) {
    session.reader->Close(fd);
    return;
  }
  session.closing.push_back(fd);
  if (session.closing.size() < session.close_batch) return;
  session.reader->CloseAll(session.closing);
  session.closing.clear();
}

// Gives up the descriptor of a directory that can open again from its
// parent, noting first what it is, so that it is known again.
void GiveUpDescriptor(Directory& dir) {
  if (dir.fd < 0 || dir.parent == nullptr) return;
  FileSystemSession& session = *dir.session;
  if (!dir.identity_known)
    dir.identity_known = ReadIdentity(*session.reader, dir.fd, &dir.identity);
  CloseLater(session, dir.fd);
  dir.fd = -1;
  --session.held;
}

void Hold(Directory& dir, int fd) {
  dir.fd = fd;
  dir.opened = true;
  ++dir.session->held;
  // Past the budget the parent gives its descriptor up: the open ones are
  // then the outermost levels and the innermost. A directory about to
  // stand on its own (the selection's below a level, a step of a typed
  // path) leaves its parent's alone: the walk comes back to the parent at
  // once, and reopening it from a distant ancestor at every level would
  // cost the square of the depth.
  if (dir.session->held > dir.session->budget && dir.parent != nullptr &&
      !dir.detaching)
    GiveUpDescriptor(*dir.parent);
}

bool IsShortage(int error) {
  return error == EMFILE || error == ENFILE || error == ENOMEM;
}

// Frees the descriptors the session can: the batch waiting to be closed;
// and, since the budget proved too big, shrinks it to what is held now.
void RelieveShortage(FileSystemSession& session) {
  session.reader->CloseAll(session.closing);
  session.closing.clear();
  session.budget = std::max(kLeastBudget, session.held > 0 ? session.held - 1
                                                            : size_t{0});
}

// Opens `dir` below its parent's descriptor; an identity known from before
// must match, or the name now stands for another directory.
bool OpenFromParent(Directory& dir, int parent_fd) {
  const int fd = OpenBelow(*dir.session, parent_fd, dir.name.c_str(),
                           dir.follow);
  if (fd < 0) {
    dir.error = errno;
    return false;
  }
  FileIdentity now;
  if (dir.identity_known &&
      !(ReadIdentity(*dir.session->reader, fd, &now) && now == dir.identity)) {
    dir.session->reader->Close(fd);
    dir.error = ENOENT;
    return false;
  }
  Hold(dir, fd);
  return true;
}

// The descriptors in use when the run starts, counted in one call: poll
// marks every number that is not open.
size_t DescriptorsInUse(rlim_t soft) {
  const size_t count = std::min<rlim_t>(soft, kWantedDescriptors);
  std::vector<struct pollfd> fds(count);
  for (size_t i = 0; i < count; ++i) fds[i] = {static_cast<int>(i), 0, 0};
  if (poll(fds.data(), fds.size(), 0) < 0) return 0;
  size_t open = 0;
  for (const struct pollfd& fd : fds) open += (fd.revents & POLLNVAL) == 0;
  return open;
}

// The descriptors the directories may hold. The soft limit is raised to
// the hard one (up to kWantedDescriptors), as deep walkers do; what the
// process already holds, and a reserve, are kept out of it.
size_t DescriptorBudget() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return kLeastBudget;
  const size_t in_use = DescriptorsInUse(
      limit.rlim_cur == RLIM_INFINITY ? kWantedDescriptors : limit.rlim_cur);
  const rlim_t wanted =
      limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kWantedDescriptors
          ? kWantedDescriptors
          : limit.rlim_max;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    struct rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const size_t soft = limit.rlim_cur == RLIM_INFINITY
                          ? kWantedDescriptors
                          : static_cast<size_t>(limit.rlim_cur);
  const size_t reserve = std::min(kSpareDescriptors, soft / 8);
  return soft > in_use + reserve + kLeastBudget ? soft - in_use - reserve
                                                : kLeastBudget;
}

// The key the run's kept listings know `dir` by: its parent's number and
// its name, or for a directory opened from text, its identity.
bool RunKey(Directory& dir, std::string* key) {
  uint32_t parent = 0xFFFFFFFFu;
  if (dir.parent != nullptr) {
    parent = dir.parent->run_number;
    if (parent == 0) return false;
    key->assign(reinterpret_cast<const char*>(&parent), sizeof parent);
    key->append(dir.name);
    return true;
  }
  FileIdentity id;
  if (!IdentityOf(dir, &id)) return false;
  key->assign(reinterpret_cast<const char*>(&parent), sizeof parent);
  key->append(reinterpret_cast<const char*>(&id), sizeof id);
  return true;
}

bool ReadInto(Directory& dir, int fd) {
  FileSystemSession& session = *dir.session;
  if (ReadListing(*session.reader, fd, &session.records, *session.wants,
                  dir.level, &dir.listing))
    return true;
  dir.error = errno != 0 ? errno : EIO;
  return false;
}

// Reads the listing from the system; a shortage of memory or descriptors
// is relieved once and the directory read again through a fresh
// descriptor.
bool ReadFromSystem(Directory& dir) {
  int fd = DescriptorOf(dir);
  if (fd < 0) return false;
  if (ReadInto(dir, fd)) return true;
  if (!IsShortage(dir.error)) return false;
  RelieveShortage(*dir.session);
  fd = dir.session->reader->OpenAt(dir.fd, ".", true);
  if (fd < 0) return false;
  const bool read = ReadInto(dir, fd);
  dir.session->reader->Close(fd);
  return read;
}

}  // namespace

FileSystemSessionPtr NewSessionWithReader(DirectoryReader* reader,
                                          bool repeated_walks, size_t budget,
                                          size_t close_batch) {
  FileSystemSessionPtr session(new FileSystemSession);
  session->reader = reader;
  session->wants = std::make_shared<ListingWants>();
  session->budget = std::max(budget, size_t{1});
  session->close_batch = close_batch;
  session->closing.reserve(close_batch);
  if (repeated_walks) session->run.Enable();
  return session;
}

FileSystemSessionPtr NewOneCallSession() {
  std::unique_ptr<DirectoryReader> reader = NewSystemDirectoryReader();
  FileSystemSessionPtr session =
      NewSessionWithReader(reader.get(), false, kSpareDescriptors, 0);
  session->own_reader = std::move(reader);
  return session;
}

FileSystemSessionPtr NewFileSystemSession(bool repeated_walks,
                                          size_t threads) {
  // A quarter of the budget, at most kCloseBatch, waits to be closed; of
  // the rest, the workers may hold half, at most kAheadDescriptors.
  const size_t budget = DescriptorBudget();
  const size_t batch = std::min(kCloseBatch, budget / 4);
  const size_t ahead =
      threads > 1 ? std::min(kAheadDescriptors, (budget - batch) / 2) : 0;
  const bool workers = ahead >= kLeastAheadDescriptors + threads;
  std::unique_ptr<DirectoryReader> reader = NewSystemDirectoryReader();
  FileSystemSessionPtr session = NewSessionWithReader(
      reader.get(), repeated_walks, budget - batch - (workers ? ahead : 0),
      batch);
  session->own_reader = std::move(reader);
  // Each worker holds one more descriptor while it reads.
  if (workers)
    EnableReadAhead(*session, threads - 1, FirstWorkers(threads - 1),
                    ahead - threads);
  return session;
}

void FileSystemSessionDeleter::operator()(FileSystemSession* session) const {
  session->reader->CloseAll(session->closing);
  delete session;
}

// A directory that closes while its parent has given up its descriptor
// gives the parent one back through "..", when that is the same directory
// (it is not below a link).
void DirectoryDeleter::operator()(Directory* dir) const {
  FileSystemSession& session = *dir->session;
  if (dir->ahead != nullptr) session.ahead->Release(dir->ahead);
  if (dir->fd >= 0) {
    Directory* parent = dir->parent;
    if (parent != nullptr && parent->fd < 0 && parent->identity_known) {
      const int up = session.reader->OpenAt(dir->fd, "..", true);
      FileIdentity id;
      if (up >= 0 && ReadIdentity(*session.reader, up, &id) &&
          id == parent->identity) {
        parent->fd = up;
        ++session.held;
      } else if (up >= 0) {
        session.reader->Close(up);
      }
    }
    CloseLater(session, dir->fd);
    --session.held;
  }
  delete dir;
}

int OpenBelow(FileSystemSession& session, int at, const char* name,
              bool follow) {
  int fd = session.reader->OpenAt(at, name, follow);
  if (fd >= 0 || !IsShortage(errno)) return fd;
  RelieveShortage(session);
  return session.reader->OpenAt(at, name, follow);
}

int DescriptorOf(Directory& dir) {
  if (dir.fd >= 0) return dir.fd;
  if (dir.failed) return -1;
  // The nearest ancestor that holds a descriptor, then down by the names.
  std::vector<Directory*> down;
  Directory* at = &dir;
  while (at->fd < 0 && at->parent != nullptr) {
    down.push_back(at);
    at = at->parent;
  }
  if (at->fd < 0) {
    dir.failed = true;
    dir.error = at->error != 0 ? at->error : ENOENT;
    return -1;
  }
  for (size_t i = down.size(); i-- > 0;) {
    Directory& next = *down[i];
    if (!OpenFromParent(next, next.parent->fd)) {
      // Only a first open that fails marks the directory itself.
      if (!next.opened) next.failed = true;
      dir.error = next.error;
      return -1;
    }
  }
  return dir.fd;
}

const Listing* ListingOf(Directory& dir) {
  if (dir.listed) return &dir.listing;
  FileSystemSession& session = *dir.session;
  std::string key;
  const bool keyed = session.run.enabled() && RunKey(dir, &key);
  if (keyed) {
    dir.run_number = session.run.Recall(key, &dir.listing);
    if (dir.run_number != 0) {
      dir.listed = true;
      dir.recalled = true;
      return &dir.listing;
    }
  }
  // A listing a worker could not read is read again here, so that what
  // fails, fails as it does without workers.
  AheadListingPtr taken;
  if (dir.ahead != nullptr) taken = session.ahead->Take(dir.ahead);
  if (taken)
    dir.listing = std::move(static_cast<Listing&>(*taken));
  else if (!ReadFromSystem(dir))
    return nullptr;
  if (keyed) dir.run_number = session.run.Remember(key, dir.listing);
  dir.listed = true;
  return &dir.listing;
}

namespace {

// The entry spelt `name`, else the first equal to it but for case.
bool SpellingIn(const Listing& listing, std::string_view name,
                std::string* found) {
  found->clear();
  for (const ListedEntry& entry : listing.entries) {
    const std::string_view stored = listing.NameOf(entry);
    if (!EqualsIgnoringCase(stored, name)) continue;
    if (stored == name) {
      found->assign(name);
      return true;
    }
    if (found->empty()) found->assign(stored);
  }
  return !found->empty();
}

}  // namespace

std::string StoredNameIn(const Listing& listing, std::string_view name) {
  std::string found;
  FindAsTyped(name, [&](std::string_view spelling) {
    return SpellingIn(listing, spelling, &found);
  });
  return found;
}

bool ReadIdentity(DirectoryReader& reader, int fd, FileIdentity* identity) {
  struct stat st;
  if (reader.StatAt(fd, ".", &st, true) != 0) return false;
  identity->volume = static_cast<uint64_t>(st.st_dev);
  identity->file = static_cast<uint64_t>(st.st_ino);
  return true;
}

// The walker scans every directory with the same two masks: each is
// prepared once per run, not once per directory.
std::shared_ptr<const CompiledMask> CompiledMaskFor(FileSystemSession& session,
                                                    const std::string& mask) {
  for (const auto& known : session.masks)
    if (known.first == mask) return known.second;
  constexpr size_t kKeptMasks = 8;
  if (session.masks.size() == kKeptMasks) session.masks.clear();
  session.masks.emplace_back(mask, std::make_shared<CompiledMask>(mask));
  return session.masks.back().second;
}

void PlanScans(FileSystemSession& session, const ScanPlan& plan) {
  auto wants = std::make_shared<ListingWants>();
  wants->fields = plan.wanted & kWantAll;
  wants->descent = plan.descent;
  if (wants->fields != 0 && HasWildcards(plan.mask))
    wants->candidates = CompiledMaskFor(session, plan.mask);
  session.wants = std::move(wants);
}
