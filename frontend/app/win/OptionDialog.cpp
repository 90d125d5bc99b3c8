#include "OptionDialog.h"

#include <commctrl.h>
#include <commdlg.h>
#include <uxtheme.h>

#include <algorithm>
#include <vector>

#include "zolp/messages.h"

namespace zolp::win {

namespace {

// The extension of the filter's first pattern ("Name|*.iso|..." gives "iso"),
// added to a name typed without one.
std::string DefaultExtension(const std::string& filter) {
  const std::size_t start = filter.find('|');
  if (start == std::string::npos) return {};
  const std::size_t end = filter.find_first_of("|;", start + 1);
  const std::string pattern = filter.substr(start + 1, end - start - 1);
  return pattern.rfind("*.", 0) == 0 ? pattern.substr(2) : std::string();
}

}  // namespace

OptionDialog::OptionDialog(int templateId) : Dialog(templateId) {}

OptionDialog::~OptionDialog() = default;

bool OptionDialog::OnInit() {
  if (flow_) flow_->OnInit();
  return true;
}

bool OptionDialog::OnCommand(int id, int code, HWND) {
  // Buttons report BN_CLICKED (0); Escape and the close box come as IDCANCEL.
  if (code != BN_CLICKED || !flow_) return false;
  flow_->OnCommand(id);
  return true;
}

INT_PTR OptionDialog::OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) {
  handled = false;
  if (!flow_) return FALSE;
  if (message == kMsgJobFinished || message == kMsgProgress || message == kMsgImageBuilt) {
    handled = true;
    flow_->OnWorkerMessage(message, static_cast<std::intptr_t>(wParam),
                           static_cast<std::intptr_t>(lParam));
    return TRUE;
  }
  if (message == WM_DEVICECHANGE) {
    handled = true;
    flow_->OnDeviceChange(static_cast<std::uint32_t>(wParam));
    return Answer(TRUE);
  }
  return FALSE;
}

WindowRef OptionDialog::Window() const { return reinterpret_cast<WindowRef>(Handle()); }

void OptionDialog::SetText(int control, const std::string& text) {
  SetDlgItemTextA(Handle(), control, text.c_str());
}

std::string OptionDialog::Text(int control) const {
  HWND item = Item(control);
  std::vector<char> text(static_cast<std::size_t>(GetWindowTextLengthA(item)) + 1, '\0');
  GetWindowTextA(item, text.data(), static_cast<int>(text.size()));
  return text.data();
}

void OptionDialog::SetLook(int control, const FontLook& look) {
  std::unique_ptr<CFontStatic>& label = labels_[control];
  if (!label) {
    label = std::make_unique<CFontStatic>();
    label->Attach(Handle(), control);
  }
  label->SetFont(look);
}

void OptionDialog::SetChecked(int control, bool checked) {
  CheckDlgButton(Handle(), control, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool OptionDialog::IsChecked(int control) const {
  return IsDlgButtonChecked(Handle(), control) == BST_CHECKED;
}

void OptionDialog::Enable(int control, bool enabled) { EnableWindow(Item(control), enabled); }

void OptionDialog::ShowControl(int control, bool shown) {
  ShowWindow(Item(control), shown ? SW_SHOW : SW_HIDE);
}

void OptionDialog::ClearList(int control) { SendDlgItemMessageA(Handle(), control, CB_RESETCONTENT, 0, 0); }

void OptionDialog::AddListItem(int control, const std::string& text, std::uintptr_t data) {
  const LRESULT index =
      SendDlgItemMessageA(Handle(), control, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  if (index >= 0)
    SendDlgItemMessageA(Handle(), control, CB_SETITEMDATA, static_cast<WPARAM>(index),
                        static_cast<LPARAM>(data));
}

int OptionDialog::ListCount(int control) const {
  return static_cast<int>(SendDlgItemMessageA(Handle(), control, CB_GETCOUNT, 0, 0));
}

void OptionDialog::SelectListItem(int control, int index) {
  SendDlgItemMessageA(Handle(), control, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int OptionDialog::SelectedListItem(int control) const {
  return static_cast<int>(SendDlgItemMessageA(Handle(), control, CB_GETCURSEL, 0, 0));
}

std::uintptr_t OptionDialog::ListItemData(int control, int index) const {
  return static_cast<std::uintptr_t>(
      SendDlgItemMessageA(Handle(), control, CB_GETITEMDATA, static_cast<WPARAM>(index), 0));
}

void OptionDialog::ShowDialog(bool shown) { ShowWindow(Handle(), shown ? SW_SHOW : SW_HIDE); }

void OptionDialog::End(DialogResult result) {
  Dialog::End(result == DialogResult::Ok ? IDOK : IDCANCEL);
}

Reply OptionDialog::Ask(const std::string& text, const std::string& title, MessageIcon icon,
                         Buttons buttons) {
  UINT style = buttons == Buttons::YesNo      ? MB_YESNO
               : buttons == Buttons::OkCancel ? MB_OKCANCEL
                                              : MB_OK;
  switch (icon) {
    case MessageIcon::Information: style |= MB_ICONINFORMATION; break;
    case MessageIcon::Warning: style |= MB_ICONWARNING; break;
    case MessageIcon::Error: style |= MB_ICONSTOP; break;
    case MessageIcon::Question: style |= MB_ICONQUESTION; break;
  }
  // Over the dialog while it shows, so it stays modal; else over the main window.
  HWND owner = IsWindowVisible(Handle()) ? Handle() : GetWindow(Handle(), GW_OWNER);
  switch (MessageBoxA(owner, text.c_str(), title.c_str(), style)) {
    case IDYES: return Reply::Yes;
    case IDNO: return Reply::No;
    case IDOK: return Reply::Ok;
    default: return Reply::Cancel;
  }
}

std::optional<std::string> OptionDialog::ChooseSaveFile(const SaveFileRequest& request) {
  // "Name|pattern|...||" becomes the double-NUL-terminated list the dialog takes.
  std::string filter = request.filter;
  for (char& c : filter)
    if (c == '|') c = '\0';
  filter.push_back('\0');
  char file[MAX_PATH] = {};
  request.fileName.copy(file, sizeof file - 1);
  OPENFILENAMEA dialog = {};
  dialog.lStructSize = sizeof dialog;
  dialog.hwndOwner = Handle();
  dialog.lpstrFilter = filter.c_str();
  dialog.lpstrFile = file;
  dialog.nMaxFile = sizeof file;
  dialog.lpstrInitialDir = request.directory.empty() ? nullptr : request.directory.c_str();
  dialog.lpstrTitle = request.title.c_str();
  const std::string extension = DefaultExtension(request.filter);
  dialog.lpstrDefExt = extension.empty() ? nullptr : extension.c_str();
  // The package directory stays the current directory: the tools run there.
  dialog.Flags = OFN_HIDEREADONLY | OFN_PATHMUSTEXIST | OFN_NOCHANGEDIR;
  if (!GetSaveFileNameA(&dialog)) return std::nullopt;
  return std::string(file);
}

void OptionDialog::OpenProgress(int targetIcon, const std::string& title) {
  progress_ = std::make_unique<CProgressDlg>();
  if (!progress_->Create(nullptr)) {
    progress_.reset();
    return;
  }
  progress_->SetTargetIcon(targetIcon);
  progress_->SetTitle(title);
}

void OptionDialog::SetProgress(int percent) {
  if (progress_) progress_->SetPercentage(percent);
}

void OptionDialog::SetProgressText(const std::string& text) {
  if (progress_) progress_->SetPercentText(text);
}

void OptionDialog::CloseProgress() { progress_.reset(); }

void OptionDialog::SetProgressTitle(const std::string& title) {
  if (progress_) progress_->SetTitle(title);
}

void OptionDialog::SetBarColour(int control, std::uint32_t colour) {
  HWND bar = Item(control);
  // A themed bar ignores its colour; this one keeps the plain look.
  SetWindowTheme(bar, L"", L"");
  SendMessageA(bar, PBM_SETBARCOLOR, 0, static_cast<LPARAM>(colour));
}

void OptionDialog::SetBarPosition(int control, int percent) {
  HWND bar = Item(control);
  SendMessageA(bar, PBM_SETRANGE32, 0, 100);
  SendMessageA(bar, PBM_SETPOS, static_cast<WPARAM>(std::clamp(percent, 0, 100)), 0);
}

void OptionDialog::PlayAnimation(int control, int resource) {
  HWND animation = Item(control);
  SendMessageA(animation, ACM_OPENA, reinterpret_cast<WPARAM>(GetModuleHandleA(nullptr)),
               reinterpret_cast<LPARAM>(MAKEINTRESOURCEA(resource)));
  SendMessageA(animation, ACM_PLAY, static_cast<WPARAM>(-1), MAKELONG(0, 0xFFFF));
}

}  // namespace zolp::win
