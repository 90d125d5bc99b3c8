// Cases on the main dialog itself: the layout each DD.CFG marker chooses, the
// title, the option buttons, Enter, a second start and the command words.
#include <windows.h>

#include <string>

#include "driver_cases.h"

namespace zolptest {
namespace {

int WidthOf(HWND dialog, int id) {
  RECT r = ItemRect(dialog, id);
  return r.right - r.left;
}

// Which option buttons are shown, and the template-specific texts.
struct Expected {
  const char* title;
  bool diskette, update, image;
  bool tinyUpdateAndImage;
  const char* finishedCaption;
  const char* runWhat;
};

void CheckTemplate(Zolp& z, const Expected& e) {
  HWND m = z.main;
  if (!m) return;
  CHECK_EQ_TEXT(Text(m), e.title);
  CHECK(ItemVisible(m, IDC_USB));
  CHECK(ItemVisible(m, IDC_CD));
  CHECK(ItemVisible(m, IDC_FINISHED));
  CHECK(ItemVisible(m, IDC_LOGO));
  CHECK(ItemVisible(m, IDC_DISKETTE) == e.diskette);
  CHECK(ItemVisible(m, IDC_UPDATE) == e.update);
  CHECK(ItemVisible(m, IDC_IMAGE) == e.image);
  // Every option button exists in every template, shown or not.
  for (int id : {IDC_USB, IDC_CD, IDC_DISKETTE, IDC_IMAGE, IDC_UPDATE, IDC_FINISHED})
    CHECK(GetDlgItem(m, id) != nullptr);
  int usbWidth = WidthOf(m, IDC_USB);
  if (e.tinyUpdateAndImage) {
    CHECK(WidthOf(m, IDC_UPDATE) * 8 < usbWidth);
    CHECK(WidthOf(m, IDC_IMAGE) * 6 < usbWidth);
    RECT logo = ItemRect(m, IDC_LOGO), update = ItemRect(m, IDC_UPDATE);
    CHECK(update.left >= logo.left && update.bottom <= logo.bottom);
    CHECK(GetDlgItem(m, IDC_UPDATE_TEXT) == nullptr);
  } else if (e.update) {
    CHECK(WidthOf(m, IDC_UPDATE) == usbWidth);
  }
  CHECK_EQ_TEXT(ItemText(m, IDC_FINISHED), e.finishedCaption);
  std::string usbText = ItemText(m, IDC_USB_TEXT);
  CHECK(usbText.find(std::string("to run ") + e.runWhat + " from.") != std::string::npos);
  CHECK(usbText.find("flash drive  products") != std::string::npos);
  CHECK((GetDlgItem(m, IDC_DISKETTE_TEXT) != nullptr) == e.diskette);
}

}  // namespace

void CaseTemplate101() {
  Zolp z("t101");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]", "Files=1"}));
  z.dir.Write("Version.txt", Crlf({"OEM Ver: A05"}));
  z.dir.Write("readme.txt", Crlf({"Readme"}));
  z.Start();
  CHECK_EQ_TEXT(ItemText(z.main, IDC_VERSION_LABEL), "Package Version A05");
  CheckTemplate(z, {kDiagTitle, true, true, true, false, "Finished Creating Diagnostic Media",
                    "diagnostics"});
  CHECK_EQ_TEXT(ItemText(z.main, IDC_UPDATE_TEXT),
                "Select this option to update an existing diagnostic utility partition on this "
                "computer. The partition must already exist or this option will fail. See the "
                "readme file for additional information. ");
  z.Shot("main-101");
  z.Finish();
}

void CaseTemplate102WithoutPackageFile() {
  Zolp z("t102");
  z.Start();
  CheckTemplate(z, {kDiagTitle, false, true, true, false, "Finished Creating Diagnostic Media",
                    "diagnostics"});
  // Finished sits centred below the two columns.
  RECT usb = ItemRect(z.main, IDC_USB), cd = ItemRect(z.main, IDC_CD);
  RECT fin = ItemRect(z.main, IDC_FINISHED);
  CHECK(fin.left > usb.left && fin.right < cd.right);
  z.Shot("main-102");
  z.Finish();
}

void CaseTemplate103() {
  Zolp z("t103");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]", "x=1", "[VORTALIS]"}));
  z.Start();
  CheckTemplate(z, {"Vortalis Distribution Package", false, false, true, false,
                    "Finished Creating Media", "Vortalis"});
  CHECK(ItemText(z.main, IDC_CD_TEXT).find("run Vortalis from") != std::string::npos);
  z.Shot("main-103");
  z.Finish();
}

void CaseTemplate104() {
  Zolp z("t104");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]", "[TIRANDOL]", "[VORTALIS]"}));
  z.Start();
  CheckTemplate(z, {kDiagTitle, false, true, true, true, "Finished Creating Diagnostic Media",
                    "diagnostics"});
  z.Shot("main-104");
  z.Finish();
}

void CaseMarkersIgnoreCaseAndBlanks() {
  Zolp z("markers");
  z.dir.Write("DD.CFG", Crlf({"; [TIRANDOL]", "  [disk1]  ", "Key=[VORTALIS]"}));
  z.Start();
  CHECK(ItemVisible(z.main, IDC_DISKETTE));  // 101
  z.Finish();
}

void CaseTitleFromPackage() {
  Zolp z("title");
  std::string longName(200, 'N');
  z.dir.Write("DD.CFG", Crlf({"[VORTALIS]", ("Package:" + longName).c_str()}));
  z.Start();
  CHECK_EQ_TEXT(Text(z.main), std::string(127, 'N'));
  z.Finish();
}

// Every option button is enabled for an administrator; the image and CD
// buttons open their dialogs, which Cancel closes (each option has cases of its
// own: driver_options.cpp, driver_usb.cpp, driver_cd.cpp, driver_update.cpp).
void CaseOptionButtons() {
  Zolp z("options");
  z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
  z.Start();
  std::size_t windows = TopWindows(z.process->Id()).size();
  for (int id : {IDC_USB, IDC_CD, IDC_DISKETTE, IDC_IMAGE, IDC_UPDATE})
    CHECK(IsWindowEnabled(GetDlgItem(z.main, id)));  // wine's user counts as an administrator
  const struct {
    int button;
    const char* title;
  } kOpened[] = {{IDC_IMAGE, "Create a Bootable Image"}, {IDC_CD, "Create Bootable CD Image"}};
  for (const auto& option : kOpened) {
    PostMessageA(GetDlgItem(z.main, option.button), BM_CLICK, 0, 0);
    HWND dialog = WaitTopWindow(z.process->Id(), option.title, kStartTimeout);
    CHECK(dialog != nullptr);
    if (dialog) {
      PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
      CHECK(WaitFor([&] { return !IsWindow(dialog); }, 5000));
    }
  }
  // A click on the logo is swallowed: nothing opens, nothing closes.
  PostClick(GetDlgItem(z.main, IDC_LOGO));
  Sleep(300);
  CHECK(z.process->Running());
  CHECK(TopWindows(z.process->Id()).size() == windows);
  z.Finish();
}

void CaseEnterKey() {
  {
    Zolp z("enter-finished");
    z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
    z.Start();
    HWND focused = GetDlgItem(z.main, IDC_FINISHED);
    PostKey(focused, VK_RETURN);
    DWORD code = 1234;
    CHECK(z.process->WaitExit(5000, &code));
    CHECK(code == 0);
  }
  {
    Zolp z("enter-diskette");
    z.dir.Write("DD.CFG", Crlf({"[Disk1]"}));
    z.Start();
    HWND diskette = GetDlgItem(z.main, IDC_DISKETTE);
    PostMessageA(z.main, WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(diskette), TRUE);
    Sleep(200);
    PostKey(diskette, VK_RETURN);
    // Enter opens the diskette option (which finds no drive under wine) and,
    // above all, doesn't close the program.
    HWND warning = WaitTopWindow(z.process->Id(), "Warning", kStartTimeout);
    CHECK(warning != nullptr);
    if (warning) PostMessageA(warning, WM_COMMAND, IDOK, 0);
    Sleep(kQuiet);
    CHECK(z.process->Running());
    PostKey(diskette, VK_ESCAPE);
    CHECK(z.process->WaitExit(5000));
  }
}

void CaseSecondStartBringsFirstForward() {
  Zolp z("instance");
  z.Start();
  UINT probe = RegisterWindowMessageA("name##_MSG");
  DWORD_PTR answer = 0;
  CHECK(SendMessageTimeoutA(z.main, probe, 0, 0, SMTO_ABORTIFHUNG, 2000, &answer));
  CHECK(answer == probe);

  // Something else in front first.
  HWND other = CreateWindowExA(0, "STATIC", "driver window", WS_OVERLAPPEDWINDOW | WS_VISIBLE,
                               0, 0, 300, 200, nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
  SetForegroundWindow(other);
  Sleep(300);
  MSG msg;
  while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&msg);
  CHECK(GetForegroundWindow() != z.main);

  Process second(z.dir.Program(), "", z.dir.Path());
  DWORD code = 1234;
  CHECK(second.WaitExit(5000, &code));
  CHECK(code == 0);
  Sleep(300);
  CHECK(GetForegroundWindow() == z.main);
  DestroyWindow(other);
  z.Finish();
}

// A minimised copy is restored, not just brought forward, by a second start.
void CaseSecondStartRestoresMinimisedFirst() {
  Zolp z("minimised");
  z.Start();
  if (!z.main) return;
  ShowWindow(z.main, SW_MINIMIZE);
  CHECK(WaitFor([&] { return IsIconic(z.main) != FALSE; }, 3000));
  Sleep(300);
  CHECK(z.process->Running());  // the minimised paint draws the icon
  Process second(z.dir.Program(), "", z.dir.Path());
  CHECK(second.WaitExit(5000));
  CHECK(WaitFor([&] { return !IsIconic(z.main); }, 3000));
  z.Finish();
}

// Verbose mode shows reports that are otherwise silent: a missing DD.CFG
// gives "File Open Failed" boxes before the main dialog.
void CaseCommandWords() {
  struct Row {
    const char* tail;
    bool verbose;
  } rows[] = {{" /VERBOSE -uptest", true}, {" verbosex", false}, {" -Verbose", true}};
  for (const Row& row : rows) {
    Zolp z("words");
    z.process = std::make_unique<Process>(z.dir.Program(), row.tail, z.dir.Path());
    int boxes = 0;
    HWND main = nullptr;
    WaitFor([&] {
      if (HWND box = FindTopWindow(z.process->Id(), "File Open Failed")) {
        if (boxes == 0 && row.verbose) CHECK(SaveScreenshot(box, shotsDir + "\\verbose-report.bmp"));
        ++boxes;
        PostMessageA(box, WM_COMMAND, IDOK, 0);
        WaitFor([&] { return !IsWindow(box); }, 3000);
      }
      for (HWND window : TopWindows(z.process->Id()))
        if (GetDlgItem(window, IDC_FINISHED)) main = window;
      return main != nullptr;
    }, kStartTimeout);
    z.main = main;
    CHECK(main != nullptr);
    CHECK((boxes > 0) == row.verbose);
    if (row.verbose) CHECK(boxes >= 3);  // one per template marker looked up
    z.Finish();
  }
}

}  // namespace zolptest
