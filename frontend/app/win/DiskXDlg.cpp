#include "DiskXDlg.h"

#include "AppServices.h"
#include "resource.h"

namespace zolp::win {

CDisketteDlg::CDisketteDlg() : COptionDlg(IDD_DISKETTE), flow_(AppServices(), *this) {
  SetFlow(flow_);
}

CDiskXDlg::CDiskXDlg(unsigned current, unsigned total, char letter)
    : COptionDlg(IDD_DISKX), flow_(AppServices(), *this, current, total, letter) {
  SetFlow(flow_);
}

}  // namespace zolp::win
