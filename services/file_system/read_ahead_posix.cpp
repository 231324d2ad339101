// Reading ahead on POSIX: a worker opens each directory relative to its
// parent's descriptor by its stored name, as the walk does, and lists it
// whole; the descriptor stays open while its subdirectories wait.
#include <dirent.h>
#include <errno.h>
#include <pthread.h>
#include <sys/resource.h>

#include <algorithm>

#include "services/file_system/file_system.h"
#include "services/file_system/session_posix.h"

namespace {

// A worker's stack: it only reads into the heap, and the system's default
// (the main thread's limit, often 8 MiB) would spend address space a run
// under a memory limit needs.
constexpr size_t kWorkerStack = 512 << 10;
// The address space a worker may take besides its stack: the C library
// sets aside up to 64 MiB for each thread's allocations.
constexpr size_t kWorkerAddressSpace = (64 << 20) + kWorkerStack;

// The subdirectories the walk enters without a link: those listed as
// directories, in listing order.
std::vector<std::string> SubdirectoriesIn(const Listing& listing) {
  std::vector<std::string> names;
  ListedEntry entry;
  for (size_t offset = 0; NextListedEntry(listing, &offset, &entry);) {
    const std::string_view name(entry.name, entry.size);
    if (entry.type == DT_DIR && !IsDotName(name)) names.emplace_back(name);
  }
  return names;
}

class DescriptorSource : public AheadSource {
 public:
  explicit DescriptorSource(DirectoryReader* reader) : reader_(*reader) {}

  void Read(AheadHandle parent, const std::string& name,
            AheadRead* read) override {
    // Listed as a directory: opened only as one, as the walk opens it.
    const int fd = reader_.OpenAt(static_cast<int>(parent), name.c_str(),
                                  false);
    if (fd < 0) {
      read->error = errno != 0 ? errno : ENOENT;
      return;
    }
    thread_local RecordBuffer buffer;
    Listing listing;
    if (!ReadListing(reader_, fd, &buffer, &listing)) {
      read->error = errno != 0 ? errno : EIO;
      reader_.Close(fd);
      return;
    }
    read->subdirectories = SubdirectoriesIn(listing);
    read->listing = std::move(listing.bytes);
    if (read->subdirectories.empty())
      reader_.Close(fd);
    else
      read->handle = fd;
  }

  void Release(AheadHandle handle) override {
    reader_.Close(static_cast<int>(handle));
  }

 private:
  DirectoryReader& reader_;
};

// The workers an address-space limit leaves room for: at most half of it
// goes to them, the rest stays the walk's.
size_t WorkersTheAddressSpaceAllows(size_t workers) {
  struct rlimit limit;
  if (getrlimit(RLIMIT_AS, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return workers;
  return std::min<size_t>(workers, limit.rlim_cur / 2 / kWorkerAddressSpace);
}

}  // namespace

void EnableReadAhead(FileSystemSession& session, size_t workers,
                     size_t first_workers, size_t handles) {
  workers = WorkersTheAddressSpaceAllows(workers);
  if (workers == 0) return;
  pthread_attr_t attributes;
  if (pthread_attr_init(&attributes) == 0) {
    if (pthread_attr_setstacksize(&attributes, kWorkerStack) == 0)
      pthread_setattr_default_np(&attributes);
    pthread_attr_destroy(&attributes);
  }
  AheadLimits limits;
  limits.workers = workers;
  limits.first_workers = std::min(first_workers, workers);
  limits.handles = handles;
  session.ahead_source = std::make_unique<DescriptorSource>(session.reader);
  session.ahead = std::make_unique<ReadAhead>(session.ahead_source.get(),
                                              limits);
}

// Only a listing read from the system is followed by reads ahead: the
// subdirectories of a listing kept for the run were kept too.
void ReadAheadBelow(Directory& dir) {
  FileSystemSession& session = *dir.session;
  if (!session.ahead) return;
  session.ahead->Descend();
  const Listing* listing = ListingOf(dir);
  if (listing == nullptr || dir.recalled) return;
  if (dir.ahead != nullptr && session.ahead->Expanded(dir.ahead)) return;
  std::vector<std::string> names = SubdirectoriesIn(*listing);
  if (names.empty()) return;
  // The workers' own descriptor: the walk may give its own up.
  const int fd = DescriptorOf(dir);
  const int own = fd < 0 ? -1 : OpenBelow(session, fd, ".", true);
  if (own < 0) return;
  dir.ahead = session.ahead->Seed(dir.ahead, own, std::move(names));
}
