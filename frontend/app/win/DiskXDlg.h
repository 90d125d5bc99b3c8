// "Create Bootable Diskette Set": the drive choice (template 107) and the
// dialog of one diskette (template 110), views of DisketteDriveFlow and
// DisketteFlow.
#pragma once

#include "OptionDlg.h"
#include "flow/diskette_flow.h"

namespace zolp::win {

class CDisketteDlg : public COptionDlg {
 public:
  CDisketteDlg();
  const DisketteSet& Chosen() const { return flow_.Chosen(); }

 private:
  DisketteDriveFlow flow_;
};

class CDiskXDlg : public COptionDlg {
 public:
  CDiskXDlg(unsigned current, unsigned total, char letter);

 private:
  DisketteFlow flow_;
};

}  // namespace zolp::win
