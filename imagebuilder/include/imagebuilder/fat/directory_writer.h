// The directory tree: entry counting, ordered files, entries and file data.
#pragma once

#include <cstdint>

#include "imagebuilder/build_context.h"

namespace imagebuilder {

// Entries one directory needs: its names with their long-name slots, "." and
// ".." (and the root its label).
std::uint64_t CountEntries(const BuildContext& ctx, const DirectoryNode& dir, bool isRoot);

// Sectors needed by one directory's entries (the root counts its label).
std::uint32_t CountEntrySectors(const BuildContext& ctx, const DirectoryNode& dir, bool isRoot);

// Clusters the tree below `dir` needs at `spc` sectors per cluster (files
// and subdirectories, not the directory itself).
std::uint64_t CountTreeClusters(const BuildContext& ctx, const DirectoryNode& dir,
                                std::uint32_t spc);

// Writes the root directory region (ordered files, label, the rest of the
// tree, depth first). Returns the recorded code.
int WriteRootDirectory(BuildContext& ctx, std::uint64_t rootOffset, std::uint64_t rootLimit);

}  // namespace imagebuilder
