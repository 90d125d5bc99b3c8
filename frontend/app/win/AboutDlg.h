// The About box: the package logo, the program's version and the package name.
#pragma once

#include "Dialog.h"
#include "ImageButton.h"

namespace zolp::win {

class CAboutDlg : public Dialog {
 public:
  CAboutDlg();

 protected:
  bool OnInit() override;

 private:
  CImageButton logo_;
};

// The logo as the main dialog and the About box show it: no frame, no
// caption, no focus rectangle, clicks ignored; the cyan-keyed art when
// DD.CFG has a "[QUELLMARK]" line.
void SetUpLogo(CImageButton& logo);

}  // namespace zolp::win
