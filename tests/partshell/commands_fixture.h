// The file, directory and display commands run through the shell on a disk image
// made by sfdisk and mkfs.fat, with mtools and fsck.fat at hand to check each change.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "disk_test_support.h"
#include "partshell/command_parser.h"
#include "partshell/local_environment.h"
#include "partshell/session_log.h"
#include "partshell/shell_output.h"
#include "partshell/volume_partition.h"
#include "scripted_console.h"
#include "shell_fixture.h"

namespace partshell::testing {

using partshell::test::ScriptedConsole;
using partshell::test::TempWorkDir;

class Commands : public ::testing::Test {
 protected:
  void SetUp() override {
    ShellEnvironment().Free();
    ShellEnvironment().Init({"PATH=/bin"});
    Shell::StopCodeCell().store(0);
    SetVerboseMode(false);
    SetLogAllMode(false);
    log_.SetPath((work_.path() / "session.log").string());
    InstallOutput(&console_, &log_);
  }
  void TearDown() override {
    InstallOutput(nullptr, nullptr);
    ShellEnvironment().Free();
  }
  void Prepare(int sectors_per_cluster = 4, std::uint32_t sectors = 40000) {
    image_ = MakeUtilityDisk(disks_dir_, sectors_per_cluster, sectors);
    sectors_ = sectors;
  }
  void Mount(std::function<std::unique_ptr<BlockDevice>(int, std::unique_ptr<BlockDevice>)> wrap = {}) {
    disk_ = std::make_unique<MountedDisk>(image_, MountedDisk::UpRequest(), std::move(wrap), files_);
    ASSERT_EQ(disk_->mount_result, 0) << disk_->out.printed;
    partition_ = std::make_unique<VolumePartition>(disk_->volume, disk_->engine);
    shell_ = std::make_unique<Shell>(console_, *partition_, disk_->engine.local_files());
    shell_->AttachVolume(&disk_->volume, &disk_->engine);
    shell_->SetErrorLevel(0);
  }
  // Runs one command line; returns what it printed.
  std::string Run(const std::string& text) {
    console_.output.clear();
    std::string line = text;
    shell_->ParseCommandLine(line, 256);
    if (!shell_->Tokens().empty()) shell_->DispatchCommand(nullptr);
    return console_.output;
  }
  int Level() const { return shell_->ErrorLevel(); }
  std::string Sys(const std::string& path) {
    const std::string out = (work_.path() / "mtools.out").string();
    std::filesystem::remove(out);
    if (Mtools(image_, 63, "mcopy -n '::" + path + "' '" + out + "'") != 0) return "<missing>";
    return ReadFile(out);
  }
  void PutSys(const std::string& content, const std::string& path) {
    const std::string in = (work_.path() / "mtools.in").string();
    WriteFile(in, content);
    ASSERT_EQ(Mtools(image_, 63, "mcopy -o '" + in + "' '::" + path + "'"), 0);
    std::filesystem::remove(in);
  }
  void ExpectClean() {
    std::string report;
    EXPECT_TRUE(FsckClean(image_, 63, sectors_, &report)) << report;
  }
  std::string Local(const std::string& name) { return (work_.path() / name).string(); }

  TempDir disks_dir_;
  TempWorkDir work_;
  ScriptedConsole console_;
  std::unique_ptr<LocalFiles> host_files_ = CreateHostLocalFiles();
  // The local side of the commands: the host's files unless a test puts others here
  // before it mounts.
  LocalFiles* files_ = host_files_.get();
  SessionLog log_{*host_files_};
  std::string image_;
  std::uint32_t sectors_ = 0;
  std::unique_ptr<MountedDisk> disk_;
  std::unique_ptr<VolumePartition> partition_;
  std::unique_ptr<Shell> shell_;
};

}  // namespace partshell::testing
