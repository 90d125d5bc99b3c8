#include "OptionDialogs.h"

// Each option's dialog is wired in here as it joins the program.
namespace zolp::win {

bool RunUsbDialog(HWND) { return false; }
bool RunCdDialog(HWND) { return false; }
bool RunDisketteDialog(HWND) { return false; }
bool RunImageDialog(HWND) { return false; }
bool RunUpdateDialog(HWND) { return false; }

}  // namespace zolp::win
