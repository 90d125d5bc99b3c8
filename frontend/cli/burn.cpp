// zolpcli.exe burn LETTER: the CD section's ISO built and burned by the burn
// dialog's worker, its questions asked on the console.
#include <cctype>
#include <cstdio>

#include "catalog.h"
#include "flow/burn_flow.h"
#include "flow/option_view.h"
#include "zolp/copy_estimate.h"
#include "zolp/report.h"
#include "zolp/tool_runner.h"
#include "zolp/vellix_command.h"

namespace zolp::cli {

namespace {

// The burn worker's questions and boxes on the console; the window calls do nothing.
class ConsoleView final : public OptionView {
 public:
  explicit ConsoleView(const Console& console) : console_(console) {}
  WindowRef Window() const override { return 1; }
  void SetText(int, const std::string&) override {}
  std::string Text(int) const override { return {}; }
  void SetLook(int, const FontLook&) override {}
  void SetChecked(int, bool) override {}
  bool IsChecked(int) const override { return false; }
  void Enable(int, bool) override {}
  void ShowControl(int, bool) override {}
  void ClearList(int) override {}
  void AddListItem(int, const std::string&, std::uintptr_t) override {}
  int ListCount(int) const override { return 0; }
  void SelectListItem(int, int) override {}
  int SelectedListItem(int) const override { return -1; }
  std::uintptr_t ListItemData(int, int) const override { return 0; }
  void ShowDialog(bool) override {}
  void End(DialogResult) override {}
  Reply Ask(const std::string& text, const std::string& title, MessageIcon, Buttons buttons) override {
    std::fprintf(buttons == Buttons::Ok ? console_.out : console_.err, "%s: %s\n", title.c_str(),
                 text.c_str());
    if (buttons == Buttons::Ok) return Reply::Ok;
    // A question (another disc?) is answered on a terminal; without one it is declined.
    if (!console_.inTerminal) return buttons == Buttons::YesNo ? Reply::No : Reply::Cancel;
    std::fprintf(console_.out, "%s [y/N] ", buttons == Buttons::YesNo ? "Yes?" : "Go on?");
    std::fflush(console_.out);
    char answer[16] = {};
    const bool yes = std::fgets(answer, sizeof answer, console_.in) && (answer[0] == 'y' || answer[0] == 'Y');
    if (buttons == Buttons::YesNo) return yes ? Reply::Yes : Reply::No;
    return yes ? Reply::Ok : Reply::Cancel;
  }
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest&) override { return std::nullopt; }
  void OpenProgress(int, const std::string&) override {}
  void SetProgress(int) override {}
  void CloseProgress() override {}

 private:
  const Console& console_;
};

// Status texts and progress of the worker, one line each time either changes.
class BurnUi final : public UserInterface {
 public:
  explicit BurnUi(const Console& console) : console_(console) {}
  void ShowMessage(std::string_view text, std::string_view title, MessageIcon) override {
    std::fprintf(console_.err, "zolpcli: %.*s: %.*s\n", static_cast<int>(title.size()), title.data(),
                 static_cast<int>(text.size()), text.data());
  }
  void Post(WindowRef, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) override {
    if (message == kMsgJobFinished) {
      finished = true;
      return;
    }
    if (message != kMsgProgress) return;
    if (lParam != 0) {
      std::fprintf(console_.out, "%s\n", PostedText(lParam));
    } else if (wParam / 10 != percent / 10) {
      percent = static_cast<int>(wParam);
      std::fprintf(console_.out, "%d%%\n", percent);
    }
    std::fflush(console_.out);
  }
  void BringMainWindowToFront() override {}
  void ShowBuildingWindow() override {}
  void CloseBuildingWindow() override {}
  void EndProgram(int status) override { std::exit(status); }
  bool finished = false;

 private:
  const Console& console_;
  int percent = -1;
};

}  // namespace

int CatalogBurn(const Services& base, const Console& console, std::vector<std::string> words) {
  if (words.size() != 1 || words[0].empty() || !std::isalpha(static_cast<unsigned char>(words[0][0])) ||
      words[0].size() > 2 || (words[0].size() == 2 && words[0][1] != ':')) {
    std::fprintf(console.err, "zolpcli: burn takes the letter of a CD writer (burn E)\n");
    return kExitUsage;
  }
  const char letter = static_cast<char>(std::toupper(static_cast<unsigned char>(words[0][0])));
  BurnUi ui(console);
  Services services = base;
  services.ui = &ui;
  bool writer = false;
  for (const CdWriter& w : FindCdWriters(services)) writer = writer || w.letter == letter;
  if (!writer) {
    std::fprintf(console.err, "zolpcli: %c: is no CD writer; nothing was written.\n", letter);
    return kExitRefused;
  }
  if (letter == services.options.programDrive) {
    std::fprintf(console.err, "zolpcli: Cannot format the media you are executing from.\n");
    return kExitRefused;
  }
  std::string image;
  if (!services.files->TemporaryFileName(".", "~DP", image)) {
    std::fprintf(console.err, "zolpcli: %s\n",
                 FormatSystemError(services, services.errors->Last(), "Create temporary filename").c_str());
    return kExitFailed;
  }
  const std::string line = CdRun(VolumeLabel(services), image).CommandLine();
  BuildJob build{0, line.c_str()};
  const std::int32_t code = ImageBuildThread(services, build);
  if (code != 0) {
    DeleteToolFile(services, image);
    return code > 0 ? code : kExitFailed;
  }
  ConsoleView view(console);
  BurnJob job;
  job.owner = view.Window();
  job.letter = letter;
  job.imagePath = &image;
  job.view = &view;
  // The worker on this thread: nothing else waits here.
  const int burned = BurnCdThread(services, job);
  job.drive.reset();
  DeleteToolFile(services, image);
  return burned == 1 ? kExitDone : kExitFailed;
}

}  // namespace zolp::cli
