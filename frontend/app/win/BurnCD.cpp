#include "BurnCD.h"

#include "AppServices.h"
#include "resource.h"

namespace zolp::win {

CBurnCD::CBurnCD(const std::string& imagePath)
    : COptionDlg(IDD_BURN), flow_(AppServices(), *this, imagePath) {
  SetFlow(flow_);
}

}  // namespace zolp::win
