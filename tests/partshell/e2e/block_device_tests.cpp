// torbel on a real Linux block device: a disk image attached as a loop device
// (losetup -P) holding the utility partition, found by the program's own scan of
// /sys/block, without TORBEL_DISK. Files go in and out; once the device is detached,
// mtools reads them from the image and fsck.fat passes the partition. Where no loop
// device can be had, the test is skipped with the reason.
#include <algorithm>
#include <array>
#include <cstdio>

#include "e2e_support.h"

namespace partshell::e2e {
namespace {

// A shell command's status and what it printed.
int Capture(const std::string& command, std::string& output) {
  output.clear();
  std::FILE* pipe = ::popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return -1;
  std::array<char, 512> chunk{};
  for (std::size_t got; (got = std::fread(chunk.data(), 1, chunk.size(), pipe)) > 0;) output.append(chunk.data(), got);
  const int status = ::pclose(pipe);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

class LoopDevice {
 public:
  explicit LoopDevice(const std::string& image) {
    std::string output;
    if (::geteuid() != 0) {
      why_not_ = "attaching a loop device needs root";
    } else if (Capture("losetup -f --show -P '" + image + "'", output) != 0) {
      why_not_ = "losetup could not attach the image: " + output;
    } else {
      device_ = output.substr(0, output.find('\n'));
    }
  }
  ~LoopDevice() { Detach(); }
  LoopDevice(const LoopDevice&) = delete;
  LoopDevice& operator=(const LoopDevice&) = delete;

  bool Detach() {
    if (device_.empty()) return true;
    std::string output;
    const bool done = Capture("losetup -d '" + device_ + "'", output) == 0;
    device_.clear();
    return done;
  }
  const std::string& device() const { return device_; }
  const std::string& why_not() const { return why_not_; }

 private:
  std::string device_;
  std::string why_not_;
};

// The drives torbel scans, in its order: hardware disks by name, then attached loop devices.
std::vector<std::string> ScannedDrives() {
  std::vector<std::string> hardware, attached;
  std::error_code ec;
  for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
    const std::string name = entry.path().filename().string();
    if (name.rfind("sr", 0) == 0) continue;
    if (fs::exists(entry.path() / "device", ec)) {
      hardware.push_back(name);
    } else if (name.rfind("loop", 0) == 0 && fs::exists(entry.path() / "loop" / "backing_file", ec)) {
      attached.push_back(name);
    }
  }
  std::sort(hardware.begin(), hardware.end());
  std::sort(attached.begin(), attached.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  hardware.insert(hardware.end(), attached.begin(), attached.end());
  return hardware;
}

// Whether a drive's MBR has the utility partition's type in its first standard entry.
bool HoldsUtilityPartition(const std::string& name) {
  std::ifstream drive("/dev/" + name, std::ios::binary);
  char mbr[512] = {};
  return drive.read(mbr, sizeof mbr) && static_cast<unsigned char>(mbr[0x1C2]) == 0xDE;
}

TEST(RealBlockDevice, LoopDeviceIsFoundWithoutTorbelDiskAndHoldsWhatWasCopied) {
  Workspace ws;
  ws.MakeDisk({{"IN.TXT", "from the image\r\n"}});
  LoopDevice loop(ws.Path("disk.img"));
  if (loop.device().empty()) GTEST_SKIP() << "no loop device here: " << loop.why_not();

  // torbel mounts the first drive with a utility partition; the test goes on only
  // when that is its own, so that nothing else is written.
  const std::vector<std::string> drives = ScannedDrives();
  const std::string ours = fs::path(loop.device()).filename().string();
  const auto at = std::find(drives.begin(), drives.end(), ours);
  ASSERT_NE(at, drives.end()) << "the attached device is not among the drives torbel scans";
  const auto index = at - drives.begin();
  if (index >= 10) GTEST_SKIP() << "the loop device would be drive " << index << "; torbel scans drives 0 to 9";
  for (auto it = drives.begin(); it != at; ++it) {
    if (HoldsUtilityPartition(*it)) GTEST_SKIP() << "drive " << *it << " holds a utility partition and comes first";
  }

  const std::string local = std::string(70000, 'L') + "end";
  ws.Write("LOCAL.BIN", local);
  ws.Write("LOOP.F16",
           "@ECHO OFF\n"
           "COPYHD2SYS LOCAL.BIN \\LOCAL.BIN\nECHO =%ERRORLEVEL%\n"
           "MD \\NEW\nECHO =%ERRORLEVEL%\n"
           "COPYHD2SYS LOCAL.BIN \\NEW\\X.BIN\nECHO =%ERRORLEVEL%\n"
           "COPYSYS2HD \\IN.TXT in.out\nECHO =%ERRORLEVEL%\n");
  ws.diskFromVariable = false;
  const RunResult r = ws.Run({"/UP"}, "CALL LOOP\nQUIT\n");
  EXPECT_EQ(r.exitCode, 0) << r.out;
  EXPECT_NE(r.out.find("Device:    \\\\.\\PHYSICALDRIVE" + std::to_string(index) + " (/dev/loop"), std::string::npos) << r.out;
  std::size_t successes = 0;
  for (std::size_t pos = r.out.find("=0\n"); pos != std::string::npos; pos = r.out.find("=0\n", pos + 1)) ++successes;
  EXPECT_EQ(successes, 4u) << r.out;
  EXPECT_EQ(ws.Read("in.out"), "from the image\r\n");

  ASSERT_TRUE(loop.Detach());
  EXPECT_TRUE(ws.MtoolsType("LOCAL.BIN") == local);
  EXPECT_TRUE(ws.MtoolsType("NEW/X.BIN") == local);
  EXPECT_TRUE(ws.PartitionClean());
}

}  // namespace
}  // namespace partshell::e2e
