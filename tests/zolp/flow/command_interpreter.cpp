#include "command_interpreter.h"

#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>

#include "zolp/sim/linux_tool_launcher.h"
#include "zolp/sim/simulated_devices.h"

namespace zolp::testing {

namespace {

namespace fs = std::filesystem;

class FinishedChild final : public ChildProcess {
 public:
  explicit FinishedChild(std::uint32_t exitCode) : exitCode_(exitCode) {}
  void Wait() override {}
  bool ExitCode(std::uint32_t& code) override {
    code = exitCode_;
    return true;
  }

 private:
  std::uint32_t exitCode_;
};

// '*' and '?' as cmd matches them, without regard to case.
bool Matches(const char* pattern, const char* name) {
  if (*pattern == '\0') return *name == '\0';
  // "X.*" also names X: a name without an extension has an empty one.
  if (*name == '\0' && pattern[0] == '.' && pattern[1] == '*' && pattern[2] == '\0') return true;
  if (*pattern == '*') return Matches(pattern + 1, name) || (*name && Matches(pattern, name + 1));
  if (*name == '\0') return false;
  if (*pattern != '?' && std::tolower(static_cast<unsigned char>(*pattern)) !=
                             std::tolower(static_cast<unsigned char>(*name)))
    return false;
  return Matches(pattern + 1, name + 1);
}

// The files a source names: the files in a directory, or those its last part matches.
std::vector<fs::path> Sources(const fs::path& path) {
  std::vector<fs::path> found;
  std::error_code ec;
  fs::path directory = path.parent_path();
  std::string pattern = path.filename().string();
  if (fs::is_directory(path, ec)) {
    directory = path;
    pattern = "*";
  }
  for (const auto& entry : fs::directory_iterator(directory, ec))
    if (entry.is_regular_file() && Matches(pattern.c_str(), entry.path().filename().c_str()))
      found.push_back(entry.path());
  return found;
}

}  // namespace

std::unique_ptr<ChildProcess> CommandInterpreterStandIn::Start(const LaunchRequest& request) {
  if (sim::ProgramName(request) != "cmd.exe") return others_.Start(request);
  // "<system>\cmd.exe" /C "<command>"
  const std::string& line = request.commandLine;
  const std::size_t open = line.find("/C \"");
  const std::size_t close = line.rfind('"');
  if (open == std::string::npos || close <= open + 3) {
    ADD_FAILURE() << "not a command for cmd /C: " << line;
    return std::make_unique<FinishedChild>(1);
  }
  const std::string command = line.substr(open + 4, close - open - 4);
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(command);
  }
  return std::make_unique<FinishedChild>(Run(command));
}

std::vector<std::string> CommandInterpreterStandIn::Commands() const {
  std::lock_guard lock(mutex_);
  return commands_;
}

std::uint32_t CommandInterpreterStandIn::Run(const std::string& command) {
  const std::vector<std::string> words = sim::SplitCommandLine(command);
  std::string verb = words.empty() ? std::string() : words[0];
  for (char& c : verb) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (verb == "copy") return Copy(words);
  if (verb == "del") return Delete(words);
  if (verb == "md" && words.size() == 2) return files_.MakeDirectory(words[1]) ? 0 : 1;
  ADD_FAILURE() << "cmd was given what the stand-in does not know: " << command;
  return 1;
}

// copy SOURCE TARGET: a file, a pattern or a directory's files, into a
// directory or onto a file.
std::uint32_t CommandInterpreterStandIn::Copy(const std::vector<std::string>& words) {
  if (words.size() != 3) return 1;
  const fs::path target = files_.HostPath(words[2]);
  std::error_code ec;
  const bool intoDirectory = fs::is_directory(target, ec);
  std::uint32_t copied = 0;
  for (const fs::path& source : Sources(files_.HostPath(words[1]))) {
    const fs::path to = intoDirectory ? target / source.filename() : target;
    if (!fs::copy_file(source, to, fs::copy_options::overwrite_existing, ec)) return 1;
    ++copied;
  }
  return copied > 0 ? 0 : 1;
}

// del [/Q] PATTERN [/F /S /Q]: /S reaches into the subdirectories too.
std::uint32_t CommandInterpreterStandIn::Delete(const std::vector<std::string>& words) {
  std::string pattern;
  bool subdirectories = false;
  for (std::size_t i = 1; i < words.size(); ++i) {
    if (words[i].size() == 2 && words[i][0] == '/') {
      subdirectories |= std::tolower(static_cast<unsigned char>(words[i][1])) == 's';
    } else {
      pattern = words[i];
    }
  }
  const fs::path path = files_.HostPath(pattern);
  std::vector<fs::path> doomed = Sources(path);
  std::error_code ec;
  if (subdirectories) {
    for (const auto& entry : fs::recursive_directory_iterator(path.parent_path(), ec))
      if (entry.is_directory())
        for (const fs::path& file : Sources(entry.path() / path.filename())) doomed.push_back(file);
  }
  for (const fs::path& file : doomed) fs::remove(file, ec);
  return 0;
}

}  // namespace zolp::testing
