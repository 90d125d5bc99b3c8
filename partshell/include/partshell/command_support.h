// What the file transfer, directory and display commands share.
#pragma once

#include <cstdint>
#include <string>

#include "common/fat_layout.h"
#include "common/short_names.h"
#include "partshell/local_files.h"
#include "partshell/shell.h"

namespace partshell {

// The FAT on-disk field names, dates and short-name rules are the kit's common ones.
using namespace common;

class Fat16Engine;

// The shell's engine; null, with the message "No Partition Mounted", while nothing is mounted.
Fat16Engine* MountedEngine(Shell& shell, std::string& message);

// "999", "1,000", "1,234,567" (the millions part may exceed 999).
std::string FormatThousands(std::uint32_t value);

// ".\torbel.NNN": the first free name from a process-wide counter.
std::string TempFileName(LocalFiles& files);
int CopyLocalHDFile(Shell& shell, const std::string& source, const std::string& target, std::string& message,
                    std::uint32_t& size);

// A recycle-bin entry: "RECYCLED   " or the first long-name entry of "Recycled".
bool IsRecycleBinEntry(const std::uint8_t* entry);
// "NAME.EXT" rebuilt from the 8 + 3 bytes, without case change.
std::string EntryName(const std::uint8_t* entry);

// A directory search that stopped on a broken directory (a chain that loops or
// breaks, a sector that cannot be read) rather than at its end or for want of a
// match: its code, with the message; 0 otherwise. `search` may be null.
struct DirSearch;
int SearchBroken(const DirSearch* search, int error, const std::string& text, std::string& message);

// Parses "123" or "0x7B"; false for anything else.
bool ParseSectorNumber(const std::string& text, std::uint32_t& value);

}  // namespace partshell
