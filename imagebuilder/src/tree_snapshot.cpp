#include "imagebuilder/tree_snapshot.h"

#include <algorithm>

#include "imagebuilder/error_codes.h"

namespace imagebuilder {
namespace {

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// The state of one walk: the directories on the way down from FileRoot (a
// directory met again among them is a loop), and the fewest clusters the tree
// read so far could take in any volume.
struct Walk {
  HostTree& tree;
  const std::vector<ExclusionPattern>& excl;
  const TreeLimits& limits;
  std::vector<DirectoryId> ancestors;
  std::vector<std::string> ancestorPaths;
  std::uint64_t clusters = 0;
  std::string failure;
};

int FailWalk(Walk& walk, int code, std::string why) {
  walk.failure = std::move(why);
  return code;
}

std::string Quoted(const std::string& path) { return "\"" + path + "\""; }

// ": <the system's reason>", when the host gives one.
std::string Reason(const HostTree& tree) {
  const std::string why = tree.LastError();
  return why.empty() ? why : ": " + why;
}

// Adds what `node` takes at the largest cluster size: its own entries ("." and
// ".." included; the root has a region of its own) and its files' data.
// Links can make a tree grow much faster than its depth; the walk stops as soon
// as no volume could hold what it has read.
bool WithinLimits(Walk& walk, const DirectoryNode& node, bool isRoot) {
  const std::uint64_t cluster = std::max<std::uint64_t>(walk.limits.clusterBytes, 1);
  std::uint64_t names = 2;
  for (const TreeEntry& e : node.entries) {
    if (e.excluded) continue;
    ++names;
    if (!e.host.isDirectory) walk.clusters += CeilDiv(e.host.size, cluster);
  }
  if (!isRoot) walk.clusters += CeilDiv(names * 32, cluster);
  return walk.clusters <= walk.limits.maxClusters;
}

int ReadDirectory(Walk& walk, DirectoryNode& node, bool isRoot) {
  std::vector<HostEntry> listing;
  const ListResult r = walk.tree.List(node.hostPath, listing);
  if (r == ListResult::kCannotStart) {
    if (isRoot) return kErrRootNotFound;
    return FailWalk(walk, kErrChangeDirectory,
                    "cannot enter the folder " + Quoted(node.hostPath) + Reason(walk.tree));
  }
  if (r == ListResult::kEndedWithError) {
    return FailWalk(walk, kErrFindFile,
                    "listing the folder " + Quoted(node.hostPath) + " broke off" +
                        Reason(walk.tree));
  }
  PrepareListing(listing);
  node.entries.reserve(listing.size());
  for (HostEntry& h : listing) {
    TreeEntry e;
    e.host = std::move(h);
    e.names = NameEntry(e.host);
    e.excluded = IsExcluded(walk.excl, node.relativePath, e.host);
    e.hostPath = JoinPath(node.hostPath, e.host.name, walk.tree.Separator());
    node.entries.push_back(std::move(e));
  }
  if (!WithinLimits(walk, node, isRoot)) return kErrTooLargeForFat;
  for (TreeEntry& e : node.entries) {
    if (!e.host.isDirectory || e.excluded) continue;
    if (walk.ancestors.size() + 1 > static_cast<std::size_t>(kMaxTreeDepth)) {
      return FailWalk(walk, kErrChangeDirectory,
                      "the folder " + Quoted(e.hostPath) + " lies more than " +
                          std::to_string(kMaxTreeDepth) + " levels below FileRoot");
    }
    // A link back to a directory on the way down would repeat the tree without end.
    DirectoryId id;
    const bool known = walk.tree.Identify(e.hostPath, id);
    const auto loop = known ? std::find(walk.ancestors.begin(), walk.ancestors.end(), id)
                            : walk.ancestors.end();
    if (loop != walk.ancestors.end()) {
      const auto at = static_cast<std::size_t>(loop - walk.ancestors.begin());
      const std::string& back = walk.ancestorPaths[at];
      return FailWalk(walk, kErrChangeDirectory,
                      "the folder " + Quoted(e.hostPath) + " leads back to " + Quoted(back) +
                          ", a folder on the way down to it");
    }
    e.directory = std::make_unique<DirectoryNode>();
    e.directory->hostPath = e.hostPath;
    e.directory->relativePath = node.relativePath + e.host.name + "\\";
    walk.ancestors.push_back(known ? id : DirectoryId{~std::uint64_t{0}, walk.ancestors.size()});
    walk.ancestorPaths.push_back(e.hostPath);
    const int code = ReadDirectory(walk, *e.directory, false);
    walk.ancestors.pop_back();
    walk.ancestorPaths.pop_back();
    if (code != 0) return code;
  }
  return 0;
}

}  // namespace

std::string JoinPath(const std::string& directory, const std::string& name, char separator) {
  if (directory.empty()) return name;
  const char last = directory.back();
  if (last == separator || last == '/' || last == '\\') return directory + name;
  return directory + separator + name;
}

int ReadTree(HostTree& tree, const std::string& root, const std::vector<ExclusionPattern>& excl,
             const TreeLimits& limits, DirectoryNode& out, std::string& failure) {
  out.hostPath = root;
  out.relativePath.clear();
  out.entries.clear();
  failure.clear();
  // An empty FileRoot names no directory (it must not mean "wherever we are").
  if (root.empty()) return kErrRootNotFound;
  Walk walk{tree, excl, limits, {}, {}, 0, {}};
  DirectoryId id;
  walk.ancestors.push_back(tree.Identify(root, id) ? id : DirectoryId{~std::uint64_t{0}, 0});
  walk.ancestorPaths.push_back(root);
  const int code = ReadDirectory(walk, out, true);
  failure = std::move(walk.failure);
  return code;
}

}  // namespace imagebuilder
