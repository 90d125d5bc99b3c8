// Driving option flows natively: a recording view that stands for a dialog,
// a pump that hands the workers' posted messages to the dialog they were
// posted to (as the message loop does), and a fixture with a package
// directory, simulated devices and the real Linux vellix behind the launcher.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "flow/option_view.h"
#include "zolp/sim/linux_tool_launcher.h"
#include "zolp/sim/simulated_devices.h"
#include "zolp_fixture.h"

namespace zolp::testing {

struct AskedBox {
  std::string text, title;
  MessageIcon icon;
  Buttons buttons;
};

class RecordingView final : public OptionView {
 public:
  struct ControlState {
    std::string text;
    bool checked = false, enabled = true, shown = true;
    std::optional<FontLook> look;
    std::vector<std::pair<std::string, std::uintptr_t>> items;
    int selected = -1;
    std::optional<std::uint32_t> barColour;
    std::vector<int> barPositions;  // every position the bar was set to
    int animation = 0;              // the resource playing
  };

  RecordingView(sim::TestHost& host, WindowRef window) : host_(host), window_(window) {}

  WindowRef Window() const override { return window_; }
  void SetText(int control, const std::string& text) override { controls[control].text = text; }
  std::string Text(int control) const override { return Get(control).text; }
  void SetLook(int control, const FontLook& look) override { controls[control].look = look; }
  void SetChecked(int control, bool checked) override { controls[control].checked = checked; }
  bool IsChecked(int control) const override { return Get(control).checked; }
  void Enable(int control, bool enabled) override { controls[control].enabled = enabled; }
  void ShowControl(int control, bool shown) override { controls[control].shown = shown; }
  void ClearList(int control) override {
    controls[control].items.clear();
    controls[control].selected = -1;
  }
  void AddListItem(int control, const std::string& text, std::uintptr_t data) override {
    controls[control].items.emplace_back(text, data);
  }
  int ListCount(int control) const override { return static_cast<int>(Get(control).items.size()); }
  void SelectListItem(int control, int index) override { controls[control].selected = index; }
  int SelectedListItem(int control) const override { return Get(control).selected; }
  std::uintptr_t ListItemData(int control, int index) const override {
    return Get(control).items.at(static_cast<std::size_t>(index)).second;
  }
  void ShowDialog(bool shown) override { dialogShown = shown; }
  void End(DialogResult result) override {
    EXPECT_FALSE(ended.has_value()) << "the dialog ended twice";
    ended = result;
  }
  // Every box joins the host's record, so a test reads one ordered list of
  // what the user saw; the answer comes from onAsk (OK for a plain box).
  Reply Ask(const std::string& text, const std::string& title, MessageIcon icon,
            Buttons buttons) override {
    host_.ShowMessage(text, title, icon);
    const AskedBox box{text, title, icon, buttons};
    if (onAsk) return onAsk(box);
    if (buttons != Buttons::Ok) ADD_FAILURE() << "unexpected question: " << text;
    return buttons == Buttons::Ok ? Reply::Ok : buttons == Buttons::YesNo ? Reply::No : Reply::Cancel;
  }
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override {
    saveRequests.push_back(request);
    return savePath;
  }
  void OpenProgress(int targetIcon, const std::string& title) override {
    EXPECT_FALSE(progressOpen) << "a second progress window";
    progressOpen = true;
    progressIcon = targetIcon;
    progressTitles.push_back(title);
  }
  void SetProgress(int percent) override {
    EXPECT_TRUE(progressOpen);
    percents.push_back(percent);
  }
  void SetProgressText(const std::string& text) override {
    EXPECT_TRUE(progressOpen);
    progressTexts.push_back(text);
  }
  void CloseProgress() override { progressOpen = false; }
  void SetProgressTitle(const std::string& title) override {
    EXPECT_TRUE(progressOpen);
    progressTitles.push_back(title);
  }
  void SetBarColour(int control, std::uint32_t colour) override {
    controls[control].barColour = colour;
  }
  void SetBarPosition(int control, int percent) override {
    controls[control].barPositions.push_back(percent);
  }
  void PlayAnimation(int control, int resource) override { controls[control].animation = resource; }

  bool Ended(DialogResult result) const { return ended == result; }

  mutable std::map<int, ControlState> controls;
  bool dialogShown = true;
  std::optional<DialogResult> ended;
  std::function<Reply(const AskedBox&)> onAsk;
  std::vector<SaveFileRequest> saveRequests;
  std::optional<std::string> savePath;
  bool progressOpen = false;
  int progressIcon = 0;
  std::vector<std::string> progressTitles;
  std::vector<int> percents;
  std::vector<std::string> progressTexts;

 private:
  const ControlState& Get(int control) const { return controls[control]; }
  sim::TestHost& host_;
  WindowRef window_;
};

// Hands each posted message to the flow of the window it was posted to, in
// order, until none is left; a message to a dialog that has ended is lost,
// as one posted to a destroyed window is.
class FlowPump {
 public:
  explicit FlowPump(sim::TestHost& host) : host_(host) {}
  void Attach(WindowRef window, OptionFlow& flow, RecordingView& view) {
    targets_[window] = {&flow, &view};
  }
  void Run() {
    for (;;) {
      const std::vector<sim::PostedMessage> posts = host_.Posts();
      if (host_.Clears() != clears_) {  // the records were cleared
        clears_ = host_.Clears();
        delivered_ = 0;
      }
      if (delivered_ >= posts.size()) return;
      const sim::PostedMessage post = posts[delivered_++];
      auto it = targets_.find(post.owner);
      if (it == targets_.end() || it->second.view->ended) {
        ++lost;
        continue;
      }
      it->second.flow->OnWorkerMessage(post.message, post.wParam, post.lParam);
    }
  }
  int lost = 0;

 private:
  struct Target {
    OptionFlow* flow;
    RecordingView* view;
  };
  sim::TestHost& host_;
  std::map<WindowRef, Target> targets_;
  std::size_t delivered_ = 0;
  std::size_t clears_ = 0;
};

// One dialog: its view and flow, initialised; clicks are followed by the
// messages they cause.
template <class Flow>
struct Dialog {
  template <class... Args>
  Dialog(sim::TestHost& host, FlowPump& pump, const Services& services, Args&&... args)
      : view(host, NextWindow()), flow(services, view, std::forward<Args>(args)...), pump_(pump) {
    pump.Attach(view.Window(), flow, view);
    flow.OnInit();
    pump.Run();
  }
  void Click(int control) {
    flow.OnCommand(control);
    pump_.Run();
  }
  static WindowRef NextWindow() {
    static WindowRef next = 0x1000;
    return next += 0x10;
  }
  RecordingView view;
  Flow flow;

 private:
  FlowPump& pump_;
};

// OK starts the dialog's worker, which reports to the dialog's window: while
// its messages wait, neither OK nor Cancel ends the dialog; once they are
// delivered it ends with OK.
template <class Flow, class Busy>
void ExpectTheDialogToOutliveItsWorker(Dialog<Flow>& d, FlowPump& pump, Busy busy) {
  d.flow.OnCommand(kIdOk);  // the worker's messages are not delivered yet
  EXPECT_TRUE(busy(d.flow));
  d.flow.OnCommand(kIdCancel);
  d.flow.OnCommand(kIdOk);
  EXPECT_FALSE(d.view.ended.has_value());
  pump.Run();
  EXPECT_TRUE(d.view.Ended(DialogResult::Ok));
  EXPECT_EQ(pump.lost, 0);
}

// A package directory, simulated devices from a description and the Linux
// vellix for ".\vellix.exe". Builds are pinned to one build time, so an image
// made through a flow can be compared with one vellix makes by hand.
class FlowTest : public ZolpTest {
 protected:
  static constexpr const char* kBuildTime = "BUILDSETTIME=6A5D3C00";

  FlowTest();
  // Copies a package (the sample package when none is named) into the current directory.
  void UsePackage(const std::filesystem::path& package = {});
  // Replaces the simulated devices; paths in the text are host paths.
  void UseDevices(const std::string& description);
  void Wire();

  // Runs vellix by hand in the package directory, in the environment the front
  // end gives it; answers its exit code.
  int VellixByHand(const std::string& section, const std::string& label,
                   const std::filesystem::path& image, const std::string& more = {}) const;
  static bool SameBytes(const std::filesystem::path& a, const std::filesystem::path& b);
  static bool FsckPasses(const std::filesystem::path& image);
  // Boots an image in qemu with the project's boot script (scripts/qemu-boot.sh,
  // or scripts/uefi-boot.sh for the kinds "uefi-usb" and "uefi-cd",
  // scripts/bochs-boot.sh for "bochs-hd"): true when
  // it booted to the banner that names the volume label.
  bool Boots(const std::string& kind, const std::filesystem::path& image,
             const std::string& label) const;
  // Temporary images (~DP*.tmp) left in the package directory.
  int TemporaryImagesLeft() const;
  // The FAT volume behind the first partition entry of a disk image, as a file.
  std::filesystem::path FirstPartition(const std::filesystem::path& image) const;

  FlowPump pump_{host_};
  std::unique_ptr<sim::SimulatedDevices> devices_;
  sim::LinuxToolLauncher launcher_;
};

}  // namespace zolp::testing
