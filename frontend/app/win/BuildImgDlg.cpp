#include "BuildImgDlg.h"

#include "resource.h"

namespace zolp::win {

CBuildImgDlg::CBuildImgDlg() : Dialog(IDD_BUILDIMG) {}

}  // namespace zolp::win
