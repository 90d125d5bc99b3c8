#include "ReadMeDlg.h"

#include "AppServices.h"
#include "ViewerFont.h"
#include "model/viewer_text.h"
#include "resource.h"

namespace zolp::win {

CReadMeDlg::CReadMeDlg() : Dialog(IDD_README) {}

CReadMeDlg::~CReadMeDlg() {
  if (font_) DeleteObject(font_);
}

bool CReadMeDlg::OnInit() {
  text_.Attach(Handle(), IDC_README_TEXT);
  font_ = CreateViewerFont(Handle(), 10);
  SendMessageA(Item(IDC_README_TEXT), WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
  std::string text = WithCrLf(LoadViewerText(kReadmeFile, kReadmeMessages));
  SetDlgItemTextA(Handle(), IDC_README_TEXT, text.c_str());
  return true;
}

}  // namespace zolp::win
