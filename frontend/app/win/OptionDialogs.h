// The dialogs behind the main dialog's option buttons. Each runs its dialog
// modally over the owner (the main dialog) and answers true, or answers false
// while that dialog is not part of the program yet, in which case the button
// does nothing.
#pragma once

#include <windows.h>

namespace zolp::win {

bool RunUsbDialog(HWND owner);
bool RunCdDialog(HWND owner);
bool RunDisketteDialog(HWND owner);
bool RunImageDialog(HWND owner);
bool RunUpdateDialog(HWND owner);

}  // namespace zolp::win
