// Test gallery (not shipped): shows ZOLP's shared windows and custom controls
// on their own, in the states the driver checks from outside.
//   zolp_gallery.exe progress V1 V2 ...  copy progress window, one value per WM_APP
//   zolp_gallery.exe building            build window owned by a worker thread
//   zolp_gallery.exe readme              readme viewer, then release viewer
//   zolp_gallery.exe controls            image buttons, labels and a read-only field
//   zolp_gallery.exe notadmin            the main dialog for a user outside the
//                                        Administrators group
//   zolp_gallery.exe cursor              the main dialog answering set-cursor
//                                        requests; the answers go into its title
#include <windows.h>
#include <commctrl.h>

#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "resource.h"
#include "win/AppServices.h"
#include "win/BuildImgDlg.h"
#include "win/FontStatic.h"
#include "win/ImageButton.h"
#include "win/ProgressDlg.h"
#include "win/ReadMeDlg.h"
#include "win/ReadOnlyEdit.h"
#include "win/ReleaseDlg.h"
#include "win/TrackControl.h"
#include "win/ZolpDlg.h"
#include "zolp/win32_host.h"

using namespace zolp::win;

namespace {

void ShowProgress(const std::vector<int>& values) {
  CProgressDlg progress;
  if (!progress.Create(nullptr)) return;
  std::size_t next = 0;
  progress.SetPercentage(values.empty() ? 0 : values[next++]);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    if (msg.message == WM_APP && msg.hwnd == progress.Handle()) {
      if (next < values.size()) {
        progress.SetPercentage(values[next++]);
      } else if (next == values.size()) {
        ++next;
        progress.SetTitle("Diagnostic Partition Update Progress");
        progress.SetTargetIcon(IDI_PARTITION);
      } else {
        break;
      }
      continue;
    }
    if (!IsDialogMessageA(progress.Handle(), &msg)) {
      TranslateMessage(&msg);
      DispatchMessageA(&msg);
    }
  }
}

// As the image build worker does: the thread creates the window, and ends it
// when told (here by WM_APP instead of the builder's end).
void ShowBuilding() {
  std::thread worker([] {
    CBuildImgDlg window;
    if (!window.Create(nullptr)) return;
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
      if (msg.message == WM_APP) break;
      if (!IsDialogMessageA(window.Handle(), &msg)) DispatchMessageA(&msg);
    }
  });
  worker.join();
}

struct ControlsPage {
  CImageButton normal, noBitmap, longCaption, disabled, logo;
  CHoverFontStatic link;
  CFontStatic label;
  CReadOnlyEdit edit;
  int clicks = 0;
};

ControlsPage* page = nullptr;

LRESULT CALLBACK ControlsProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_COMMAND:
      if (HIWORD(wParam) == 0 && lParam != 0) {
        ++page->clicks;
        std::string title = "controls: " + std::to_string(page->clicks) + " last " +
                            std::to_string(LOWORD(wParam));
        SetWindowTextA(window, title.c_str());
      }
      return 0;
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLOREDIT: {
      HWND control = message == WM_DRAWITEM
                         ? reinterpret_cast<const DRAWITEMSTRUCT*>(lParam)->hwndItem
                         : reinterpret_cast<HWND>(lParam);
      LRESULT result = 0;
      if (Control::Reflect(control, message, wParam, lParam, result)) return result;
      break;
    }
    case WM_TIMER: {
      // The read-only field tells whether the mouse hovers over the link.
      const char* state = page->link.IsHovering() ? "hovering" : "not hovering";
      char shown[32] = {};
      GetDlgItemTextA(window, 8, shown, sizeof shown);
      if (std::string(shown) != state) SetDlgItemTextA(window, 8, state);
      return 0;
    }
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcA(window, message, wParam, lParam);
}

void ShowControls() {
  HINSTANCE instance = GetModuleHandleA(nullptr);
  WNDCLASSA windowClass{};
  windowClass.lpfnWndProc = &ControlsProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = GetSysColorBrush(COLOR_BTNFACE);
  windowClass.lpszClassName = "ZolpGallery";
  RegisterClassA(&windowClass);
  HWND window = CreateWindowExA(0, "ZolpGallery", "controls: 0", WS_OVERLAPPED | WS_CAPTION |
                                WS_SYSMENU, 40, 40, 600, 520, nullptr, nullptr, instance, nullptr);
  HFONT font = static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
  struct Child {
    int id;
    const char* cls;
    const char* text;
    DWORD style;
    int x, y, w, h;
  } children[] = {
      {1, "BUTTON", "Install to a USB Flash Drive", BS_PUSHBUTTON | WS_TABSTOP, 10, 10, 270, 50},
      {2, "BUTTON", "No bitmap here", BS_PUSHBUTTON | WS_TABSTOP, 300, 10, 270, 50},
      {3, "BUTTON", "A caption far too long for this little button to hold", BS_PUSHBUTTON, 10, 70, 200, 50},
      {4, "BUTTON", "Disabled option", BS_PUSHBUTTON | WS_DISABLED, 300, 70, 270, 50},
      {5, "BUTTON", "Logo goes here!", BS_PUSHBUTTON, 10, 130, 560, 130},
      {6, "STATIC", "Click here to view the readme", SS_CENTER, 10, 270, 560, 20},
      {7, "STATIC", "A bold & centred label", SS_LEFT, 10, 295, 560, 24},
      {8, "EDIT", "not hovering", ES_MULTILINE | ES_READONLY | WS_BORDER | WS_VSCROLL,
       10, 325, 560, 120},
  };
  for (const Child& c : children) {
    HWND child = CreateWindowExA(0, c.cls, c.text, WS_CHILD | WS_VISIBLE | c.style, c.x, c.y, c.w,
                                 c.h, window, reinterpret_cast<HMENU>(static_cast<INT_PTR>(c.id)),
                                 instance, nullptr);
    SendMessageA(child, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
  }
  ControlsPage controls;
  page = &controls;
  for (CImageButton* b : {&controls.normal, &controls.noBitmap, &controls.longCaption, &controls.disabled}) {
    b->SetFocusRectangle(1);
    b->SetGradient(true);
  }
  controls.normal.Attach(window, 1);
  controls.normal.SetBitmap(IDB_USB);
  controls.noBitmap.Attach(window, 2);
  controls.longCaption.Attach(window, 3);
  controls.longCaption.SetBitmap(IDB_CD);
  controls.disabled.Attach(window, 4);
  controls.disabled.SetBitmap(IDB_UPDATE);
  controls.logo.Attach(window, 5);
  controls.logo.SetDrawingStyle(CImageButton::kStyleNoFrame);
  controls.logo.SetCaptionMode(CImageButton::kCaptionNone);
  controls.logo.SetIgnoreClicks(true);
  controls.logo.SetBitmap(IDB_LOGO_CYAN, RGB(0, 255, 255));
  controls.link.Attach(window, 6);
  controls.link.SetFont("", 15, RGB(0, 0, 255), 0x04 | 0x20);
  controls.label.Attach(window, 7);
  controls.label.SetFont("", 18, RGB(0, 0, 0), 0x21);
  controls.label.SetFont("", 18, RGB(0, 0, 0), 0x20);  // stays bold
  controls.edit.Attach(window, 8);
  ShowWindow(window, SW_SHOW);
  SetFocus(GetDlgItem(window, 1));
  SetTimer(window, 1, 100, nullptr);
  MSG msg;
  while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageA(&msg);
  }
  page = nullptr;
}

class NotAdministrator : public zolp::Security {
 public:
  bool IsMemberOfAdministrators() override { return false; }
};

// Asks the main dialog which cursor it shows over a few of its controls, as
// the system does while the mouse moves, and writes the answers into the
// title: "cursor: <readme link> <release link> <version label>".
HWND cursorDialog = nullptr;

void CALLBACK AskCursors(HWND, UINT, UINT_PTR timer, DWORD) {
  KillTimer(nullptr, timer);
  HWND dialog = cursorDialog;
  HCURSOR hand = LoadCursorA(nullptr, IDC_HAND);
  std::string title = "cursor:";
  for (int id : {IDC_README_LINK, IDC_RELEASE_LINK, IDC_VERSION_LABEL}) {
    SetCursor(nullptr);
    LRESULT handled = SendMessageA(dialog, WM_SETCURSOR, reinterpret_cast<WPARAM>(GetDlgItem(dialog, id)),
                                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
    title += GetCursor() == hand ? " hand" : " arrow";
    if (!handled) title += "(unhandled)";
  }
  SetWindowTextA(dialog, title.c_str());
}

class CursorProbeDlg : public CZolpDlg {
 public:
  CursorProbeDlg() : CZolpDlg(102) {}

 protected:
  bool OnInit() override {
    bool result = CZolpDlg::OnInit();
    cursorDialog = Handle();
    SetTimer(nullptr, 0, 300, &AskCursors);
    return result;
  }
};

}  // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
  INITCOMMONCONTROLSEX controls{sizeof controls, 0xFF};
  InitCommonControlsEx(&controls);
  zolp::win32::Win32Host host;
  SetAppServices(host.Wire({}));

  std::vector<std::string> args;
  for (int i = 1; i < __argc; ++i) args.push_back(__argv[i]);
  if (args.empty()) return 2;
  if (args[0] == "progress") {
    std::vector<int> values;
    for (std::size_t i = 1; i < args.size(); ++i) values.push_back(std::atoi(args[i].c_str()));
    ShowProgress(values);
  } else if (args[0] == "building") {
    ShowBuilding();
  } else if (args[0] == "readme") {
    CReadMeDlg readme;
    readme.DoModal();
    CReleaseDlg release;
    release.DoModal();
  } else if (args[0] == "controls") {
    ShowControls();
  } else if (args[0] == "notadmin") {
    NotAdministrator notAdmin;
    zolp::Services services = host.Wire({});
    services.security = &notAdmin;
    SetAppServices(services);
    CZolpDlg dialog(101);
    dialog.DoModal();
  } else if (args[0] == "cursor") {
    CursorProbeDlg dialog;
    dialog.DoModal();
  } else {
    return 2;
  }
  return 0;
}
