// The Win32 side of every option dialog: the dialog is the flow's view and
// forwards its events to the flow (flow/option_view.h). A dialog of an option
// derives from this, owns its flow and hands it over with SetFlow; it adds
// nothing but what its template needs bound (font labels, limits).
#pragma once

#include <map>
#include <memory>

#include "Dialog.h"
#include "FontStatic.h"
#include "ProgressDlg.h"
#include "flow/option_view.h"

namespace zolp::win {

class OptionDialog : public Dialog, public OptionView {
 public:
  explicit OptionDialog(int templateId);
  ~OptionDialog() override;

  // OptionView
  WindowRef Window() const override;
  void SetText(int control, const std::string& text) override;
  std::string Text(int control) const override;
  void SetLook(int control, const FontLook& look) override;
  void SetChecked(int control, bool checked) override;
  bool IsChecked(int control) const override;
  void Enable(int control, bool enabled) override;
  void ShowControl(int control, bool shown) override;
  void ClearList(int control) override;
  void AddListItem(int control, const std::string& text, std::uintptr_t data) override;
  int ListCount(int control) const override;
  void SelectListItem(int control, int index) override;
  int SelectedListItem(int control) const override;
  std::uintptr_t ListItemData(int control, int index) const override;
  void ShowDialog(bool shown) override;
  void End(DialogResult result) override;
  Reply Ask(const std::string& text, const std::string& title, MessageIcon icon,
             Buttons buttons) override;
  std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) override;
  void OpenProgress(int targetIcon, const std::string& title) override;
  void SetProgress(int percent) override;
  void SetProgressText(const std::string& text) override;
  void CloseProgress() override;
  void SetProgressTitle(const std::string& title) override;
  void SetBarColour(int control, std::uint32_t colour) override;
  void SetBarPosition(int control, int percent) override;
  void PlayAnimation(int control, int resource) override;

 protected:
  void SetFlow(OptionFlow& flow) { flow_ = &flow; }

  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  OptionFlow* flow_ = nullptr;
  std::map<int, std::unique_ptr<CFontStatic>> labels_;
  std::unique_ptr<CProgressDlg> progress_;
};

}  // namespace zolp::win
