// "Create a Bootable Image" (template 106): the view of ImageFlow.
#pragma once

#include "OptionDialog.h"
#include "flow/image_flow.h"

namespace zolp::win {

class CImageDlg : public OptionDialog {
 public:
  CImageDlg();

 protected:
  bool OnInit() override;

 private:
  ImageFlow flow_;
};

}  // namespace zolp::win
