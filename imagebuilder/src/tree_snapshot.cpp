#include "imagebuilder/tree_snapshot.h"

#include "imagebuilder/error_codes.h"

namespace imagebuilder {
namespace {

int ReadDirectory(HostTree& tree, const std::vector<ExclusionPattern>& excl, DirectoryNode& node,
                  int depth, bool isRoot) {
  std::vector<HostEntry> listing;
  const ListResult r = tree.List(node.hostPath, listing);
  if (r == ListResult::kCannotStart) return isRoot ? kErrRootNotFound : kErrChangeDirectory;
  if (r == ListResult::kEndedWithError) return kErrFindFile;
  PrepareListing(listing);
  node.entries.reserve(listing.size());
  for (HostEntry& h : listing) {
    TreeEntry e;
    e.host = std::move(h);
    e.names = NameEntry(e.host);
    e.excluded = IsExcluded(excl, node.relativePath, e.host);
    e.hostPath = JoinPath(node.hostPath, e.host.name, tree.Separator());
    node.entries.push_back(std::move(e));
  }
  for (TreeEntry& e : node.entries) {
    if (!e.host.isDirectory || e.excluded) continue;
    if (depth + 1 > kMaxTreeDepth) return kErrChangeDirectory;
    e.directory = std::make_unique<DirectoryNode>();
    e.directory->hostPath = e.hostPath;
    e.directory->relativePath = node.relativePath + e.host.name + "\\";
    const int code = ReadDirectory(tree, excl, *e.directory, depth + 1, false);
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
             DirectoryNode& out) {
  out.hostPath = root;
  out.relativePath.clear();
  out.entries.clear();
  // An empty FileRoot names no directory (it must not mean "wherever we are").
  if (root.empty()) return kErrRootNotFound;
  return ReadDirectory(tree, excl, out, 0, true);
}

}  // namespace imagebuilder
