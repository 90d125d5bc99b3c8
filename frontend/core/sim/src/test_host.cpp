#include "zolp/sim/test_host.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#if defined(_WIN32)
#include <malloc.h>
#endif

#include "disk_proxy.h"

namespace zolp::sim {

namespace {

thread_local std::uint32_t tLastError = 0;

class ScriptedChild final : public ChildProcess {
 public:
  ScriptedChild(ProcessOutcome outcome, LaunchRequest request)
      : outcome_(std::move(outcome)), request_(std::move(request)) {}
  void Wait() override {
    if (outcome_.whileRunning) outcome_.whileRunning(request_);
  }
  bool ExitCode(std::uint32_t& code) override {
    if (outcome_.exitCodeFails) {
      tLastError = outcome_.exitCodeError;
      return false;
    }
    code = outcome_.exitCode;
    return true;
  }

 private:
  ProcessOutcome outcome_;
  LaunchRequest request_;
};

}  // namespace

TestHost::TestHost()
    : messageTexts{
          {2, "The system cannot find the file specified."},
          {3, "The system cannot find the path specified."},
          {5, "Access is denied."},
          {32, "The process cannot access the file because it is being used by another process."},
          {50, "The request is not supported."},
          {87, "The parameter is incorrect."},
          {1117, "The request could not be performed because of an I/O device error."},
          {1813, "The specified resource type cannot be found in the image file."}} {
  tLastError = 0;
}

TestHost::~TestHost() {
  for (void* p : allocations_) std::free(p);
}

Services TestHost::Wire(FileSystem* files, RunOptions options) {
  Services s;
  s.errors = this;
  s.ui = this;
  s.processes = this;
  s.resources = this;
  s.files = files;
  s.clock = this;
  s.security = this;
  s.memory = this;
  s.devices = this;
  s.workers = this;
  s.options = options;
  return s;
}

std::uint32_t TestHost::Last() const { return tLastError; }
void TestHost::SetLast(std::uint32_t code) { tLastError = code; }
std::string TestHost::MessageText(std::uint32_t code) const {
  auto it = messageTexts.find(code);
  return it == messageTexts.end() ? std::string() : it->second;
}

void TestHost::ShowMessage(std::string_view text, std::string_view title, MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(text), std::string(title), icon});
}

void TestHost::Post(WindowRef owner, std::uint32_t message, std::intptr_t wParam,
                    std::intptr_t lParam) {
  PostedMessage posted{owner, message, wParam, lParam, {}};
  if ((message == 0x500 || message == 0x501) && lParam != 0)
    posted.text = reinterpret_cast<const char*>(lParam);
  std::lock_guard lock(mutex_);
  posts_.push_back(std::move(posted));
}

void TestHost::BringMainWindowToFront() { ++frontCalls; }
void TestHost::ShowBuildingWindow() { ++buildingWindowShown; }
void TestHost::CloseBuildingWindow() { ++buildingWindowClosed; }
void TestHost::EndProgram(int status) { endProgramCalls.push_back(status); }

std::unique_ptr<ChildProcess> TestHost::Start(const LaunchRequest& request) {
  ProcessOutcome outcome;
  {
    std::lock_guard lock(mutex_);
    launches_.push_back(request);
    if (!outcomes_.empty()) {
      outcome = std::move(outcomes_.front());
      outcomes_.pop_front();
    } else {
      outcome = defaultOutcome;
    }
  }
  if (!outcome.starts) {
    tLastError = outcome.startError;
    return nullptr;
  }
  return std::make_unique<ScriptedChild>(std::move(outcome), request);
}

ResourceStep TestHost::Fetch(std::string_view type, int id, const std::uint8_t*& data,
                             std::size_t& size) {
  if (failResourceStep != ResourceStep::Ok) {
    tLastError = resourceError;
    return failResourceStep;
  }
  auto it = resources_.find({std::string(type), id});
  if (it == resources_.end()) {
    tLastError = 1814;  // ERROR_RESOURCE_NAME_NOT_FOUND
    return ResourceStep::Find;
  }
  data = it->second.data();
  size = it->second.size();
  return ResourceStep::Ok;
}

void TestHost::Sleep(std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  sleeps_.push_back(milliseconds);
  now_ += milliseconds;
}
std::uint64_t TestHost::Milliseconds() {
  std::lock_guard lock(mutex_);
  now_ += clockStepMs;
  return now_;
}

bool TestHost::IsMemberOfAdministrators() { return administrator; }

namespace {

constexpr std::size_t kPage = 4096;

// msvcrt has no aligned_alloc; mingw builds (ZOLPSIM.exe) take its own kind.
void* AlignedPages(std::size_t size) {
#if defined(_WIN32)
  return _aligned_malloc(size, kPage);
#else
  return std::aligned_alloc(kPage, size);
#endif
}

void FreeAlignedPages(void* pages) {
#if defined(_WIN32)
  _aligned_free(pages);
#else
  std::free(pages);
#endif
}

}  // namespace

void* TestHost::AllocatePages(std::size_t size) {
  if (failAllocation) {
    tLastError = 8;  // ERROR_NOT_ENOUGH_MEMORY
    return nullptr;
  }
  // Pages, as VirtualAlloc gives them: page-aligned and zeroed.
  void* p = AlignedPages((std::max<std::size_t>(size, 1) + kPage - 1) / kPage * kPage);
  if (p) std::memset(p, 0, size);
  std::lock_guard lock(mutex_);
  allocations_.insert(p);
  return p;
}

bool TestHost::FreePages(void* pages) {
  std::lock_guard lock(mutex_);
  auto it = allocations_.find(pages);
  if (it == allocations_.end()) {
    tLastError = 487;  // ERROR_INVALID_ADDRESS
    return false;
  }
  if (failFree) {
    tLastError = 487;
    return false;
  }
  FreeAlignedPages(pages);
  allocations_.erase(it);
  return true;
}

int TestHost::OutstandingAllocations() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(allocations_.size());
}

std::uint32_t TestHost::LogicalDrives() {
  std::uint32_t mask = 0;
  for (const auto& [letter, drive] : drives) mask |= 1u << (letter - 'A');
  return mask;
}

DriveType TestHost::TypeOfDrive(char letter) {
  auto it = drives.find(letter);
  return it == drives.end() ? DriveType::NoRootDir : it->second.type;
}

bool TestHost::DosDeviceNames(std::vector<std::string>& names) {
  names = dosDevices;
  return true;
}

bool TestHost::VolumeInformation(char letter, std::string& label, std::string& fileSystem) {
  if (drives.find(letter) == drives.end()) {
    tLastError = 3;
    return false;
  }
  label = "DIAGS";
  fileSystem = "FAT";
  return true;
}

std::unique_ptr<DiskHandle> TestHost::Open(const std::string& devicePath, DiskAccess) {
  DiskHandle* target = nullptr;
  if (devicePath.size() == 6 && devicePath.rfind("\\\\.\\", 0) == 0 && devicePath[5] == ':') {
    auto it = drives.find(devicePath[4]);
    if (it != drives.end()) target = it->second.device;
  } else if (auto it = devicePaths.find(devicePath); it != devicePaths.end()) {
    target = it->second;
  }
  if (target == nullptr) {
    tLastError = 2;
    return nullptr;
  }
  return std::make_unique<detail::DiskProxy>(*target);
}

std::string TestHost::DisplayName(char letter) { return std::string{letter, ':'}; }

bool TestHost::StartThread(std::function<void()> work) {
  if (failWorkerStarts > 0) {
    --failWorkerStarts;
    tLastError = 8;  // ERROR_NOT_ENOUGH_MEMORY
    return false;
  }
  ++workersStarted;
  work();
  return true;
}

std::vector<ShownMessage> TestHost::Messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}
std::vector<PostedMessage> TestHost::Posts() const {
  std::lock_guard lock(mutex_);
  return posts_;
}
std::vector<LaunchRequest> TestHost::Launches() const {
  std::lock_guard lock(mutex_);
  return launches_;
}
std::vector<std::uint32_t> TestHost::Sleeps() const {
  std::lock_guard lock(mutex_);
  return sleeps_;
}
void TestHost::ClearRecords() {
  std::lock_guard lock(mutex_);
  messages_.clear();
  posts_.clear();
  launches_.clear();
  sleeps_.clear();
  ++clears_;
}

std::size_t TestHost::Clears() const {
  std::lock_guard lock(mutex_);
  return clears_;
}

void TestHost::QueueOutcome(ProcessOutcome outcome) {
  std::lock_guard lock(mutex_);
  outcomes_.push_back(std::move(outcome));
}

void TestHost::AddResource(std::string type, int id, std::vector<std::uint8_t> bytes) {
  resources_[{std::move(type), id}] = std::move(bytes);
}

}  // namespace zolp::sim
