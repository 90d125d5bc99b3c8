// "Install to a USB Flash Drive": lists the USB disks a flash image can go
// to, builds the FLASH section of the package for the chosen drive's size (2
// GB at most) and writes the image from the drive's first sector, with its
// volumes locked and dismounted; the drive's last MiB is cleared, and what
// was written is read back unless verification is off. The flow of CUSBDlg
// (template 105).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flow/option_view.h"
#include "zolp/copy_estimate.h"
#include "zolp/disk_volumes.h"
#include "zolp/messages.h"
#include "zolp/usb_drives.h"

namespace zolp {

inline constexpr std::uint32_t kRefreshDelayMs = 250;

class UsbFlow final : public OptionFlow {
 public:
  UsbFlow(const Services& services, OptionView& view);

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;
  void OnDeviceChange(std::uint32_t event) override;

  bool Busy() const { return state_ != State::Choosing; }

 private:
  enum class State { Choosing, Building, Copying };

  // Fills the list and selects the drive numbered `chosen` when it is listed,
  // else the entry at `selection` (the first when that is past the end).
  void FillList(int selection, std::intptr_t chosen = -1);
  void Start();
  void OnBuilt(std::int32_t exitCode);
  void OnProgress(int percent, const char* status);
  void OnCopied(std::intptr_t error, const char* text);
  void Refuse(const char* text);
  void Release();
  void Abandon();

  Services services_;
  OptionView& view_;
  State state_ = State::Choosing;
  unsigned driveNumber_ = 0;
  std::uint32_t lastSector_ = 0;
  std::unique_ptr<DiskHandle> disk_;  // \\.\PhysicalDrive<n>, from OK to the end
  HeldVolumes volumes_;               // every volume of the drive, while copying
  std::string imagePath_;               // the temporary image, from OK to the end
  std::string commandLine_;
  std::optional<BuildJob> buildJob_;
  std::optional<CopyJob> copyJob_;
  char verifyFailure_[160] = {};  // the copy job's failure text
  bool progressShown_ = false;
  bool verifying_ = false;  // the progress window says so
  std::uint64_t copyBytes_ = 0;  // what the copy writes: the image and the cleared tail
  CopyEstimate estimate_;
};

}  // namespace zolp
