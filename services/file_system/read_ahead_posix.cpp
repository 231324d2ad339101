// Reading ahead on POSIX: a worker opens each directory relative to its
// parent's descriptor by its stored name, as the walk does, and reads its
// listing whole, with the statuses the walk will ask for; the descriptor
// stays open while its subdirectories wait.
#include <errno.h>
#include <sys/resource.h>

#include <algorithm>
#include <memory>
#include <new>
#include <utility>

#include "services/file_system/file_system.h"
#include "services/file_system/read_ahead_platform.h"
#include "services/file_system/session_posix.h"

namespace {

// The address space a worker may take: the C library sets aside up to
// 64 MiB for each thread's allocations, besides its stack.
constexpr size_t kWorkerAddressSpace = (64 << 20) + (512 << 10);

// What a handle stands for: an open directory at `level` of the walk, and
// what the listings read through it read besides names.
struct AheadDirectory {
  int fd = -1;
  size_t level = 0;
  std::shared_ptr<const ListingWants> wants;
};

// A handle for `fd`; kNoAheadHandle, with `fd` closed, when memory is
// short.
AheadHandle HandleOf(DirectoryReader& reader, int fd, size_t level,
                     std::shared_ptr<const ListingWants> wants) {
  AheadDirectory* made = new (std::nothrow) AheadDirectory;
  if (made == nullptr) {
    reader.Close(fd);
    return kNoAheadHandle;
  }
  made->fd = fd;
  made->level = level;
  made->wants = std::move(wants);
  return reinterpret_cast<AheadHandle>(made);
}

class DescriptorSource : public AheadSource {
 public:
  explicit DescriptorSource(DirectoryReader* reader) : reader_(*reader) {}

  void Read(AheadHandle parent, const std::string& name,
            AheadRead* read) override {
    const AheadDirectory& at = *reinterpret_cast<AheadDirectory*>(parent);
    // Listed as a directory: opened only as one, as the walk opens it.
    const int fd = reader_.OpenAt(at.fd, name.c_str(), false);
    if (fd < 0) {
      read->error = errno != 0 ? errno : ENOENT;
      return;
    }
    // Each thread's own room for raw records, reused from read to read.
    thread_local RecordBuffer buffer;
    std::unique_ptr<Listing> listing = std::make_unique<Listing>();
    if (!ReadListing(reader_, fd, &buffer, *at.wants, at.level + 1,
                     listing.get())) {
      read->error = errno != 0 ? errno : EIO;
      reader_.Close(fd);
      return;
    }
    if (listing->SubdirectoryCount() == 0)
      reader_.Close(fd);
    else
      read->handle = HandleOf(reader_, fd, at.level + 1, at.wants);
    read->listing = std::move(listing);
  }

  void Release(AheadHandle handle) override {
    AheadDirectory* directory = reinterpret_cast<AheadDirectory*>(handle);
    reader_.Close(directory->fd);
    delete directory;
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
  AheadLimits limits;
  limits.workers = workers;
  limits.first_workers = std::min(first_workers, workers);
  limits.handles = handles;
  session.ahead_source = std::make_unique<DescriptorSource>(session.reader);
  session.ahead = std::make_unique<ReadAhead>(session.ahead_source.get(),
                                              limits);
}

ReadAhead* ReadAheadOf(Directory& dir) { return dir.session->ahead.get(); }

AheadNode*& AheadNodeOf(Directory& dir) { return dir.ahead; }

// The subdirectories of a listing kept for the run were kept too: they
// are not read ahead.
const AheadListing* ListingToFollow(Directory& dir) {
  const Listing* listing = ListingOf(dir);
  return listing == nullptr || dir.recalled ? nullptr : listing;
}

AheadHandle NewAheadHandle(Directory& dir) {
  const int fd = DescriptorOf(dir);
  const int own = fd < 0 ? -1 : OpenBelow(*dir.session, fd, ".", true);
  return own < 0 ? kNoAheadHandle
                 : HandleOf(*dir.session->reader, own, dir.level,
                            dir.session->wants);
}
