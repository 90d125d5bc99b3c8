#include "partshell/session_log.h"

#include <cstdio>
#include <filesystem>
#include <system_error>

namespace partshell {

void SessionLog::Append(std::string_view text) {
  if (path_.empty()) return;
  // The first write of a run starts the log afresh, so it only ever holds
  // this run's output.
  const char* mode = started_ ? "a" : "w";
  started_ = true;
  std::FILE* file = std::fopen(path_.c_str(), mode);
  if (file == nullptr) return;
  std::fwrite(text.data(), 1, text.size(), file);
  std::fclose(file);
}

std::string DefaultLogPath() {
  std::error_code ec;
  std::string dir = std::filesystem::current_path(ec).string();
  while (dir.size() > 1 && (dir.back() == '\\' || dir.back() == '/')) dir.pop_back();
#ifdef _WIN32
  std::string path = dir + "/torbel.log";
  for (char& c : path)
    if (c == '/') c = '\\';
  return path;
#else
  // Forward slashes are this host's separators; they stay as they are.
  if (dir == "/") return "/torbel.log";
  return dir + "/torbel.log";
#endif
}

}  // namespace partshell
