#include "OptionDialogs.h"

#include "DiskXDlg.h"
#include "ImageDlg.h"
#include "UPDlg.h"

// Each option's dialog is wired in here as it joins the program.
namespace zolp::win {

bool RunUsbDialog(HWND) { return false; }
bool RunCdDialog(HWND) { return false; }

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
