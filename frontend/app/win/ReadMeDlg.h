// The readme viewer: readme.txt in a read-only field, in Courier New.
#pragma once

#include "Dialog.h"
#include "ReadOnlyEdit.h"

namespace zolp::win {

class CReadMeDlg : public Dialog {
 public:
  CReadMeDlg();
  ~CReadMeDlg() override;

 protected:
  bool OnInit() override;

 private:
  CReadOnlyEdit text_;
  HFONT font_ = nullptr;
};

}  // namespace zolp::win
