#include "zolp/sim/simulated_devices.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <charconv>
#include <set>
#include <utility>

#include "common/text.h"
#include "zolp/disk_volumes.h"
#include "zolp/report.h"
#include "zolp/sim/file_disk.h"
#include "zolp/system_info.h"

namespace zolp::sim {

namespace {

constexpr std::uint8_t kDirectAccess = 0x00;  // SCSI peripheral type of a disk
// What a stick caches before it writes to its flash, and the alignment its
// adapter asks of pass-through buffers.
constexpr std::uint64_t kStickCacheBytes = 4u << 20;
constexpr std::uint32_t kAdapterAlignmentMask = 0x1FF;

std::string VolumeName(std::size_t n) {
  return Format("\\\\?\\Volume{7a3c%04x-1d2e-11ef-9b0a-5a17e0000000}\\", static_cast<unsigned>(n));
}

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

// inuse=<n> or inuse=always.
bool InUse(const std::string& text, int& inUse) {
  std::uint64_t n = 0;
  if (text == "always") {
    inUse = -1;
  } else if (Number(text, n) && n <= 1000) {
    inUse = static_cast<int>(n);
  } else {
    return false;
  }
  return true;
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
      } else if (key == "volumes") {
        for (std::size_t at = 0; at <= value.size();) {
          const std::size_t comma = std::min(value.find(',', at), value.size());
          const std::string one = value.substr(at, comma - at);
          char letter = 0;
          if (one != "-" && !Letter(one, letter)) return "bad volume \"" + one + "\" (a letter or -)";
          d.volumes.push_back(letter);
          at = comma + 1;
        }
        if (d.volumes.size() > 4) return "at most 4 volumes";
      } else if (key == "inuse") {
        if (!InUse(value, d.inUse)) return "bad inuse \"" + value + "\" (a count or always)";
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
    if (d.letter != 0 && !d.volumes.empty()) return "letter= and volumes= together";
  } else if (word == "cardslot") {
    d.kind = DeviceKind::CardSlot;
    if (args < 2) return "cardslot needs <drive number> <product name>";
    if (!Number(f[1], n) || n > 99) return "bad drive number \"" + f[1] + "\"";
    d.driveNumber = static_cast<unsigned>(n);
    for (std::size_t i = 2; i < f.size(); ++i) d.product += (i > 2 ? " " : "") + f[i];
  } else if (word == "floppy") {
    d.kind = DeviceKind::Floppy;
    if (args < 2) return "floppy needs <letter> <image file>";
    if (!Letter(f[1], d.letter)) return "bad drive letter \"" + f[1] + "\"";
    d.file = f[2];
    for (std::size_t i = 3; i < f.size(); ++i) {
      if (f[i].rfind("inuse=", 0) != 0 || !InUse(f[i].substr(6), d.inUse))
        return "unknown floppy option \"" + f[i] + "\"";
    }
  } else if (word == "cdwriter") {
    d.kind = DeviceKind::CdWriter;
    if (args < 3) return "cdwriter needs <letter> <iso file> <media>";
    if (!Letter(f[1], d.letter)) return "bad drive letter \"" + f[1] + "\"";
    d.file = f[2];
    if (!Media(f[3], d.media))
      return "bad media \"" + f[3] +
             "\" (none, cd-r, cd-rw, cd-r-written, cd-rw-written, cd-rom or dvd)";
    for (std::size_t i = 4; i < f.size(); ++i) {
      std::uint64_t every = 0;
      if (f[i] == "shared") {
        d.shared = true;
      } else if (f[i].rfind("longwrite=", 0) == 0 && Number(f[i].substr(10), every) && every > 0 &&
                 every < 1000) {
        d.longWriteEvery = static_cast<int>(every);
      } else {
        return "unknown cdwriter option \"" + f[i] + "\"";
      }
    }
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
    for (char letter : d.volumes)
      if (fault.empty() && letter != 0 && !letters.insert(letter).second)
        fault = std::string("drive letter ") + letter + ": is given twice";
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
      drive->writeBytesPerSecond = writeRate_;
      drive->cacheBytes = usb ? kStickCacheBytes : 0;
      drive->alignmentMask = kAdapterAlignmentMask;
      drive->descriptor = BuildStorageDescriptor(kDirectAccess, true, storage_descriptor::kBusTypeUsb,
                                                 d.vendor, d.product, d.revision);
      if (d.letter != 0) {
        // One volume over the whole stick, without a partition table.
        drive->volumes.push_back(SimulatedVolume{d.letter, 0, d.size, d.inUse});
      } else if (!d.volumes.empty()) {
        // Partitions from the first MiB on, of equal size.
        const std::uint64_t start = d.size > (2u << 20) ? (1u << 20) : 512;
        const std::uint64_t each = (d.size - start) / d.volumes.size() / 512 * 512;
        for (std::size_t i = 0; i < d.volumes.size(); ++i)
          drive->volumes.push_back(SimulatedVolume{d.volumes[i], start + i * each, each, d.inUse});
      }
      for (std::size_t i = 0; i < drive->volumes.size(); ++i) {
        const char letter = drive->volumes[i].letter;
        if (letter != 0)
          letters_[letter] = {DriveType::Removable, drive.get(), nullptr,
                              LetterName("Removable Disk", letter), i};
        volumes_.push_back({VolumeName(nextVolume_++), drive.get(), nullptr, i, letter});
      }
      physical_[d.driveNumber] = drive.get();
      drives_.push_back(std::move(drive));
      break;
    }
    case DeviceKind::Floppy: {
      auto drive = std::make_unique<SimulatedDrive>(DriveKind::Floppy, d.file, 0, errors_);
      drive->writeDelayMs = writeDelayMs_;
      drive->writeBytesPerSecond = writeRate_;
      drive->volumes[0].letter = d.letter;
      drive->volumes[0].inUse = d.inUse;
      letters_[d.letter] = {DriveType::Removable, drive.get(), nullptr,
                            LetterName("Floppy Disk Drive", d.letter), 0};
      volumes_.push_back({VolumeName(nextVolume_++), drive.get(), nullptr, 0, d.letter});
      drives_.push_back(std::move(drive));
      break;
    }
    case DeviceKind::CdWriter: {
      auto writer = std::make_unique<SimulatedMmcDrive>(d.file, errors_);
      InsertDisc(*writer, d.media);
      writer->mediumChanged = false;  // the disc was there from the start
      writer->writeDelayMs = writeDelayMs_;
      writer->alignmentMask = kAdapterAlignmentMask;
      writer->longWriteEvery = d.longWriteEvery;
      writer->anotherProgramPolls = d.shared;
      writer->clock = clock_;
      letters_[d.letter] = {DriveType::CdRom, nullptr, writer.get(),
                            LetterName("CD Drive", d.letter), 0};
      volumes_.push_back({VolumeName(nextVolume_++), nullptr, writer.get(), 0, d.letter});
      writers_.push_back(std::move(writer));
      break;
    }
    case DeviceKind::SystemDisk:
      systemDisk_ = d.file;
      break;
  }
}

void SimulatedDevices::SetClock(Clock* clock) {
  clock_ = clock;
  for (auto& writer : writers_) writer->clock = clock;
}

bool SimulatedDevices::VolumeNames(std::vector<std::string>& names) {
  names.clear();
  for (const NamedVolume& v : volumes_) names.push_back(v.name);
  return true;
}

bool SimulatedDevices::VolumePaths(const std::string& volumeName, std::vector<std::string>& paths) {
  paths.clear();
  for (const NamedVolume& v : volumes_) {
    if (v.name != volumeName) continue;
    if (v.letter != 0) paths.push_back(std::string{v.letter, ':', '\\'});
    return true;
  }
  errors_.SetLast(2);  // ERROR_FILE_NOT_FOUND
  return false;
}

std::uint32_t SimulatedDevices::QueryDosDevices(char* buffer, std::uint32_t size) {
  std::string list;
  const auto add = [&list](const std::string& name) { list.append(name).push_back('\0'); };
  for (const char* name : {"ACPI#PNP0303#2&da1a3ff&0", "GLOBALROOT", "Global", "NUL", "COM1"})
    add(name);
  for (int i = 0; i < systemDeviceNames; ++i)
    add(Format("STORAGE#Volume#{%08x-5e1d-11ee-a1b4-806e6f6e6963}#0000000000100000#"
               "{53f5630d-b6bf-11d0-94f2-00a0c91efb8b}",
               static_cast<unsigned>(i)));
  for (const auto& [letter, drive] : letters_) add(std::string{letter, ':'});
  for (const auto& [number, drive] : physical_) add("PhysicalDrive" + std::to_string(number));
  list.push_back('\0');
  if (list.size() > size) {
    errors_.SetLast(122);  // ERROR_INSUFFICIENT_BUFFER: Windows 10 gives none of it
    return 0;
  }
  std::memcpy(buffer, list.data(), list.size());
  return static_cast<std::uint32_t>(list.size());
}

void SimulatedDevices::SetWriteRate(std::uint64_t bytesPerSecond) {
  writeRate_ = bytesPerSecond;
  for (auto& drive : drives_) drive->writeBytesPerSecond = bytesPerSecond;
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
  const Letter gone = it->second;
  for (auto p = physical_.begin(); p != physical_.end();) {
    p = gone.drive != nullptr && p->second == gone.drive ? physical_.erase(p) : std::next(p);
  }
  for (auto l = letters_.begin(); l != letters_.end();) {
    const bool same = gone.drive ? l->second.drive == gone.drive : l->second.writer == gone.writer;
    l = same ? letters_.erase(l) : std::next(l);
  }
  volumes_.erase(std::remove_if(volumes_.begin(), volumes_.end(),
                                [&](const NamedVolume& v) {
                                  return gone.drive ? v.drive == gone.drive : v.writer == gone.writer;
                                }),
                 volumes_.end());
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
  // Read as the Win32 host reads QueryDosDeviceA.
  return ReadDosDeviceNames(
      errors_, [this](char* buffer, std::uint32_t size) { return QueryDosDevices(buffer, size); },
      names);
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

std::unique_ptr<DiskHandle> SimulatedDevices::Open(const std::string& devicePath,
                                                   DiskAccess access) {
  const std::string upper = common::UpperAscii(devicePath);
  const std::string prefix = "\\\\.\\";
  if (upper.rfind(prefix, 0) == 0) {
    const std::string name = upper.substr(prefix.size());
    if (name.size() == 2 && name[1] == ':') {
      auto it = letters_.find(name[0]);
      if (it != letters_.end()) {
        if (it->second.drive) return it->second.drive->OpenVolume(it->second.volume, access);
        return OpenWriter(*it->second.writer, access);
      }
    }
    const std::string physical = "PHYSICALDRIVE";
    std::uint64_t number = 0;
    if (name.rfind(physical, 0) == 0 && Number(name.substr(physical.size()), number)) {
      auto it = physical_.find(static_cast<unsigned>(number));
      if (it != physical_.end()) return it->second->Open();
    }
  }
  if (auto volume = OpenNamed(upper, access)) return volume;
  errors_.SetLast(2);  // ERROR_FILE_NOT_FOUND
  return nullptr;
}

// \\?\Volume{...}, the name FindFirstVolume gave without its last backslash.
std::unique_ptr<DiskHandle> SimulatedDevices::OpenNamed(const std::string& upperPath,
                                                        DiskAccess access) {
  for (const NamedVolume& v : volumes_) {
    std::string name = v.name.substr(0, v.name.size() - 1);
    for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (name != upperPath) continue;
    if (v.drive) return v.drive->OpenVolume(v.volume, access);
    return OpenWriter(*v.writer, access);
  }
  return nullptr;
}

std::unique_ptr<DiskHandle> SimulatedDevices::OpenWriter(SimulatedMmcDrive& writer,
                                                         DiskAccess access) {
  // A CD drive's \\.\X: is a volume too: no writing without write sharing.
  if (access == DiskAccess::ReadWriteShareRead) {
    errors_.SetLast(32);  // ERROR_SHARING_VIOLATION
    return nullptr;
  }
  return writer.OpenHandle();
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
