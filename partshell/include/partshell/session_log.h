// The session log: deleted and created afresh by the first write of a run,
// then appended to by every write.
#pragma once

#include <string>
#include <string_view>

#include "partshell/local_files.h"

namespace partshell {

class SessionLog {
 public:
  explicit SessionLog(LocalFiles& files) : files_(files) {}
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& Path() const { return path_; }
  // A file that cannot be opened is skipped without a message.
  void Append(std::string_view text);

 private:
  LocalFiles& files_;
  std::string path_;
  bool started_ = false;
};

// "<current directory>/torbel.log", written the host's way.
std::string DefaultLogPath(LocalFiles& files);

}  // namespace partshell
