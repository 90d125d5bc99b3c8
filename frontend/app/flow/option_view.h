// The shape every option dialog of the front end shares. The decisions of an
// option live in a flow class (OptionFlow) that reacts to the dialog's events
// and acts only through a small view (OptionView). The Win32 dialog is a thin
// adapter that is the view and forwards its events (win/OptionDialog.h); the
// tests drive the same flow with a recording view and simulated devices.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "model/font_style.h"
#include "zolp/host.h"

namespace zolp {

// The dialog-manager identifiers of OK and Cancel (Escape and the close box
// arrive as Cancel).
inline constexpr int kIdOk = 1;
inline constexpr int kIdCancel = 2;

enum class DialogResult { Ok, Cancel };
enum class Buttons { Ok, OkCancel, YesNo };
enum class Reply { Ok, Cancel, Yes, No };

// A save-file dialog: its title, its filter ("Image Files (*.img)|*.img|All
// Files|*.*||"), the folder it opens in and the file name it starts with.
struct SaveFileRequest {
  std::string title;
  std::string filter;
  std::string directory;
  std::string fileName;
};

class OptionView {
 public:
  virtual ~OptionView() = default;

  // The dialog's window: workers post their messages to it.
  virtual WindowRef Window() const = 0;

  // Controls by identifier.
  virtual void SetText(int control, const std::string& text) = 0;
  virtual std::string Text(int control) const = 0;
  virtual void SetLook(int control, const FontLook& look) = 0;  // a font label's look
  virtual void SetChecked(int control, bool checked) = 0;
  virtual bool IsChecked(int control) const = 0;
  virtual void Enable(int control, bool enabled) = 0;
  virtual void ShowControl(int control, bool shown) = 0;

  // Drop-down lists; every item carries a value of its own.
  virtual void ClearList(int control) = 0;
  virtual void AddListItem(int control, const std::string& text, std::uintptr_t data) = 0;
  virtual int ListCount(int control) const = 0;
  virtual void SelectListItem(int control, int index) = 0;
  virtual int SelectedListItem(int control) const = 0;  // -1: none
  virtual std::uintptr_t ListItemData(int control, int index) const = 0;

  // The dialog itself.
  virtual void ShowDialog(bool shown) = 0;
  virtual void End(DialogResult result) = 0;
  // A message box over the dialog (over the main window while the dialog is
  // hidden); answers the button the user chose.
  virtual Reply Ask(const std::string& text, const std::string& title, MessageIcon icon,
                     Buttons buttons) = 0;
  // The chosen path; none when the user cancelled.
  virtual std::optional<std::string> ChooseSaveFile(const SaveFileRequest& request) = 0;

  // The copy progress window (shared by the options that write devices).
  virtual void OpenProgress(int targetIcon, const std::string& title) = 0;
  virtual void SetProgress(int percent) = 0;
  virtual void CloseProgress() = 0;
  // A new title for the progress window while it shows (a copy that goes on
  // to verify what it wrote).
  virtual void SetProgressTitle(const std::string&) {}
  // The text under the bar, in place of the bare percentage SetProgress shows.
  virtual void SetProgressText(const std::string&) {}

  // A progress bar and an animation inside the dialog itself (the burn
  // dialog). A view without such controls ignores these.
  virtual void SetBarColour(int /*control*/, std::uint32_t /*colour*/) {}  // Rgb()
  virtual void SetBarPosition(int /*control*/, int /*percent*/) {}         // range 0-100
  // Plays an animation resource from its first frame to its last, repeating.
  virtual void PlayAnimation(int /*control*/, int /*resource*/) {}
};

// The device-change events after which a dialog lists its drives again.
inline constexpr std::uint32_t kDeviceArrival = 0x8000;         // DBT_DEVICEARRIVAL
inline constexpr std::uint32_t kDeviceRemoveComplete = 0x8004;  // DBT_DEVICEREMOVECOMPLETE

class OptionFlow {
 public:
  virtual ~OptionFlow() = default;
  virtual void OnInit() = 0;
  // A button: OK, Cancel, a radio button, "...".
  virtual void OnCommand(int control) = 0;
  // 0x500, 0x501 or 0x502 from a worker this flow started.
  virtual void OnWorkerMessage(std::uint32_t, std::intptr_t, std::intptr_t) {}
  // A device arrived (0x8000) or was removed (0x8004), or another change.
  virtual void OnDeviceChange(std::uint32_t) {}
};

}  // namespace zolp
