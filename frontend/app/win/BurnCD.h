// "Burn CD" (template 112): the view of BurnFlow. Its worker's questions are
// modal to it, and its animation and progress bar show the burn.
#pragma once

#include <string>

#include "OptionDlg.h"
#include "flow/burn_flow.h"

namespace zolp::win {

class CBurnCD : public COptionDlg {
 public:
  explicit CBurnCD(const std::string& imagePath);

 private:
  BurnFlow flow_;
};

}  // namespace zolp::win
