// Burning a built ISO image onto a CD-R or CD-RW: the burn dialog, CBurnCD
// (template 112), and its worker, which drives the chosen writer through the
// MMC command layer: one data track, track-at-once, then the session closed.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "flow/option_view.h"
#include "zolp/copy_estimate.h"
#include "zolp/messages.h"

namespace zolp {

// The burn worker's job. The dialog owns it until the worker's 0x500; the
// worker opens the drive, the dialog closes it.
struct BurnJob {
  WindowRef owner = 0;                // the burn dialog: 0x501 and 0x500 go there
  std::unique_ptr<DiskHandle> drive;  // \\.\X: while the burn runs
  char letter = 0;
  const std::string* imagePath = nullptr;
  // The burn dialog: the worker's questions and errors are modal to it, and it
  // is hidden before the success box.
  OptionView* view = nullptr;
  int result = 0;  // set before the 0x500: 1 when the disc was written and closed
};

// The burn worker, on a thread of its own: posts status texts and progress
// (0x501) and finally 0x500. Answers 1 when the disc was written, closed and,
// with the "verify" run option, read back equal to the image; else 0.
int BurnCdThread(const Services& services, BurnJob& job);

struct CdWriter {
  std::string name;  // "(E:) VENDOR PRODUCT"
  char letter;
};
std::vector<CdWriter> FindCdWriters(const Services& services);

class BurnFlow final : public OptionFlow {
 public:
  BurnFlow(const Services& services, OptionView& view, const std::string& imagePath);

  void OnInit() override;
  void OnCommand(int control) override;
  void OnWorkerMessage(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;

  bool Burning() const { return job_ != nullptr; }

 private:
  void Burn();

  Services services_;
  OptionView& view_;
  std::string imagePath_;
  std::unique_ptr<BurnJob> job_;  // from Burn until the worker's 0x500
  // The step whose speed and time left show beside the percentage: the copy
  // (35 % to 85 %) or the read-back (85 % to 100 %); none when from is -1.
  int stepFrom_ = -1, stepSpan_ = 0;
  std::uint64_t imageBytes_ = 0;
  CopyEstimate estimate_;
};

}  // namespace zolp
