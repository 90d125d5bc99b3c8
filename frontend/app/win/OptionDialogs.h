// The dialogs behind the main dialog's option buttons. Each runs its dialog
// modally (no parent) and answers true, or answers false while that dialog is
// not part of the program yet, in which case the button does nothing.
#pragma once

namespace zolp::win {

bool RunUsbDialog();
bool RunCdDialog();
bool RunDisketteDialog();
bool RunImageDialog();
bool RunUpdateDialog();

}  // namespace zolp::win
