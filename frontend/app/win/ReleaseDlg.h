// The release information viewer: the package version and the whole of
// Version.txt.
#pragma once

#include "Dialog.h"
#include "FontStatic.h"
#include "ReadOnlyEdit.h"

namespace zolp::win {

class CReleaseDlg : public Dialog {
 public:
  CReleaseDlg();
  ~CReleaseDlg() override;

 protected:
  bool OnInit() override;

 private:
  CFontStatic versionHeading_;
  CFontStatic infoHeading_;
  CReadOnlyEdit text_;
  HFONT font_ = nullptr;
};

}  // namespace zolp::win
