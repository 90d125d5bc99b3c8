// The session log: deleted and created afresh by the first write of a run,
// then appended to by every write.
#pragma once

#include <string>
#include <string_view>

namespace partshell {

class SessionLog {
 public:
  void SetPath(std::string path) { path_ = std::move(path); }
  const std::string& Path() const { return path_; }
  // A file that cannot be opened is skipped without a message.
  void Append(std::string_view text);

 private:
  std::string path_;
  bool started_ = false;
};

// "<current directory>/torbel.log", written the host's way.
std::string DefaultLogPath();

}  // namespace partshell
