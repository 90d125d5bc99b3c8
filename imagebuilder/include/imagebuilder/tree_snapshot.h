// The package tree under FileRoot, listed once per run: every directory's
// entries sorted case-insensitively, with aliases, names and exclusions
// decided, so that counting, sizing and writing all see the same tree.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "imagebuilder/exclusion.h"
#include "imagebuilder/host.h"
#include "imagebuilder/naming.h"

namespace imagebuilder {

struct DirectoryNode;

struct TreeEntry {
  HostEntry host;
  EntryNames names;
  bool excluded = false;
  std::string hostPath;
  std::unique_ptr<DirectoryNode> directory;  // set for subdirectories not excluded
};

struct DirectoryNode {
  std::string hostPath;
  std::string relativePath;  // "" at FileRoot, "SUB\" below it
  std::vector<TreeEntry> entries;  // "." and ".." are not listed here
};

// Deepest directory level read below FileRoot; deeper trees, and links back
// to a directory on the way down, are refused as a failed directory change.
inline constexpr int kMaxTreeDepth = 64;

// What the largest volume the settings allow can hold.
struct TreeLimits {
  std::uint64_t clusterBytes = 0;  // the largest cluster size
  std::uint64_t maxClusters = 0;   // the most clusters the FAT type addresses
};

// Reads the tree; returns 0, 15 (FileRoot cannot be listed), 21 (the tree read
// so far already needs more clusters than the limits allow), 22 (a
// subdirectory cannot be entered, the tree is too deep, or a link loops back)
// or 38 (a listing broke off). For 22 and 38 `failure` names the folder and why.
int ReadTree(HostTree& tree, const std::string& root, const std::vector<ExclusionPattern>& excl,
             const TreeLimits& limits, DirectoryNode& out, std::string& failure);

std::string JoinPath(const std::string& directory, const std::string& name, char separator);

}  // namespace imagebuilder
