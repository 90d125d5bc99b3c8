// "Create a Bootable CD" (template 109): the view of CdFlow. It runs the burn
// dialog when the image was built for a burn.
#pragma once

#include <string>

#include "OptionDlg.h"
#include "flow/cd_flow.h"

namespace zolp::win {

class CCDDlg : public COptionDlg {
 public:
  CCDDlg();

 protected:
  bool OnInit() override;

 private:
  bool RunBurn(const std::string& imagePath);

  CdFlow flow_;
};

}  // namespace zolp::win
