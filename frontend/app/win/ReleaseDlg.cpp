#include "ReleaseDlg.h"

#include "AppServices.h"
#include "ViewerFont.h"
#include "model/font_style.h"
#include "model/viewer_text.h"
#include "resource.h"

namespace zolp::win {

CReleaseDlg::CReleaseDlg() : Dialog(IDD_RELEASE) {}

CReleaseDlg::~CReleaseDlg() {
  if (font_) DeleteObject(font_);
}

bool CReleaseDlg::OnInit() {
  versionHeading_.Attach(Handle(), IDC_RELEASE_HEADING);
  infoHeading_.Attach(Handle(), IDC_RELEASE_INFO_HEADING);
  text_.Attach(Handle(), IDC_RELEASE_TEXT);
  SetFocus(Item(IDOK));
  font_ = CreateViewerFont(Handle(), 9);
  SendMessageA(Item(IDC_RELEASE_TEXT), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  // The headings keep the label's default face and size.
  versionHeading_.SetFont("MS Sans Serif", 8, RGB(0, 0, 0), kFontBold | kFontCentred);
  infoHeading_.SetFont("MS Sans Serif", 8, RGB(0, 0, 0), kFontBold | kFontCentred);

  std::optional<std::string> version = PackageVersion();
  SetDlgItemTextA(Handle(), IDC_RELEASE_VERSION, version ? version->c_str() : "Unknown");
  std::string text = WithCrLf(LoadViewerText(kVersionFile, kReleaseMessages));
  SetDlgItemTextA(Handle(), IDC_RELEASE_TEXT, text.c_str());
  return false;
}

}  // namespace zolp::win
