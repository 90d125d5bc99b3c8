// COPYHD2SYS, COPYSYS2HD, COPYHD2HD, COPYSYS2SYS and the retired COPY.
#include <set>
#include <vector>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/command_rows.h"
#include "partshell/command_support.h"
#include "partshell/mounted_volume.h"
#include "partshell/shell_output.h"
#include "partshell/engine_services.h"

namespace partshell {

namespace {

enum class Side { local, sys };

struct CopyKind {
  Side source;
  Side target;
  const char* count_format;
};

constexpr CopyKind kHd2Sys{Side::local, Side::sys, "  %d File(s) Copied (%s).\n"};
constexpr CopyKind kSys2Hd{Side::sys, Side::local, "  %d File(s) Copied (%sk).\n"};
constexpr CopyKind kHd2Hd{Side::local, Side::local, "  %d File(s) Copied (%sk).\n"};
constexpr CopyKind kSys2Sys{Side::sys, Side::sys, "  %d File(s) Copied (%sk).\n"};

// The directory part of FROMFILE that a matched name is joined to.
std::string SourceDirectory(const std::string& from) {
  const auto sep = from.find_last_of('\\');
  if (sep != std::string::npos) {
    std::string part = from.substr(0, sep);
    if (part.empty()) return "\\";
    if (part.size() == 2 && part[1] == ':') part += "\\";
    return part;
  }
  // "SYS:" alone names the current directory of SYS:, not its root.
  const auto colon = from.find(':');
  return colon == std::string::npos ? std::string() : from.substr(0, colon + 1);
}

std::string JoinPath(const std::string& directory, const std::string& name, Side side) {
  if (directory.empty()) return name;
  if (directory.back() == '\\') return directory + name;
  if (side == Side::sys && directory.back() == ':') return directory + name;
  return directory + "\\" + name;
}

std::string NamePart(const std::string& path) {
  auto sep = path.find_last_of('\\');
  if (sep == std::string::npos) sep = path.find_last_of(':');
  const std::string name = sep == std::string::npos ? path : path.substr(sep + 1);
  return name.substr(0, 12);
}

std::string WithBackslashes(std::string text) {
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

// The name a target takes where it lands: SYS: keeps 8.3 names in upper case; the
// local file system keeps the name as given, ignoring case where the host does.
std::string LandingName(Side side, const std::string& target, const LocalFiles& files) {
  std::string name = target;
  if (side == Side::sys) {
    std::string parent, leaf;
    Fat16Engine::SplitParentAndName(target, parent, leaf);
    const Name83 short_name = SplitName83(leaf);
    name = parent + "\\" + short_name.name + short_name.ext;
  }
  if (side == Side::sys || files.NamesIgnoreCase()) name = UpperAscii(name);
  return name;
}

int CheckName(Side side, const std::string& name, bool wildcards, std::string& message) {
  return side == Side::sys ? CheckSysFileName(name, wildcards, message) : CheckLocalFileName(name, wildcards, message);
}

int CopyOne(Shell& shell, Fat16Engine* engine, const CopyKind& kind, const std::string& source,
            const std::string& target, std::string& message, std::uint32_t& size) {
  LocalFiles& files = shell.local_files();
  if (kind.source == Side::local && kind.target == Side::sys) {
    return engine->CopyFileFromLocalHDToFAT16(files.HostPath(source), target, message, size);
  }
  if (kind.source == Side::sys && kind.target == Side::local) {
    return engine->CopyFileFromFAT16ToLocalHD(source, files.HostPath(target), message, size);
  }
  // The detour through a local temporary file lets a file be copied onto itself.
  const std::string temporary = TempFileName(files);
  int result = 0;
  if (kind.source == Side::local) {
    result = CopyLocalHDFile(shell, source, temporary, message, size);
    if (result == 0) result = CopyLocalHDFile(shell, temporary, target, message, size);
  } else {
    result = engine->CopyFileFromFAT16ToLocalHD(source, files.HostPath(temporary), message, size);
    if (result == 0) result = engine->CopyFileFromLocalHDToFAT16(files.HostPath(temporary), target, message, size);
  }
  files.Remove(files.HostPath(temporary));
  return result;
}

int RunCopy(Shell& shell, std::string& message, const TokenList& tokens, const CopyKind& kind) {
  Fat16Engine* engine = shell.engine();
  const bool needs_volume = kind.source == Side::sys || kind.target == Side::sys;
  if (engine == nullptr && needs_volume) {
    message = "No Partition Mounted";
    return UNABLE_TO_LOCATE_PARTITION;
  }
  const std::string from = WithBackslashes(tokens[1].substr(0, 255));
  int result = CheckName(kind.source, from, true, message);
  if (result != 0) return result;
  const bool wildcards = from.find_first_of("*?") != std::string::npos;

  const bool has_target = tokens.size() > 2;
  const std::string to = has_target ? WithBackslashes(tokens[2]) : std::string();
  bool target_is_directory = false;
  if (has_target) {
    if (kind.target == Side::sys) {
      // The root and every subdirectory are directories, whatever their first entry is.
      std::uint16_t directory = 0;
      std::string absolute;
      target_is_directory = engine->ResolveDirectoryPath(to, directory, absolute);
    } else {
      target_is_directory = shell.local_files().Status(shell.local_files().HostPath(to)).kind == LocalKind::directory;
    }
  }

  // The sources, as names within the directory part of FROMFILE. A local file
  // lands on SYS: under its 8.3 alias where it has one.
  std::vector<std::string> names;
  std::vector<std::string> landing_names;
  int search_error = 0;
  if (kind.source == Side::local) {
    LocalFiles& files = shell.local_files();
    LocalEntry match;
    if (auto search = files.FindFirst(from, match)) {
      do {
        if (match.IsDirectory()) continue;
        names.push_back(match.name);
        landing_names.push_back(kind.target == Side::sys && !match.short_name.empty() ? match.short_name : match.name);
      } while (files.FindNext(*search, match));
    }
  } else {
    DirEntry entry{};
    auto search = engine->FindFirstEntry(from, entry, search_error);
    if (search) {
      do {
        // Directories, the volume label and long-name entries are not files.
        if ((entry[DIR_Attr] & (ATTR_DIRECTORY | ATTR_VOLUME_ID)) == 0) names.push_back(EntryName(entry.data()));
      } while (shell.StopCode() == 0 && engine->FindNextEntry(*search, entry, search_error) == 0);
    }
    // A listing cut short by a broken directory copies nothing.
    if (const int broken = SearchBroken(search.get(), search_error, from, message)) return broken;
  }

  // Every source with its target, all checked before the first file is copied.
  struct Transfer {
    std::string source;
    std::string target;
  };
  std::vector<Transfer> transfers;
  // A FROMFILE that names a directory of SYS: stands for the files in it, which live
  // in that directory rather than in its parent.
  std::string source_directory = SourceDirectory(from);
  if (kind.source == Side::sys) {
    std::uint16_t directory = 0;
    std::string absolute;
    if (engine->ResolveDirectoryPath(from, directory, absolute)) source_directory = from;
  }
  for (std::size_t i = 0; i < names.size(); ++i) {
    Transfer t;
    t.source = JoinPath(source_directory, names[i], kind.source);
    const std::string name_part =
        i < landing_names.size() ? NamePart(JoinPath(source_directory, landing_names[i], kind.source)) : NamePart(t.source);
    if (!has_target) {
      t.target = name_part;
    } else if (target_is_directory) {
      t.target = JoinPath(to, name_part, kind.target);
    } else {
      t.target = to;
    }
    if (CheckName(kind.target, t.target, false, message) != 0) return BAD_FILENAME_DRIVE_REFERENCE;
    if (kind.target == Side::sys && CheckShortName(t.target, message) != 0) return BAD_FILENAME_DRIVE_REFERENCE;
    transfers.push_back(std::move(t));
  }
  // Two sources that would land on one name (a pattern onto a file name, or local
  // names that SYS: cuts to the same 8.3 name) would leave only the last of them.
  std::set<std::string> landing;
  for (const Transfer& t : transfers) {
    if (!landing.insert(LandingName(kind.target, t.target, shell.local_files())).second) {
      message = Format("More Than One File Would Be Copied To: %s", t.target.c_str());
      return INVALID_FILENAME_PARAMETER;
    }
  }

  int count = 0;
  std::uint32_t total = 0;
  for (const Transfer& t : transfers) {
    if (shell.StopCode() != 0) break;
    if (wildcards) ShellWrite((kind.source == Side::local ? t.target : t.source) + "\n");
    std::uint32_t size = 0;
    result = CopyOne(shell, engine, kind, t.source, t.target, message, size);
    if (result != 0) return result;
    ++count;
    total += size;
  }
  if (count == 0) {
    message = "No Files Found.";
    return FILE_NOT_FOUND;
  }
  message = Format(kind.count_format, count, FormatThousands(total).c_str());
  return 0;
}

}  // namespace

static int CmdCopyRetired(Shell&, std::string& message, const TokenList&) {
  message =
      "INVALID Command. Try one of the following:\n   COPYHD2SYS FROMFILE [TOFILE]\n   COPYSYS2HD FROMFILE "
      "[TOFILE]\n   COPYHD2HD FROMFILE [TOFILE]\n   COPYSYS2SYS FROMFILE [TOFILE]\n";
  return INVALID_USER_COMMAND;
}

constexpr CommandRow kCopyRow{
    "COPY", kNoLimit, kNoLimit, CmdCopyRetired, "{unsupported}", "{unsupported} - See COPYxx2yyy",
    "    No longer supported: use COPYHD2SYS, COPYSYS2HD, COPYHD2HD\n"
    "    or COPYSYS2SYS, which name the direction of the copy."};

static int CmdCopyHd2Sys(Shell& shell, std::string& message, const TokenList& tokens) {
  return RunCopy(shell, message, tokens, kHd2Sys);
}

constexpr CommandRow kCopyHd2SysRow{
    "COPYHD2SYS", 1, 2, CmdCopyHd2Sys, "COPYHD2SYS FROMFILE [TOFILE]", "Copy local HD file to SYS:",
    "    Copies local files (wildcards allowed) to SYS:. TOFILE may\n"
    "    name a file or an existing directory; without it the files\n"
    "    go to the current directory of SYS:."};

static int CmdCopySys2Hd(Shell& shell, std::string& message, const TokenList& tokens) {
  return RunCopy(shell, message, tokens, kSys2Hd);
}

constexpr CommandRow kCopySys2HdRow{
    "COPYSYS2HD", 1, 2, CmdCopySys2Hd, "COPYSYS2HD FROMFILE [TOFILE]", "Copy local SYS: file to local HD",
    "    Copies files of SYS: (wildcards allowed) to the local file\n"
    "    system. TOFILE may name a file or a local directory."};

static int CmdCopyHd2Hd(Shell& shell, std::string& message, const TokenList& tokens) {
  return RunCopy(shell, message, tokens, kHd2Hd);
}

constexpr CommandRow kCopyHd2HdRow{
    "COPYHD2HD", 1, 2, CmdCopyHd2Hd, "COPYHD2HD FROMFILE [TOFILE]", "Copy local HD file to local HD",
    "    Copies local files to another local name or directory."};

static int CmdCopySys2Sys(Shell& shell, std::string& message, const TokenList& tokens) {
  return RunCopy(shell, message, tokens, kSys2Sys);
}

constexpr CommandRow kCopySys2SysRow{
    "COPYSYS2SYS", 1, 2, CmdCopySys2Sys, "COPYSYS2SYS FROMFILE [TOFILE]", "Copy SYS: file to SYS:",
    "    Copies files of SYS: to another name or directory of SYS:."};

}  // namespace partshell
