// The small "Building the image..." window shown while the image builder runs.
// The image build worker creates and destroys it on its own thread.
#pragma once

#include "Dialog.h"

namespace zolp::win {

class CBuildImgDlg : public Dialog {
 public:
  CBuildImgDlg();

 protected:
  void OnCancel() override {}
  void OnOK() override {}
};

}  // namespace zolp::win
