#include "zolp/sim/simulated_devices.h"

#include <cctype>
#include <charconv>
#include <set>
#include <utility>

#include "common/text.h"
#include "disk_proxy.h"
#include "zolp/sim/file_disk.h"
#include "zolp/system_info.h"

namespace zolp::sim {

namespace {

constexpr std::uint8_t kDirectAccess = 0x00;  // SCSI peripheral type of a disk

// The fields of one line: blanks separate them, double quotes group, '#' ends the line.
std::vector<std::string> Fields(std::string_view line) {
  std::vector<std::string> fields;
  std::string field;
  bool quoted = false, inField = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      inField = true;
    } else if (!quoted && c == '#') {
      break;
    } else if (!quoted && (c == ' ' || c == '\t' || c == '\r')) {
      if (inField) fields.push_back(field);
      field.clear();
      inField = false;
    } else {
      field += c;
      inField = true;
    }
  }
  if (inField) fields.push_back(field);
  return fields;
}

bool Number(const std::string& text, std::uint64_t& value) {
  const char* end = text.data() + text.size();
  auto [ptr, ec] = std::from_chars(text.data(), end, value);
  return ec == std::errc() && ptr == end && !text.empty();
}

bool Letter(const std::string& text, char& letter) {
  if (text.size() != 1 || !std::isalpha(static_cast<unsigned char>(text[0]))) return false;
  letter = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
  return true;
}

// The discs a writer can hold: their names in a description and what the drive reports.
struct Disc {
  const char* name;
  CdMedia media;
  std::uint16_t profile;
  DiscStatus status;
  bool erasable;
};
constexpr Disc kDiscs[] = {
    {"none", CdMedia::None, profile::kNone, DiscStatus::Blank, false},
    {"cd-r", CdMedia::CdR, profile::kCdR, DiscStatus::Blank, false},
    {"cd-rw", CdMedia::CdRw, profile::kCdRw, DiscStatus::Blank, true},
    {"cd-r-written", CdMedia::CdRWritten, profile::kCdR, DiscStatus::Complete, false},
    {"cd-rw-written", CdMedia::CdRwWritten, profile::kCdRw, DiscStatus::Complete, true},
    {"cd-rom", CdMedia::CdRom, profile::kCdRom, DiscStatus::Complete, false},
    {"dvd", CdMedia::Dvd, profile::kDvdRom, DiscStatus::Complete, false},
};

bool Media(const std::string& text, CdMedia& media) {
  for (const Disc& d : kDiscs) {
    if (text == d.name) {
      media = d.media;
      return true;
    }
  }
  return false;
}

// One line's fields after the keyword; answers the fault, empty when none.
std::string ParseLine(const std::vector<std::string>& f, DeviceLine& d) {
  const std::string& word = f[0];
  const std::size_t args = f.size() - 1;
  std::uint64_t n = 0;
  if (word == "usb") {
    d.kind = DeviceKind::Usb;
    if (args < 3) return "usb needs <drive number> <image file> <size in bytes>";
    if (!Number(f[1], n) || n > 99) return "bad drive number \"" + f[1] + "\"";
    d.driveNumber = static_cast<unsigned>(n);
    d.file = f[2];
    if (!Number(f[3], d.size) || d.size == 0 || d.size % 512 != 0)
      return "bad size \"" + f[3] + "\" (a positive multiple of 512 bytes)";
    for (std::size_t i = 4; i < f.size(); ++i) {
      const std::size_t eq = f[i].find('=');
      const std::string key = f[i].substr(0, eq), value = eq == std::string::npos ? "" : f[i].substr(eq + 1);
      if (eq == std::string::npos) return "unknown usb option \"" + f[i] + "\"";
      if (key == "letter") {
        if (!Letter(value, d.letter)) return "bad drive letter \"" + value + "\"";
      } else if (key == "vendor") {
        d.vendor = value;
      } else if (key == "product") {
        d.product = value;
      } else if (key == "revision") {
        d.revision = value;
      } else {
        return "unknown usb option \"" + key + "\"";
      }
    }
  } else if (word == "cardslot") {
    d.kind = DeviceKind::CardSlot;
    if (args < 2) return "cardslot needs <drive number> <product name>";
    if (!Number(f[1], n) || n > 99) return "bad drive number \"" + f[1] + "\"";
    d.driveNumber = static_cast<unsigned>(n);
    for (std::size_t i = 2; i < f.size(); ++i) d.product += (i > 2 ? " " : "") + f[i];
  } else if (word == "floppy") {
    d.kind = DeviceKind::Floppy;
    if (args != 2) return "floppy needs <letter> <image file>";
    if (!Letter(f[1], d.letter)) return "bad drive letter \"" + f[1] + "\"";
    d.file = f[2];
  } else if (word == "cdwriter") {
    d.kind = DeviceKind::CdWriter;
    if (args != 3) return "cdwriter needs <letter> <iso file> <media>";
    if (!Letter(f[1], d.letter)) return "bad drive letter \"" + f[1] + "\"";
    d.file = f[2];
    if (!Media(f[3], d.media))
      return "bad media \"" + f[3] +
             "\" (none, cd-r, cd-rw, cd-r-written, cd-rw-written, cd-rom or dvd)";
  } else if (word == "systemdisk") {
    d.kind = DeviceKind::SystemDisk;
    if (args != 1) return "systemdisk needs <image file>";
    d.file = f[1];
  } else {
    return "unknown device \"" + word + "\" (usb, cardslot, floppy, cdwriter or systemdisk)";
  }
  return {};
}

const Disc& DiscOf(CdMedia media) {
  for (const Disc& d : kDiscs)
    if (d.media == media) return d;
  return kDiscs[0];
}

std::string LetterName(const char* kind, char letter) {
  return std::string(kind) + " (" + letter + ":)";
}

}  // namespace

bool ParseDeviceDescription(std::string_view text, std::vector<DeviceLine>& devices,
                            std::string& error) {
  devices.clear();
  std::set<char> letters;
  std::set<unsigned> numbers;
  bool systemDisk = false;
  int lineNumber = 0;
  std::size_t start = 0;
  while (start <= text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    const std::vector<std::string> fields = Fields(text.substr(start, end - start));
    start = end + 1;
    ++lineNumber;
    if (fields.empty()) continue;
    DeviceLine d;
    d.line = lineNumber;
    std::string fault = ParseLine(fields, d);
    if (fault.empty() && d.letter != 0 && !letters.insert(d.letter).second)
      fault = std::string("drive letter ") + d.letter + ": is given twice";
    if (fault.empty() && (d.kind == DeviceKind::Usb || d.kind == DeviceKind::CardSlot) &&
        !numbers.insert(d.driveNumber).second)
      fault = "drive number " + std::to_string(d.driveNumber) + " is given twice";
    if (fault.empty() && d.kind == DeviceKind::SystemDisk && std::exchange(systemDisk, true))
      fault = "only one systemdisk";
    if (!fault.empty()) {
      error = "line " + std::to_string(lineNumber) + ": " + fault;
      devices.clear();
      return false;
    }
    devices.push_back(std::move(d));
  }
  return true;
}

SimulatedDevices::SimulatedDevices(const std::vector<DeviceLine>& devices, SystemErrors& errors)
    : errors_(errors) {
  for (const DeviceLine& d : devices) Plug(d);
}

void SimulatedDevices::Plug(const DeviceLine& d) {
  switch (d.kind) {
    case DeviceKind::Usb:
    case DeviceKind::CardSlot: {
      const bool usb = d.kind == DeviceKind::Usb;
      auto drive = std::make_unique<SimulatedDrive>(usb ? DriveKind::Usb : DriveKind::CardSlot,
                                                    d.file, d.size, errors_);
      drive->deviceNumber = d.driveNumber;
      drive->writeDelayMs = writeDelayMs_;
      drive->descriptor = BuildStorageDescriptor(kDirectAccess, true, storage_descriptor::kBusTypeUsb,
                                                 d.vendor, d.product, d.revision);
      physical_[d.driveNumber] = drive.get();
      if (d.letter != 0)
        letters_[d.letter] = {DriveType::Removable, drive.get(), nullptr,
                              LetterName("Removable Disk", d.letter)};
      drives_.push_back(std::move(drive));
      break;
    }
    case DeviceKind::Floppy: {
      auto drive = std::make_unique<SimulatedDrive>(DriveKind::Floppy, d.file, 0, errors_);
      drive->writeDelayMs = writeDelayMs_;
      letters_[d.letter] = {DriveType::Removable, drive.get(), nullptr,
                            LetterName("Floppy Disk Drive", d.letter)};
      drives_.push_back(std::move(drive));
      break;
    }
    case DeviceKind::CdWriter: {
      auto writer = std::make_unique<SimulatedMmcDrive>(d.file, errors_);
      InsertDisc(*writer, d.media);
      writer->mediumChanged = false;  // the disc was there from the start
      writer->writeDelayMs = writeDelayMs_;
      letters_[d.letter] = {DriveType::CdRom, nullptr, writer.get(),
                            LetterName("CD Drive", d.letter)};
      writers_.push_back(std::move(writer));
      break;
    }
    case DeviceKind::SystemDisk:
      systemDisk_ = d.file;
      break;
  }
}

void SimulatedDevices::SetWriteDelay(std::uint32_t milliseconds) {
  writeDelayMs_ = milliseconds;
  for (auto& drive : drives_) drive->writeDelayMs = milliseconds;
  for (auto& writer : writers_) writer->writeDelayMs = milliseconds;
}

void InsertDisc(SimulatedMmcDrive& writer, CdMedia media) {
  const Disc& disc = DiscOf(media);
  writer.ChangeDisc(media == CdMedia::None ? Medium::None : Medium::Ready, disc.profile,
                    disc.status, disc.erasable);
}

// The device object stays (a handle may still point at it); it is only no
// longer found.
void SimulatedDevices::Unplug(char letter) {
  auto it = letters_.find(letter);
  if (it == letters_.end()) return;
  for (auto p = physical_.begin(); p != physical_.end();) {
    p = p->second == it->second.drive ? physical_.erase(p) : std::next(p);
  }
  letters_.erase(it);
}

SimulatedDevices::~SimulatedDevices() = default;

std::uint32_t SimulatedDevices::LogicalDrives() {
  std::uint32_t mask = 0;
  for (const auto& [letter, drive] : letters_) mask |= 1u << (letter - 'A');
  return mask;
}

DriveType SimulatedDevices::TypeOfDrive(char letter) {
  auto it = letters_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == letters_.end() ? DriveType::NoRootDir : it->second.type;
}

bool SimulatedDevices::DosDeviceNames(std::vector<std::string>& names) {
  names.clear();
  for (const auto& [letter, drive] : letters_) names.push_back(std::string{letter, ':'});
  for (const auto& [number, drive] : physical_)
    names.push_back("PhysicalDrive" + std::to_string(number));
  return true;
}

bool SimulatedDevices::VolumeInformation(char letter, std::string& label, std::string& fileSystem) {
  auto it = letters_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  if (it == letters_.end()) {
    errors_.SetLast(3);  // ERROR_PATH_NOT_FOUND
    return false;
  }
  const Letter& l = it->second;
  const bool ready = l.drive ? l.drive->MediumPresent() : l.writer->medium == Medium::Ready;
  if (!ready) {
    errors_.SetLast(21);  // ERROR_NOT_READY
    return false;
  }
  label.clear();
  fileSystem = l.writer ? "CDFS" : "FAT";
  return true;
}

std::unique_ptr<DiskHandle> SimulatedDevices::Open(const std::string& devicePath, DiskAccess) {
  const std::string upper = common::UpperAscii(devicePath);
  const std::string prefix = "\\\\.\\";
  if (upper.rfind(prefix, 0) == 0) {
    const std::string name = upper.substr(prefix.size());
    if (name.size() == 2 && name[1] == ':') {
      auto it = letters_.find(name[0]);
      if (it != letters_.end()) {
        if (it->second.drive) return it->second.drive->Open();
        return std::make_unique<detail::DiskProxy>(*it->second.writer);
      }
    }
    const std::string physical = "PHYSICALDRIVE";
    std::uint64_t number = 0;
    if (name.rfind(physical, 0) == 0 && Number(name.substr(physical.size()), number)) {
      auto it = physical_.find(static_cast<unsigned>(number));
      if (it != physical_.end()) return it->second->Open();
    }
  }
  errors_.SetLast(2);  // ERROR_FILE_NOT_FOUND
  return nullptr;
}

std::string SimulatedDevices::DisplayName(char letter) {
  auto it = letters_.find(static_cast<char>(std::toupper(static_cast<unsigned char>(letter))));
  return it == letters_.end() ? std::string{letter, ':'} : it->second.displayName;
}

SimulatedDrive* SimulatedDevices::DriveAt(char letter) {
  auto it = letters_.find(letter);
  return it == letters_.end() ? nullptr : it->second.drive;
}

SimulatedDrive* SimulatedDevices::PhysicalDrive(unsigned number) {
  auto it = physical_.find(number);
  return it == physical_.end() ? nullptr : it->second;
}

SimulatedMmcDrive* SimulatedDevices::CdWriterAt(char letter) {
  auto it = letters_.find(letter);
  return it == letters_.end() ? nullptr : it->second.writer;
}

namespace {

class SystemDiskLauncher final : public ProcessLauncher {
 public:
  SystemDiskLauncher(ProcessLauncher& inner, std::string disk)
      : inner_(inner), disk_(std::move(disk)) {}
  std::unique_ptr<ChildProcess> Start(const LaunchRequest& request) override {
    if (disk_.empty() || ProgramName(request) != "torbel.exe") return inner_.Start(request);
    LaunchRequest withDisk = request;
    withDisk.environment.push_back("TORBEL_DISK=" + disk_);
    return inner_.Start(withDisk);
  }

 private:
  ProcessLauncher& inner_;
  std::string disk_;
};

}  // namespace

std::string ProgramName(const LaunchRequest& request) {
  std::string program = request.application;
  if (program.empty()) {
    // The command line's first word, quoted or bare.
    const std::string& line = request.commandLine;
    if (!line.empty() && line[0] == '"') {
      program = line.substr(1, line.find('"', 1) - 1);
    } else {
      program = line.substr(0, line.find_first_of(" \t"));
    }
  }
  const std::size_t slash = program.find_last_of("\\/:");
  if (slash != std::string::npos) program.erase(0, slash + 1);
  return common::LowerAscii(program);
}

std::unique_ptr<ProcessLauncher> WithSystemDisk(ProcessLauncher& launcher, std::string diskFile) {
  return std::make_unique<SystemDiskLauncher>(launcher, std::move(diskFile));
}

}  // namespace zolp::sim
