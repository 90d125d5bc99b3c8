// Wildcard enumeration of a directory and the cluster chain display.
#include <cstring>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"

namespace partshell {

std::unique_ptr<DirSearch> Fat16Engine::FindFirstEntry(std::string_view pattern, DirEntry& entry, int& error) {
  auto search = std::make_unique<DirSearch>();
  search->directory = v_.current_directory;
  std::string name_pattern = "*.*";
  std::string directory_part;
  std::uint16_t as_directory = 0;
  std::string absolute;
  if (!pattern.empty() && ResolveDirectoryPath(pattern, as_directory, absolute)) {
    directory_part = std::string(pattern);
  } else if (!pattern.empty()) {
    const auto sep = pattern.find_last_of("\\:");
    if (sep == std::string_view::npos) {
      name_pattern = std::string(pattern);
    } else {
      name_pattern = std::string(pattern.substr(sep + 1));
      directory_part = std::string(pattern.substr(0, sep));
      if (directory_part.empty() || pattern[sep] == ':') directory_part = std::string(pattern.substr(0, sep + 1));
    }
  }
  search->pattern = ExpandPattern(name_pattern);
  if (directory_part.empty()) directory_part = v_.current_path;
  if (!ResolveDirectoryPath(directory_part, search->directory, search->path)) {
    error = DIR_PATH_NOT_FOUND;
    return nullptr;
  }
  if (FindNextEntry(*search, entry, error) != 0) return nullptr;
  return search;
}

int Fat16Engine::FindNextEntry(DirSearch& search, DirEntry& entry, int& error) {
  if (search.end) {
    error = search.last_error != 0 ? search.last_error : END_OF_DIRECTORY;
    return 1;
  }
  if (!search.walker) {
    search.walker = std::make_unique<DirSectorIterator>(*this, search.directory);
    search.sector = search.walker->first_sector();
    search.index = 0;
    if (search.sector == 0) {
      search.end = true;
      error = search.last_error = BAD_HANDLE;
      return 1;
    }
  }
  std::uint8_t* buffer = SectorBufferSlot(9);
  while (search.sector != 0) {
    const int read = v_.ReadDirectorySector(search.sector, buffer);
    if (read != 0) {
      search.end = true;
      error = search.last_error = read;
      return 1;
    }
    for (; search.index < kEntriesPerSector; ++search.index) {
      const std::uint8_t* e = buffer + search.index * kDirEntrySize;
      if (e[DIR_Name] == kEntryEnd) {
        search.end = true;
        error = search.last_error = END_OF_DIRECTORY;
        return 1;
      }
      if (e[DIR_Name] == kEntryDeleted || !PatternMatches(search.pattern, e)) continue;
      std::memcpy(entry.data(), e, kDirEntrySize);
      ++search.index;
      error = 0;
      return 0;
    }
    search.sector = search.walker->NextSector();
    search.index = 0;
  }
  search.end = true;
  error = search.last_error = search.walker->error() != 0 ? search.walker->error() : END_OF_DIRECTORY;
  return 1;
}

void Fat16Engine::ShowClusterChain(const std::uint8_t* entry) {
  std::uint32_t cluster = EntryFirstCluster(entry);
  if (cluster == 0) {
    v_.out().Print("No Space Allocated");
    v_.out().Print("\n");
    return;
  }
  std::string line;
  for (std::uint32_t steps = 0;; ++steps) {
    if (cluster < 2 || cluster >= v_.ClusterLimit || steps >= v_.ClusterLimit) {
      // Out of the volume, or more links than the volume has clusters: a loop.
      line += Format(" {ERROR}[%d]", static_cast<int>(FatEntryClass::link));
      break;
    }
    const std::uint16_t value = FatEntry(cluster);
    const FatEntryClass kind = ClassifyFatEntry(value);
    if (kind == FatEntryClass::link) {
      line += Format("%04X  ", static_cast<unsigned>(cluster));
      cluster = value;
    } else if (kind == FatEntryClass::end_of_chain) {
      line += Format("%04X  {END[%04X]}", static_cast<unsigned>(cluster), static_cast<unsigned>(value));
      break;
    } else {
      line += Format(" {ERROR}[%d]", static_cast<int>(kind));
      break;
    }
  }
  v_.out().Print(line + "\n");
}

}  // namespace partshell
