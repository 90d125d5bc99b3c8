#include "OptionDialogs.h"

#include "CDDlg.h"
#include "DiskXDlg.h"
#include "ImageDlg.h"
#include "USBDlg.h"
#include "UPDlg.h"

// Each option's dialog is wired in here as it joins the program.
namespace zolp::win {

bool RunUsbDialog(HWND owner) {
  CUSBDlg dialog;
  dialog.DoModal(owner);
  return true;
}

bool RunCdDialog(HWND owner) {
  CCDDlg dialog;
  dialog.DoModal(owner);
  return true;
}

bool RunDisketteDialog(HWND owner) {
  DisketteSet set;
  {
    CDisketteDlg drives;
    if (drives.DoModal(owner) != IDOK) return true;
    set = drives.Chosen();
  }
  RunDisketteSet(set, [owner, &set](unsigned current) {
    CDiskXDlg diskette(current, set.total, set.letter);
    return diskette.DoModal(owner) == IDOK ? DialogResult::Ok : DialogResult::Cancel;
  });
  return true;
}

bool RunImageDialog(HWND owner) {
  CImageDlg dialog;
  dialog.DoModal(owner);
  return true;
}

bool RunUpdateDialog(HWND owner) {
  CUPDlg dialog;
  dialog.DoModal(owner);
  return true;
}

}  // namespace zolp::win
