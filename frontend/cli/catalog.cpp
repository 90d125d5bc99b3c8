#include "catalog.h"
#include "drive_console.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <memory>
#include <mutex>

#include "zolp/copy_estimate.h"
#include "zolp/disk_volumes.h"
#include "zolp/image_copy.h"
#include "zolp/mmc.h"
#include "zolp/partition_update.h"
#include "zolp/report.h"
#include "zolp/sim/simulated_devices.h"
#include "zolp/system_info.h"
#include "zolp/tool_runner.h"
#include "zolp/usb_drives.h"
#include "zolp/vellix_command.h"

namespace zolp::cli {

namespace {

struct Drive {
  unsigned number = 0;
  std::string name;  // PhysicalDrive<n>
  std::string vendor, product, serial;
  std::uint64_t bytes = 0;
  std::uint32_t lastSector = 0;
};

// A drive being written, with its disk and volumes held; what the console
// shows of it is its DriveProgress.
struct DriveState : DriveProgress {
  Drive drive;
  std::unique_ptr<DiskHandle> disk;
  HeldVolumes volumes;
  std::intptr_t code = 0;
  const char* step = nullptr;
};

Services WithUi(const Services& services, UserInterface& ui) {
  Services s = services;
  s.ui = &ui;
  return s;
}

int Usage(const Console& console, const std::string& why) {
  std::fprintf(console.err, "zolpcli: %s (zolpcli --help tells more)\n", why.c_str());
  return kExitUsage;
}

// "3", "PhysicalDrive3" or "\\.\PhysicalDrive3".
bool DriveNumber(std::string word, unsigned& number) {
  for (const char* prefix : {"\\\\.\\", "PhysicalDrive"})
    if (word.rfind(prefix, 0) == 0) word.erase(0, std::string_view(prefix).size());
  if (word.empty() || word.size() > 3 || word.find_first_not_of("0123456789") != std::string::npos)
    return false;
  number = static_cast<unsigned>(std::strtoul(word.c_str(), nullptr, 10));
  return true;
}

// What the table shows of a listed drive: its descriptor's words and size.
std::optional<Drive> Describe(const Services& services, unsigned number) {
  auto disk = services.devices->Open(Format("\\\\.\\PhysicalDrive%u", number), DiskAccess::ReadWrite);
  if (!disk) return std::nullopt;
  std::vector<std::uint8_t> d(storage_descriptor::kQueryBufferSize, 0);
  Drive drive;
  drive.number = number;
  drive.name = Format("PhysicalDrive%u", number);
  if (QueryStorageDevice(*disk, d.data(), storage_descriptor::kQueryBufferSize)) {
    drive.vendor = DescriptorString(d.data(), d.size(), storage_descriptor::kVendorIdOffset);
    drive.product = DescriptorString(d.data(), d.size(), storage_descriptor::kProductIdOffset);
    drive.serial = DescriptorString(d.data(), d.size(), storage_descriptor::kSerialNumberOffset);
  }
  drive.bytes = fGetMediaSize(services, *disk, &drive.lastSector);
  return drive;
}

// The drive letter of the package directory; 0 when it has none.
char PackageDrive(const Services& services) {
  std::string directory;
  if (!services.files->CurrentDirectory(directory) || directory.size() < 2 || directory[1] != ':')
    return 0;
  return static_cast<char>(std::toupper(static_cast<unsigned char>(directory[0])));
}

// Runs vellix through the core's build worker; its failure is told on err.
std::int32_t Build(const Services& services, const VellixRun& run) {
  const std::string line = run.CommandLine();
  BuildJob job{0, line.c_str()};
  return ImageBuildThread(services, job);
}

void WriteDrive(const Services& services, DriveState& state, std::size_t index, bool verify) {
  state.started = services.clock->Milliseconds();
  CopyJob job{index + 1, state.disk.get(), state.imagePath.c_str(),
              (static_cast<std::uint64_t>(state.drive.lastSector) + 1) * kUsbSectorBytes};
  job.verify = verify;
  job.clearTail = true;
  job.failureText = state.failureText;
  job.failureTextSize = sizeof state.failureText;
  const bool copied = ImageCopyThread(services, job) == 1;
  if (copied) {
    state.result = kUsbSucceeded;
  } else {
    const std::string step = state.step ? state.step : kCopyWriteFailed;
    state.result = state.code == -1 || state.code == 0
                       ? step
                       : FormatSystemError(services, static_cast<std::uint32_t>(state.code), step);
  }
  // The system reads the new partition table before the volumes are let go.
  state.disk->UpdateProperties();
  state.succeeded = copied;
  state.finished = services.clock->Milliseconds();
  state.done = true;
}

// The launcher that keeps the exit code of the last run that told one.
class RecordingLauncher final : public ProcessLauncher {
 public:
  explicit RecordingLauncher(ProcessLauncher& inner) : inner_(inner) {}
  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override {
    auto child = inner_.Start(request);
    if (!child) return nullptr;
    return std::make_unique<Child>(std::move(child), last_);
  }
  std::uint32_t last() const { return last_; }

 private:
  struct Child final : ChildProcess {
    Child(std::unique_ptr<ChildProcess> c, std::uint32_t& l) : inner(std::move(c)), last(l) {}
    void Wait() override { inner->Wait(); }
    bool ExitCode(std::uint32_t& code) override {
      const bool told = inner->ExitCode(code);
      if (told) last = code;
      return told;
    }
    std::unique_ptr<ChildProcess> inner;
    std::uint32_t& last;
  };
  ProcessLauncher& inner_;
  std::uint32_t last_ = kExitCodeUnknown;
};

}  // namespace

int CatalogUpdate(const Services& base, const Console& console, std::vector<std::string> words) {
  ConsoleUi ui(console, *base.clock, 15);
  RecordingLauncher launcher(*base.processes);
  Services services = WithUi(base, ui);
  services.processes = &launcher;
  services.options.debug = Option(words, "--debug");
  services.options.upTest = Option(words, "--test");
  const bool yes = Option(words, "--yes");
  if (!words.empty()) return Usage(console, "update does not take " + words[0]);
  auto failed = [&](std::uint32_t code) {
    return static_cast<int>(code != 0 && code != kExitCodeUnknown ? code : kExitFailed);
  };
  const DiagnosticsProbe probe = ProbeDiagnostics(services);
  if (probe.toolMissing) return kExitFailed;  // the runner has said why
  if (!probe.found || probe.status != 0) {
    std::fprintf(console.err, "zolpcli: %s\n", kUpdateNotPossible);
    if (probe.status == 0)
      std::fprintf(console.err, "zolpcli: torbel's exit code %u: %s\n", probe.exitCode,
                   PartitionErrorText(probe.exitCode));
    return failed(probe.status == 0 ? probe.exitCode : 0);
  }
  std::fprintf(console.out, "%s\n", UpdateConfirmation(NewDiagVersion(services), probe.installed).c_str());
  if (!yes && !Confirmed(console, "Update it?")) {
    if (console.inTerminal) std::fprintf(console.err, "zolpcli: nothing was changed.\n");
    return kExitRefused;
  }
  int shown = -1;
  bool updated = false;
  ui.onPost = [&](std::uint32_t message, std::intptr_t wParam, std::intptr_t) {
    if (message == kMsgJobFinished) updated = wParam == 0;
    if (message != kMsgProgress || wParam == shown) return;
    shown = static_cast<int>(wParam);
    std::fprintf(console.out, "%s: %d%%\n", kUpdateProgressTitle, shown);
  };
  UpdateJob job;
  job.owner = 1;
  job.prefix = probe.prefix;
  // The dialog's worker, on this thread: nothing else waits here.
  PartitionUpdateThread(services, job);
  if (updated) {
    std::fprintf(console.out, "The diagnostic partition was successfully updated.\n");
    return kExitDone;
  }
  std::fprintf(console.err, "zolpcli: the diagnostic partition was not updated.\n");
  return failed(launcher.last());
}

int CatalogList(const Services& base, const Console& console) {
  ConsoleUi ui(console, *base.clock, 15);
  const Services services = WithUi(base, ui);
  const std::vector<UsbDrive> drives = FindUsbDrives(services);
  for (const UsbDrive& drive : drives)
    std::fprintf(console.out, "PhysicalDrive%-3u %s\n", drive.number, drive.entry.c_str());
  if (drives.empty()) {
    std::fprintf(console.err, "zolpcli: %s\n", kUsbNoDrives);
    return kExitRefused;
  }
  return kExitDone;
}

int CatalogUsb(const Services& base, const Console& console, std::vector<std::string> words) {
  const bool all = Option(words, "--all");
  const bool verify = !Option(words, "--noverify");
  const bool yes = Option(words, "--yes");
  for (const std::string& w : words)
    if (w.rfind("-", 0) == 0) return Usage(console, "usb does not take " + w);
  if (all == !words.empty()) return Usage(console, "usb takes drive numbers or --all, one of them");

  ConsoleUi ui(console, *base.clock, 15);
  const Services services = WithUi(base, ui);
  // Only a drive the dialog would offer is written.
  std::vector<unsigned> listed;
  for (const UsbDrive& drive : FindUsbDrives(services)) listed.push_back(drive.number);
  std::vector<unsigned> chosen;
  std::vector<std::pair<std::string, std::string>> refused;
  if (all) {
    chosen = listed;
  } else {
    for (const std::string& word : words) {
      unsigned number = 0;
      if (!DriveNumber(word, number)) return Usage(console, word + " names no drive");
      if (std::find(chosen.begin(), chosen.end(), number) != chosen.end()) continue;
      if (std::find(listed.begin(), listed.end(), number) == listed.end()) {
        refused.emplace_back(Format("PhysicalDrive%u", number), "it is no USB flash drive that can be written");
        continue;
      }
      chosen.push_back(number);
    }
  }
  std::vector<std::unique_ptr<DriveState>> states;
  const char ownDrives[] = {services.options.programDrive, PackageDrive(services)};
  for (unsigned number : chosen) {
    const std::string name = Format("PhysicalDrive%u", number);
    if (std::any_of(std::begin(ownDrives), std::end(ownDrives),
                    [&](char letter) { return letter != 0 && DiskHoldsDrive(services, number, letter); })) {
      refused.emplace_back(name, kUsbOwnDrive);
      continue;
    }
    std::optional<Drive> drive = Describe(services, number);
    if (!drive) {
      refused.emplace_back(name, FormatSystemError(services, services.errors->Last(),
                                                   "Opening the USB flash drive"));
      continue;
    }
    states.push_back(std::make_unique<DriveState>());
    DriveState& state = *states.back();
    state.drive = *drive;
    state.device = drive->name;
    state.vendor = drive->vendor;
    state.product = drive->product;
    state.serial = drive->serial;
    state.bytes = drive->bytes;
  }
  for (const auto& [name, why] : refused)
    std::fprintf(console.err, "zolpcli: %s is never written: %s\n", name.c_str(), why.c_str());
  // A drive named on the command line that cannot be written stops the run
  // before anything is built: the script that named it is wrong.
  if (states.empty() || (!all && !refused.empty())) {
    if (refused.empty()) std::fprintf(console.err, "zolpcli: %s\n", kUsbNoDrives);
    return kExitRefused;
  }

  std::fprintf(console.out, "All data on these drives will be erased:\n");
  for (const auto& state : states)
    std::fprintf(console.out, "  %s  %s - %s %s  serial %s\n", state->drive.name.c_str(),
                 SizeText(state->drive.bytes).c_str(), state->drive.vendor.c_str(),
                 state->drive.product.c_str(),
                 state->drive.serial.empty() ? "none" : state->drive.serial.c_str());
  if (!yes && !Confirmed(console, "Erase them?")) {
    if (console.inTerminal) std::fprintf(console.err, "zolpcli: nothing was written.\n");
    return kExitRefused;
  }

  // One image per size of drive, then each drive held and its copy started.
  const std::string label = VolumeLabel(services);
  std::map<std::uint32_t, std::pair<std::string, std::string>> images;  // blocks: path, failure
  for (auto& state : states) {
    const UsbImagePlan plan = PlanUsbImage(state->drive.lastSector);
    if (state->drive.bytes == 0 || plan.refusal) {
      state->result = state->drive.bytes == 0 ? kUsbNoSize : plan.refusal;
      state->done = true;
      continue;
    }
    auto [it, added] = images.try_emplace(plan.blocks);
    if (added) {
      std::string path;
      if (!services.files->TemporaryFileName(".", "~DP", path)) {
        it->second.second = FormatSystemError(services, services.errors->Last(), "Create temporary filename");
      } else {
        it->second.first = path;
        std::fprintf(console.out, "Building the image for %s drives...\n",
                     SizeText(std::uint64_t{plan.blocks} * kUsbSectorBytes).c_str());
        std::fflush(console.out);
        const std::int32_t code = Build(services, FlashRun(label, plan.blocks, path));
        if (code != 0) {
          const char* text = ImageBuildErrorText(code);
          it->second.second = text ? text : Format("Unknown error creating the media image. (%d)", code);
        }
      }
    }
    state->imagePath = it->second.first;
    if (!it->second.second.empty()) {
      state->result = it->second.second;
      state->done = true;
    }
  }

  std::vector<DriveProgress*> drives;
  for (const auto& state : states) drives.push_back(state.get());
  ui.Track(drives);
  ui.onDriveMessage = [](DriveProgress& progress, std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) {
    if (message != kMsgJobFinished) return;
    auto& state = static_cast<DriveState&>(progress);
    state.code = wParam;
    state.step = PostedText(lParam);
  };
  for (std::size_t i = 0; i < states.size(); ++i) {
    DriveState& state = *states[i];
    if (state.done) continue;
    state.disk = services.devices->Open("\\\\.\\" + state.drive.name, DiskAccess::ReadWrite);
    std::string refusal;
    if (!state.disk) {
      state.result = FormatSystemError(services, services.errors->Last(), "Opening the USB flash drive");
    } else if (state.volumes.HoldDisk(services, state.drive.number, refusal) != HeldVolumes::Outcome::Held) {
      state.result = refusal;
    } else {
      std::uint64_t imageBytes = 0;
      if (auto image = services.files->OpenRead(state.imagePath)) image->Size(imageBytes);
      state.copyBytes = imageBytes + kCopyClearedTailBytes;
      if (services.workers->StartThread([&services, &state, i, verify] { WriteDrive(services, state, i, verify); }))
        continue;
      state.result = FormatSystemError(services, services.errors->Last(), "Start copy");
    }
    state.done = true;
  }

  ui.DrawUntilDone();
  for (auto& state : states) {
    state->volumes.Release(services);
    state->disk.reset();
  }
  for (const auto& [blocks, image] : images)
    if (!image.first.empty()) DeleteToolFile(services, image.first);

  const bool allGood = ui.PrintTable();
  return allGood ? kExitDone : kExitFailed;
}

int CatalogImage(const Services& base, const Console& console, std::vector<std::string> words, bool cd) {
  const bool diskette = !cd && Option(words, "--diskette");
  if (words.size() != 1 || words[0].empty() || words[0][0] == '-')
    return Usage(console, std::string(cd ? "iso" : "image") + " takes one file name");
  const std::string& file = words[0];
  ConsoleUi ui(console, *base.clock, 15);
  const Services services = WithUi(base, ui);
  if (services.files->Exists(file)) {
    std::fprintf(console.err, "zolpcli: %s already exists; nothing was written.\n", file.c_str());
    return kExitRefused;
  }
  const std::string label = VolumeLabel(services);
  const std::int32_t code = Build(services, cd ? CdRun(label, file) : ImageRun(diskette, label, file));
  if (code == 0) {
    std::fprintf(console.out, "%s\n", cd ? "The CD ISO image file was successfully created."
                                         : "The image file was successfully created.");
    return kExitDone;
  }
  services.files->Delete(file);  // what the builder left behind is no image
  return code > 0 ? code : kExitFailed;
}

std::unique_ptr<DeviceCatalog> SimulatedCatalog(const Services& services, std::FILE* err) {
  const char* path = std::getenv("ZOLP_SIM_DEVICES");
  std::ifstream in(path ? path : "", std::ios::binary);
  if (!in) {
    std::fprintf(err, "zolpcli: cannot read the device file %s.\n", path ? path : "(none)");
    return nullptr;
  }
  const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<sim::DeviceLine> lines;
  std::string error;
  if (!sim::ParseDeviceDescription(text, lines, error)) {
    std::fprintf(err, "zolpcli: ZOLP_SIM_DEVICES, %s\n", error.c_str());
    return nullptr;
  }
  auto devices = std::make_unique<sim::SimulatedDevices>(lines, *services.errors);
  devices->SetClock(services.clock);
  if (const char* delay = std::getenv("ZOLP_SIM_WRITE_DELAY_MS"))
    devices->SetWriteDelay(static_cast<std::uint32_t>(std::strtoul(delay, nullptr, 10)));
  if (const char* rate = std::getenv("ZOLP_SIM_WRITE_RATE"))
    devices->SetWriteRate(std::strtoull(rate, nullptr, 10));
  return devices;
}

}  // namespace zolp::cli
