#include "services/scan_cache_posix.h"

#include <errno.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstring>

#include "services/path_lookup_posix.h"

namespace {

// Descriptors left free for everything else the process opens.
constexpr size_t kSpareDescriptors = 64;
// Descriptors asked for: plenty for any real tree, few enough to stay a
// small share of the system's.
constexpr rlim_t kWantedDescriptors = 1 << 16;
// Descriptors of finished scans closed together.
constexpr size_t kCloseBatch = 256;

// Descriptors of finished scans are closed in batches: the process then
// holds them in runs of neighbouring numbers, and the system closes a run
// in one call instead of one call per directory.
void CloseLater(ScanCache& cache, int fd) {
  if (cache.close_batch == 0) {
    cache.reader->Close(fd);
    return;
  }
  cache.closing.push_back(fd);
  if (cache.closing.size() < cache.close_batch) return;
  cache.reader->CloseAll(cache.closing);
  cache.closing.clear();
}

void CloseFrameDescriptor(ScanCache& cache, Frame* frame) {
  if (frame->fd >= 0) CloseLater(cache, frame->fd);
  frame->fd = -1;
}

std::unique_ptr<Frame> NewFrame(ScanCache& cache) {
  if (cache.spare.empty()) return std::make_unique<Frame>();
  std::unique_ptr<Frame> frame = std::move(cache.spare.back());
  cache.spare.pop_back();
  return frame;
}

// A frame's listing keeps its room for the next directory, unless it grew
// far beyond what directories need (one huge directory).
void Recycle(ScanCache& cache, std::unique_ptr<Frame> frame) {
  CloseFrameDescriptor(cache, frame.get());
  std::string& bytes = frame->listing.bytes;
  if (bytes.capacity() > (64 << 10)) std::string().swap(bytes);
  frame->saved_text.clear();
  cache.spare.push_back(std::move(frame));
}

// Where `dir` is `parent` plus one component, that component.
bool ChildName(const std::string& parent, std::string_view dir,
               std::string* name) {
  size_t start = parent.size();
  if (!parent.empty() && parent.back() != '/') ++start;
  if (dir.size() <= start || dir.compare(0, parent.size(), parent) != 0 ||
      (start > parent.size() && dir[parent.size()] != '/'))
    return false;
  name->assign(dir, start, std::string::npos);
  return name->find('/') == std::string::npos && *name != "." &&
         *name != "..";
}

bool RememberIdentity(ScanCache& cache, Frame* frame) {
  struct stat st;
  if (frame->fd < 0 || cache.reader->StatAt(frame->fd, ".", &st, true) != 0)
    return false;
  frame->device = st.st_dev;
  frame->inode = st.st_ino;
  frame->identity_known = true;
  return true;
}

// Closes the descriptor of a deep frame once a frame is open inside it.
void LimitDescriptors(ScanCache& cache) {
  const size_t top = cache.frames.size() - 1;
  if (top < cache.kept_descriptors + 1) return;
  Frame* below = cache.frames[top - 1].get();
  if (below->fd < 0) return;
  RememberIdentity(cache, below);
  CloseFrameDescriptor(cache, below);
}

void Push(ScanCache& cache, std::unique_ptr<Frame> frame,
          std::string_view dir) {
  frame->nested = !cache.frames.empty() &&
                  ChildName(cache.chain_text, dir, &frame->name);
  if (frame->nested) {
    cache.chain_text = dir;
  } else {
    frame->saved_text = std::move(cache.chain_text);
    cache.chain_text = dir;
  }
  frame->text_size = dir.size();
  frame->identity_known = false;
  cache.frames.push_back(std::move(frame));
  LimitDescriptors(cache);
}

int ReadIntoFrame(ScanCache& cache, std::string_view dir, Frame* frame) {
  frame->fd = -1;
  frame->opened_as_typed = false;
  if (cache.run.Recall(dir, &frame->listing)) {
    ++cache.counts.listings_reused;
    return 0;
  }
  cache.spelling_differed = false;
  const int fd = OpenDirectory(cache, dir);
  if (fd < 0) return errno != 0 ? errno : ENOENT;
  frame->fd = fd;
  frame->opened_as_typed = !cache.spelling_differed;
  if (!ReadListing(*cache.reader, fd, &cache.records, &frame->listing))
    return errno != 0 ? errno : EIO;
  ++cache.counts.listings_read;
  cache.run.Remember(dir, frame->listing);
  return 0;
}

// A deep frame whose descriptor was closed gets it back from its child's
// "..", when that is the same directory (not so below a link).
void ReopenFromChild(ScanCache& cache, Frame* parent, const Frame* child) {
  if (parent->fd >= 0 || child->fd < 0 || !child->nested ||
      !parent->identity_known)
    return;
  const int fd = cache.reader->OpenAt(child->fd, "..");
  struct stat st;
  if (fd >= 0 && cache.reader->StatAt(fd, ".", &st, true) == 0 &&
      st.st_dev == parent->device && st.st_ino == parent->inode) {
    parent->fd = fd;
    return;
  }
  if (fd >= 0) cache.reader->Close(fd);
}

// Takes the frame at `index` out of the stack, keeping the texts of the
// others. Scans close innermost first; should one close below another, the
// frame above it keeps the text of the frames below as its saved text, and
// is no longer taken for the child of the one below.
std::unique_ptr<Frame> Unlink(ScanCache& cache, size_t index) {
  auto& frames = cache.frames;
  if (index + 1 < frames.size() && frames[index + 1]->nested) {
    Frame* next = frames[index + 1].get();
    next->saved_text = frames[index]->nested ? FrameText(cache, index)
                                             : frames[index]->saved_text;
    next->nested = false;
  }
  std::unique_ptr<Frame> frame = std::move(frames[index]);
  frames.erase(frames.begin() + static_cast<std::ptrdiff_t>(index));
  if (index < frames.size()) return frame;
  if (frame->nested)
    cache.chain_text.resize(frames.back()->text_size);
  else
    cache.chain_text = std::move(frame->saved_text);
  if (!frames.empty()) ReopenFromChild(cache, frames.back().get(), frame.get());
  return frame;
}

// The descriptors the open frames may keep. The soft limit is raised to
// the hard one (up to kWantedDescriptors), as deep walkers do, so that the
// frames of all but the deepest trees keep theirs.
size_t DescriptorBudget() {
  struct rlimit limit;
  if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return kSpareDescriptors;
  const rlim_t wanted =
      limit.rlim_max == RLIM_INFINITY || limit.rlim_max > kWantedDescriptors
          ? kWantedDescriptors
          : limit.rlim_max;
  if (limit.rlim_cur != RLIM_INFINITY && limit.rlim_cur < wanted) {
    struct rlimit raised = limit;
    raised.rlim_cur = wanted;
    if (setrlimit(RLIMIT_NOFILE, &raised) == 0) limit = raised;
  }
  const rlim_t soft =
      limit.rlim_cur == RLIM_INFINITY ? kWantedDescriptors : limit.rlim_cur;
  return soft > 2 * kSpareDescriptors ? soft - kSpareDescriptors
                                      : kSpareDescriptors;
}

}  // namespace

ScanCachePtr NewScanCacheWithReader(DirectoryReader* reader,
                                    bool repeated_walks,
                                    size_t kept_descriptors,
                                    size_t close_batch) {
  ScanCachePtr cache(new ScanCache);
  cache->reader = reader;
  cache->kept_descriptors = kept_descriptors;
  cache->close_batch = close_batch;
  cache->closing.reserve(close_batch);
  if (repeated_walks) cache->run.Enable();
  return cache;
}

ScanCachePtr NewScanCacheForOneCall() {
  return NewScanCacheWithReader(&SystemDirectoryReader(), false,
                                kSpareDescriptors, 0);
}

ScanCachePtr NewScanCache(bool repeated_walks) {
  // A quarter of the budget, at most kCloseBatch, waits to be closed.
  const size_t budget = DescriptorBudget();
  const size_t batch = std::min(kCloseBatch, budget / 4);
  return NewScanCacheWithReader(&SystemDirectoryReader(), repeated_walks,
                                budget - batch, batch);
}

void ScanCacheDeleter::operator()(ScanCache* cache) const {
  for (auto& frame : cache->frames) CloseFrameDescriptor(*cache, frame.get());
  if (cache->kept) CloseFrameDescriptor(*cache, cache->kept.get());
  if (cache->lookup_fd >= 0) cache->reader->Close(cache->lookup_fd);
  cache->reader->CloseAll(cache->closing);
  delete cache;
}

int TakeListing(ScanCache& cache, std::string_view dir, Frame** taken) {
  std::unique_ptr<Frame> frame;
  if (cache.kept_valid && cache.kept_text == dir) {
    frame = std::move(cache.kept);
    cache.kept_valid = false;
    frame->second_read = true;
    ++cache.counts.listings_reused;
  } else {
    frame = NewFrame(cache);
    frame->second_read = false;
    if (int error = ReadIntoFrame(cache, dir, frame.get())) {
      Recycle(cache, std::move(frame));
      return error;
    }
  }
  *taken = frame.get();
  Push(cache, std::move(frame), dir);
  return 0;
}

void ReleaseListing(ScanCache& cache, Frame* frame, bool keep) {
  size_t index = cache.frames.size();
  while (index > 0 && cache.frames[index - 1].get() != frame) --index;
  if (index == 0) return;
  if (cache.kept) Recycle(cache, std::move(cache.kept));
  // A listing serves two reads at most: the walker's selection and descent.
  cache.kept_valid = keep && !frame->second_read;
  if (cache.kept_valid) {
    const std::string* text = &cache.chain_text;
    for (size_t m = cache.frames.size(); m-- > index;)
      if (!cache.frames[m]->nested) text = &cache.frames[m]->saved_text;
    cache.kept_text.assign(*text, 0, frame->text_size);
  }
  std::unique_ptr<Frame> released = Unlink(cache, index - 1);
  if (!cache.kept_valid) {
    Recycle(cache, std::move(released));
    return;
  }
  cache.kept = std::move(released);
}

std::string FrameText(const ScanCache& cache, size_t index) {
  const std::string* text = &cache.chain_text;
  for (size_t m = cache.frames.size(); m-- > index + 1;)
    if (!cache.frames[m]->nested) text = &cache.frames[m]->saved_text;
  return text->substr(0, cache.frames[index]->text_size);
}

long FindFrame(const ScanCache& cache, std::string_view dir) {
  const std::string* text = &cache.chain_text;
  for (size_t m = cache.frames.size(); m-- > 0;) {
    const Frame& frame = *cache.frames[m];
    if (frame.text_size == dir.size() &&
        text->compare(0, dir.size(), dir) == 0)
      return static_cast<long>(m);
    if (!frame.nested) text = &frame.saved_text;
  }
  return -1;
}

int FrameDescriptor(ScanCache& cache, size_t index) {
  auto& frames = cache.frames;
  if (frames[index]->fd >= 0) return frames[index]->fd;
  size_t first = index;
  while (first > 0 && frames[first]->fd < 0 && frames[first]->nested) --first;
  if (frames[first]->fd < 0)
    frames[first]->fd = OpenDirectoryFromStart(cache, FrameText(cache, first));
  for (size_t k = first + 1; k <= index && frames[k - 1]->fd >= 0; ++k) {
    frames[k]->fd = OpenComponent(cache, frames[k - 1]->fd, frames[k]->name);
    if (k - 1 >= cache.kept_descriptors && k - 1 != first) {
      RememberIdentity(cache, frames[k - 1].get());
      CloseFrameDescriptor(cache, frames[k - 1].get());
    }
  }
  return frames[index]->fd;
}
