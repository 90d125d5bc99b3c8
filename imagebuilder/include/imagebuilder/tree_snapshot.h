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

// Deepest directory level read below FileRoot; deeper trees (or directory
// links that loop) are refused as a failed directory change.
inline constexpr int kMaxTreeDepth = 64;

// Reads the tree; returns 0, 15 (FileRoot cannot be listed), 22 (a
// subdirectory cannot be entered) or 38 (a listing broke off).
int ReadTree(HostTree& tree, const std::string& root, const std::vector<ExclusionPattern>& excl,
             DirectoryNode& out);

std::string JoinPath(const std::string& directory, const std::string& name, char separator);

}  // namespace imagebuilder
