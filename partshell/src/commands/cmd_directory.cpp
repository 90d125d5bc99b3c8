// DIR, ATTRIB, CD, MD, RD, REN, DEL, IFEXIST and FREE.
#include <cstring>

#include "common/dos_time.h"
#include "partshell/console.h"
#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/command_rows.h"
#include "partshell/command_support.h"
#include "partshell/mounted_volume.h"
#include "partshell/shell_output.h"
#include "partshell/engine_services.h"

namespace partshell {

namespace {

std::string Flags(const std::uint8_t* e) {
  const std::uint8_t a = e[DIR_Attr];
  return Format("%c%c%c%c%c%c  ", (a & ATTR_DIRECTORY) ? 'd' : '.', (a & ATTR_READ_ONLY) ? 'r' : '.',
                (a & ATTR_HIDDEN) ? 'h' : '.', (a & ATTR_SYSTEM) ? 's' : '.', (a & ATTR_VOLUME_ID) ? 'v' : '.',
                (a & ATTR_ARCHIVE) ? 'a' : '.');
}

bool IsVolumeLabel(const std::uint8_t* e) { return (e[DIR_Attr] & ATTR_VOLUME_ID) != 0; }
bool IsDirectory(const std::uint8_t* e) { return (e[DIR_Attr] & ATTR_DIRECTORY) != 0; }

// One entry line of DIR, in its three pieces.
void PrintEntryLine(Shell& shell, const std::uint8_t* e) {
  ShellWrite(Flags(e));
  std::string date, time, size;
  if (!IsVolumeLabel(e)) {
    const DateTime when = DecodeDosDateTime(EntryDate(e), EntryTime(e));
    date = Format("%02d/%02d/%04d", when.month, when.day, when.year);
    time = Format("%02d:%02d:%02d", when.hour, when.minute, when.second);
  }
  if (!IsVolumeLabel(e) && !IsDirectory(e)) size = FormatThousands(EntrySize(e));
  ShellWrite(Format("%s %s %11s  ", date.c_str(), time.c_str(), size.c_str()));
  const std::uint16_t normal = shell.console().TextAttributes();
  const std::string name = EntryName(e);
  if (IsDirectory(e)) {
    shell.PrintInColour(static_cast<std::uint16_t>((normal & 0xF0) | kAttrIntensity | kAttrGreen),
                        Format("%-14s\n", (UpperAscii(name) + "\\").c_str()));
  } else if (IsVolumeLabel(e)) {
    shell.PrintInColour(static_cast<std::uint16_t>((normal & 0xF0) | kAttrIntensity | kAttrRed),
                        Format("%-14s\n", name.c_str()));
  } else {
    ShellWrite(Format("%-14s\n", LowerAscii(name).c_str()));
  }
}

void NoteRecycleBin(Shell& shell, const std::uint8_t* e) {
  if (!VerboseMode()) return;
  ShellWrite("\nSpecial Recycled Bin File Encountered\n");
  PrintEntryLine(shell, e);
}

// Counts DIR's lines and shows the page prompt before every PageLength-th.
class PagedLines {
 public:
  PagedLines(Shell& shell, bool paged) : shell_(shell), paged_(paged) {}
  void Before(int lines) {
    for (int i = 0; i < lines; ++i) {
      ++count_;
      if (paged_ && shell_.PageLength() > 0 && count_ % shell_.PageLength() == 0) shell_.PagePrompt();
    }
  }

 private:
  Shell& shell_;
  bool paged_;
  int count_ = 0;
};

}  // namespace

static int CmdDir(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  MountedVolume& volume = engine->volume();
  TokenList params(tokens.begin() + 1, tokens.end());
  bool paged = false;
  if (!params.empty() && EqualsIgnoreCase(params.back(), "-p")) {
    params.pop_back();
    paged = true;
  }
  const int previous_page_length = shell.PageLength();
  if (paged && previous_page_length == 0) shell.SetPageLength(20);
  struct Restore {
    Shell& shell;
    int value;
    ~Restore() { shell.SetPageLength(value); }
  } restore{shell, previous_page_length};

  const std::string text = params.empty() ? volume.current_path : params.front();
  DirEntry entry{};
  int error = 0;
  auto search = engine->FindFirstEntry(text, entry, error);
  // A directory without a single entry (an empty root) is listed as empty.
  std::uint16_t empty = 0;
  std::string empty_path;
  const bool empty_directory = !search && error == END_OF_DIRECTORY && engine->ResolveDirectoryPath(text, empty, empty_path);
  if (!search && !empty_directory) {
    if (const int broken = SearchBroken(nullptr, error, text, message)) return broken;
    message = Format("Unable To Locate Directory/File[Error: %d]: %s", error, text.c_str());
    return FILE_NOT_FOUND;
  }
  PagedLines lines(shell, paged);
  const std::string path = UpperAscii(search ? search->path : empty_path);
  const std::uint8_t* pbr = volume.pbr();
  const std::uint32_t serial = common::load_le32(pbr + BS_VolID);
  const std::string label(reinterpret_cast<const char*>(pbr + BS_VolLab), 11);
  ShellWrite(Format(path.find(':') != std::string::npos ? "\nDirectory For Drive: %s\n"
                                                         : "\nDirectory For Drive: SYS:%s\n",
                    path.c_str()));
  ShellWrite(Format("      Serial Number: %04X:%04X\n       Volume Label: %s\n\nattr    date                 size        "
                    "name\n------  -------------------  ----------  --------------\n",
                    serial >> 16, serial & 0xFFFF, label.c_str()));
  lines.Before(7);

  int directories = 0;
  if (search) do {
    if (IsRecycleBinEntry(entry.data())) {
      NoteRecycleBin(shell, entry.data());
      continue;
    }
    if (!IsDirectory(entry.data()) || IsLongNameSlot(entry.data())) continue;
    lines.Before(1);
    PrintEntryLine(shell, entry.data());
    if (VerboseMode()) engine->ShowClusterChain(entry.data());
    ++directories;
  } while (shell.StopCode() == 0 && engine->FindNextEntry(*search, entry, error) == 0);
  // A directory whose chain loops or breaks is listed up to the break, once.
  if (const int broken = SearchBroken(search.get(), error, text, message)) return broken;

  if (search) search = engine->FindFirstEntry(text, entry, error);
  if (!search && !empty_directory) {
    if (const int broken = SearchBroken(nullptr, error, text, message)) return broken;
    message = Format("Unable To Locate Directory/File, 2nd Time[Error: %d]: %s", error, text.c_str());
    return FILE_NOT_FOUND;
  }
  int files = 0;
  std::uint32_t bytes = 0, allocated = 0;
  const std::uint32_t cluster = volume.BytesPerCluster;
  if (search) do {
    // Long-name slots belong to the entry after them; they are no files of their own.
    if (IsRecycleBinEntry(entry.data()) || IsDirectory(entry.data()) || IsLongNameSlot(entry.data())) continue;
    lines.Before(1);
    PrintEntryLine(shell, entry.data());
    if (VerboseMode()) engine->ShowClusterChain(entry.data());
    ++files;
    const std::uint32_t size = EntrySize(entry.data());
    bytes += size;
    allocated += static_cast<std::uint32_t>((static_cast<std::uint64_t>(size) + cluster - 1) / cluster * cluster);
  } while (shell.StopCode() == 0 && engine->FindNextEntry(*search, entry, error) == 0);
  if (const int broken = SearchBroken(search.get(), error, text, message)) return broken;

  lines.Before(1);
  ShellWrite("                             ----------\n");
  lines.Before(1);
  ShellWrite(Format("       %15s  %15s (%s) bytes\n", Format("%d File(s)", files).c_str(),
                    FormatThousands(bytes).c_str(), FormatThousands(allocated).c_str()));
  lines.Before(1);
  ShellWrite(Format("       %15s  %15s bytes free\n", Format("%d Dir(s) ", directories).c_str(),
                    FormatThousands(static_cast<std::uint32_t>(engine->FreeSpace())).c_str()));
  lines.Before(1);
  ShellWrite(Format("                        %15s Total Partition Size\n",
                    FormatThousands((volume.ClusterLimit - 2) * volume.BytesPerCluster).c_str()));
  return 0;
}

constexpr CommandRow kDirRow{
    "DIR", 0, 2, CmdDir, "DIR [DIR/PATH] [-p]", "Show directory files [pause]",
    "    Lists a directory of SYS: (the current one by default), with\n"
    "    sizes, dates and totals. -p pauses after every 20 lines."};

static int CmdAttrib(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  MountedVolume& volume = engine->volume();
  const std::string& name = tokens[1];
  DirEntry entry{};
  int error = 0;
  auto search = engine->FindFirstEntry(name, entry, error);
  int counted = 0;
  int result = 0;
  if (search) {
    alignas(512) static std::uint8_t sector[kSectorSize];
    do {
      if (IsDirectory(entry.data()) || IsRecycleBinEntry(entry.data()) || IsLongNameSlot(entry.data())) continue;
      if (std::memcmp(entry.data(), ".          ", 11) == 0 || std::memcmp(entry.data(), "..         ", 11) == 0) {
        continue;
      }
      ++counted;
      if (tokens.size() < 3) {
        ShellWrite(Flags(entry.data()) + Format("%-14s\n", LowerAscii(EntryName(entry.data())).c_str()));
        continue;
      }
      const std::string& change = tokens[2];
      if (change.empty() || (change[0] != '+' && change[0] != '-')) {
        message = "Invalid Attribute String. Must Start +/-.";
        result = INVALID_PARAMETER;
        continue;
      }
      std::uint8_t attributes = entry[DIR_Attr];
      bool setting = true;
      bool bad = false;
      for (const char c : change) {
        std::uint8_t bit = 0;
        switch (c) {
          case '+': setting = true; continue;
          case '-': setting = false; continue;
          case 'a': bit = ATTR_ARCHIVE; break;
          case 'h': bit = ATTR_HIDDEN; break;
          case 'r': bit = ATTR_READ_ONLY; break;
          case 's': bit = ATTR_SYSTEM; break;
          default:
            message = Format("Illegal Attribute: +/-%c", UpperAscii(c));
            bad = true;
            break;
        }
        if (bad) break;
        attributes = setting ? static_cast<std::uint8_t>(attributes | bit) : static_cast<std::uint8_t>(attributes & ~bit);
      }
      if (bad) {
        result = INVALID_PARAMETER;
        continue;
      }
      const std::uint32_t at = search->sector;
      const unsigned index = search->index - 1;
      int io = volume.ReadHardDriveSector(at, sector);
      std::uint8_t* e = sector + index * kDirEntrySize;
      if (io == 0 && std::memcmp(e, entry.data(), kDirEntrySize) != 0) io = DISK_ERROR_READING_SECTOR;
      if (io == 0) {
        e[DIR_Attr] = attributes;
        io = volume.WriteHardDriveSector(at, sector);
      }
      if (io != 0) {
        message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(io));
        result = UNABLE_TO_WRITE_DIRECTORY;
        break;
      }
      result = 0;
    } while (shell.StopCode() == 0 && engine->FindNextEntry(*search, entry, error) == 0);
  }
  if (const int broken = SearchBroken(search.get(), error, name, message)) return broken;
  if (counted == 0 && result == 0) {
    message = Format("Unable To Locate File: %s", name.c_str());
    return FILE_NOT_FOUND;
  }
  return result;
}

constexpr CommandRow kAttribRow{
    "ATTRIB", 1, 2, CmdAttrib, "ATTRIB file [+-HSRA]", "View/change file attributes",
    "    Without flags, shows the attributes of the matching files.\n"
    "    +H +S +R +A set and -H -S -R -A clear Hidden, System,\n"
    "    Read-only and Archive, for example ATTRIB \\DIAGS\\*.* +R-A"};

static int CmdCd(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  MountedVolume& volume = engine->volume();
  if (tokens.size() < 2) {
    message = "SYS:" + volume.current_path;
    return 0;
  }
  std::uint16_t directory = 0;
  std::string path;
  if (!engine->ResolveDirectoryPath(tokens[1], directory, path)) {
    message = Format("Unable To Locate Directory: %s", tokens[1].c_str());
    return DIRECTORY_NOT_FOUND;
  }
  volume.current_directory = directory;
  volume.current_path = path;
  return 0;
}

constexpr CommandRow kCdRow{
    "CD", 0, 1, CmdCd, "CD [DIR/PATH]", "Change current directory",
    "    Changes the current directory of SYS:. Without a parameter\n"
    "    shows it. Paths use \\ separators; .. names the parent."};

static int CmdMd(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  return engine->MakeDirectory(tokens[1], message);
}

constexpr CommandRow kMdRow{
    "MD", 1, 1, CmdMd, "MD path_dir_name", "Creates an empty directory.",
    "    Creates an empty directory on SYS:."};
constexpr CommandRow kMkdirRow{
    "MKDIR", 1, 1, CmdMd, "MKDIR path_dir_name", "Creates an empty directory.",
    "    Same as MD."};

static int CmdRd(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  return engine->RemoveDirectory(tokens[1], message);
}

constexpr CommandRow kRdRow{
    "RD", 1, 1, CmdRd, "RD path_dir_name", "Removes an empty directory.",
    "    Removes an empty directory of SYS:."};
constexpr CommandRow kRmdirRow{
    "RMDIR", 1, 1, CmdRd, "RMDIR path_dir_name", "Remove directory on SYS:.",
    "    Same as RD."};

static int CmdRen(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  const std::string& old_file = tokens[1];
  const std::string& new_file = tokens[2];
  if (new_file.find_first_of("*?") != std::string::npos) {
    message = Format("Invalid Filename: %s", new_file.c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  std::string parent, old_name, new_parent, new_name;
  Fat16Engine::SplitParentAndName(old_file, parent, old_name);
  Fat16Engine::SplitParentAndName(new_file, new_parent, new_name);
  std::uint16_t directory = engine->volume().current_directory;
  std::string directory_path = engine->volume().current_path;
  if (!parent.empty() && !engine->ResolveDirectoryPath(parent, directory, directory_path)) {
    message = Format("Directory/Path Not Found: %s", parent.c_str());
    return DIR_PATH_NOT_FOUND;
  }
  // The new name is a name in the same directory, never a path elsewhere.
  if (new_file.find_first_of("\\/:") != std::string::npos) {
    message = Format("Invalid Filename: %s", new_file.c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  int result = CheckSysFileName(new_name, false, message);
  if (result == 0) result = CheckShortName(new_name, message);
  if (result != 0) return result;
  if (engine->FindSubdirectory(directory, new_name).found) {
    std::string joined = directory_path;
    if (joined.empty() || joined.back() != '\\') joined += "\\";
    message = Format("A Directory By That Name Already Exists: %s", (joined + new_name).c_str());
    return DIR_ALREADY_EXISTS;
  }
  if (engine->FindFile(directory, new_name).found) {
    message = "A File By That Name Already Exists";
    return FILE_ALREADY_EXISTS;
  }
  std::string engine_message;
  if (engine->RenameEntry(directory, old_name, new_name, engine_message)) return 0;
  message = !engine_message.empty() ? engine_message
                                    : Format("Unable To Rename File: %s to %s", old_name.c_str(), new_name.c_str());
  return UNABLE_TO_RENAME_FILE;
}

constexpr CommandRow kRenRow{
    "REN", 2, 2, CmdRen, "REN OLDFILE NEWFILE", "Rename files on SYS:",
    "    Renames a file or directory of SYS:. The new name must not\n"
    "    exist yet."};
constexpr CommandRow kRenameRow{
    "RENAME", 2, 2, CmdRen, "RENAME OLDFILE NEWFILE", "Rename files on SYS:",
    "    Same as REN."};

static int CmdDel(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  const std::string& text = tokens[1];
  const bool yes = tokens.size() > 2 && EqualsIgnoreCase(tokens[2], "-Y");
  const auto ends_with = [&](const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
  };
  if (!yes && (text == "*.*" || ends_with("\\*.*") || ends_with("/*.*"))) {
    shell.console().FlushInput();
    ShellWrite("Delete *.*, Are You Sure [N/y]? ");
    const int key = shell.ReadKey();
    if (key != 'Y' && key != 'y') {
      ShellWrite("N\n");
      message = " *User Abort*";
      return USER_ABORT;
    }
    ShellWrite("Y\n");
  }
  DirEntry entry{};
  int error = 0;
  auto search = engine->FindFirstEntry(text, entry, error);
  int counted = 0;
  int result = 0;
  if (search) {
    // Names first, deletions after: deleting while enumerating would have
    // the search re-read sectors that each deletion changes.
    std::vector<std::string> paths;
    do {
      if (IsRecycleBinEntry(entry.data()) || IsDirectory(entry.data()) || IsVolumeLabel(entry.data())) continue;
      std::string path = search->path;
      if (path.empty() || path.back() != '\\') path += "\\";
      paths.push_back(path + EntryName(entry.data()));
    } while (shell.StopCode() == 0 && engine->FindNextEntry(*search, entry, error) == 0);
    // Nothing is deleted on the strength of a listing cut short by a broken directory.
    if (const int broken = SearchBroken(search.get(), error, text, message)) return broken;
    for (const std::string& path : paths) {
      if (shell.StopCode() != 0) break;
      ++counted;
      std::string failure;
      const int deleted = engine->DeleteFat16File(path, failure);
      if (deleted != 0) {
        ShellWrite(failure + "\n");
        result = deleted;
      }
    }
  }
  if (counted == 0) {
    if (const int broken = SearchBroken(nullptr, error, text, message)) return broken;
    message = Format("Unable To Locate File[Error: %d]: %s", error, text.c_str());
    return FILE_NOT_FOUND;
  }
  return result;
}

constexpr CommandRow kDelRow{
    "DEL", 1, 2, CmdDel, "DEL file [-y]", "Delete files from SYS: [-yes on *.*]",
    "    Deletes the matching files of SYS:. Deleting *.* asks for\n"
    "    confirmation unless -y is given."};
constexpr CommandRow kDeleteRow{
    "DELETE", 1, 2, CmdDel, "DELETE file [-y]", "Delete files from SYS: [-yes on *.*]",
    "    Same as DEL."};

static int CmdIfExist(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return 1;
  message.clear();
  DirEntry entry{};
  int error = 0;
  if (engine->FindFirstEntry(tokens[1], entry, error)) return 0;
  // A directory that cannot be read whole says nothing about what is in it.
  if (const int broken = SearchBroken(nullptr, error, tokens[1], message)) return broken;
  return 1;
}

constexpr CommandRow kIfExistRow{
    "IFEXIST", 1, 1, CmdIfExist, "IFEXIST [SYS:]fat16_file", "0, if file exists, else 1",
    "    Sets the error level to 0 when the file or pattern exists\n"
    "    on SYS:, else to 1."};
constexpr CommandRow kIfExistsRow{
    "IFEXISTS", 1, 1, CmdIfExist, "IFEXISTS [SYS:]fat16_file", "0, if file exists, else 1",
    "    Same as IFEXIST."};

static int CmdFree(Shell& shell, std::string& message, const TokenList&) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return shell.ErrorLevel();
  message = Format("Disk Free Space: %s", FormatThousands(static_cast<std::uint32_t>(engine->FreeSpace())).c_str());
  return shell.ErrorLevel();
}

constexpr CommandRow kFreeRow{"FREE", 0, 0, CmdFree, "FREE", "Show mounted partition free space", ""};

}  // namespace partshell
