// The file transfer, directory, display and error commands of the shell,
// and the helpers they share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "common/fat_layout.h"
#include "common/short_names.h"
#include "partshell/shell.h"

namespace partshell {

// The FAT on-disk field names, dates and short-name rules are the kit's common ones.
using namespace common;

// ---- handlers (rows of the command table) ----
int CmdCopyRetired(Shell&, std::string&, const TokenList&);
int CmdCopyHd2Sys(Shell&, std::string&, const TokenList&);
int CmdCopySys2Hd(Shell&, std::string&, const TokenList&);
int CmdCopyHd2Hd(Shell&, std::string&, const TokenList&);
int CmdCopySys2Sys(Shell&, std::string&, const TokenList&);
int CmdAppendFile(Shell&, std::string&, const TokenList&);
int CmdLog(Shell&, std::string&, const TokenList&);
int CmdTouch(Shell&, std::string&, const TokenList&);
int CmdDir(Shell&, std::string&, const TokenList&);
int CmdCd(Shell&, std::string&, const TokenList&);
int CmdMd(Shell&, std::string&, const TokenList&);
int CmdRd(Shell&, std::string&, const TokenList&);
int CmdRen(Shell&, std::string&, const TokenList&);
int CmdDel(Shell&, std::string&, const TokenList&);
int CmdAttrib(Shell&, std::string&, const TokenList&);
int CmdIfExist(Shell&, std::string&, const TokenList&);
int CmdFree(Shell&, std::string&, const TokenList&);
int CmdType(Shell&, std::string&, const TokenList&);
int CmdDump(Shell&, std::string&, const TokenList&);
int CmdDumpCluster(Shell&, std::string&, const TokenList&);
int CmdMbr(Shell&, std::string&, const TokenList&);
int CmdShowBoot(Shell&, std::string&, const TokenList&);
int CmdPause(Shell&, std::string&, const TokenList&);
int CmdDelay(Shell&, std::string&, const TokenList&);
int CmdSleep(Shell&, std::string&, const TokenList&);
int CmdError(Shell&, std::string&, const TokenList&);
int CmdShowErrors(Shell&, std::string&, const TokenList&);

// ---- shared helpers ----
// "999", "1,000", "1,234,567" (the millions part may exceed 999).
std::string FormatThousands(std::uint32_t value);

// A local path as the host takes it: on POSIX both "\" and "/" separate.
std::string LocalFsPath(const std::string& path);
// Local names matching a simple pattern the way the Windows find functions
// match them ("*.*" matches every name), in directory order; directories
// are flagged. The pattern's directory part is taken as given.
struct LocalMatch {
  std::string name;
  bool is_directory = false;
};
std::vector<LocalMatch> FindLocalFiles(const std::string& pattern);
bool LocalNameMatches(const std::string& pattern, const std::string& name);

// ".\torbel.NNN": the first free name from a process-wide counter.
std::string TempFileName();
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
