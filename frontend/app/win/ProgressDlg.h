// The copy progress window: an animation between the program's icon and the
// target's, a smooth bar and the percentage. Modeless; its user creates,
// updates and destroys it. Escape does nothing.
#pragma once

#include <string>

#include "Dialog.h"

namespace zolp::win {

class CProgressDlg : public Dialog {
 public:
  CProgressDlg();

  void SetPercentage(int percent);
  void SetPercentText(const std::string& text);  // "42% - 18.3 MB/s - about 1 min left"
  void SetTargetIcon(int iconResource);
  void SetTitle(const std::string& title);

 protected:
  bool OnInit() override;
  void OnCancel() override {}
  void OnOK() override {}
};

}  // namespace zolp::win
