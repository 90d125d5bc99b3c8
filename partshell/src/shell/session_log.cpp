#include "partshell/session_log.h"

namespace partshell {

void SessionLog::Append(std::string_view text) {
  if (path_.empty()) return;
  // The first write of a run starts the log afresh, so it only ever holds
  // this run's output.
  const LocalOpenMode mode = started_ ? LocalOpenMode::append_log : LocalOpenMode::write_log;
  started_ = true;
  std::uint32_t error = 0;
  const std::unique_ptr<LocalFile> file = files_.Open(path_, mode, error);
  if (!file) return;
  file->Write(text.data(), text.size());
  file->Close();
}

std::string DefaultLogPath(LocalFiles& files) {
  std::string dir = files.CurrentDirectory();
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
