// The shell's own variables: a fixed block of NAME=value texts created from
// the process environment. Changes never reach the process environment.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace partshell {

class LocalEnvironment {
 public:
  static constexpr std::size_t kBlockBytes = 20480;

  // 0, or 738 when an entry of the list did not fit (loading stops there).
  // A second call does nothing and returns 0.
  int Init(const std::vector<std::string>& assignments);
  void Free();
  bool Exists() const { return created_; }

  // "NAME=value": 0, -1 when the block is full (the old value is gone),
  // -2 when the block does not exist. An empty value removes the variable.
  int Put(const std::string& assignment);
  std::optional<std::string> Get(const std::string& name) const;
  // Every entry "NAME=value" in block order.
  std::vector<std::string> List() const;
  std::size_t BytesInUse() const;

 private:
  // Entries in block order; each costs its length plus its NUL in the block.
  std::vector<std::string> entries_;
  bool created_ = false;
};

// The process-wide block the commands and the mount publish into. Using it
// before it was created ends the process with exit code 1, as the shell has
// no sound way to go on.
LocalEnvironment& ShellEnvironment();
int EnvPutValue(const std::string& assignment);
std::optional<std::string> EnvGetValue(const std::string& name);

}  // namespace partshell
