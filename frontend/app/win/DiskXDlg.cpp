#include "DiskXDlg.h"

#include "AppServices.h"
#include "resource.h"

namespace zolp::win {

CDisketteDlg::CDisketteDlg() : OptionDialog(IDD_DISKETTE), flow_(AppServices(), *this) {
  SetFlow(flow_);
}

CDiskXDlg::CDiskXDlg(unsigned current, unsigned total, char letter)
    : OptionDialog(IDD_DISKX), flow_(AppServices(), *this, current, total, letter) {
  SetFlow(flow_);
}

}  // namespace zolp::win
