// Finding entries by name and resolving SYS: paths.
#include <cstring>
#include <vector>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

void Fat16Engine::SplitParentAndName(std::string_view path, std::string& parent, std::string& name) {
  const auto sep = path.find_last_of("\\:");
  if (sep == std::string_view::npos) {
    parent.clear();
    name = std::string(path.substr(0, 12));
    return;
  }
  parent = std::string(path.substr(0, sep));
  // "\NAME", "SYS:NAME" and "SYS:\NAME" keep their separator: without it
  // the parent would read as the current directory instead of the root.
  if (parent.empty() || parent.back() == ':' || path[sep] == ':') parent = std::string(path.substr(0, sep + 1));
  name = std::string(path.substr(sep + 1, 12));
}

EntryLookup Fat16Engine::FindEntry(std::uint16_t directory, const Name83& name, std::uint8_t must_have,
                                   std::uint8_t must_not_have) {
  EntryLookup result;
  std::uint8_t* buffer = SectorBufferSlot(4);
  LongNameRun long_name;
  DirSectorIterator walker(*this, directory);
  for (std::uint32_t sector = walker.first_sector(); sector != 0; sector = walker.NextSector()) {
    const int read = v_.ReadDirectorySector(sector, buffer);
    if (read != 0) {
      result.error = read;
      return result;
    }
    for (unsigned i = 0; i < kEntriesPerSector; ++i) {
      const std::uint8_t* e = buffer + i * kDirEntrySize;
      if (e[DIR_Name] == kEntryEnd) return result;
      const std::uint8_t attributes = e[DIR_Attr];
      if (std::memcmp(e + DIR_Name, name.name.data(), 8) != 0 || std::memcmp(e + DIR_Ext, name.ext.data(), 3) != 0 ||
          (attributes & must_have) != must_have || (attributes & must_not_have) != 0 || IsLongNameSlot(e)) {
        long_name.Pass(e, sector, i);
        continue;
      }
      result.found = true;
      result.long_name = long_name.SlotsOf(e);
      result.first_cluster = EntryFirstCluster(e);
      std::memcpy(result.entry.data(), e, kDirEntrySize);
      result.sector = sector;
      result.index = i;
      return result;
    }
  }
  result.error = walker.error();
  return result;
}

EntryLookup Fat16Engine::FindSubdirectory(std::uint16_t directory, std::string_view name) {
  return FindEntry(directory, SplitName83(name), ATTR_DIRECTORY, 0);
}

EntryLookup Fat16Engine::FindFile(std::uint16_t directory, std::string_view name) {
  return FindEntry(directory, SplitNameAtFirstDot(name), 0, ATTR_DIRECTORY | ATTR_VOLUME_ID);
}

bool Fat16Engine::LocateParent(std::string_view path, std::uint16_t& directory, std::string& parent,
                               std::string& name) {
  SplitParentAndName(path, parent, name);
  directory = v_.current_directory;
  if (parent.empty()) return true;
  std::string absolute;
  return ResolveDirectoryPath(parent, directory, absolute);
}

bool Fat16Engine::ResolveDirectoryPath(std::string_view path, std::uint16_t& directory, std::string& absolute_path) {
  if (path == ".") {
    directory = v_.current_directory;
    absolute_path = v_.current_path;
    return true;
  }
  std::string full;
  if (path == "..") {
    if (v_.current_directory == kRootDirectory) {
      directory = kRootDirectory;
      absolute_path = "\\";
      return true;
    }
    const auto sep = v_.current_path.find_last_of('\\');
    if (sep == std::string::npos) return false;
    full = v_.current_path.substr(0, sep);
    if (full.empty()) full = "\\";
  } else {
    std::string_view rest = path;
    if (rest.find(':') != std::string_view::npos) {
      if (rest.size() < 4 || !EqualsIgnoreCase(rest.substr(0, 4), "SYS:")) return false;
      rest.remove_prefix(4);
      if (rest.find(':') != std::string_view::npos) return false;
    }
    if (!rest.empty() && rest.front() == '\\') {
      full = std::string(rest);
    } else {
      full = v_.current_path;
      if (full.empty() || full.back() != '\\') full += '\\';
      full += rest;
    }
  }

  constexpr std::size_t kMaxComponents = 21;
  std::vector<std::string> components;
  std::size_t pos = 0;
  while (pos <= full.size() && components.size() < kMaxComponents) {
    const auto next = full.find('\\', pos);
    const std::string component = full.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
    if (!component.empty()) components.push_back(component);
    if (next == std::string::npos) break;
    pos = next + 1;
  }

  std::uint16_t reached = kRootDirectory;
  std::string text;
  for (const std::string& component : components) {
    // "." and ".." name the directory itself and its parent only alone;
    // inside a path they would match a directory's own dot entries.
    if (component == "." || component == "..") return false;
    const EntryLookup found = FindSubdirectory(reached, component);
    if (!found.found || found.first_cluster == 0) return false;
    reached = found.first_cluster;
    text += "\\" + component;
  }
  directory = reached;
  absolute_path = text.empty() ? "\\" : LowerAscii(text);
  return true;
}

}  // namespace partshell
