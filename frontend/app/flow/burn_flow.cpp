#include "flow/burn_flow.h"

#include <algorithm>
#include <cctype>
#include <cstring>

#include "resource.h"
#include "zolp/mmc.h"
#include "zolp/report.h"
#include "zolp/system_errors.h"

namespace zolp {

namespace {

constexpr std::uint32_t kPiece = 16 * 1024;  // bytes per WRITE (10) and READ (10)
constexpr std::uint8_t kAscIncompatibleMedium = 0x30;
constexpr std::uint8_t kAscMediumNotPresent = 0x3A;
constexpr std::uint32_t kProgressColour = Rgb(0, 0, 0x91);

constexpr const char* kInsertMedia =
    "Please insert CD-R or CD-RW media in the drive then press OK to continue.";
constexpr const char* kNotReady = "The CD drive is not ready; cannot continue.";
constexpr const char* kVerifyFailed = "Verification of the CD failed.";
constexpr const char* kWriterInUse =
    "The CD writer is in use by another program. Close that program, then try again.";

// Status texts go to the dialog by address: they must outlive the worker.
constexpr const char* kStatusWaitingForUser = " Waiting for user...";
constexpr const char* kStatusStarting = " Starting operation...";
constexpr const char* kStatusWaitingReady = " Waiting for the drive to become ready...";
constexpr const char* kStatusBlankCheck = " Blank check...";
constexpr const char* kStatusSpeed = " Setting CD write speed...";
constexpr const char* kStatusOpc = " Sending OPC information...";
constexpr const char* kStatusErasing = " Erasing the CD...";
constexpr const char* kStatusParameters = " Setting write parameters...";
constexpr const char* kStatusCopying = " Copying files...";
constexpr const char* kStatusSync = " Waiting to write all data to the media...";
constexpr const char* kStatusClosing = " Closing the CD...";
constexpr const char* kStatusVerifying = " Verifying the CD...";

// Page buffers, released on every way out.
class Pages {
 public:
  Pages(const Services& s, std::size_t size)
      : s_(s), pages_(static_cast<std::uint8_t*>(s.memory->AllocatePages(size))) {}
  ~Pages() {
    if (pages_ && !s_.memory->FreePages(pages_))
      ReportLastError(s_, true, "Failed to free memory", "Error");
  }
  Pages(const Pages&) = delete;
  Pages& operator=(const Pages&) = delete;
  std::uint8_t* get() const { return pages_; }

 private:
  const Services& s_;
  std::uint8_t* pages_;
};

// One burn, step by step; every message box is modal to the burn dialog.
class Burner {
 public:
  Burner(const Services& s, BurnJob& job) : s_(s), job_(job) {}
  int Run();

 private:
  void Post(std::uint32_t percent, const char* status) {
    s_.ui->Post(job_.owner, kMsgProgress, static_cast<std::intptr_t>(percent),
                reinterpret_cast<std::intptr_t>(status));
  }
  Reply Ask(const char* text, const char* title) {
    return job_.view->Ask(text, title, MessageIcon::Warning, Buttons::OkCancel);
  }
  void Error(const std::string& text) {
    job_.view->Ask(text, "Error", MessageIcon::Warning, Buttons::Ok);
  }
  void VerboseError(const char* text) {
    if (s_.options.verbose) Error(text);
  }
  bool WaitForUsableDisc();
  int WriteDisc();
  bool WriteImage();
  bool Verify();
  std::uint32_t FirstUnreadableBlock(std::uint32_t lba, std::uint16_t blocks, std::uint8_t* buffer);

  const Services& s_;
  BurnJob& job_;
  DiskHandle* drive_ = nullptr;
};

// The writer held for this burn alone: no other program (the system's own
// burning service, a player polling the disc) can send it a command in the
// middle of the track. Let go on every way out; the system lets go as well
// when the handle closes, should the worker never get here.
class ExclusiveWriter {
 public:
  explicit ExclusiveWriter(DiskHandle& drive) : drive_(drive) {}
  ~ExclusiveWriter() {
    if (held_) drive_.ExclusiveAccess(false);
    if (locked_) drive_.UnlockVolume();
  }
  ExclusiveWriter(const ExclusiveWriter&) = delete;
  ExclusiveWriter& operator=(const ExclusiveWriter&) = delete;
  // False only when another program holds the writer itself.
  bool Take(const Services& s) {
    // The lock asks that the disc's file system be gone first.
    locked_ = drive_.LockVolume();
    if (locked_ && !drive_.DismountVolume())
      ReportLastError(s, true, "Dismount", "Dismount volume failed");
    s.errors->SetLast(0);
    held_ = drive_.ExclusiveAccess(true);
    if (held_) return true;
    if (s.errors->Last() == syserr::kAccessDenied) return false;
    // A driver without exclusive access: the burn goes on as before.
    ReportLastError(s, true, "DeviceIoControl", "Exclusive access to the CD writer failed");
    return true;
  }

 private:
  DiskHandle& drive_;
  bool held_ = false, locked_ = false;
};

int Burner::Run() {
  // \\.\X: is a volume: it is opened sharing writing as well.
  job_.drive = s_.devices->Open(Format("\\\\.\\%c:", job_.letter), DiskAccess::ReadWrite);
  if (!job_.drive) {
    ReportLastError(s_, false, "Opening the CD ROM drive", "Error");
    return 0;
  }
  drive_ = job_.drive.get();
  ExclusiveWriter exclusive(*drive_);
  if (!exclusive.Take(s_)) {
    Error(kWriterInUse);
    return 0;
  }
  if (!WaitForUsableDisc()) return 0;  // nothing locked or written yet

  if (!fLockMedia(s_, *drive_, true)) VerboseError("Could not lock the drive.");
  Post(0, kStatusSpeed);
  if (!fSetMaxSpeed(s_, *drive_)) VerboseError("Could not set the optimal speed settings.");
  Post(5, kStatusOpc);
  if (!fSendOpc(s_, *drive_)) VerboseError("Could not set the OPC information.");
  Post(10, nullptr);
  const int result = WriteDisc();
  // Whatever happened, the disc can be taken out again.
  Post(100, nullptr);
  if (!fLockMedia(s_, *drive_, false)) VerboseError("Could not unlock the drive.");
  return result;
}

// Until a blank or erasable CD-R or CD-RW is in the drive and the drive is
// ready, or the user gives up.
bool Burner::WaitForUsableDisc() {
  for (;;) {
    Post(0, kStatusWaitingReady);
    const std::uint16_t ready = fWaitReady(s_, *drive_);
    const auto asc = static_cast<std::uint8_t>(ready >> 8);
    if (asc == kAscIncompatibleMedium || asc == kAscMediumNotPresent) {
      if (Ask(kInsertMedia, "Media Problem") != Reply::Ok) return false;
      continue;
    }
    if (ready != 0) {
      Error(kNotReady);
      return false;
    }
    const std::uint16_t profile = fGetCurrentProfile(s_, *drive_);
    if (profile != kProfileCdR && profile != kProfileCdRw) {
      if (Ask(kInsertMedia, "Unsupported media") != Reply::Ok) return false;
      continue;
    }
    Post(0, kStatusBlankCheck);
    if (!fIsDiscBlank(s_, *drive_) && !fIsDiscErasable(s_, *drive_)) {
      if (Ask("The disc inserted in the drive is not blank and cannot be erased. Insert another "
              "disc and click OK to try again.",
              "Media Unusable") != Reply::Ok)
        return false;
      continue;  // the next disc is checked from the start, as the first was
    }
    break;
  }
  Post(0, kStatusWaitingReady);
  if (fWaitReady(s_, *drive_) != 0) {
    Error(kNotReady);
    return false;
  }
  return true;
}

int Burner::WriteDisc() {
  bool blank = fIsDiscBlank(s_, *drive_);
  if (!blank) {
    Post(0, kStatusErasing);
    const bool erased = fBlankMinimal(s_, *drive_);
    blank = fIsDiscBlank(s_, *drive_);
    // Without a blank disc nothing is written: the user must hear why.
    if (!erased || !blank) Error("Failed to erase the CD.");
  }
  if (!blank) return 0;

  Post(30, kStatusParameters);
  if (!fSetWriteParameters(s_, *drive_)) {
    Error("Cannot create the CD. Failed to set the write parameters.");
    return 0;
  }
  Post(35, kStatusCopying);
  if (!WriteImage()) {
    Error("Failed to copy the files to the CD.");
    return 0;
  }
  Post(0, kStatusSync);
  if (!fSyncCache(s_, *drive_)) {
    Error("Cannot create the CD. Failed to write all data to the media.");
    return 0;
  }
  Post(0, kStatusClosing);
  if (!fCloseSessionWait(s_, *drive_)) {
    Error("Cannot create the CD. Failed to close the CD.");
    return 0;
  }
  if (s_.options.verify && !Verify()) return 0;
  job_.view->ShowDialog(false);
  job_.view->Ask("Successfully created the CD.", "Success!", MessageIcon::Information,
                 Buttons::Ok);
  return 1;
}

// The image as one track from LBA 0, 16 KiB per WRITE (10); the progress runs
// from 35 to 85.
bool Burner::WriteImage() {
  std::unique_ptr<File> image = s_.files->OpenRead(*job_.imagePath);
  if (!image) {
    ReportLastError(s_, false, "Opening the image file for reading", "Error");
    return false;
  }
  std::uint64_t size = 0;
  if (!image->Size(size)) {
    ReportLastError(s_, false, "A read of the image file", "Error");
    return false;
  }
  Pages buffer(s_, kPiece);
  if (!buffer.get()) {
    ReportLastError(s_, false, "Copy buffer memory allocation", "Error");
    return false;
  }
  for (std::uint64_t done = 0; done < size;) {
    Post(static_cast<std::uint32_t>(35 + done * 50 / size), nullptr);
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, size - done));
    std::uint32_t got = 0;
    if (!image->Read(buffer.get(), piece, got) || got != piece) {
      ReportLastError(s_, false, "A read of the image file", "Error");
      return false;
    }
    if (!fWrite10(s_, *drive_, static_cast<std::uint32_t>(done / kCdBlockSize), piece,
                  buffer.get()))
      return false;
    done += piece;
  }
  return true;
}

// Reads the closed disc back with READ (10) and compares it with the image;
// names the first block that differs or cannot be read. The progress runs on
// from 85.
bool Burner::Verify() {
  Post(0, kStatusVerifying);
  // A drive may still be settling after the close; the reads tell if it is not ready.
  fWaitReady(s_, *drive_);
  std::unique_ptr<File> image = s_.files->OpenRead(*job_.imagePath);
  std::uint64_t size = 0;
  if (!image || !image->Size(size)) {
    ReportLastError(s_, false, "Opening the image file for reading", "Error");
    Error(kVerifyFailed);
    return false;
  }
  Pages buffers(s_, 2 * kPiece);
  if (!buffers.get()) {
    ReportLastError(s_, false, "Copy buffer memory allocation", "Error");
    Error(kVerifyFailed);
    return false;
  }
  std::uint8_t* expected = buffers.get();
  std::uint8_t* disc = buffers.get() + kPiece;
  for (std::uint64_t done = 0; done < size;) {
    Post(static_cast<std::uint32_t>(85 + done * 15 / size), nullptr);
    const auto piece = static_cast<std::uint32_t>(std::min<std::uint64_t>(kPiece, size - done));
    std::uint32_t got = 0;
    if (!image->Read(expected, piece, got) || got != piece) {
      ReportLastError(s_, false, "A read of the image file", "Error");
      Error(kVerifyFailed);
      return false;
    }
    const auto lba = static_cast<std::uint32_t>(done / kCdBlockSize);
    const auto blocks = static_cast<std::uint16_t>((piece + kCdBlockSize - 1) / kCdBlockSize);
    if (!fRead10(s_, *drive_, lba, blocks, disc)) {
      Error(Format("%s Block %u could not be read.", kVerifyFailed,
                   FirstUnreadableBlock(lba, blocks, disc)));
      return false;
    }
    const auto differs = std::mismatch(expected, expected + piece, disc);
    if (differs.first != expected + piece) {
      const auto block = lba + static_cast<std::uint32_t>(differs.first - expected) / kCdBlockSize;
      Error(Format("%s Block %u differs from the image.", kVerifyFailed, block));
      return false;
    }
    done += piece;
  }
  return true;
}

// Which block of a piece that failed to read is the first one at fault.
std::uint32_t Burner::FirstUnreadableBlock(std::uint32_t lba, std::uint16_t blocks,
                                           std::uint8_t* buffer) {
  for (std::uint32_t block = lba; block < lba + blocks; ++block)
    if (!fRead10(s_, *drive_, block, 1, buffer)) return block;
  return lba;
}

}  // namespace

int BurnCdThread(const Services& services, BurnJob& job) {
  const int result = Burner(services, job).Run();
  job.result = result;
  // The last thing the worker does: after this the job belongs to the dialog.
  services.ui->Post(job.owner, kMsgJobFinished, 0, 0);
  return result;
}

std::vector<CdWriter> FindCdWriters(const Services& services) {
  std::vector<std::string> names;
  fEnumCdWriters(services, &names, [](void* context, const char* name) {
    static_cast<std::vector<std::string>*>(context)->push_back(name);
  });
  std::vector<CdWriter> writers;
  // The letter is the character after the name's opening parenthesis: "(E:) ...".
  for (const std::string& name : names)
    writers.push_back({name, name.size() > 1 ? name[1] : '\0'});
  return writers;
}

// --- the burn dialog ---------------------------------------------------------

BurnFlow::BurnFlow(const Services& services, OptionView& view, const std::string& imagePath)
    : services_(services), view_(view), imagePath_(imagePath) {}

void BurnFlow::OnInit() {
  view_.SetText(IDC_BURN_STATUS, kStatusWaitingForUser);
  view_.SetText(IDC_BURN_PERCENT, "0%");
  view_.SetText(IDC_BURN_WARNING, "WARNING - All data on the CD media will be erased!");
  view_.SetLook(IDC_BURN_WARNING, FontLook{"", 13, Rgb(255, 0, 0), kFontBold});
  view_.SetBarColour(IDC_BURN_PROGRESS, kProgressColour);
  view_.ClearList(IDC_BURN_WRITERS);
  for (const CdWriter& writer : FindCdWriters(services_))
    view_.AddListItem(IDC_BURN_WRITERS, writer.name, static_cast<std::uintptr_t>(writer.letter));
  if (view_.ListCount(IDC_BURN_WRITERS) == 0) {
    view_.Ask("No CD writers were found. Cannot continue with this option.", "Serious Error",
              MessageIcon::Error, Buttons::Ok);
    view_.End(DialogResult::Cancel);
    return;
  }
  view_.SelectListItem(IDC_BURN_WRITERS, 0);
}

void BurnFlow::OnCommand(int control) {
  // One burn at a time, and the dialog stays until its worker has ended.
  if (Burning()) return;
  if (control == kIdOk) Burn();
  if (control == kIdCancel) view_.End(DialogResult::Cancel);
}

void BurnFlow::Burn() {
  const int selected = view_.SelectedListItem(IDC_BURN_WRITERS);
  if (selected < 0) return;
  const auto letter = static_cast<char>(view_.ListItemData(IDC_BURN_WRITERS, selected));
  if (std::toupper(static_cast<unsigned char>(letter)) == services_.options.programDrive) {
    view_.Ask("Cannot format the media you are executing from.", "Error", MessageIcon::Warning,
              Buttons::Ok);
    view_.End(DialogResult::Cancel);
    return;
  }
  view_.Enable(kIdOk, false);
  view_.Enable(kIdCancel, false);
  view_.PlayAnimation(IDC_BURN_ANIMATION, IDA_COPY);
  view_.SetText(IDC_BURN_STATUS, kStatusStarting);
  view_.SetBarPosition(IDC_BURN_PROGRESS, 0);
  view_.SetText(IDC_BURN_PERCENT, "0%");

  imageBytes_ = 0;
  if (auto image = services_.files->OpenRead(imagePath_)) image->Size(imageBytes_);
  stepFrom_ = -1;
  job_ = std::make_unique<BurnJob>();
  job_->owner = view_.Window();
  job_->letter = letter;
  job_->imagePath = &imagePath_;
  job_->view = &view_;
  BurnJob* job = job_.get();
  if (!services_.workers->StartThread(
          [services = services_, job] { BurnCdThread(services, *job); })) {
    ReportLastError(services_, false, "Start copy", "Error");
    job_.reset();
    view_.End(DialogResult::Cancel);
  }
}

void BurnFlow::OnWorkerMessage(std::uint32_t message, std::intptr_t wParam,
                               std::intptr_t lParam) {
  if (!Burning()) return;
  if (message == kMsgProgress) {
    const std::uint64_t now = services_.clock->Milliseconds();
    if (lParam != 0) {
      const std::string_view status = PostedText(lParam);
      view_.SetText(IDC_BURN_STATUS, std::string(status));
      const bool copying = status == kStatusCopying, verifying = status == kStatusVerifying;
      stepFrom_ = copying ? 35 : verifying ? 85 : -1;
      stepSpan_ = copying ? 50 : 15;
      estimate_.Start(now, imageBytes_);
    }
    if (wParam != 0) {
      const int percent = static_cast<int>(std::clamp<std::intptr_t>(wParam, 0, 100));
      view_.SetBarPosition(IDC_BURN_PROGRESS, percent);
      std::string estimate;
      if (stepFrom_ >= 0 && percent >= stepFrom_)
        estimate = estimate_.Update(
            now, imageBytes_ * static_cast<std::uint64_t>(percent - stepFrom_) / stepSpan_);
      view_.SetText(IDC_BURN_PERCENT, ProgressText(percent, estimate));
    }
  } else if (message == kMsgJobFinished) {
    const bool burned = job_->result == 1;
    job_->drive.reset();
    job_.reset();
    view_.End(burned ? DialogResult::Ok : DialogResult::Cancel);
  }
}

}  // namespace zolp
