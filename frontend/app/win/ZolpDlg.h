// The main dialog: the package logo, version and links, and one image button
// per media option. Its template (101-104) is chosen at start-up.
#pragma once

#include <functional>
#include <memory>

#include "BuildImgDlg.h"
#include "Dialog.h"
#include "FontStatic.h"
#include "ImageButton.h"
#include "TrackControl.h"
#include "model/main_dialog_model.h"

namespace zolp::win {

// The registered message a running copy answers with its own number.
inline constexpr const char* kInstanceProbeMessage = "name##_MSG";

class CZolpDlg : public Dialog {
 public:
  explicit CZolpDlg(int templateId);
  ~CZolpDlg() override;

  // Told the dialog's window as soon as it exists (before initialisation).
  void SetCreatedHook(std::function<void(HWND)> hook) { createdHook_ = std::move(hook); }

 protected:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  void OnOK() override;
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  void Run(MainCommand command);
  void CheckAdministrator();
  void AddSystemMenuItems();
  void ShowBuildingWindow(bool shown);
  bool OverLink(HWND window, const CHoverFontStatic& link) const;

  CImageButton usb_, cd_, diskette_, image_, update_, finished_, logo_;
  CHoverFontStatic readmeLink_, releaseLink_;
  CFontStatic versionLabel_;
  bool adminCheckPending_ = true;
  bool releaseAvailable_ = false;
  bool readmeAvailable_ = false;
  HICON icon_;
  UINT probeMessage_;
  std::function<void(HWND)> createdHook_;
  std::unique_ptr<CBuildImgDlg> building_;  // while an image build runs
};

}  // namespace zolp::win
