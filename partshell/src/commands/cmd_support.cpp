// Helpers the file, directory and display commands share.
#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>

#include "partshell/error_codes.h"
#include "partshell/fat16_engine.h"
#include "partshell/file_commands.h"
#include "partshell/shell_services.h"

namespace partshell {

std::string FormatThousands(std::uint32_t value) {
  const unsigned long v = value;
  if (v < 1000) return Format("%ld", static_cast<long>(v));
  if (v < 1000000) return Format("%ld,%03ld", static_cast<long>(v / 1000), static_cast<long>(v % 1000));
  return Format("%ld,%03ld,%03ld", static_cast<long>(v / 1000000), static_cast<long>(v / 1000 % 1000),
                static_cast<long>(v % 1000));
}

std::string LocalFsPath(const std::string& path) {
#if defined(_WIN32)
  return path;
#else
  std::string converted = path;
  for (char& c : converted) {
    if (c == '\\') c = '/';
  }
  return converted;
#endif
}

namespace {

bool Match(const char* p, const char* n) {
  for (; *p != '\0'; ++p) {
    if (*p == '*') {
      while (p[1] == '*') ++p;
      if (p[1] == '\0') return true;
      for (const char* rest = n; *rest != '\0'; ++rest) {
        if (Match(p + 1, rest)) return true;
      }
      return Match(p + 1, n + std::char_traits<char>::length(n));
    }
    if (*n == '\0') {
      // "name.*" and "*." also match a name without a dot.
      return (*p == '.' && (p[1] == '*' || p[1] == '\0') && (p[1] == '\0' || p[2] == '\0'));
    }
    if (*p != '?' && UpperAscii(*p) != UpperAscii(*n)) return false;
    ++n;
  }
  return *n == '\0';
}

}  // namespace

bool LocalNameMatches(const std::string& pattern, const std::string& name) {
  if (pattern == "*.*" || pattern == "*") return true;
  return Match(pattern.c_str(), name.c_str());
}

std::vector<LocalMatch> FindLocalFiles(const std::string& pattern) {
  std::string normal = pattern;
  for (char& c : normal) {
    if (c == '/') c = '\\';
  }
  const auto sep = normal.find_last_of("\\:");
  std::string directory = sep == std::string::npos ? "." : normal.substr(0, sep + 1);
  const std::string name_pattern = sep == std::string::npos ? normal : normal.substr(sep + 1);
  std::vector<LocalMatch> matches;
  std::error_code ec;
  const std::string host_directory = LocalFsPath(directory);
  bool wildcards = name_pattern.find_first_of("*?") != std::string::npos;
  if (!wildcards) {
    const std::filesystem::path only(LocalFsPath(normal));
    if (std::filesystem::exists(only, ec)) {
      matches.push_back({only.filename().string(), std::filesystem::is_directory(only, ec)});
    }
    return matches;
  }
  for (const auto& entry : std::filesystem::directory_iterator(host_directory, ec)) {
    const std::string name = entry.path().filename().string();
    if (LocalNameMatches(name_pattern, name)) matches.push_back({name, entry.is_directory(ec)});
  }
  // In name order, as the Windows find functions list an NTFS directory,
  // whatever order the host's directory keeps.
  std::sort(matches.begin(), matches.end(), [](const LocalMatch& a, const LocalMatch& b) {
    std::string x = a.name, y = b.name;
    for (char& c : x) c = UpperAscii(c);
    for (char& c : y) c = UpperAscii(c);
    return x < y;
  });
  return matches;
}

std::string TempFileName() {
  static int counter = 0;
  for (int tries = 0; tries < 1000; ++tries) {
    const std::string name = Format(".\\%s.%03d", "torbel", counter);
    std::error_code ec;
    if (!std::filesystem::exists(LocalFsPath(name), ec)) return name;
    counter = counter == 999 ? 0 : counter + 1;
  }
  return Format(".\\%s.%03d", "torbel", counter);
}

int CopyLocalHDFile(Shell& shell, const std::string& source, const std::string& target, std::string& message,
                    std::uint32_t& size) {
  const std::string from = LocalFsPath(source);
  const std::string to = LocalFsPath(target);
  std::FILE* out = std::fopen(to.c_str(), "wb");
  if (out == nullptr) {
    message = Format("Unable To Create Output File: %s", target.c_str());
    return DISK_ERROR_CREATING_FILE;
  }
  std::FILE* in = std::fopen(from.c_str(), "rb");
  if (in == nullptr) {
    std::fclose(out);
    std::remove(to.c_str());
    message = Format("Unable To Open Input File: %s", source.c_str());
    return DISK_ERROR_LOCATING_FILE;
  }
  char block[1000];
  std::uint32_t copied = 0;
  int result = 0;
  while (shell.StopCode() == 0) {
    const std::size_t got = std::fread(block, 1, sizeof block, in);
    if (got == 0) break;
    if (std::fwrite(block, 1, got, out) != got) {
      message = Format("[CopyLocalHDFile] Local COPY Operation Failed. Error (errno=%d): %d", errno,
                       static_cast<int>(DISK_ERROR_WRITING_FILE));
      result = DISK_ERROR_WRITING_FILE;
      break;
    }
    copied += static_cast<std::uint32_t>(got);
  }
  std::fclose(in);
  if (std::fclose(out) != 0 && result == 0) {
    message = Format("[CopyLocalHDFile] Local COPY Operation Failed. Error (errno=%d): %d", errno,
                     static_cast<int>(DISK_ERROR_WRITING_FILE));
    result = DISK_ERROR_WRITING_FILE;
  }
  if (result != 0) {
    std::remove(to.c_str());
    return result;
  }
  std::error_code ec;
  std::filesystem::last_write_time(to, std::filesystem::last_write_time(from, ec), ec);
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
