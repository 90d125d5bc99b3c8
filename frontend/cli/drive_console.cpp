#include "drive_console.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "zolp/image_copy.h"
#include "zolp/report.h"

namespace zolp::cli {

namespace {

std::string Duration(std::uint64_t milliseconds) {
  const std::uint64_t s = milliseconds / 1000;
  return Format("%llu:%02llu", static_cast<unsigned long long>(s / 60),
                static_cast<unsigned long long>(s % 60));
}

}  // namespace

std::string SizeText(std::uint64_t bytes) {
  return Format("%lluMB", static_cast<unsigned long long>((bytes + 500000) / 1000000));
}

bool Option(std::vector<std::string>& words, const char* option) {
  const auto it = std::find(words.begin(), words.end(), option);
  if (it == words.end()) return false;
  words.erase(it);
  return true;
}

bool Confirmed(const Console& console, const std::string& question) {
  if (!console.inTerminal) {
    std::fprintf(console.err,
                 "zolpcli: standard input is not a terminal, so nothing can be confirmed: "
                 "nothing was written. Give --yes to go ahead without asking.\n");
    return false;
  }
  std::fprintf(console.out, "%s [y/N] ", question.c_str());
  std::fflush(console.out);
  char answer[16] = {};
  if (!std::fgets(answer, sizeof answer, console.in)) return false;
  return answer[0] == 'y' || answer[0] == 'Y';
}

void ConsoleUi::ShowMessage(std::string_view text, std::string_view title, MessageIcon) {
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(console_.err, "zolpcli: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
               static_cast<int>(text.size()), text.data());
}

void ConsoleUi::Post(WindowRef owner, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) {
  if (onPost) return onPost(message, wParam, lParam);
  if (owner == 0 || owner > drives_.size()) return;
  DriveProgress& drive = *drives_[owner - 1];
  if (message != kMsgProgress) {
    if (onDriveMessage) onDriveMessage(drive, message, wParam, lParam);
    return;
  }
  const bool verifying = lParam != 0 && std::string_view(PostedText(lParam)) == kCopyVerifying;
  if (verifying && !drive.verifying.exchange(true)) drive.reported = 0;
  drive.percent = static_cast<int>(wParam);
  // Not on a terminal: a line each time a phase passes another tenth.
  if (console_.outTerminal || drive.percent / 10 * 10 <= drive.reported) return;
  drive.reported = drive.percent / 10 * 10;
  std::lock_guard<std::mutex> lock(mutex_);
  std::fprintf(console_.out, "%s\n", ProgressLine(drive, clock_.Milliseconds()).c_str());
  std::fflush(console_.out);
}

std::string ConsoleUi::ProgressLine(DriveProgress& drive, std::uint64_t now) const {
  if (!drive.estimating || drive.estimatingVerify != drive.verifying) {
    drive.estimate.Start(now, drive.copyBytes);
    drive.estimating = true;
    drive.estimatingVerify = drive.verifying;
  }
  const int percent = drive.percent;
  const std::uint64_t done = drive.copyBytes * static_cast<std::uint64_t>(percent) / 100;
  return Format("%-*s %-9s %s", width_, drive.device.c_str(), drive.verifying ? "verifying" : "writing",
                ProgressText(percent, drive.estimate.Update(now, done)).c_str());
}

void ConsoleUi::DrawUntilDone() {
  bool drawn = false;
  for (bool running = true; running;) {
    running = std::any_of(drives_.begin(), drives_.end(), [](const DriveProgress* d) { return !d->done; });
    const std::uint64_t now = clock_.Milliseconds();
    if (console_.outTerminal) {
      if (drawn) std::fprintf(console_.out, "\x1b[%zuA", drives_.size());
      for (DriveProgress* drive : drives_)
        std::fprintf(console_.out, "\r\x1b[K%s\n",
                     drive->done ? Format("%-*s %s", width_, drive->device.c_str(),
                                          drive->succeeded ? "done" : "failed").c_str()
                                 : ProgressLine(*drive, now).c_str());
      drawn = true;
      std::fflush(console_.out);
    }
    if (running) clock_.Sleep(console_.outTerminal ? 250 : 50);
  }
}

bool ConsoleUi::PrintTable() const {
  std::fprintf(console_.out, "%-*s %-8s %-16s %-20s %8s %6s  %s\n", width_, "DEVICE", "VENDOR", "PRODUCT",
               "SERIAL", "SIZE", "TIME", "RESULT");
  bool allGood = true;
  for (const DriveProgress* drive : drives_) {
    allGood = allGood && drive->succeeded;
    std::string result = drive->result;
    std::replace(result.begin(), result.end(), '\n', ' ');
    std::fprintf(console_.out, "%-*s %-8s %-16s %-20s %8s %6s  %s\n", width_, drive->device.c_str(),
                 drive->vendor.c_str(), drive->product.c_str(), drive->serial.c_str(),
                 SizeText(drive->bytes).c_str(),
                 Duration(drive->finished > drive->started ? drive->finished - drive->started : 0).c_str(),
                 result.c_str());
  }
  return allGood;
}

}  // namespace zolp::cli
