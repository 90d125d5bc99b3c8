// In-process shell on a scripted console and a stand-in partition, working
// in a temporary directory of its own.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include <unistd.h>

#include "common/text.h"
#include "partshell/command_parser.h"
#include "partshell/error_codes.h"
#include "partshell/host_services.h"
#include "partshell/session_log.h"
#include "partshell/shell.h"
#include "scripted_console.h"

namespace partshell::test {

class FakePartition : public PartitionAccess {
 public:
  int Mount(const MountRequest& request) override {
    lastRequest = request;
    mounted = mountResult == 0 && !request.show_mbr_only;
    return mountResult;
  }
  void Close() override {
    mounted = false;
    ++closes;
  }
  bool Mounted() const override { return mounted; }
  int PartitionIndex() const override { return 1; }
  std::uint8_t PartitionType() const override { return type; }
  std::string CurrentDirectory() const override { return "\\"; }
  bool AnyEntryMatches(const std::string& pattern) override {
    if (fatalOnLookup != 0) fatal = fatalOnLookup;
    // Enough of the wildcard rules for the tests: "*.*" under a directory
    // matches when anything lives there.
    std::string p = common::UpperAscii(pattern);
    if (p.size() >= 3 && p.compare(p.size() - 3, 3, "*.*") == 0) {
      std::string dir = p.substr(0, p.size() - 3);
      for (const std::string& e : entries)
        if (e.rfind(dir, 0) == 0 && e.size() > dir.size()) return true;
      return false;
    }
    return entries.count(p) != 0;
  }
  std::string ErrorText(int code) const override { return partshell::ErrorText(code); }
  int FatalCondition() const override { return fatal; }

  std::set<std::string> entries;
  int fatal = 0;
  int fatalOnLookup = 0;  // the fatal condition a lookup meets
  int mountResult = 0;
  bool mounted = false;
  std::uint8_t type = 0xDE;
  int closes = 0;
  MountRequest lastRequest;
};

class FakeLock : public InstanceLock {
 public:
  bool HeldElsewhere(const std::string&) override { return heldElsewhere; }
  bool Acquire(const std::string& name) override {
    acquired = name;
    return true;
  }
  bool heldElsewhere = false;
  std::string acquired;
};

class FakeEvents : public ControlEvents {
 public:
  void InstallCloseHandler(void (*f)(ControlEvent)) override { close = f; }
  void InstallInterruptHandler(void (*f)(ControlEvent)) override { interrupt = f; }
  void RemoveHandlers() override {
    close = nullptr;
    interrupt = nullptr;
    ++removals;
  }
  void (*close)(ControlEvent) = nullptr;
  void (*interrupt)(ControlEvent) = nullptr;
  int removals = 0;
};

// A fresh temporary directory that is the current directory while it lives.
class TempWorkDir {
 public:
  TempWorkDir() {
    static int counter = 0;
    path_ = std::filesystem::temp_directory_path() /
            ("torbel_shell_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
    std::filesystem::create_directories(path_);
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(path_);
  }
  ~TempWorkDir() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
    std::filesystem::remove_all(path_, ec);
  }
  const std::filesystem::path& path() const { return path_; }
  void Write(const std::string& name, const std::string& text) const {
    std::ofstream(path_ / name, std::ios::binary) << text;
  }
  std::string Read(const std::string& name) const {
    std::ifstream in(path_ / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }

 private:
  std::filesystem::path path_;
  std::filesystem::path previous_;
};

class ShellTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ShellEnvironment().Free();
    ShellEnvironment().Init({"PATH=/bin", "Home=/root"});
    Shell::StopCodeCell().store(0);
    SetVerboseMode(false);
    SetLogAllMode(false);
    log_.SetPath((dir_.path() / "session.log").string());
    InstallOutput(&console_, &log_);
    shell_.SetErrorLevel(0);
  }
  void TearDown() override {
    InstallOutput(nullptr, nullptr);
    ShellEnvironment().Free();
    Shell::StopCodeCell().store(0);
    SetVerboseMode(false);
    SetLogAllMode(false);
  }

  // Runs one line as if typed on the command line; returns what it printed.
  std::string Run(const std::string& text) {
    console_.output.clear();
    std::string line = text;
    shell_.ParseCommandLine(line, 256);
    if (!shell_.Tokens().empty()) shell_.DispatchCommand(nullptr);
    return console_.output;
  }
  std::string Env(const std::string& name) { return EnvGetValue(name).value_or("<unset>"); }

  TempWorkDir dir_;
  ScriptedConsole console_;
  FakePartition partition_;
  std::unique_ptr<LocalFiles> files_ = CreateHostLocalFiles();
  SessionLog log_{*files_};
  Shell shell_{console_, partition_, *files_};
};

}  // namespace partshell::test
