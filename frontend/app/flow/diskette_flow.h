// "Create Bootable Diskette Set": one 1.44 MB diskette per section Disk1,
// Disk2, ... of the package. The drive choice (CDisketteDlg, template 107)
// leads to one diskette dialog per section (CDiskXDlg, template 110), each of
// which builds its section's image into a temporary file and copies it raw
// onto the diskette.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flow/option_view.h"
#include "zolp/copy_estimate.h"
#include "zolp/disk_volumes.h"
#include "zolp/messages.h"
#include "zolp/vellix_command.h"

namespace zolp {

inline constexpr std::uint64_t kDisketteCapacity = 0x168000;  // 1,474,560 bytes

struct DisketteDrive {
  char letter;
  std::string name;  // the shell's display name
};

// Removable drives that take 3.5-inch 1.44 MB diskettes, A: to Z:.
std::vector<DisketteDrive> FindDisketteDrives(const Services& services);

struct DisketteSet {
  unsigned total = 0;
  char letter = 0;
};

class DisketteDriveFlow final : public OptionFlow {
 public:
  DisketteDriveFlow(const Services& services, OptionView& view);

  void OnInit() override;
  void OnCommand(int control) override;
  void OnDeviceChange(std::uint32_t event) override;

  // The set to make, once the dialog has ended with OK.
  const DisketteSet& Chosen() const { return chosen_; }

 private:
  void FillList(int selection);

  Services services_;
  OptionView& view_;
  DisketteSet chosen_;
};

// Runs the diskette dialogs 1 .. total in turn; one that ends with Cancel ends
// the set. Answers true when every diskette was made.
bool RunDisketteSet(const DisketteSet& set,
                    const std::function<DialogResult(unsigned current)>& runDiskette);

class DisketteFlow final : public OptionFlow {
 public:
  DisketteFlow(const Services& services, OptionView& view, unsigned current, unsigned total,
               char letter);

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

  bool Busy() const { return state_ != State::Waiting; }

 private:
  enum class State { Waiting, Building, Copying };

  void Build();
  void OnBuilt(std::int32_t exitCode);
  bool HoldDiskette();
  bool StartCopy();
  void OnProgress(int percent, const char* status);
  void OnCopied(std::intptr_t error, const char* text);
  void CloseProgress();
  void Release();
  void Abandon();

  Services services_;
  OptionView& view_;
  unsigned current_, total_;
  char letter_;
  State state_ = State::Waiting;
  std::string temporaryImage_;  // exists from the build to the end of the copy
  std::string commandLine_;
  std::optional<BuildJob> buildJob_;
  std::optional<CopyJob> copyJob_;
  char verifyFailure_[160] = {};  // the copy job's failure text
  std::unique_ptr<DiskHandle> disk_;  // open only while copying
  HeldVolumes volume_;                // the diskette's, locked and dismounted while written
  bool progressShown_ = false;
  bool verifying_ = false;  // the copy reads the diskette back
  CopyEstimate estimate_;
  bool dataWritten_ = false;  // a progress report above 0 % arrived
};

}  // namespace zolp
