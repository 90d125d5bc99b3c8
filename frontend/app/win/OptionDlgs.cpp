#include "OptionDlgs.h"

#include "CDDlg.h"
#include "DiskXDlg.h"
#include "ImageDlg.h"
#include "USBDlg.h"
#include "UpdateDlg.h"

namespace zolp::win {

void RunUsbDialog(HWND owner) {
  CUSBDlg dialog;
  dialog.DoModal(owner);
}

void RunCdDialog(HWND owner) {
  CCDDlg dialog;
  dialog.DoModal(owner);
}

void RunDisketteDialog(HWND owner) {
  DisketteSet set;
  {
    CDisketteDlg drives;
    if (drives.DoModal(owner) != IDOK) return;
    set = drives.Chosen();
  }
  RunDisketteSet(set, [owner, &set](unsigned current) {
    CDiskXDlg diskette(current, set.total, set.letter);
    return diskette.DoModal(owner) == IDOK ? DialogResult::Ok : DialogResult::Cancel;
  });
}

void RunImageDialog(HWND owner) {
  CImageDlg dialog;
  dialog.DoModal(owner);
}

void RunUpdateDialog(HWND owner) {
  CUpdateDlg dialog;
  dialog.DoModal(owner);
}

}  // namespace zolp::win
