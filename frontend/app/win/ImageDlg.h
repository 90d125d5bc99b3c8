// "Create a Bootable Image" (template 106): the view of ImageFlow.
#pragma once

#include "OptionDlg.h"
#include "flow/image_flow.h"

namespace zolp::win {

class CImageDlg : public COptionDlg {
 public:
  CImageDlg();

 protected:
  bool OnInit() override;

 private:
  ImageFlow flow_;
};

}  // namespace zolp::win
