// The dialogs behind the main dialog's option buttons. Each runs its dialog
// modally over the owner (the main dialog); the main dialog stays open behind
// it and does not look at the result.
#pragma once

#include <windows.h>

namespace zolp::win {

void RunUsbDialog(HWND owner);
void RunCdDialog(HWND owner);
void RunDisketteDialog(HWND owner);
void RunImageDialog(HWND owner);
void RunUpdateDialog(HWND owner);

}  // namespace zolp::win
