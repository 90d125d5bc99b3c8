// "Install to USB Flash Drive" (template 105): the view of UsbFlow.
#pragma once

#include "OptionDlg.h"
#include "flow/usb_flow.h"

namespace zolp::win {

class CUSBDlg : public COptionDlg {
 public:
  CUSBDlg();

 private:
  UsbFlow flow_;
};

}  // namespace zolp::win
