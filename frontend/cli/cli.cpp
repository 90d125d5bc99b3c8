#include "cli.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "catalog.h"
#include "drive_console.h"
#include "zolp/copy_estimate.h"
#include "zolp/image_copy.h"
#include "zolp/linux_host.h"
#include "zolp/partition_update.h"
#include "zolp/report.h"
#include "zolp/tool_runner.h"
#include "zolp/usb_drives.h"
#include "zolp/usb_sticks.h"
#include "zolp/vellix_command.h"

extern char** environ;

namespace zolp::cli {

namespace {

namespace fs = std::filesystem;
using linux_host::Stick;

constexpr const char* kUsage =
    "Usage: zolpcli COMMAND [OPTIONS]   (run in the package directory)\n"
    "  list                               the USB sticks that qualify, one per line\n"
    "  usb DEVICE... | --all [--noverify] [--yes]\n"
    "                                     writes the FLASH image to each stick at once,\n"
    "                                     one image per stick size, and reads each back\n"
    "  image FILE [--diskette]            the HDD (or DISKETTE) section's image\n"
    "  iso FILE                           the CD section's ISO\n"
    "  diskettes DEVICE-OR-FILE           the Disk1..Disk9 set: onto a diskette drive,\n"
    "                                     asking for each diskette, or as FILE1, FILE2...\n"
    "  update [--debug] [--yes]           updates the utility partition through torbel\n"
    "                                     (TORBEL_DISK names its disk; --yes: unattended)\n"
    "  --help | --version\n"
    "A stick is a removable USB disk; a disk holding a mounted file system, / or the\n"
    "package directory is never written. Without --yes, usb lists what it will erase and\n"
    "asks; it refuses when standard input is not a terminal.\n"
    "On Linux, CDs are not burned: save the ISO with 'zolpcli iso' and burn it with a CD\n"
    "writing tool. Burning is Windows-only ('zolpcli.exe burn LETTER').\n"
    "Exit codes: 0 done; 1 a stick or a build failed; 2 bad command line; 3 nothing\n"
    "written (refused, not confirmed, no stick); image and iso end with vellix's code,\n"
    "update with torbel's (as an exit status carries it: 702 arrives as 190).\n";

// A stick being written; what the console shows of it is its DriveProgress.
struct StickState : DriveProgress {
  Stick stick;
};

struct Host {
  explicit Host(const Console& console)
      : ui(console, clock, 12), launcher(console.self, console.out), resources(console.self) {
    services.errors = &errors;
    services.ui = &ui;
    services.files = &files;
    services.clock = &clock;
    services.memory = &memory;
    services.workers = &threads;
    services.processes = &launcher;
    services.resources = &resources;
  }
  linux_host::Errors errors;
  linux_host::Files files;
  linux_host::MonotonicClock clock;
  linux_host::PageMemory memory;
  linux_host::Threads threads;
  ConsoleUi ui;
  linux_host::ToolLauncher launcher;
  linux_host::ToolResources resources;
  Services services;
};

// vellix beside zolpcli, else the one on PATH.
std::string VellixProgram(const Console& console) {
  std::error_code ec;
  const fs::path beside = fs::path(console.self).parent_path() / "vellix";
  if (!console.self.empty() && fs::exists(beside, ec)) return beside.string();
  return "vellix";
}

// Runs vellix in the package directory; its banner goes to quiet's /dev/null.
// Answers its exit code, or -1 when it did not run.
int RunVellix(const Console& console, const VellixRun& run, bool quiet) {
  const std::string program = VellixProgram(console);
  std::vector<std::string> arguments = run.Arguments();
  arguments.insert(arguments.begin(), program);
  std::vector<char*> argv;
  for (std::string& a : arguments) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  if (quiet) posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  std::fflush(console.out);
  pid_t pid = 0;
  const int status = program.find('/') != std::string::npos
                         ? posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ)
                         : posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (status != 0) {
    std::fprintf(console.err, "zolpcli: %s: %s\n", program.c_str(), std::strerror(status));
    return -1;
  }
  int wstatus = 0;
  while (::waitpid(pid, &wstatus, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
}

std::string BuildFailure(int code) {
  if (const char* text = ImageBuildErrorText(code)) return text;
  return Format("Unknown error creating the media image. (%u)", static_cast<unsigned>(code));
}

int Usage(const Console& console, const std::string& why) {
  std::fprintf(console.err, "zolpcli: %s\n%s", why.c_str(), kUsage);
  return kExitUsage;
}

std::string PackageDirectory() {
  std::error_code ec;
  return fs::current_path(ec).string();
}

std::string Identity(const Stick& s) {
  std::string text = s.vendor;
  for (const std::string* word : {&s.model, &s.rev})
    if (!word->empty()) text += (text.empty() ? "" : " ") + *word;
  return text;
}

int List(const Console& console) {
  std::vector<std::pair<std::string, std::string>> skipped;
  const std::vector<Stick> sticks = linux_host::FindSticks(linux_host::SysfsRoot(), &skipped);
  const auto inUse = linux_host::DisksInUse(PackageDirectory());
  int listed = 0;
  for (const Stick& stick : sticks) {
    const std::string refusal = linux_host::Refusal(stick, inUse);
    if (!refusal.empty()) {
      std::fprintf(console.err, "zolpcli: %s not listed: %s\n", stick.node.c_str(), refusal.c_str());
      continue;
    }
    std::fprintf(console.out, "%s  %s - %s  serial %s\n", stick.node.c_str(),
                 SizeText(stick.bytes).c_str(), Identity(stick).c_str(),
                 stick.serial.empty() ? "none" : stick.serial.c_str());
    ++listed;
  }
  if (listed == 0) {
    std::fprintf(console.err, "zolpcli: %s\n", kUsbNoDrives);
    return kExitRefused;
  }
  return kExitDone;
}

// One stick on its worker: open exclusively, check it is still the stick that
// was listed, copy and verify through the core's worker, clear the tail, and
// have the kernel read the new partition table.
void WriteStick(Host& host, StickState& state, std::size_t index, bool verify) {
  const Services& s = host.services;
  state.started = host.clock.Milliseconds();
  auto finish = [&](bool ok, std::string text) {
    state.succeeded = ok;
    state.result = std::move(text);
    state.finished = host.clock.Milliseconds();
    state.done = true;
  };
  auto device = linux_host::BlockDevice::Open(state.stick.node);
  if (!device) return finish(false, FormatSystemError(s, s.errors->Last(), "Opening the USB flash drive"));
  std::string why;
  const std::optional<Stick> now = linux_host::ReadStick(linux_host::SysfsRoot(), state.stick.name, why);
  std::uint64_t bytes = 0;
  linux_host::DevNumbers dev{};
  if (!now || !linux_host::SameStick(*now, state.stick) || !device->Size(bytes) ||
      bytes != state.stick.bytes || !device->DevNumbers(dev.first, dev.second) ||
      dev != state.stick.dev)
    return finish(false, "Refused: the device is no longer the stick that was listed.");

  // What the copy runs over: the image and the cleared tail, at most a MiB.
  std::error_code ec;
  state.copyBytes = fs::file_size(state.imagePath, ec) + kCopyClearedTailBytes;
  CopyJob job{index + 1, device.get(), state.imagePath.c_str(), state.stick.bytes};
  job.verify = verify;
  // What a stick held past the image (a backup partition table, old volumes)
  // must not be found there: its last MiB is cleared.
  job.clearTail = true;
  job.failureText = state.failureText;
  job.failureTextSize = sizeof state.failureText;
  // The worker's last message is its outcome; it is read from the answer here.
  struct Outcome final : UserInterface {
    UserInterface& inner;
    std::intptr_t code = 0;
    const char* step = nullptr;
    explicit Outcome(UserInterface& ui) : inner(ui) {}
    void ShowMessage(std::string_view t, std::string_view ti, MessageIcon i) override { inner.ShowMessage(t, ti, i); }
    void Post(WindowRef o, std::uint32_t m, std::intptr_t w, std::intptr_t l) override {
      if (m == kMsgJobFinished) {
        code = w;
        step = PostedText(l);
      } else {
        inner.Post(o, m, w, l);
      }
    }
    void BringMainWindowToFront() override {}
    void ShowBuildingWindow() override {}
    void CloseBuildingWindow() override {}
    void EndProgram(int status) override { inner.EndProgram(status); }
  } outcome(host.ui);
  Services worker = s;
  worker.ui = &outcome;
  if (ImageCopyThread(worker, job) != 1) {
    const std::string step = outcome.step ? outcome.step : kCopyWriteFailed;
    return finish(false, outcome.code == -1 ? step
                                            : FormatSystemError(s, static_cast<std::uint32_t>(outcome.code), step));
  }
  device->UpdateProperties();  // a loop device without partitions declines: nothing to re-read
  finish(true, kUsbSucceeded);
}

int Usb(const Console& console, std::vector<std::string> words) {
  const bool all = Option(words, "--all");
  const bool verify = !Option(words, "--noverify");
  const bool yes = Option(words, "--yes");
  for (const std::string& w : words)
    if (w.rfind("-", 0) == 0) return Usage(console, "usb does not take " + w);
  if (all == !words.empty()) return Usage(console, "usb takes devices or --all, one of them");

  const std::string root = linux_host::SysfsRoot();
  const auto inUse = linux_host::DisksInUse(PackageDirectory());
  Host host(console);
  std::vector<std::unique_ptr<StickState>> states;
  std::vector<std::pair<std::string, std::string>> refused;  // node, why
  auto take = [&](const Stick& stick) {
    if (std::any_of(states.begin(), states.end(), [&](const auto& s) { return s->stick.dev == stick.dev; }))
      return;
    const std::string refusal = linux_host::Refusal(stick, inUse);
    if (!refusal.empty()) return refused.emplace_back(stick.node, refusal), void();
    states.push_back(std::make_unique<StickState>());
    StickState& state = *states.back();
    state.stick = stick;
    state.device = stick.node;
    state.vendor = stick.vendor;
    state.product = stick.model;
    state.serial = stick.serial;
    state.bytes = stick.bytes;
  };
  if (all) {
    for (const Stick& stick : linux_host::FindSticks(root)) take(stick);
  } else {
    for (const std::string& word : words) {
      const std::string name = word.rfind("/dev/", 0) == 0 ? word.substr(5) : word;
      std::string why;
      if (auto stick = linux_host::ReadStick(root, name, why)) {
        take(*stick);
      } else {
        refused.emplace_back(word, why);
      }
    }
  }
  for (const auto& [node, why] : refused)
    std::fprintf(console.err, "zolpcli: %s is never written: %s\n", node.c_str(), why.c_str());
  if (states.empty()) {
    if (refused.empty()) std::fprintf(console.err, "zolpcli: %s\n", kUsbNoDrives);
    return kExitRefused;
  }

  std::fprintf(console.out, "All data on these drives will be erased:\n");
  for (const auto& state : states)
    std::fprintf(console.out, "  %s  %s - %s  serial %s\n", state->stick.node.c_str(),
                 SizeText(state->stick.bytes).c_str(), Identity(state->stick).c_str(),
                 state->stick.serial.c_str());
  if (!yes && !Confirmed(console, "Erase them?")) {
    if (console.inTerminal) std::fprintf(console.err, "zolpcli: nothing was written.\n");
    return kExitRefused;
  }

  // One image per size of stick.
  const std::string label = VolumeLabel(host.services);
  std::map<std::uint32_t, std::pair<std::string, std::string>> images;  // blocks: path, failure
  for (auto& state : states) {
    const std::uint64_t sectors = state->stick.bytes / kUsbSectorBytes;
    const UsbImagePlan plan = PlanUsbImage(static_cast<std::uint32_t>(
        std::min<std::uint64_t>(sectors, 0xFFFFFFFFu) - 1));
    if (plan.refusal) {
      state->result = plan.refusal;
      state->done = true;
      continue;
    }
    auto [it, added] = images.try_emplace(plan.blocks);
    if (added) {
      std::string path;
      if (!host.files.TemporaryFileName(".", "~DP", path)) {
        it->second.second = FormatSystemError(host.services, host.errors.Last(), "Create temporary filename");
      } else {
        it->second.first = path;
        std::fprintf(console.out, "Building the image for %s drives...\n", SizeText(std::uint64_t{plan.blocks} * kUsbSectorBytes).c_str());
        const int code = RunVellix(console, FlashRun(label, plan.blocks, path), true);
        if (code != 0) it->second.second = BuildFailure(code);
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
  host.ui.Track(drives);
  for (std::size_t i = 0; i < states.size(); ++i) {
    StickState& state = *states[i];
    if (state.done) continue;
    if (!host.threads.StartThread([&host, &state, i, verify] { WriteStick(host, state, i, verify); })) {
      state.result = FormatSystemError(host.services, host.errors.Last(), "Start copy");
      state.done = true;
    }
  }

  host.ui.DrawUntilDone();
  host.threads.JoinAll();
  for (const auto& [blocks, image] : images)
    if (!image.first.empty()) DeleteToolFile(host.services, image.first);

  const bool allGood = host.ui.PrintTable();
  return allGood ? kExitDone : kExitFailed;
}

// image and iso: vellix straight onto the file the user named.
int Image(const Console& console, std::vector<std::string> words, bool cd) {
  const bool diskette = !cd && Option(words, "--diskette");
  if (words.size() != 1 || words[0].empty() || words[0][0] == '-')
    return Usage(console, std::string(cd ? "iso" : "image") + " takes one file name");
  const std::string& file = words[0];
  std::error_code ec;
  if (fs::exists(file, ec)) {
    std::fprintf(console.err, "zolpcli: %s already exists; nothing was written.\n", file.c_str());
    return kExitRefused;
  }
  Host host(console);
  const std::string label = VolumeLabel(host.services);
  const int code = RunVellix(console, cd ? CdRun(label, file) : ImageRun(diskette, label, file), false);
  if (code == 0) {
    std::fprintf(console.out, "%s\n", cd ? "The CD ISO image file was successfully created."
                                         : "The image file was successfully created.");
    return kExitDone;
  }
  // What the builder left behind is no image.
  fs::remove(file, ec);
  std::fprintf(console.err, "zolpcli: Image Creation Error: %s\n", BuildFailure(code).c_str());
  return code > 0 ? code : kExitFailed;
}


// "set.img" -> "set2.img": the file of diskette n of a set saved as files.
std::string NumberedFile(const std::string& file, unsigned n) {
  const fs::path path(file);
  return (path.parent_path() / (path.stem().string() + std::to_string(n) + path.extension().string()))
      .string();
}

// The Disk1..Disk9 set: each diskette built and, onto a drive, written and
// read back after the user has put it in; onto files, saved one file each.
int Diskettes(const Console& console, std::vector<std::string> words) {
  if (words.size() != 1 || words[0].empty() || words[0][0] == '-')
    return Usage(console, "diskettes takes one diskette drive or file name");
  const std::string target = words[0];
  Host host(console);
  const unsigned total = CountDisketteSections(host.services);
  if (total == 0) {
    std::fprintf(console.err, "zolpcli: the package has no diskette set ([Disk1] in %s).\n", kPackageFile);
    return kExitRefused;
  }
  struct stat st {};
  const bool drive = ::stat(target.c_str(), &st) == 0 && S_ISBLK(st.st_mode);
  if (drive) {
    if (linux_host::DisksInUse(PackageDirectory()).count({major(st.st_rdev), minor(st.st_rdev)})) {
      std::fprintf(console.err, "zolpcli: %s is never written: it is in use.\n", target.c_str());
      return kExitRefused;
    }
    if (!console.inTerminal) return Confirmed(console, ""), kExitRefused;
  } else {
    for (unsigned n = 1; n <= total; ++n) {
      std::error_code ec;
      if (fs::exists(NumberedFile(target, n), ec)) {
        std::fprintf(console.err, "zolpcli: %s already exists; nothing was written.\n",
                     NumberedFile(target, n).c_str());
        return kExitRefused;
      }
    }
  }
  const std::string label = VolumeLabel(host.services);
  for (unsigned n = 1; n <= total; ++n) {
    if (!drive) {
      const std::string file = NumberedFile(target, n);
      const int code = RunVellix(console, DisketteSetRun(n, label, file), true);
      if (code != 0) {
        std::error_code ec;
        fs::remove(file, ec);
        std::fprintf(console.err, "zolpcli: Image Creation Error: %s\n", BuildFailure(code).c_str());
        return code > 0 ? code : kExitFailed;
      }
      std::fprintf(console.out, "Diskette %u of %u: %s\n", n, total, file.c_str());
      continue;
    }
    if (!Confirmed(console, Format("Insert a blank 1.44 MB diskette %u of %u in %s. Write it?", n,
                                   total, target.c_str())))
      return kExitRefused;
    std::string image;
    if (!host.files.TemporaryFileName(".", "~DP", image)) {
      std::fprintf(console.err, "zolpcli: %s\n",
                   FormatSystemError(host.services, host.errors.Last(), "Create temporary filename").c_str());
      return kExitFailed;
    }
    const int code = RunVellix(console, DisketteSetRun(n, label, image), true);
    std::string failure = code != 0 ? BuildFailure(code) : "";
    if (failure.empty()) {
      auto device = linux_host::BlockDevice::Open(target);
      std::uint64_t bytes = 0;
      if (!device || !device->Size(bytes)) {
        failure = FormatSystemError(host.services, host.errors.Last(), "Opening the diskette drive");
      } else {
        CopyJob job{0, device.get(), image.c_str(), bytes};
        job.verify = true;
        char text[160] = {};
        job.failureText = text;
        job.failureTextSize = sizeof text;
        std::intptr_t outcome = 0;
        const char* step = nullptr;
        host.ui.onPost = [&](std::uint32_t message, std::intptr_t wParam, std::intptr_t lParam) {
          if (message == kMsgJobFinished) outcome = wParam, step = PostedText(lParam);
        };
        if (ImageCopyThread(host.services, job) != 1) {
          if (step == nullptr) step = kCopyWriteFailed;
          failure = outcome == -1 ? step
                                  : FormatSystemError(host.services, static_cast<std::uint32_t>(outcome), step);
        }
      }
    }
    DeleteToolFile(host.services, image);
    if (!failure.empty()) {
      std::fprintf(console.err, "zolpcli: diskette %u of %u: %s\n", n, total, failure.c_str());
      return kExitFailed;
    }
    std::fprintf(console.out, "Diskette %u of %u written and verified.\n", n, total);
  }
  return kExitDone;
}

// The partition update of the dialog, unattended with --yes: each torbel run
// is printed, then the result. Ends with 0 or torbel's code.
int Update(const Console& console, std::vector<std::string> words) {
  Host host(console);
  host.services.options.debug = Option(words, "--debug");
  const bool yes = Option(words, "--yes");
  if (Option(words, "--test"))
    return Usage(console, "--test emulates torbel with the Windows command interpreter: ZOLP.exe only");
  if (!words.empty()) return Usage(console, "update does not take " + words[0]);
  auto failed = [&](std::uint32_t code) {
    return static_cast<int>(code != 0 && code != kExitCodeUnknown ? code : kExitFailed);
  };

  const DiagnosticsProbe probe = ProbeDiagnostics(host.services);
  if (probe.toolMissing) return kExitFailed;  // the runner has said why
  if (!probe.found || probe.status != 0) {
    std::fprintf(console.err, "zolpcli: %s\n", kUpdateNotPossible);
    if (probe.status == 0)
      std::fprintf(console.err, "zolpcli: torbel's exit code %u: %s\n", probe.exitCode,
                   PartitionErrorText(probe.exitCode));
    return failed(probe.status == 0 ? probe.exitCode : 0);
  }
  std::fprintf(console.out, "%s\n", UpdateConfirmation(NewDiagVersion(host.services), probe.installed).c_str());
  if (!yes && !Confirmed(console, "Update it?")) {
    if (console.inTerminal) std::fprintf(console.err, "zolpcli: nothing was changed.\n");
    return kExitRefused;
  }
  UpdateJob job;
  job.owner = 1;
  job.prefix = probe.prefix;
  int shown = -1;
  bool updated = false;
  host.ui.onPost = [&](std::uint32_t message, std::intptr_t wParam, std::intptr_t) {
    if (message == kMsgJobFinished) updated = wParam == 0;
    if (message != kMsgProgress || wParam == shown) return;
    shown = static_cast<int>(wParam);
    std::fprintf(console.out, "%s: %d%%\n", kUpdateProgressTitle, shown);
  };
  // The dialog's worker, on this thread: nothing else waits here.
  PartitionUpdateThread(host.services, job);
  if (updated) {
    std::fprintf(console.out, "The diagnostic partition was successfully updated.\n");
    return kExitDone;
  }
  std::fprintf(console.err, "zolpcli: the diagnostic partition was not updated.\n");
  return failed(host.launcher.LastExitCode());
}
}  // namespace

int Run(const std::vector<std::string>& arguments, const Console& console) {
  if (arguments.empty()) return Usage(console, "no command");
  const std::string& command = arguments[0];
  std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
  if (command == "--help" || command == "-h") {
    std::fputs(kUsage, console.out);
    return kExitDone;
  }
  if (command == "--version") {
    std::fprintf(console.out, "zolpcli %s\n", ZOLP_VERSION);
    return kExitDone;
  }
  // A simulated catalog in place of sysfs (the benchmark's sticks, limited to a write rate).
  if (std::getenv("ZOLP_SIM_DEVICES") && (command == "list" || command == "usb")) {
    Host host(console);
    auto devices = SimulatedCatalog(host.services, console.err);
    if (!devices) return kExitUsage;
    host.services.devices = devices.get();
    if (command == "list") return rest.empty() ? CatalogList(host.services, console) : Usage(console, "list takes no arguments");
    return CatalogUsb(host.services, console, rest);
  }
  if (command == "list") return rest.empty() ? List(console) : Usage(console, "list takes no arguments");
  if (command == "usb") return Usb(console, rest);
  if (command == "image") return Image(console, rest, false);
  if (command == "iso") return Image(console, rest, true);
  if (command == "update") return Update(console, rest);
  if (command == "diskettes") return Diskettes(console, rest);
  if (command == "burn")
    return Usage(console, "CDs are not burned on Linux: save the ISO with 'zolpcli iso FILE' and "
                          "burn it with a CD writing tool");
  return Usage(console, "unknown command " + command);
}

}  // namespace zolp::cli
