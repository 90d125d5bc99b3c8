// "Update Diagnostic Partition" (template 144): the view of UpdateFlow. While
// it exists the Windows session may not end.
#pragma once

#include "OptionDlg.h"
#include "flow/update_flow.h"

namespace zolp::win {

class CUpdateDlg : public COptionDlg {
 public:
  CUpdateDlg();

 protected:
  INT_PTR OnMessage(UINT message, WPARAM wParam, LPARAM lParam, bool& handled) override;

 private:
  UpdateFlow flow_;
};

}  // namespace zolp::win
