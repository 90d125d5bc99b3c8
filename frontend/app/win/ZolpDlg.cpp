#include "ZolpDlg.h"

#include <string>

#include "AboutDlg.h"
#include "AppServices.h"
#include "OptionDlgs.h"
#include "ReadMeDlg.h"
#include "ReleaseDlg.h"
#include "resource.h"
#include "zolp/messages.h"
#include "zolp/system_info.h"

namespace zolp::win {
namespace {

constexpr const char* kNotAdminNotice =
    "You must be a member of the local administrators group to access the USB flash drive, "
    "diagnostic partition update or built in CD burning features of this program.";

constexpr UINT kShowAdminNotice = WM_APP + 1;

bool FileExists(const char* path) {
  DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

}  // namespace

CZolpDlg::CZolpDlg(int templateId)
    : Dialog(templateId),
      icon_(LoadIconA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(IDI_ZOLP))),
      probeMessage_(RegisterWindowMessageA(kInstanceProbeMessage)) {}

CZolpDlg::~CZolpDlg() = default;

void CZolpDlg::AddSystemMenuItems() {
  HMENU menu = GetSystemMenu(Handle(), FALSE);
  if (!menu) return;
  AppendMenuA(menu, MF_SEPARATOR, 0, nullptr);
  for (const SystemMenuItem& item : SystemMenuItems(releaseAvailable_, readmeAvailable_)) {
    std::string text(item.text);
    AppendMenuA(menu, MF_STRING, item.command, text.c_str());
  }
}

// The build window is made and destroyed here, on the user-interface thread:
// the image build worker only asks for it (kMsgBuildingWindow) and waits for
// vellix, so the window keeps painting while the build runs.
void CZolpDlg::ShowBuildingWindow(bool shown) {
  if (shown) {
    if (building_) return;
    building_ = std::make_unique<CBuildImgDlg>();
    if (!building_->Create(nullptr)) building_.reset();
    return;
  }
  building_.reset();
  SetForegroundWindow(Handle());
  RedrawWindow(Handle(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW | RDW_ALLCHILDREN);
}

bool CZolpDlg::OnInit() {
  if (createdHook_) createdHook_(Handle());
  usb_.Attach(Handle(), IDC_USB);
  cd_.Attach(Handle(), IDC_CD);
  diskette_.Attach(Handle(), IDC_DISKETTE);
  image_.Attach(Handle(), IDC_IMAGE);
  update_.Attach(Handle(), IDC_UPDATE);
  finished_.Attach(Handle(), IDC_FINISHED);
  logo_.Attach(Handle(), IDC_LOGO);
  readmeLink_.Attach(Handle(), IDC_README_LINK);
  releaseLink_.Attach(Handle(), IDC_RELEASE_LINK);
  versionLabel_.Attach(Handle(), IDC_VERSION_LABEL);

  std::optional<std::string> version = PackageVersion();
  releaseAvailable_ = version.has_value();
  readmeAvailable_ = FileExists(kReadmeFile);
  readmeLink_.SetFont(LinkLook(readmeAvailable_));
  AddSystemMenuItems();

  SendMessageA(Handle(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageA(Handle(), WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));

  SetUpLogo(logo_);
  if (std::optional<std::string> package =
          PackageValue(kPackageFile, "Package", false, kPackageNameMax)) {
    SetWindowTextA(Handle(), package->c_str());
  }

  struct OptionBitmap {
    CImageButton* button;
    int bitmap;
  };
  for (const OptionBitmap& option : {OptionBitmap{&usb_, IDB_USB}, OptionBitmap{&cd_, IDB_CD},
                                     OptionBitmap{&diskette_, IDB_DISKETTE},
                                     OptionBitmap{&update_, IDB_UPDATE},
                                     OptionBitmap{&image_, IDB_IMAGE},
                                     OptionBitmap{&finished_, IDB_FINISHED}}) {
    option.button->SetBitmap(option.bitmap, RGB(255, 0, 255));
    option.button->SetFocusRectangle(1);
    option.button->SetGradient(true);
  }

  SetDlgItemTextA(Handle(), IDC_VERSION_LABEL, VersionLabelText(version).c_str());
  versionLabel_.SetFont(VersionLabelLook());
  releaseLink_.SetFont(LinkLook(releaseAvailable_));

  SetFocus(finished_.Handle());
  ShowWindow(Handle(), SW_SHOW);
  return false;
}

bool CZolpDlg::OnCommand(int id, int code, HWND control) {
  if (id == IDOK || id == IDCANCEL) return Dialog::OnCommand(id, code, control);
  // Buttons report BN_CLICKED and notify-style labels STN_CLICKED: both are 0.
  if (code != BN_CLICKED) return false;
  MainCommand command = ClickAction(id, releaseAvailable_, readmeAvailable_);
  if (command == MainCommand::None) return false;
  Run(command);
  return true;
}

void CZolpDlg::OnOK() {
  HWND focus = GetFocus();
  MainCommand command = EnterKeyAction(focus ? GetDlgCtrlID(focus) : 0);
  if (command == MainCommand::Close) {
    End(IDOK);
    return;
  }
  Run(command);
}

// Every dialog opened from here is owned by the main dialog, which stays
// open, disabled, behind it.
void CZolpDlg::Run(MainCommand command) {
  switch (command) {
    case MainCommand::Usb: RunUsbDialog(Handle()); break;
    case MainCommand::Cd: RunCdDialog(Handle()); break;
    case MainCommand::Diskette: RunDisketteDialog(Handle()); break;
    case MainCommand::Image: RunImageDialog(Handle()); break;
    case MainCommand::Update: RunUpdateDialog(Handle()); break;
    case MainCommand::Close: End(IDCANCEL); break;
    case MainCommand::Readme: {
      CReadMeDlg viewer;
      viewer.DoModal(Handle());
      break;
    }
    case MainCommand::Release: {
      CReleaseDlg viewer;
      viewer.DoModal(Handle());
      break;
    }
    case MainCommand::About: {
      CAboutDlg about;
      about.DoModal(Handle());
      break;
    }
    case MainCommand::None: break;
  }
}

void CZolpDlg::CheckAdministrator() {
  if (!adminCheckPending_) return;
  if (IsUserAdmin(AppServices())) return;  // a member is asked again on each paint
  adminCheckPending_ = false;
  EnableWindow(usb_.Handle(), FALSE);
  EnableWindow(update_.Handle(), FALSE);
  // The notice comes once this paint has put the dialog on the screen.
  PostMessageA(Handle(), kShowAdminNotice, 0, 0);
}

bool CZolpDlg::OverLink(HWND window, const CHoverFontStatic& link) const {
  return window == link.Handle() || link.IsHovering();
}

INT_PTR CZolpDlg::OnMessage(UINT message, WPARAM wParam, LPARAM, bool& handled) {
  handled = true;
  if (message == probeMessage_) return Answer(probeMessage_);
  switch (message) {
    case WM_PAINT:
      CheckAdministrator();
      if (IsIconic(Handle())) {
        PAINTSTRUCT paint;
        HDC dc = BeginPaint(Handle(), &paint);
        SendMessageA(Handle(), WM_ICONERASEBKGND, reinterpret_cast<WPARAM>(dc), 0);
        RECT client;
        GetClientRect(Handle(), &client);
        int x = (client.right - GetSystemMetrics(SM_CXICON) + 1) / 2;
        int y = (client.bottom - GetSystemMetrics(SM_CYICON) + 1) / 2;
        DrawIcon(dc, x, y, icon_);
        EndPaint(Handle(), &paint);
        return TRUE;
      }
      handled = false;
      return FALSE;
    case kShowAdminNotice:
      MessageBoxA(Handle(), kNotAdminNotice, "Notice", MB_OK | MB_ICONINFORMATION);
      return TRUE;
    case kMsgBuildingWindow:
      ShowBuildingWindow(wParam != 0);
      return TRUE;
    case WM_QUERYDRAGICON:
      return reinterpret_cast<INT_PTR>(icon_);
    case WM_SYSCOMMAND: {
      MainCommand command = SystemCommandAction(static_cast<std::uint32_t>(wParam),
                                                releaseAvailable_, readmeAvailable_);
      if (command == MainCommand::None) {
        handled = false;
        return FALSE;
      }
      Run(command);
      return TRUE;
    }
    case WM_SETCURSOR: {
      HWND over = reinterpret_cast<HWND>(wParam);
      bool hand = (readmeAvailable_ && OverLink(over, readmeLink_)) ||
                  (releaseAvailable_ && OverLink(over, releaseLink_));
      SetCursor(LoadCursorA(nullptr, hand ? IDC_HAND : IDC_ARROW));
      return Answer(TRUE);
    }
    default:
      handled = false;
      return FALSE;
  }
}

}  // namespace zolp::win
