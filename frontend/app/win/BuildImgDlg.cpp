#include "BuildImgDlg.h"

#include "resource.h"

namespace zolp::win {

cBuildImg::cBuildImg() : Dialog(IDD_BUILDIMG) {}

}  // namespace zolp::win
