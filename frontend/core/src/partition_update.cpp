#include "zolp/partition_update.h"

#include <algorithm>

#include "zolp/messages.h"
#include "zolp/package_config.h"
#include "zolp/report.h"
#include "zolp/system_errors.h"
#include "zolp/tool_runner.h"
#include "zolp/vellix_command.h"

namespace zolp {

namespace {

constexpr const char* kDebugRoot = "C:\\UPDEBUG";
constexpr const char* kOldVersionDirectory = "UP";
constexpr const char* kOldVersionFile = "UP\\oldver.ini";
constexpr const char* kNewVersionFile = "DIAGS\\OrvoDiag.ini";
constexpr const char* kDeleteSection = "[UP_DELETE]";
constexpr const char* kCopySection = "[UP_COPY]";
constexpr const char* kUpdateErrorTitle = "Update Error";
constexpr std::size_t kConfirmationMax = 255;

// torbel answers IFEXISTS with 0 (there) or 1 (not there); anything else is
// the partition's own trouble.
constexpr std::uint32_t kExists = 0;
constexpr std::uint32_t kAbsent = 1;

// The partition's contents at one point of the update, copied to
// C:\UPDEBUG\<stage> in debug mode.
void CopyPartitionForDebugging(const Services& services, const char* stage) {
  RunPartitionShell(services, Format("COPYSYS2HD *.* %s\\%s", kDebugRoot, stage));
  RunPartitionShell(services, Format("COPYSYS2HD DIAGS\\*.* %s\\%s\\DIAGS", kDebugRoot, stage));
}

void ShowWorkerMessage(const Services& services, const std::string& text, const char* title) {
  services.ui->ShowMessage(text, title, MessageIcon::Warning);
}

// torbel could not be run (or its exit code was lost).
void ShowRunFailure(const Services& services, std::uint32_t status) {
  ShowWorkerMessage(services, FormatSystemError(services, status, "Update of the diagnostic partition"),
                    "Error");
}

// torbel ran and said no.
void ShowAccessError(const Services& services, std::uint32_t exitCode) {
  ShowWorkerMessage(services,
                    Format("Error %u accessing the diagnostic partition:\n%s.", exitCode,
                           PartitionErrorText(exitCode)),
                    kUpdateErrorTitle);
}

// One command of the update, run on the partition with its exit code asked
// for. A checked step must end with exit code 0; an unchecked one only has to
// run. A step that counts reports progress.
class StepRunner {
 public:
  StepRunner(const Services& services, UpdateJob& job) : services_(services), job_(job) {}

  bool Run(const std::string& command, bool checked) {
    std::uint32_t exitCode = 0;
    const std::uint32_t status = RunPartitionShell(services_, command, &exitCode);
    if (status != 0) {
      ShowRunFailure(services_, status);
      return false;
    }
    if (checked && exitCode != 0) {
      ShowAccessError(services_, exitCode);
      return false;
    }
    ++job_.done;
    services_.ui->Post(job_.owner, kMsgProgress, UpdatePercent(job_.done, job_.total), 0);
    return true;
  }

  // Walks the lines of a section; each line's command (built by `command`,
  // false for an invalid line) runs as one step. The walk stops at the first
  // invalid line or failed step, which mark the update failed, and runs
  // nothing once the update has failed. Answers whether the section exists.
  template <class MakeCommand>
  bool Walk(const char* section, bool checked, MakeCommand command) {
    return FindPackageValue(
        services_, kPackageFile, section, false, nullptr, 0, [&](std::string_view line) {
          if (job_.error) return true;
          std::string text;
          if (!command(line, text)) {
            ShowWorkerMessage(services_, "Invalid line in the configuration file!",
                              kUpdateErrorTitle);
            job_.error = true;
          } else if (!Run(text, checked)) {
            job_.error = true;
          }
          return job_.error;
        });
  }

 private:
  const Services& services_;
  UpdateJob& job_;
};

unsigned CountSectionLines(const Services& services, const char* section) {
  unsigned lines = 0;
  FindPackageValue(services, kPackageFile, section, false, nullptr, 0, [&](std::string_view) {
    ++lines;
    return false;
  });
  return lines;
}

bool CopyCommandFor(std::string_view line, std::string& command) {
  command = "COPYHD2SYS " + std::string(line);
  return command.size() <= kUpdateCommandMax;
}

void EndUpdate(const Services& services, UpdateJob& job, bool updated) {
  const WindowRef owner = job.owner;
  if (updated) services.ui->Post(owner, kMsgProgress, 100, 0);
  // The last touch of the job: the dialog frees it on this message.
  services.ui->Post(owner, kMsgJobFinished, updated ? 0 : -1, 0);
}

}  // namespace

int UpdatePercent(unsigned done, unsigned total) {
  if (total == 0) return 0;
  return static_cast<int>(std::min(done, total) * 100u / total);
}

bool DeleteCommandFor(std::string_view line, const std::string& prefix, std::string& command) {
  // Fields are separated by commas: one letter, then the path or name.
  const std::size_t comma = line.find(',');
  if (comma != 1) return false;
  std::string_view field = line.substr(comma + 1);
  field = field.substr(0, field.find(','));
  while (!field.empty() && (field.front() == ' ' || field.front() == '\t')) field.remove_prefix(1);
  while (!field.empty() && (field.back() == ' ' || field.back() == '\t')) field.remove_suffix(1);
  if (field.empty()) return false;
  const std::string name(field);
  switch (line[0]) {
    case 'R':
    case 'r':
      command = "DEL " + name;
      break;
    case 'T':
    case 't':
      command = "DEL " + prefix + name;
      break;
    default:
      return false;
  }
  // A command cut short could delete something else: it is not run at all.
  return command.size() <= kUpdateCommandMax;
}

const char* PartitionErrorText(std::uint32_t code) {
  switch (code) {
    case 700: return "Unable to locate partition";
    case 701:
    case 703: case 704: case 705: case 706: case 707: case 708: case 709:
    case 720: case 721: case 722: case 723: case 724:
    case 731: case 732:
    case 739: case 740: case 741:
      return "Diagnostic partition damaged";
    case 702: return "Unable to open the hard drive";
    case 710: case 711: case 712: case 713: return "File error";
    case 714: case 715: return "Disk error locating directory";
    case 716: return "Directory already exists";
    case 717: return "File already exists";
    case 718: return "Path not found";
    case 719: return "Unable to rename file";
    case 726: return "File not found";
    case 729: return "Unable to delete file";
    case 730: return "No more space on the diagnostic partition";
    case 734: return "Disk error reading file";
    case 735: return "Root directory full";
    case 736: return "Unable to remove directory name entry";
    case 737: return "Directory not empty";
    case 745: return "Unable to create local temp file";
    case 746: return "Unable to locate local file";
    case 747: return "Error writing local file";
    default: return "Unknown error";
  }
}

void PartitionUpdateThread(const Services& services, UpdateJob& job) {
  StepRunner steps(services, job);
  services.ui->Post(job.owner, kMsgProgress, 0, 0);
  job.total = CountSectionLines(services, kDeleteSection) + CountSectionLines(services, kCopySection);

  // A deletion that fails on the partition is no error: the file may be gone already.
  steps.Walk(kDeleteSection, false, [&](std::string_view line, std::string& command) {
    return DeleteCommandFor(line, job.prefix, command);
  });
  if (services.options.upDebug) CopyPartitionForDebugging(services, "DELETE");

  // After a failed deletion nothing more is put on the partition.
  if (!job.error) {
    std::uint32_t exitCode = 0;
    const std::uint32_t status = RunPartitionShell(services, "IFEXISTS SYS:\\DIAGS", &exitCode);
    if (status != 0 || (exitCode != kExists && exitCode != kAbsent)) {
      if (status != 0) {
        ShowRunFailure(services, status);
      } else {
        ShowAccessError(services, exitCode);
      }
      EndUpdate(services, job, false);
      return;
    }
    if (exitCode == kAbsent) {
      ++job.total;  // the directory is one more step
      if (!steps.Run("MD \\Diags", true)) {
        ShowWorkerMessage(services, "Could not create the diagnostic directory!", kUpdateErrorTitle);
        EndUpdate(services, job, false);
        return;
      }
    }
    if (!steps.Walk(kCopySection, true, CopyCommandFor)) {
      ShowWorkerMessage(services, "Error in DD.CFG, no UP_COPY section found.", kUpdateErrorTitle);
      EndUpdate(services, job, false);
      return;
    }
  }
  if (services.options.upDebug) CopyPartitionForDebugging(services, "AFTER");
  EndUpdate(services, job, !job.error);
}

void PrepareDebugCopies(const Services& services) {
  // The command interpreter's results do not matter: a missing folder shows
  // in the copies.
  RunCommandShell(services, services.files->Exists(kDebugRoot)
                                 ? Format("DEL %s\\*.* /f /s /q", kDebugRoot)
                                 : Format("MD %s", kDebugRoot));
  for (const char* stage : {"BEFORE", "DELETE", "AFTER"}) {
    RunCommandShell(services, Format("MD %s\\%s", kDebugRoot, stage));
    RunCommandShell(services, Format("MD %s\\%s\\DIAGS", kDebugRoot, stage));
  }
  CopyPartitionForDebugging(services, "BEFORE");
}

DiagnosticsProbe ProbeDiagnostics(const Services& services) {
  DiagnosticsProbe probe;
  std::uint32_t& status = probe.status;
  std::uint32_t& exitCode = probe.exitCode;
  status = RunPartitionShell(services, "IFEXISTS SYS:\\ORVOUP\\DIAGS", &exitCode);
  if (status == 0 && exitCode == kExists) {
    probe.prefix = "\\ORVOUP\\DIAGS\\";
  } else if (status == 0 && exitCode == kAbsent) {
    status = RunPartitionShell(services, "IFEXISTS SYS:\\DIAGS", &exitCode);
    if (status == 0 && exitCode == kExists) probe.prefix = "\\DIAGS\\";
    if (status == 0 && exitCode == kAbsent) probe.prefix = "\\";
  }
  if (status == syserr::kResourceTypeNotFound) {
    probe.toolMissing = true;
    return probe;
  }
  probe.found = status == 0 && exitCode <= kAbsent;
  bool oldVersionDirectoryMade = false;
  if (probe.found) {
    // The installed version comes over into the package's UP directory.
    if (!services.files->Exists(kOldVersionDirectory))
      oldVersionDirectoryMade = services.files->MakeDirectory(kOldVersionDirectory);
    status = RunPartitionShell(services,
                               Format("COPYSYS2HD %sOrvoDiag.ini %s", probe.prefix.c_str(), kOldVersionFile));
  }
  if (probe.found && status == 0) {
    char version[kDiagVersionSize] = {};
    ReadDiagVersion(services, kOldVersionFile, version, sizeof version);
    probe.installed = version;
  }
  services.files->Delete(kOldVersionFile);
  if (oldVersionDirectoryMade) services.files->RemoveEmptyDirectory(kOldVersionDirectory);
  return probe;
}

std::string NewDiagVersion(const Services& services) {
  char version[kDiagVersionSize] = {};
  ReadDiagVersion(services, kNewVersionFile, version, sizeof version);
  return version;
}

std::string UpdateConfirmation(const std::string& newVersion, const std::string& installed) {
  return Format("This option will update the diagnostic partition on this computer to "
                "version %s from version %s.",
                newVersion.c_str(), installed.c_str())
      .substr(0, kConfirmationMax);
}

}  // namespace zolp
