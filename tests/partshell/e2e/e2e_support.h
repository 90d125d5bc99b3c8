// Runs the torbel program against disk images made by the independent FAT
// tools, in a temporary directory of its own.
#pragma once

#include <fcntl.h>
#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace partshell::e2e {

namespace fs = std::filesystem;

inline const std::string kTorbel = std::string(BINARY_DIR) + "/partshell/torbel";
constexpr int kPartitionStart = 63;
constexpr int kPartitionSectors = 81857;

inline int Shell(const std::string& command) { return std::system(command.c_str()); }

struct RunResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

class Workspace {
 public:
  Workspace() {
    static int counter = 0;
    dir_ = fs::temp_directory_path() / ("torbel_e2e_" + std::to_string(getpid()) + "_" + std::to_string(counter++));
    fs::create_directories(dir_);
  }
  ~Workspace() {
    std::error_code ec;
    fs::remove_all(dir_, ec);
  }
  const fs::path& dir() const { return dir_; }
  std::string Path(const std::string& name) const { return (dir_ / name).string(); }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(dir_ / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(dir_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

  // A 40 MiB disk: an MBR made by sfdisk with the utility partition (type
  // DE, active) in the first standard entry, formatted by mkfs.fat and
  // filled by mcopy with the given files (name on SYS: -> content).
  std::string MakeDisk(const std::map<std::string, std::string>& files = {}) const {
    const std::string image = Path("disk.img");
    std::string script = "cd '" + dir_.string() + "' && truncate -s 40M disk.img && " +
                         "printf 'label: dos\\nstart=63, size=81857, type=de, bootable\\n' | sfdisk -q disk.img && " +
                         "mkfs.fat -F 16 -R 1 --offset 63 -h 63 disk.img >/dev/null";
    EXPECT_EQ(Shell(script), 0);
    const std::string at = "-i '" + image + "@@" + std::to_string(kPartitionStart * 512) + "' ";
    std::set<std::string> made;
    int n = 0;
    for (const auto& [name, content] : files) {
      const std::string local = Path("src" + std::to_string(n++));
      Write(local.substr(dir_.string().size() + 1), content);
      std::string target = name;
      for (char& c : target)
        if (c == '\\') c = '/';
      // Each directory on the way is made once, parents first.
      for (std::size_t slash = target.find('/', 1); slash != std::string::npos; slash = target.find('/', slash + 1)) {
        const std::string directory = target.substr(0, slash);
        if (made.insert(directory).second) {
          EXPECT_EQ(Shell("mmd " + at + "::" + directory), 0) << directory;
        }
      }
      EXPECT_EQ(Shell("mcopy -i '" + image + "@@" + std::to_string(kPartitionStart * 512) + "' '" + local + "' ::" +
                      target),
                0);
    }
    return image;
  }

  // Runs torbel with the words as its command line, `input` on standard
  // input and only the given environment (TORBEL_DISK is added unless
  // diskFromVariable is false: torbel then scans the machine's drives).
  RunResult Run(const std::vector<std::string>& words, const std::string& input = "",
                std::vector<std::string> env = {}) const {
    Write("stdin.txt", input);
    if (diskFromVariable) env.push_back("TORBEL_DISK=" + Path("disk.img"));
    pid_t pid = fork();
    if (pid == 0) {
      if (chdir(dir_.c_str()) != 0) _exit(127);
      int in = open("stdin.txt", O_RDONLY);
      int out = open("stdout.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      int err = open("stderr.txt", O_WRONLY | O_CREAT | O_TRUNC, 0644);
      dup2(in, 0);
      dup2(out, 1);
      dup2(err, 2);
      std::vector<char*> argv;
      for (const std::string& w : launcher) argv.push_back(const_cast<char*>(w.c_str()));
      argv.push_back(const_cast<char*>(kTorbel.c_str()));
      for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
      argv.push_back(nullptr);
      std::vector<char*> envp;
      for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
      envp.push_back(nullptr);
      execve(argv[0], argv.data(), envp.data());
      _exit(127);
    }
    RunResult r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
    r.out = Read("stdout.txt");
    r.err = Read("stderr.txt");
    return r;
  }

  // A program that starts torbel with the command line after it (a measuring tool).
  std::vector<std::string> launcher;
  bool diskFromVariable = true;

  // fsck.fat -n on the partition alone (the image holds an MBR in front of it).
  bool PartitionClean() const {
    const std::string part = Path("part.img");
    const int copied = Shell("dd if='" + Path("disk.img") + "' of='" + part + "' bs=512 skip=" +
                             std::to_string(kPartitionStart) + " count=" + std::to_string(kPartitionSectors) +
                             " status=none");
    const int status = Shell("fsck.fat -n '" + part + "' > '" + Path("fsck.out") + "' 2>&1");
    EXPECT_EQ(copied, 0);
    EXPECT_EQ(status, 0) << Read("fsck.out");
    return copied == 0 && status == 0;
  }

  std::string MtoolsType(const std::string& name) const {
    const std::string out = Path("mtype.out");
    Shell("mtype -i '" + Path("disk.img") + "@@" + std::to_string(kPartitionStart * 512) + "' ::" + name + " > '" +
          out + "' 2>/dev/null");
    return Read("mtype.out");
  }

 private:
  fs::path dir_;
};

// torbel on a pseudo-terminal: keys are written to the master side, the
// screen is read back from it.
class PtySession {
 public:
  PtySession(const Workspace& ws, const std::vector<std::string>& words) {
    struct winsize size {};
    size.ws_col = 200;
    size.ws_row = 50;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      if (chdir(ws.dir().c_str()) != 0) _exit(127);
      std::vector<char*> argv{const_cast<char*>(kTorbel.c_str())};
      for (const std::string& w : words) argv.push_back(const_cast<char*>(w.c_str()));
      argv.push_back(nullptr);
      std::string disk = "TORBEL_DISK=" + ws.Path("disk.img");
      char* envp[] = {const_cast<char*>(disk.c_str()), const_cast<char*>("TERM=xterm"), nullptr};
      execve(kTorbel.c_str(), argv.data(), envp);
      _exit(127);
    }
    termios mode{};
    tcgetattr(master_, &mode);
    initialMode_ = mode;
  }
  ~PtySession() {
    if (pid_ > 0 && !exited_) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    if (master_ >= 0) close(master_);
  }

  void Send(const std::string& keys) {
    // Keys go one write at a time, the way a person types them.
    if (write(master_, keys.data(), keys.size()) != static_cast<ssize_t>(keys.size())) ADD_FAILURE() << "write";
    std::this_thread::sleep_for(std::chrono::milliseconds(120));
  }

  // Reads what the screen got until `text` shows up (or a timeout).
  bool WaitFor(const std::string& text, int timeoutMs = 15000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (screen_.find(text) == std::string::npos) {
      if (std::chrono::steady_clock::now() > end) return false;
      Pump(50);
    }
    return true;
  }
  void Pump(int ms) {
    fd_set set;
    FD_ZERO(&set);
    FD_SET(master_, &set);
    timeval tv{0, ms * 1000};
    if (select(master_ + 1, &set, nullptr, nullptr, &tv) > 0) {
      char buffer[4096];
      ssize_t n = read(master_, buffer, sizeof buffer);
      if (n > 0) screen_.append(buffer, static_cast<std::size_t>(n));
    }
  }
  int Wait(int timeoutMs = 5000) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) return -1;
      Pump(20);
    }
    exited_ = true;
    Pump(20);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status);
  }
  termios CurrentMode() const {
    termios mode{};
    tcgetattr(master_, &mode);
    return mode;
  }
  const termios& InitialMode() const { return initialMode_; }
  pid_t pid() const { return pid_; }
  const std::string& screen() const { return screen_; }
  void ClearScreen() { screen_.clear(); }

 private:
  int master_ = -1;
  pid_t pid_ = -1;
  bool exited_ = false;
  termios initialMode_{};
  std::string screen_;
};

}  // namespace partshell::e2e
