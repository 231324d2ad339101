// What the POSIX scans of one run share, owned by the run and handed to
// each scan: the listings of the directories whose scans are open (with
// their descriptors, so that subdirectories open relative to them), the
// listing of the scan that closed last (the walker reads each directory
// twice in a row, once per pass), the listings kept for the later walks of
// a run that walks its trees more than once, and the short-form state.
#ifndef KESTRIV_SERVICES_SCAN_CACHE_POSIX_H_
#define KESTRIV_SERVICES_SCAN_CACHE_POSIX_H_

#include <sys/types.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "services/directory_reader_posix.h"
#include "services/file_system.h"
#include "services/listing_posix.h"
#include "services/run_listings_posix.h"
#include "services/short_path_posix.h"
#include "services/wildcard.h"

// The listing of one directory whose scan is open.
struct Frame {
  size_t text_size = 0;    // its directory text is the chain text's prefix
  std::string saved_text;  // the chain text before it, when not nested
  bool nested = false;     // its text is the previous frame's plus `name`
  std::string name;        // that last component, as found on disk
  int fd = -1;             // its descriptor while kept open, else -1
  bool identity_known = false;
  dev_t device = 0;  // its identity, known once its descriptor was closed
  ino_t inode = 0;
  bool second_read = false;  // taken from the listing the last scan left
  bool opened_as_typed = false;  // every component found as spelt
  Listing listing;
};

// What the reads of the scans have been, for tests that check that each
// directory is read no more often than the design promises.
struct ScanCounts {
  size_t listings_read = 0;    // directories read from the system
  size_t listings_reused = 0;  // served by a kept listing instead
};

struct ScanCache {
  DirectoryReader* reader = nullptr;
  std::string chain_text;  // the directory text of the innermost frame
  std::vector<std::unique_ptr<Frame>> frames;  // open scans, outermost first
  std::vector<std::unique_ptr<Frame>> spare;   // frames to reuse
  std::unique_ptr<Frame> kept;  // the listing the last scan left, or null
  std::string kept_text;        // and its directory text
  bool kept_valid = false;
  RunListings run;
  RecordBuffer records;
  // Set when a lookup found a component only under another spelling.
  bool spelling_differed = false;
  // The long directory path opened last from the start, kept open, so that
  // lookups that go down a long path one level at a time cost one step.
  std::string lookup_text;
  int lookup_fd = -1;
  ShortFormState short_forms;
  ScanCounts counts;
  size_t kept_descriptors = 0;
  // Descriptors of finished scans, closed together once there are
  // `close_batch` of them (0: each at once).
  size_t close_batch = 0;
  std::vector<int> closing;
  // Masks prepared for matching, by their text.
  std::vector<std::pair<std::string, std::unique_ptr<CompiledMask>>> masks;
};

// A cache whose scans read through `reader` (which must outlive it) and
// whose open frames keep at most `kept_descriptors` descriptors; deeper
// frames keep theirs only while innermost. Up to `close_batch` more wait to
// be closed together.
ScanCachePtr NewScanCacheWithReader(DirectoryReader* reader,
                                    bool repeated_walks,
                                    size_t kept_descriptors,
                                    size_t close_batch);

// A cache for one service call made without the run's: it keeps nothing
// after the call and leaves the process's descriptor limit alone.
ScanCachePtr NewScanCacheForOneCall();

// Reads (or takes from what is kept) the listing of `dir` and opens a frame
// for it on top of the others; 0, or an errno value.
int TakeListing(ScanCache& cache, std::string_view dir, Frame** frame);

// Closes the frame of a scan that has ended; with `keep`, and unless it
// already served a second read, its listing is kept for the next scan.
void ReleaseListing(ScanCache& cache, Frame* frame, bool keep);

// The descriptor of the open frame at `index`, opened again if it was
// closed to save descriptors; -1 when that fails.
int FrameDescriptor(ScanCache& cache, size_t index);

// The directory text of the open frame at `index`.
std::string FrameText(const ScanCache& cache, size_t index);

// The index of the innermost open frame whose text is `dir`, or -1.
long FindFrame(const ScanCache& cache, std::string_view dir);

#endif  // KESTRIV_SERVICES_SCAN_CACHE_POSIX_H_
