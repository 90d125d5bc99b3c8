// A recording, scriptable host for tests: message boxes and posted messages
// are kept, processes are scripted instead of run, the clock only counts.
#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "zolp/host.h"

namespace zolp::sim {

struct ShownMessage {
  std::string text;
  std::string title;
  MessageIcon icon;
};

struct PostedMessage {
  WindowRef owner;
  std::uint32_t message;
  std::intptr_t wParam;
  std::intptr_t lParam;
  std::string text;  // the text lParam points at, for 0x500 and 0x501
};

// What one scripted process does.
struct ProcessOutcome {
  bool starts = true;
  std::uint32_t startError = 2;  // system error when it does not start
  std::uint32_t exitCode = 0;
  bool exitCodeFails = false;
  std::uint32_t exitCodeError = 6;                         // ERROR_INVALID_HANDLE
  std::function<void(const LaunchRequest&)> whileRunning;  // side effects of the run
};

struct DriveLetter {
  DriveType type = DriveType::Fixed;
  DiskHandle* device = nullptr;  // what \\.\X: opens; null: the open fails
};

class TestHost final : public SystemErrors,
                       public UserInterface,
                       public ProcessLauncher,
                       public ResourceStore,
                       public Clock,
                       public Security,
                       public Memory,
                       public DeviceCatalog,
                       public Workers {
 public:
  TestHost();
  ~TestHost() override;

  // Services wired to this host and the given file system.
  Services Wire(FileSystem* files, RunOptions options = {});

  // SystemErrors (per thread, like the real one)
  std::uint32_t Last() const override;
  void SetLast(std::uint32_t code) override;
  std::string MessageText(std::uint32_t code) const override;

  // UserInterface
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) override;
  void Post(WindowRef owner, std::uint32_t message, std::intptr_t wParam,
            std::intptr_t lParam) override;
  void BringMainWindowToFront() override;
  void ShowBuildingWindow() override;
  void CloseBuildingWindow() override;
  void EndProgram(int status) override;

  // ProcessLauncher: each start takes the next scripted outcome, or the default.
  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override;

  // ResourceStore
  ResourceStep Fetch(std::string_view type, int id, const std::uint8_t*& data,
                     std::size_t& size) override;

  // Clock: sleeping advances the virtual time, and so does each reading by
  // clockStepMs (set by a test that wants time to pass between reports).
  void Sleep(std::uint32_t milliseconds) override;
  std::uint64_t Milliseconds() override;

  // Security
  bool IsMemberOfAdministrators() override;

  // Memory
  void* AllocatePages(std::size_t size) override;
  bool FreePages(void* pages) override;

  // DeviceCatalog
  std::uint32_t LogicalDrives() override;
  DriveType TypeOfDrive(char letter) override;
  bool DosDeviceNames(std::vector<std::string>& names) override;
  bool VolumeInformation(char letter, std::string& label, std::string& fileSystem) override;
  std::unique_ptr<DiskHandle> Open(const std::string& devicePath, DiskAccess access) override;
  std::string DisplayName(char letter) override;

  // Workers: the work runs at once, on the caller's thread, so a test sees each
  // worker's posts in order as soon as the call that started it returns.
  bool StartThread(std::function<void()> work) override;

  // --- scripting and records (guarded; workers may run on threads) ---
  std::vector<ShownMessage> Messages() const;
  std::vector<PostedMessage> Posts() const;
  std::vector<LaunchRequest> Launches() const;
  std::vector<std::uint32_t> Sleeps() const;
  void ClearRecords();
  // How often the records were cleared: a reader of Posts() knows where it stands.
  std::size_t Clears() const;

  void QueueOutcome(ProcessOutcome outcome);
  ProcessOutcome defaultOutcome;

  void AddResource(std::string type, int id, std::vector<std::uint8_t> bytes);
  ResourceStep failResourceStep = ResourceStep::Ok;
  std::uint32_t resourceError = 1813;

  std::map<std::uint32_t, std::string> messageTexts;  // the system's texts by code
  bool administrator = true;
  std::uint64_t clockStepMs = 0;  // what each reading of the clock adds
  bool failAllocation = false;
  bool failFree = false;
  int OutstandingAllocations() const;

  std::map<char, DriveLetter> drives;
  std::vector<std::string> dosDevices;
  std::map<std::string, DiskHandle*> devicePaths;  // other openable paths (\\.\PhysicalDrive1)

  int failWorkerStarts = 0;  // the next n starts fail (ERROR_NOT_ENOUGH_MEMORY)
  int workersStarted = 0;

  int frontCalls = 0;
  int buildingWindowShown = 0;
  int buildingWindowClosed = 0;
  std::vector<int> endProgramCalls;

 private:
  mutable std::mutex mutex_;
  std::vector<ShownMessage> messages_;
  std::vector<PostedMessage> posts_;
  std::vector<LaunchRequest> launches_;
  std::vector<std::uint32_t> sleeps_;
  std::size_t clears_ = 0;
  std::deque<ProcessOutcome> outcomes_;
  std::map<std::pair<std::string, int>, std::vector<std::uint8_t>> resources_;
  std::set<void*> allocations_;
  std::uint64_t now_ = 0;
};

}  // namespace zolp::sim
