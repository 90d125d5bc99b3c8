#include "zolp/sim/linux_tool_launcher.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "common/text.h"
#include "zolp/sim/simulated_devices.h"

namespace zolp::sim {

namespace {

constexpr std::uint32_t kFileNotFound = 2;   // ERROR_FILE_NOT_FOUND
constexpr std::uint32_t kBadExeFormat = 193;  // ERROR_BAD_EXE_FORMAT
constexpr std::uint32_t kOutOfMemory = 14;    // ERROR_OUTOFMEMORY
// A tool that hangs must fail its test, not stop the suite.
constexpr auto kRunLimit = std::chrono::minutes(2);

bool IsWindowsAbsolute(std::string_view text) {
  return text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
         (text[2] == '\\' || text[2] == '/');
}

class LinuxChild final : public ChildProcess {
 public:
  LinuxChild(pid_t pid, LinuxToolLauncher::ExitCodeOf exitCodeOf)
      : pid_(pid), exitCodeOf_(exitCodeOf) {}
  ~LinuxChild() override { Wait(); }
  void Wait() override {
    if (waited_) return;
    waited_ = true;
    const auto deadline = std::chrono::steady_clock::now() + kRunLimit;
    int status = 0;
    for (;;) {
      const pid_t done = ::waitpid(pid_, &status, WNOHANG);
      if (done == pid_ || (done < 0 && errno != EINTR)) break;
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    if (WIFEXITED(status)) {
      exitCode_ = static_cast<std::uint32_t>(WEXITSTATUS(status));
      if (exitCodeOf_) exitCode_ = exitCodeOf_(exitCode_);
    } else {
      exitCode_ = 0xC000013A;  // STATUS_CONTROL_C_EXIT: ended from outside
    }
  }
  bool ExitCode(std::uint32_t& code) override {
    Wait();
    code = exitCode_;
    return true;
  }

 private:
  pid_t pid_;
  LinuxToolLauncher::ExitCodeOf exitCodeOf_;
  bool waited_ = false;
  std::uint32_t exitCode_ = 0;
};

std::vector<char*> Pointers(std::vector<std::string>& strings) {
  std::vector<char*> pointers;
  for (std::string& s : strings) pointers.push_back(s.data());
  pointers.push_back(nullptr);
  return pointers;
}

}  // namespace

LinuxToolLauncher::LinuxToolLauncher(MappedFileSystem& files, SystemErrors& errors,
                                     std::filesystem::path outputLog)
    : files_(files), errors_(errors), outputLog_(std::move(outputLog)) {}


void LinuxToolLauncher::AddTool(const std::string& windowsName, std::filesystem::path program,
                                ExitCodeOf exitCodeOf) {
  tools_[common::LowerAscii(windowsName)] = Tool{std::move(program), exitCodeOf};
}

std::unique_ptr<ChildProcess> LinuxToolLauncher::Start(const LaunchRequest& request) {
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
  }
  const std::string program = ProgramName(request);
  const auto tool = tools_.find(program);
  // The program must exist where the front end put it; only the known tools run here.
  const std::string& file = request.application.empty() ? program : request.application;
  if (!files_.Exists(file)) {
    errors_.SetLast(kFileNotFound);
    return nullptr;
  }
  if (tool == tools_.end()) {
    errors_.SetLast(kBadExeFormat);
    return nullptr;
  }

  std::vector<std::string> args = SplitCommandLine(request.commandLine);
  if (args.empty()) args.push_back(program);
  args[0] = tool->second.program.string();
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string& a = args[i];
    if (IsWindowsAbsolute(a)) {
      a = files_.HostPath(a).string();
    } else if (a.size() > 2 && (a[0] == '-' || a[0] == '/') && IsWindowsAbsolute(a.substr(2))) {
      a = a.substr(0, 2) + files_.HostPath(a.substr(2)).string();
    }
  }
  std::vector<std::string> environment = request.environment;
  environment.insert(environment.end(), addedEnvironment.begin(), addedEnvironment.end());
  {
    std::lock_guard lock(mutex_);
    runs_.push_back(args);
  }

  // Everything the child needs is made before the fork: after it, only
  // async-signal-safe calls.
  const std::string directory = files_.CurrentHostDirectory().string();
  const std::string log = outputLog_.string();
  std::vector<char*> argv = Pointers(args);
  std::vector<char*> envp = Pointers(environment);
  const pid_t pid = ::fork();
  if (pid < 0) {
    errors_.SetLast(kOutOfMemory);
    return nullptr;
  }
  if (pid == 0) {
    const int in = ::open("/dev/null", O_RDONLY);
    const int out = ::open(log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    if (in < 0 || out < 0 || ::dup2(in, 0) < 0 || ::dup2(out, 1) < 0 || ::dup2(out, 2) < 0 ||
        ::chdir(directory.c_str()) != 0)
      ::_exit(127);
    ::execve(argv[0], argv.data(), envp.data());
    ::_exit(127);
  }
  return std::make_unique<LinuxChild>(pid, tool->second.exitCodeOf);
}

std::vector<LaunchRequest> LinuxToolLauncher::Requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

std::vector<std::vector<std::string>> LinuxToolLauncher::Runs() const {
  std::lock_guard lock(mutex_);
  return runs_;
}

std::string LinuxToolLauncher::Output() const {
  std::ifstream in(outputLog_, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace zolp::sim
