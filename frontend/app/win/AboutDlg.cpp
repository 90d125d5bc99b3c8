#include "AboutDlg.h"

#include <string>
#include <vector>

#include "AppServices.h"
#include "model/main_dialog_model.h"
#include "resource.h"

namespace zolp::win {
namespace {

constexpr std::size_t kVersionTextMax = 24;

// A string of the program's version block ("FileVersion", say); empty when
// the block can't be read.
std::string VersionString(const char* name) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  DWORD ignored = 0;
  DWORD size = GetFileVersionInfoSizeA(path, &ignored);
  if (size == 0) return {};
  std::vector<char> block(size);
  if (!GetFileVersionInfoA(path, 0, size, block.data())) return {};
  std::string query = std::string("\\StringFileInfo\\040904e4\\") + name;
  char* value = nullptr;
  UINT valueLength = 0;
  if (!VerQueryValueA(block.data(), query.c_str(), reinterpret_cast<void**>(&value),
                      &valueLength) ||
      !value)
    return {};
  return std::string(value);
}

}  // namespace

void SetUpLogo(CImageButton& logo) {
  logo.SetDrawingStyle(CImageButton::kStyleNoFrame);
  logo.SetCaptionMode(CImageButton::kCaptionNone);
  logo.SetFocusRectangle(0);
  logo.SetIgnoreClicks(true);
  if (PackageHasLine("[QUELLMARK]")) {
    logo.SetBitmap(IDB_LOGO_CYAN, RGB(0, 255, 255));
  } else {
    logo.SetBitmap(IDB_LOGO, RGB(255, 0, 255));
  }
}

CAboutDlg::CAboutDlg() : Dialog(IDD_ABOUTBOX) {}

bool CAboutDlg::OnInit() {
  logo_.Attach(Handle(), IDC_LOGO);
  SetUpLogo(logo_);
  std::string fileVersion = VersionString("FileVersion");
  if (!fileVersion.empty()) {
    SetDlgItemTextA(Handle(), IDC_ABOUT_VERSION,
                    CutTo("Version " + fileVersion, kVersionTextMax).c_str());
    std::optional<std::string> package = PackageValue(kPackageFile, "Package", false, kPackageNameMax);
    std::string name = package ? *package : VersionString("FileDescription");
    SetDlgItemTextA(Handle(), IDC_ABOUT_PACKAGE, name.c_str());
  }
  SetFocus(Item(IDOK));
  return false;
}

}  // namespace zolp::win
