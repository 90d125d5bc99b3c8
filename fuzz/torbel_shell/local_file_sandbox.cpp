#include "local_file_sandbox.h"

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

namespace torbel_fuzz {
namespace {

namespace fs = std::filesystem;

constexpr const char* kWorkMount = "/tmp";
constexpr const char* kWorkFolder = "/tmp/torbel_shell";

[[noreturn]] void Refuse(const std::string& why) {
  std::fprintf(stderr, "torbel_shell: no sandbox for the local files the shell writes (%s): not running\n",
               why.c_str());
  std::exit(1);
}

std::string Absolute(const std::string& path, const std::string& base) {
  if (path.empty() || path[0] == '/') return path;
  return base + "/" + path;
}

// The folder a path prefix writes into: the prefix itself when it ends in '/'.
std::string FolderOfPrefix(const std::string& prefix) {
  if (!prefix.empty() && prefix.back() == '/') return prefix;
  return fs::path(prefix).parent_path().string();
}

// Mount points of this namespace, from /proc/self/mountinfo (field 5, octal escapes undone).
std::vector<std::string> MountPoints() {
  std::vector<std::string> points;
  std::ifstream info("/proc/self/mountinfo");
  for (std::string line; std::getline(info, line);) {
    std::istringstream fields(line);
    std::string id, parent, device, root, point;
    fields >> id >> parent >> device >> root >> point;
    std::string decoded;
    for (std::size_t i = 0; i < point.size(); ++i) {
      if (point[i] == '\\' && i + 3 < point.size()) {
        decoded += static_cast<char>(std::stoi(point.substr(i + 1, 3), nullptr, 8));
        i += 3;
      } else {
        decoded += point[i];
      }
    }
    points.push_back(decoded);
  }
  return points;
}

void MakeWritable(const std::string& folder) {
  std::error_code ec;
  if (folder.empty() || !fs::is_directory(folder, ec)) return;
  if (::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
      ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_NOSUID | MS_NODEV, nullptr) != 0) {
    Refuse("cannot keep " + folder + " writable: " + std::strerror(errno));
  }
}

}  // namespace

void EnterLocalFileSandbox(int* argc, char*** argv) {
  const std::string start = fs::current_path().string();

  // libFuzzer reads its arguments after this, and writes relative to the current
  // directory, which is about to change: every path becomes absolute.
  static std::vector<std::string> words;
  static std::vector<char*> pointers;
  std::vector<std::string> writable;
  bool artifact_prefix = false;
  for (int i = 0; i < *argc; ++i) {
    std::string word = (*argv)[i];
    if (i > 0 && !word.empty() && word[0] != '-') {
      word = Absolute(word, start);
      writable.push_back(word);
    } else if (i > 0) {
      for (const char* flag : {"-artifact_prefix=", "-exact_artifact_path=", "-dict=", "-merge_control_file=",
                               "-features_dir="}) {
        const std::size_t n = std::strlen(flag);
        if (word.compare(0, n, flag) != 0) continue;
        std::string value = Absolute(word.substr(n), start);
        word = flag + value;
        if (std::strcmp(flag, "-dict=") != 0) writable.push_back(FolderOfPrefix(value));
        if (std::strcmp(flag, "-artifact_prefix=") == 0) artifact_prefix = true;
      }
    }
    words.push_back(word);
  }
  // Without a prefix of its own, a crash is written where the target was started.
  if (!artifact_prefix) {
    words.push_back("-artifact_prefix=" + start + "/");
    writable.push_back(start);
  }
  for (std::string& word : words) pointers.push_back(word.data());
  pointers.push_back(nullptr);
  *argc = static_cast<int>(words.size());
  *argv = pointers.data();

  if (::unshare(CLONE_NEWNS) != 0) Refuse(std::string("unshare: ") + std::strerror(errno));
  if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
    Refuse(std::string("private mounts: ") + std::strerror(errno));
  }
  for (const std::string& point : MountPoints()) {
    if (::mount(nullptr, point.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) !=
        0) {
      Refuse("cannot make " + point + " read-only: " + std::strerror(errno));
    }
  }
  for (const std::string& folder : writable) MakeWritable(folder);
  if (::mount("tmpfs", kWorkMount, "tmpfs", MS_NOSUID | MS_NODEV, "size=64m,mode=700") != 0) {
    Refuse(std::string("tmpfs: ") + std::strerror(errno));
  }

  // The sandbox holds: nothing is made outside it, no device opens for writing.
  const int made = ::open("/torbel_shell_sandbox_probe", O_WRONLY | O_CREAT | O_EXCL, 0600);
  const int device = ::open("/dev/null", O_WRONLY);
  if (made >= 0 || device >= 0) {
    if (made >= 0) {
      ::close(made);
      ::unlink("/torbel_shell_sandbox_probe");
    }
    if (device >= 0) ::close(device);
    Refuse("a probe outside the sandbox could be written");
  }
  FreshWorkFolder();
}

const std::string& FreshWorkFolder() {
  static const std::string folder = kWorkFolder;
  std::error_code ec;
  fs::current_path(kWorkMount, ec);
  fs::remove_all(folder, ec);
  fs::create_directory(folder, ec);
  fs::current_path(folder, ec);
  if (ec) Refuse("the work folder: " + ec.message());
  return folder;
}

}  // namespace torbel_fuzz
