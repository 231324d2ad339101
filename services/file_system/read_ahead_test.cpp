// The read-ahead engine over a made-up tree: the walk gets every listing in
// its own order, whatever the workers and bounds; calls in any state give
// safe answers; nothing is held or kept afterwards.
#include "services/file_system/read_ahead.h"

#include <algorithm>
#include <mutex>
#include <string>
#include <vector>

#include "gtest/gtest.h"

namespace {

// A listing of the made-up tree: the directory's path and its
// subdirectories' names.
class TreeListing : public AheadListing {
 public:
  std::string path;
  std::vector<std::string> names;
  size_t Bytes() const override { return path.size(); }
  size_t SubdirectoryCount() const override { return names.size(); }
  std::string SubdirectoryName(size_t index) const override {
    return names.at(index);
  }
};

// A tree of `fanout`^`depth` directories; a handle is the index of an open
// directory's path.
class TreeSource : public AheadSource {
 public:
  TreeSource(size_t fanout, size_t depth) : fanout_(fanout), depth_(depth) {}

  AheadHandle Open(const std::string& path) {
    std::lock_guard<std::mutex> lock(mutex_);
    paths_.push_back(path);
    ++open_;
    most_open_ = std::max(most_open_, open_);
    return static_cast<AheadHandle>(paths_.size() - 1);
  }
  std::unique_ptr<TreeListing> ListingOf(const std::string& path) const {
    auto listing = std::make_unique<TreeListing>();
    listing->path = path;
    if (static_cast<size_t>(std::count(path.begin(), path.end(), '/')) <
        depth_)
      for (size_t i = 0; i < fanout_; ++i)
        listing->names.push_back(std::to_string(i));
    return listing;
  }
  void Read(AheadHandle parent, const std::string& name,
            AheadRead* read) override {
    std::string path;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      path = paths_.at(static_cast<size_t>(parent)) + "/" + name;
      ++reads_;
      most_ahead_ = std::max(most_ahead_, reads_ - taken_);
    }
    std::unique_ptr<TreeListing> listing = ListingOf(path);
    if (!listing->names.empty()) read->handle = Open(path);
    read->listing = std::move(listing);
  }
  void Release(AheadHandle) override {
    std::lock_guard<std::mutex> lock(mutex_);
    --open_;
  }
  void Taken() {
    std::lock_guard<std::mutex> lock(mutex_);
    ++taken_;
  }
  size_t fanout_, depth_;
  std::mutex mutex_;
  std::vector<std::string> paths_;
  size_t open_ = 0, most_open_ = 0, reads_ = 0, taken_ = 0, most_ahead_ = 0;
};

// Queues the subdirectories of `listing`, as the walk does before it
// enters them; the node that stands for the directory.
AheadNode* Follow(ReadAhead& ahead, TreeSource& source, AheadNode* node,
                  const TreeListing& listing) {
  if (!ahead.WouldExpand(node, listing)) return node;
  return ahead.Expand(node, listing, source.Open(listing.path));
}

// Walks the tree depth first as the walker does, entering every
// subdirectory but each `skip`-th, which it claims and lets go of unread;
// the paths in the order taken.
std::vector<std::string> Walk(ReadAhead& ahead, TreeSource& source,
                              size_t skip) {
  std::vector<std::string> order;
  struct Level {
    AheadNode* node;
    std::unique_ptr<TreeListing> listing;
    size_t next = 0;
  };
  std::vector<Level> chain;
  std::unique_ptr<TreeListing> top = source.ListingOf("r");
  AheadNode* node = Follow(ahead, source, nullptr, *top);
  chain.push_back({node, std::move(top)});
  ahead.StartAtOnce();
  size_t count = 0;
  while (!chain.empty()) {
    Level& level = chain.back();
    if (level.next == level.listing->names.size()) {
      ahead.Release(level.node);
      chain.pop_back();
      continue;
    }
    const size_t index = level.next++;
    const std::string path =
        level.listing->path + "/" + level.listing->names[index];
    AheadNode* child = ahead.TakeChild(level.node, index);
    // Passed by, as the walker passes a directory it has walked already.
    if (skip != 0 && ++count % skip == 0) {
      ahead.Release(child);
      continue;
    }
    std::unique_ptr<TreeListing> listing;
    if (child != nullptr) {
      AheadListingPtr taken = ahead.Take(child);
      EXPECT_TRUE(taken);
      if (!taken) return order;
      listing.reset(static_cast<TreeListing*>(taken.release()));
      source.Taken();
    } else {
      listing = source.ListingOf(path);  // none queued: the walk reads it
    }
    order.push_back(listing->path);
    child = Follow(ahead, source, child, *listing);
    chain.push_back({child, std::move(listing)});
  }
  return order;
}

// The same walk without reading ahead.
std::vector<std::string> DepthFirst(TreeSource& source, size_t skip) {
  std::vector<std::string> order;
  std::vector<std::pair<std::string, size_t>> chain{{"r", 0}};
  size_t count = 0;
  while (!chain.empty()) {
    auto& [path, next] = chain.back();
    if (next == source.ListingOf(path)->names.size()) {
      chain.pop_back();
      continue;
    }
    const std::string name = std::to_string(next++);
    if (skip != 0 && ++count % skip == 0) continue;
    order.push_back(path + "/" + name);
    chain.emplace_back(order.back(), 0);
  }
  return order;
}

TEST(ReadAheadTest, WalkOrderWithinBoundsAndNothingLeft) {
  const struct {
    size_t workers, listings, handles, skip;
  } cases[] = {
      {0, 4096, 1024, 0},  // the walk reads everything itself
      {1, 4096, 1024, 0},
      {4, 4096, 1024, 0},
      {4, 3, 1024, 0},     // few listings ahead
      {4, 4096, 2, 0},     // few handles: the walk queues the rest
      {4, 4096, 1024, 3},  // the walk passes some directories by
      {4, 3, 2, 4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.workers << " workers, " << c.listings
                                    << " listings, " << c.handles
                                    << " handles, skip " << c.skip);
    TreeSource source(5, 4);  // 780 directories below the top
    AheadLimits limits;
    limits.workers = limits.first_workers = c.workers;
    limits.listings = c.listings;
    limits.handles = c.handles;
    {
      ReadAhead ahead(&source, limits);
      EXPECT_EQ(Walk(ahead, source, c.skip), DepthFirst(source, c.skip));
      ahead.Stop();
      EXPECT_EQ(ahead.WorkersStarted(), c.workers);
      EXPECT_EQ(ahead.LiveNodes(), 0u);
    }
    EXPECT_EQ(source.open_, 0u);
    // A worker past the bound finishes the one read it has begun (reads
    // of passed-by directories are never taken, so only without those).
    if (c.skip == 0) {
      EXPECT_LE(source.most_ahead_, c.listings + c.workers + 1);
    }
    // Besides the bound, the handles of reads in progress and the walk's.
    EXPECT_LE(source.most_open_, c.handles + c.workers + 2);
  }
}

// Whatever the adapter asks, in whichever state a node is, the answer is
// safe: nothing is handed out twice, and no child before its parent's
// listing is taken, when a reader may still be making the children.
TEST(ReadAheadTest, CallsInEveryStateGiveSafeAnswers) {
  for (size_t workers : {0, 2}) {
    SCOPED_TRACE(workers);
    TreeSource source(3, 3);
    AheadLimits limits;
    limits.workers = limits.first_workers = workers;
    {
      ReadAhead ahead(&source, limits);
      ahead.StartAtOnce();
      std::unique_ptr<TreeListing> top = source.ListingOf("r");
      AheadNode* root = Follow(ahead, source, nullptr, *top);
      ASSERT_NE(root, nullptr);
      EXPECT_FALSE(ahead.WouldExpand(root, *top));  // queued already
      EXPECT_EQ(ahead.Take(root), nullptr);  // the walk read it itself
      AheadNode* child = ahead.TakeChild(root, 1);
      ASSERT_NE(child, nullptr);
      EXPECT_EQ(ahead.TakeChild(root, 1), nullptr);  // claimed before
      EXPECT_EQ(ahead.TakeChild(root, 7), nullptr);  // no such child
      // Its children are not the walk's before its listing is.
      EXPECT_EQ(ahead.TakeChild(child, 0), nullptr);
      EXPECT_EQ(ahead.EarlyClaims(), 1u);
      AheadListingPtr listing = ahead.Take(child);
      ASSERT_TRUE(listing);
      EXPECT_EQ(static_cast<TreeListing&>(*listing).path, "r/1");
      EXPECT_EQ(ahead.Take(child), nullptr);  // taken before
      // Read by whoever read "r/1", its children are queued: one claimed,
      // the others go with it unclaimed, read or not.
      AheadNode* grandchild = ahead.TakeChild(child, 2);
      EXPECT_NE(grandchild, nullptr);
      ahead.Release(grandchild);
      ahead.Release(child);
      ahead.Release(ahead.TakeChild(root, 0));  // claimed, never taken
      ahead.Release(root);
      ahead.Stop();
      EXPECT_EQ(ahead.LiveNodes(), 0u);
    }
    EXPECT_EQ(source.open_, 0u);
  }
}

}  // namespace
