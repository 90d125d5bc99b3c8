// What zolpcli shows of the drives it writes, whichever host writes them: the
// questions, the progress (a line each tenth, or redrawn in place on a
// terminal) and the table at the end.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "cli.h"
#include "zolp/copy_estimate.h"
#include "zolp/host.h"

namespace zolp::cli {

// One drive being written. Its worker reports through ConsoleUi::Post; the
// main thread draws and prints the table.
struct DriveProgress {
  // The table's row.
  std::string device, vendor, product, serial;
  std::uint64_t bytes = 0;
  std::string result;
  bool succeeded = false;
  std::atomic<int> percent{0};
  std::atomic<bool> verifying{false};
  std::atomic<bool> done{false};
  int reported = 0;  // the last tenth printed (its worker's own)
  // The estimate of the phase running, kept by whichever thread prints.
  CopyEstimate estimate;
  bool estimating = false, estimatingVerify = false;
  std::uint64_t copyBytes = 0;  // what a phase's percentage counts: the image and the cleared tail
  std::uint64_t started = 0, finished = 0;
  std::string imagePath;
  char failureText[160] = {};
};

std::string SizeText(std::uint64_t bytes);  // "8000MB"
// Takes the word out of words; true when it was there.
bool Option(std::vector<std::string>& words, const char* option);
// Asks on the terminal; false without one (with a message naming --yes).
bool Confirmed(const Console& console, const std::string& question);

// Messages on standard error; the workers' reports routed by owner (the
// drive's index + 1).
class ConsoleUi final : public UserInterface {
 public:
  ConsoleUi(const Console& console, Clock& clock, int deviceWidth)
      : console_(console), clock_(clock), width_(deviceWidth) {}
  void Track(std::vector<DriveProgress*> drives) { drives_ = std::move(drives); }

  // Worker messages of a job that is no drive's: handed on.
  std::function<void(std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam)> onPost;
  // A drive's messages other than its progress.
  std::function<void(DriveProgress&, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam)>
      onDriveMessage;

  void ShowMessage(std::string_view text, std::string_view title, MessageIcon) override;
  void Post(WindowRef owner, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override;
  void BringMainWindowToFront() override {}
  void ShowBuildingWindow() override {}
  void CloseBuildingWindow() override {}
  void EndProgram(int status) override { std::exit(status); }

  // Draws until every tracked drive is done: in place on a terminal; off one,
  // the workers print their tenths.
  void DrawUntilDone();
  // The table: device, vendor, product, serial, size, time, result. True when
  // every drive succeeded.
  bool PrintTable() const;

 private:
  std::string ProgressLine(DriveProgress& drive, std::uint64_t now) const;

  const Console& console_;
  Clock& clock_;
  const int width_;
  std::mutex mutex_;
  std::vector<DriveProgress*> drives_;
};

}  // namespace zolp::cli
