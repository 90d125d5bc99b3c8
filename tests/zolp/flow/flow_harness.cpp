#include "flow_harness.h"

#include <sys/wait.h>

#include <cstdlib>

#include "tool_time_limit.h"
#include "zolp/tool_runner.h"

namespace zolp::testing {

FlowTest::FlowTest() : launcher_(files_, host_, root_ / "tools.log") {
  // ImageBuildThread writes the resource out as .\vellix.exe; the launcher
  // then runs the Linux program in its place.
  host_.AddResource("BIN", kVellixResource, {'M', 'Z'});
  launcher_.AddTool("vellix.exe", VELLIX);
  launcher_.addedEnvironment = {kBuildTime};
  // The system's texts for the codes the diskette tests meet.
  host_.messageTexts[19] = "The media is write protected.";
  host_.messageTexts[21] = "The device is not ready.";
  UseDevices("");
}

void FlowTest::UsePackage(const std::filesystem::path& package) {
  std::filesystem::copy(package.empty() ? std::filesystem::path(SAMPLE_PACKAGE) : package, Cwd(),
                        std::filesystem::copy_options::recursive |
                            std::filesystem::copy_options::overwrite_existing);
}

void FlowTest::UseDevices(const std::string& description) {
  std::vector<sim::DeviceLine> lines;
  std::string error;
  ASSERT_TRUE(sim::ParseDeviceDescription(description, lines, error)) << error;
  devices_ = std::make_unique<sim::SimulatedDevices>(lines, host_);
  devices_->SetClock(&host_);  // a writer's blank takes minutes of the virtual clock
  Wire();
}

void FlowTest::Wire() {
  Rewire();
  s_.devices = devices_.get();
  s_.processes = &launcher_;
}

int FlowTest::VellixByHand(const std::string& section, const std::string& label,
                           const std::filesystem::path& image, const std::string& more) const {
  const std::string command = "cd " + Quote(Cwd()) + " && env -i " + kBuildTime + " " +
                              Quote(VELLIX) + " dd.cfg " + section + " " + Quote("-v" + label) +
                              " " + Quote("-i" + image.string()) + " " + more + " >/dev/null";
  const int status = std::system(testtools::WithTimeLimit(command).c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool FlowTest::SameBytes(const std::filesystem::path& a, const std::filesystem::path& b) {
  const std::string command = "cmp " + Quote(a) + " " + Quote(b);
  return std::system(testtools::WithTimeLimit(command).c_str()) == 0;
}

bool FlowTest::FsckPasses(const std::filesystem::path& image) {
  const std::string command = "fsck.fat -n " + Quote(image) + " >/dev/null";
  return std::system(testtools::WithTimeLimit(command).c_str()) == 0;
}

bool FlowTest::Boots(const std::string& kind, const std::filesystem::path& image,
                     const std::string& label) const {
  const std::filesystem::path log = root_ / "boot.log";
  // "uefi-usb" boots under OVMF, "bochs-hd" under Bochs, the other kinds under SeaBIOS.
  const std::size_t dash = kind.find('-');
  const std::string bios = dash == std::string::npos ? "qemu" : kind.substr(0, dash);
  const std::string command =
      "bash " + Quote(std::filesystem::path(SOURCE_DIR) / "scripts" / (bios + "-boot.sh")) + " " +
      kind.substr(dash == std::string::npos ? 0 : dash + 1) + " " + Quote(image) + " > " +
      Quote(log) + " 2>&1";
  const bool booted = std::system(command.c_str()) == 0;
  // The boot code prints the volume label it booted from.
  const std::string printed = ReadFile(log);
  EXPECT_NE(printed.find("volume label \"" + label + "\""), std::string::npos) << printed;
  return booted && printed.find("volume label \"" + label + "\"") != std::string::npos;
}

int FlowTest::TemporaryImagesLeft() const {
  int left = 0;
  for (const auto& entry : std::filesystem::directory_iterator(Cwd()))
    if (entry.path().filename().string().rfind("~DP", 0) == 0) ++left;
  return left;
}

std::filesystem::path FlowTest::FirstPartition(const std::filesystem::path& image) const {
  const std::string bytes = ReadFile(image);
  auto le32 = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at))) |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 1))) << 8 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 2))) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(bytes.at(at + 3))) << 24;
  };
  const std::uint64_t start = le32(0x1C6) * 512ull, length = le32(0x1CA) * 512ull;
  EXPECT_GT(length, 0u);
  EXPECT_LE(start + length, bytes.size());
  const auto volume = root_ / "partition.img";
  WriteFile(volume, bytes.substr(start, length));
  return volume;
}

}  // namespace zolp::testing
