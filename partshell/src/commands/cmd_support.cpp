// Helpers the file, directory and display commands share.
#include <cstring>
#include <memory>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/command_support.h"
#include "partshell/engine_services.h"

namespace partshell {

std::string FormatThousands(std::uint32_t value) {
  const unsigned long v = value;
  if (v < 1000) return Format("%ld", static_cast<long>(v));
  if (v < 1000000) return Format("%ld,%03ld", static_cast<long>(v / 1000), static_cast<long>(v % 1000));
  return Format("%ld,%03ld,%03ld", static_cast<long>(v / 1000000), static_cast<long>(v / 1000 % 1000),
                static_cast<long>(v % 1000));
}

Fat16Engine* MountedEngine(Shell& shell, std::string& message) {
  if (shell.engine() == nullptr) message = "No Partition Mounted";
  return shell.engine();
}

std::string TempFileName(LocalFiles& files) {
  static int counter = 0;
  for (int tries = 0; tries < 1000; ++tries) {
    const std::string name = Format(".\\%s.%03d", "torbel", counter);
    if (files.Status(files.HostPath(name)).kind == LocalKind::missing) return name;
    counter = counter == 999 ? 0 : counter + 1;
  }
  return Format(".\\%s.%03d", "torbel", counter);
}

int CopyLocalHDFile(Shell& shell, const std::string& source, const std::string& target, std::string& message,
                    std::uint32_t& size) {
  LocalFiles& files = shell.local_files();
  const std::string from = files.HostPath(source);
  const std::string to = files.HostPath(target);
  std::uint32_t error = 0;
  std::unique_ptr<LocalFile> out = files.Open(to, LocalOpenMode::write, error);
  if (!out) {
    message = Format("Unable To Create Output File: %s", target.c_str());
    return DISK_ERROR_CREATING_FILE;
  }
  const std::unique_ptr<LocalFile> in = files.Open(from, LocalOpenMode::read, error);
  if (!in) {
    out.reset();
    files.Remove(to);
    message = Format("Unable To Open Input File: %s", source.c_str());
    return DISK_ERROR_LOCATING_FILE;
  }
  auto failed = [&](std::uint32_t system_error) {
    message = Format("[CopyLocalHDFile] Local COPY Operation Failed. Error (errno=%d): %d",
                     static_cast<int>(system_error), static_cast<int>(DISK_ERROR_WRITING_FILE));
    return DISK_ERROR_WRITING_FILE;
  };
  char block[1000];
  std::uint32_t copied = 0;
  int result = 0;
  while (shell.StopCode() == 0) {
    const LocalIo got = in->Read(block, sizeof block);
    if (got.bytes == 0) break;
    if (const LocalIo put = out->Write(block, got.bytes); !put.ok) {
      result = failed(put.system_error);
      break;
    }
    copied += static_cast<std::uint32_t>(got.bytes);
  }
  if (const std::uint32_t closed = out->Close(); closed != 0 && result == 0) result = failed(closed);
  if (result != 0) {
    files.Remove(to);
    return result;
  }
  const LocalStatus original = files.Status(from);
  if (original.kind != LocalKind::missing) files.SetLastWriteTime(to, original.last_write);
  size = copied;
  return 0;
}

bool IsRecycleBinEntry(const std::uint8_t* entry) {
  static constexpr std::uint8_t kLongName[11] = {0x41, 'R', 0, 'e', 0, 'c', 0, 'y', 0, 'c', 0};
  return std::memcmp(entry, "RECYCLED   ", 11) == 0 || std::memcmp(entry, kLongName, 11) == 0;
}

std::string EntryName(const std::uint8_t* entry) { return EntryDisplayName(entry); }

int SearchBroken(const DirSearch* search, int error, const std::string& text, std::string& message) {
  if (error == 0 || error == END_OF_DIRECTORY || error == DIR_PATH_NOT_FOUND || error == BAD_HANDLE) return 0;
  if (error == FAT_LINKAGE_ERROR && search != nullptr && search->walker) {
    message = search->walker->LinkageMessage();
  } else {
    message = Format("Unable To Read Directory Of: %s", text.c_str());
  }
  return error;
}

bool ParseSectorNumber(const std::string& text, std::uint32_t& value) {
  if (text.empty()) return false;
  int base = 10;
  std::size_t start = 0;
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) {
    base = 16;
    start = 2;
  }
  std::uint64_t v = 0;
  for (std::size_t i = start; i < text.size(); ++i) {
    const char c = text[i];
    int digit = -1;
    if (c >= '0' && c <= '9') digit = c - '0';
    if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    if (digit < 0) return false;
    v = v * static_cast<unsigned>(base) + static_cast<unsigned>(digit);
    if (v > 0xFFFFFFFFull) return false;
  }
  value = static_cast<std::uint32_t>(v);
  return true;
}

}  // namespace partshell
