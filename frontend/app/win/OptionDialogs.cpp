#include "OptionDialogs.h"

// Each option's dialog is wired in here as it joins the program.
namespace zolp::win {

bool RunUsbDialog() { return false; }
bool RunCdDialog() { return false; }
bool RunDisketteDialog() { return false; }
bool RunImageDialog() { return false; }
bool RunUpdateDialog() { return false; }

}  // namespace zolp::win
