// APPENDFILE, LOG and TOUCH.
#include <cstring>
#include <memory>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/command_rows.h"
#include "partshell/command_support.h"
#include "partshell/mounted_volume.h"
#include "partshell/engine_services.h"

namespace partshell {

namespace {

constexpr const char* kAppendText = "APPEND1.TMP";
constexpr const char* kAppendWork = "APPEND2.TMP";
constexpr const char* kTouchEmpty = "TOUCH.TMP";

void RemoveLocal(LocalFiles& files, const std::string& name) { files.Remove(files.HostPath(name)); }

std::unique_ptr<LocalFile> OpenLocal(LocalFiles& files, const std::string& name, LocalOpenMode mode) {
  std::uint32_t error = 0;
  return files.Open(files.HostPath(name), mode, error);
}

bool HasWildcards(const std::string& text) { return text.find_first_of("*?") != std::string::npos; }

// The appended lines end in carriage return and line feed, as DOS and
// Windows programs on the partition expect, whatever the local host uses.
bool AppendAsText(LocalFile& in, LocalFile& out, Shell& shell) {
  char block[4096];
  std::string converted;
  char previous = 0;
  for (;;) {
    const LocalIo got = in.Read(block, sizeof block);
    if (got.bytes == 0) return true;
    converted.clear();
    bool stopped = false;
    for (std::size_t i = 0; i < got.bytes; ++i) {
      if (shell.StopCode() != 0) {
        stopped = true;
        break;
      }
      const char c = block[i];
      if (c == '\n' && previous != '\r') converted += '\r';
      converted += c;
      previous = c;
    }
    if (!out.Write(converted.data(), converted.size()).ok) return false;
    if (stopped) return true;
  }
}

int AppendToSysFile(Shell& shell, Fat16Engine& engine, std::string& message, const std::string& source,
                    const std::string& target) {
  LocalFiles& files = shell.local_files();
  RemoveLocal(files, kAppendWork);
  if (HasWildcards(target)) {
    message = Format("Invalid Filename: %s", target.c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  std::string parent, name;
  std::uint16_t directory = 0;
  if (!engine.LocateParent(target, directory, parent, name)) {
    message = Format("Directory/Path Not Found: %s", parent.c_str());
    return DIR_PATH_NOT_FOUND;
  }
  const bool existed = engine.FindFile(directory, name).found;
  if (existed) {
    std::uint32_t size = 0;
    const int copied = engine.CopyFileFromFAT16ToLocalHD(target, files.HostPath(kAppendWork), message, size);
    if (copied != 0) return copied;
  }
  const std::unique_ptr<LocalFile> in = OpenLocal(files, source, LocalOpenMode::read);
  if (!in) {
    message = Format("Unable To Locate Local File: %s", source.c_str());
    return UNABLE_TO_LOCATE_LOCAL_FILE;
  }
  const std::unique_ptr<LocalFile> out = OpenLocal(files, kAppendWork, LocalOpenMode::append);
  if (!out) {
    message = Format("Unable To Open/Create Locate Local Temp File: %s", kAppendWork);
    return UNABLE_TO_CREATE_LOCAL_TEMP_FILE;
  }
  bool written = !existed || out->Write("\r\n", 2).ok;
  written = written && AppendAsText(*in, *out, shell);
  if (out->Close() != 0) written = false;
  if (!written) {
    message = Format("Write Error Appending File: %s, to Local Temp File: %s", source.c_str(), kAppendWork);
    return ERROR_WRITING_LOCAL_FILE;
  }
  std::string ignored;
  if (existed) engine.DeleteFat16File(target, ignored);
  std::uint32_t size = 0;
  const int result = engine.CopyFileFromLocalHDToFAT16(files.HostPath(kAppendWork), target, message, size);
  if (result == 0) RemoveLocal(files, kAppendWork);
  return result;
}

// The text of a LOG line: the command line after its first two words.
std::string LogText(const std::string& line) {
  std::size_t at = 0;
  auto skip_blanks = [&] {
    while (at < line.size() && (line[at] == ' ' || line[at] == '\t')) ++at;
  };
  auto skip_word = [&] {
    while (at < line.size() && line[at] != ' ' && line[at] != '\t') ++at;
  };
  skip_blanks();
  skip_word();
  skip_blanks();
  skip_word();
  skip_blanks();
  std::string text = line.substr(at);
  if (!text.empty() && text.front() == '"') text.erase(0, 1);
  if (!text.empty() && text.back() == '"') text.pop_back();
  return text;
}

}  // namespace

static int CmdAppendFile(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  return AppendToSysFile(shell, *engine, message, tokens[2], tokens[1]);
}

constexpr CommandRow kAppendFileRow{
    "APPENDFILE", 2, 2, CmdAppendFile, "APPENDFILE [SYS:]target source", "Appends a file to a FAT16 file",
    "    Appends the local file 'source' to the end of 'target' on SYS:.\n"
    "    The target is created when it does not exist."};

static int CmdLog(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  LocalFiles& files = shell.local_files();
  RemoveLocal(files, kAppendText);
  if (HasWildcards(tokens[1])) {
    message = Format("Invalid Filename: %s", tokens[1].c_str());
    return INVALID_FILENAME_PARAMETER;
  }
  const std::unique_ptr<LocalFile> out = OpenLocal(files, kAppendText, LocalOpenMode::write);
  if (!out) {
    message = Format("Unable To Open/Create Locate Local Temp File: %s", kAppendText);
    return UNABLE_TO_CREATE_LOCAL_TEMP_FILE;
  }
  const std::string text = LogText(shell.LastCommandLine()) + "\r\n";
  const bool written = out->Write(text.data(), text.size()).ok;
  if (out->Close() != 0 || !written) {
    message = Format("Unable To Open/Create Locate Local Temp File: %s", kAppendText);
    return UNABLE_TO_CREATE_LOCAL_TEMP_FILE;
  }
  const int result = AppendToSysFile(shell, *engine, message, kAppendText, tokens[1]);
  if (result == 0) RemoveLocal(files, kAppendText);
  return result;
}

constexpr CommandRow kLogRow{
    "LOG", 2, kNoLimit, CmdLog, "LOG [SYS:]log_file text", "Appends a string to file",
    "    Appends the text, with a line end, to a file of SYS:. The\n"
    "    file is created when it does not exist."};

static int CmdTouch(Shell& shell, std::string& message, const TokenList& tokens) {
  Fat16Engine* engine = MountedEngine(shell, message);
  if (engine == nullptr) return UNABLE_TO_LOCATE_PARTITION;
  MountedVolume& volume = engine->volume();
  const std::string& name = tokens[1];
  const bool wildcards = HasWildcards(name);
  const bool create = tokens.size() == 3 && tokens[2].size() >= 2 && tokens[2][0] == '-' &&
                      (tokens[2][1] == 'C' || tokens[2][1] == 'c');
  if (create) {
    if (wildcards) {
      message = Format("Invalid Filename: %s", name.c_str());
      return INVALID_FILENAME_PARAMETER;
    }
    std::string ignored;
    engine->DeleteFat16File(name, ignored);
  }

  DirEntry entry{};
  int error = 0;
  auto search = engine->FindFirstEntry(name, entry, error);
  if (search) {
    int touched = 0;
    int result = 0;
    alignas(512) static std::uint8_t sector[kSectorSize];
    do {
      if ((entry[DIR_Attr] & ATTR_DIRECTORY) != 0 || IsRecycleBinEntry(entry.data()) || IsLongNameSlot(entry.data())) {
        continue;
      }
      ++touched;
      const std::uint32_t at = search->sector;
      const unsigned index = search->index - 1;
      std::uint16_t date = 0, time = 0;
      engine->StampDateTime(date, time);
      int io = volume.ReadHardDriveSector(at, sector);
      std::uint8_t* e = sector + index * kDirEntrySize;
      if (io == 0 && std::memcmp(e, entry.data(), kDirEntrySize) == 0) {
        common::store_le16(e + DIR_WrtTime, time);
        common::store_le16(e + DIR_WrtDate, date);
        io = volume.WriteHardDriveSector(at, sector);
      } else if (io == 0) {
        io = DISK_ERROR_READING_SECTOR;
      }
      if (io != 0) {
        message = Format("Unable To Write Changed Sector Back To The Drive, Error: %ld", static_cast<long>(io));
        result = UNABLE_TO_WRITE_DIRECTORY;
        break;
      }
    } while (shell.StopCode() == 0 && engine->FindNextEntry(*search, entry, error) == 0);
    if (const int broken = SearchBroken(search.get(), error, name, message)) return broken;
    if (touched > 0) return result;
    message = Format("Unable To Locate File[Error: %d]: %s", error, name.c_str());
    return FILE_NOT_FOUND;
  }
  if (!create) {
    message = Format("Unable To Locate File[Error: %d]: %s", error, name.c_str());
    return FILE_NOT_FOUND;
  }
  LocalFiles& files = shell.local_files();
  if (!OpenLocal(files, kTouchEmpty, LocalOpenMode::write)) {
    message = Format("Unable To Create Local Temp File: %s", kTouchEmpty);
    return UNABLE_TO_CREATE_LOCAL_TEMP_FILE;
  }
  std::uint32_t size = 0;
  const int result = engine->CopyFileFromLocalHDToFAT16(files.HostPath(kTouchEmpty), name, message, size);
  RemoveLocal(files, kTouchEmpty);
  return result;
}

constexpr CommandRow kTouchRow{
    "TOUCH", 1, 2, CmdTouch, "TOUCH [SYS:]file [-C]", "Update file time [create new]",
    "    Sets the time of a file of SYS: to now. With -C a missing\n"
    "    file is created empty."};

}  // namespace partshell
