#include "zolp/sim/simulated_mmc_drive.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>

#include "common/endian.h"
#include "sense_reply.h"
#include "zolp/mmc.h"
#include "zolp/sim/file_disk.h"

namespace zolp::sim {

namespace op = mmc_opcode;

struct SimulatedMmcDrive::Reply {
  std::uint8_t status = 0;
  std::uint8_t key = 0, asc = 0, ascq = 0;
  std::uint32_t systemError = 0;  // the device control itself fails (the port driver's time-out)
  static Reply Good() { return {}; }
  static Reply Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    return {2, key, asc, ascq, 0};
  }
};

// One CreateFile of the writer.
class SimulatedMmcDrive::Handle final : public DiskHandle {
 public:
  explicit Handle(SimulatedMmcDrive& w) : w_(w) {}
  ~Handle() override { w_.Closed(this); }
  bool Read(void* b, std::uint32_t n, std::uint32_t& got) override { return w_.Read(b, n, got); }
  bool Write(const void* b, std::uint32_t n, std::uint32_t& put) override { return w_.Write(b, n, put); }
  bool Seek(std::uint64_t offset) override { return w_.Seek(offset); }
  bool ScsiPassThrough(ScsiRequest& r) override { return w_.PassThroughFrom(this, r); }
  bool QueryStorageProperty(void* b, std::uint32_t n) override { return w_.QueryStorageProperty(b, n); }
  bool DeviceNumber(std::uint32_t& type, std::uint32_t& number) override {
    return w_.DeviceNumber(type, number);
  }
  bool LockVolume() override { return w_.LockVolume(); }
  bool UnlockVolume() override { return w_.UnlockVolume(); }
  bool DismountVolume() override { return w_.DismountVolume(); }
  bool UpdateProperties() override { return w_.UpdateProperties(); }
  bool MediaTypes(std::vector<std::uint32_t>& types) override { return w_.MediaTypes(types); }
  bool AdapterAlignmentMask(std::uint32_t& mask) override { return w_.AdapterAlignmentMask(mask); }
  bool ExclusiveAccess(bool lock) override { return w_.ExclusiveFor(this, lock); }

 private:
  SimulatedMmcDrive& w_;
};

namespace {

// Sense keys and codes the drive answers with.
constexpr std::uint8_t kNotReady = 0x02, kIllegalRequest = 0x05, kUnitAttention = 0x06;

void CopyOut(ScsiRequest& request, const std::vector<std::uint8_t>& reply) {
  const std::size_t n = std::min<std::size_t>(reply.size(), request.dataTransferLength);
  std::memcpy(request.dataBuffer, reply.data(), n);
}

}  // namespace

SimulatedMmcDrive::SimulatedMmcDrive(std::filesystem::path imagePath, SystemErrors& errors)
    : imagePath_(std::move(imagePath)), errors_(errors) {
  EmptyImage();
}

void SimulatedMmcDrive::EmptyImage() {
  std::FILE* f = std::fopen(imagePath_.string().c_str(), "wb");
  if (f) std::fclose(f);
  writtenBlocks_ = 0;
}

void SimulatedMmcDrive::ChangeDisc(Medium newMedium, std::uint16_t profile, DiscStatus status,
                                   bool isErasable) {
  EmptyImage();
  medium = newMedium;
  currentProfile = profile;
  disc = status;
  erasable = isErasable;
  mediumChanged = newMedium != Medium::None;
  sequenceBroken_ = false;
}

void SimulatedMmcDrive::Fail(std::uint8_t opcode, InjectedFailure failure) {
  failures_[opcode] = failure;
}

std::vector<RecordedCommand> SimulatedMmcDrive::CommandsWithOpcode(std::uint8_t opcode) const {
  std::vector<RecordedCommand> out;
  for (const auto& c : commands_)
    if (c.request.cdb[0] == opcode) out.push_back(c);
  return out;
}

std::unique_ptr<DiskHandle> SimulatedMmcDrive::OpenHandle() { return std::make_unique<Handle>(*this); }

bool SimulatedMmcDrive::ScsiPassThrough(ScsiRequest& request) { return PassThroughFrom(this, request); }
bool SimulatedMmcDrive::ExclusiveAccess(bool lock) { return ExclusiveFor(this, lock); }

bool SimulatedMmcDrive::ExclusiveFor(const void* handle, bool lock) {
  if (lock) {
    if (heldElsewhere || (exclusive_ != nullptr && exclusive_ != handle)) {
      errors_.SetLast(5);  // ERROR_ACCESS_DENIED: locked for exclusive access already
      return false;
    }
    exclusive_ = handle;
    return true;
  }
  if (exclusive_ != handle) {
    errors_.SetLast(1);  // ERROR_INVALID_FUNCTION: not this handle's lock
    return false;
  }
  exclusive_ = nullptr;
  return true;
}

void SimulatedMmcDrive::Closed(const void* handle) {
  if (exclusive_ == handle) exclusive_ = nullptr;
}

bool SimulatedMmcDrive::AdapterAlignmentMask(std::uint32_t& mask) {
  mask = alignmentMask;
  return true;
}

// A long operation runs until its time is up by the clock.
bool SimulatedMmcDrive::Busy() {
  if (busy_ && (clock == nullptr || clock->Milliseconds() >= busyUntilMs_)) busy_ = false;
  return busy_;
}

void SimulatedMmcDrive::BusyFor(std::uint32_t seconds) {
  if (seconds == 0 || clock == nullptr) return;
  busy_ = true;
  busyUntilMs_ = clock->Milliseconds() + std::uint64_t{seconds} * 1000;
}

bool SimulatedMmcDrive::PassThroughFrom(const void* handle, ScsiRequest& request) {
  RecordedCommand record;
  record.request = request;
  if (request.dataIn == ScsiRequest::kToDevice && request.dataBuffer != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(request.dataBuffer);
    record.dataOut.assign(bytes, bytes + request.dataTransferLength);
  }
  commands_.push_back(std::move(record));

  if (!detail::HeaderIsValid(request) ||
      (request.dataBuffer != nullptr &&
       (reinterpret_cast<std::uintptr_t>(request.dataBuffer) & alignmentMask) != 0)) {
    errors_.SetLast(87);  // ERROR_INVALID_PARAMETER
    return false;
  }
  // Another program's exclusive access keeps everyone else out.
  if (heldElsewhere || (exclusive_ != nullptr && exclusive_ != handle)) {
    errors_.SetLast(5);  // ERROR_ACCESS_DENIED
    return false;
  }
  std::memset(request.sense, 0, sizeof request.sense);
  request.scsiStatus = 0;

  auto it = failures_.find(request.cdb[0]);
  if (it != failures_.end() && it->second.after > 0) {
    --it->second.after;
    it = failures_.end();
  }
  if (it != failures_.end()) {
    InjectedFailure& f = it->second;
    const InjectedFailure now = f;
    if (f.times > 0 && --f.times == 0) failures_.erase(it);
    switch (now.kind) {
      case InjectedFailure::DeviceControl:
        errors_.SetLast(now.systemError);
        return false;
      case InjectedFailure::CheckCondition:
        request.scsiStatus = 2;
        detail::SetSense(request, now.senseKey, now.asc, now.ascq);
        return true;
      case InjectedFailure::Status:
        request.scsiStatus = now.status;
        return true;
    }
  }
  if (busy) {
    request.scsiStatus = 0x08;
    return true;
  }
  // While a blank or a close runs the drive does nothing else.
  const Reply reply = Busy() ? Reply::Check(kNotReady, 0x04, 0x07) : Execute(request);
  if (reply.systemError != 0) {
    errors_.SetLast(reply.systemError);
    return false;
  }
  request.scsiStatus = reply.status;
  if (reply.status == 2) detail::SetSense(request, reply.key, reply.asc, reply.ascq);
  if (request.cdb[0] == op::kWrite10 && reply.status == 0 && anotherProgramPolls) {
    // The other program's poll comes between this write and the next: refused
    // while this burn holds the writer, else it lands in the middle of the track.
    if (exclusive_ != nullptr) {
      ++pollsRefused_;
    } else {
      sequenceBroken_ = true;
    }
  }
  return true;
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::Execute(ScsiRequest& request) {
  switch (request.cdb[0]) {
    case op::kTestUnitReady:
      return TestUnitReady();
    case op::kPreventAllowRemoval:
      mediaLocked_ = (request.cdb[4] & 1) != 0;
      return Reply::Good();
    case op::kReadCapacity10:
      return ReadCapacity(request);
    case op::kWrite10:
      return Write10(request);
    case op::kRead10:
      return Read10(request);
    case op::kSynchronizeCache10:
    case op::kSendOpcInformation:
      return RequireMedium();
    case op::kGetConfiguration:
      return GetConfiguration(request);
    case op::kReadDiscInformation:
      return ReadDiscInformation(request);
    case op::kModeSelect10:
      return ModeSelect(request);
    case op::kModeSense10:
      return ModeSense(request);
    case op::kCloseTrackSession:
      return CloseSession(request);
    case op::kBlank:
      return Blank(request);
    case op::kSetCdSpeed:
      return Reply::Good();
    default:
      return Reply::Check(kIllegalRequest, 0x20, 0x00);  // invalid operation code
  }
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::RequireMedium() const {
  if (medium == Medium::None) return Reply::Check(kNotReady, 0x3A, 0x00);
  if (medium == Medium::BecomingReady) return Reply::Check(kNotReady, 0x04, 0x01);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::TestUnitReady() {
  if (medium == Medium::BecomingReady) {
    if (becomingReadyTests > 0) {
      --becomingReadyTests;
      return Reply::Check(kNotReady, 0x04, 0x01);
    }
    medium = Medium::Ready;
  }
  if (medium == Medium::None) return Reply::Check(kNotReady, 0x3A, 0x00);
  if (mediumChanged) {
    mediumChanged = false;
    return Reply::Check(kUnitAttention, 0x28, 0x00);
  }
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::ReadCapacity(ScsiRequest& request) {
  if (Reply r = RequireMedium(); r.status) return r;
  if (request.dataIn != ScsiRequest::kFromDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  std::vector<std::uint8_t> data(8);
  const std::uint32_t blocks = std::max<std::uint32_t>(writtenBlocks_, 1);
  common::store_be32(data.data(), blocks - 1);
  common::store_be32(data.data() + 4, kCdBlockSize);
  CopyOut(request, data);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::Write10(ScsiRequest& request) {
  if (Reply r = RequireMedium(); r.status) return r;
  if (request.dataIn != ScsiRequest::kToDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  if (currentProfile != profile::kCdR && currentProfile != profile::kCdRw)
    return Reply::Check(kIllegalRequest, 0x30, 0x05);  // cannot write medium: incompatible format
  if (disc == DiscStatus::Complete) return Reply::Check(kIllegalRequest, 0x21, 0x02);
  const std::uint32_t lba = common::load_be32(request.cdb + 2);
  const std::uint32_t blocks = common::load_be16(request.cdb + 7);
  // The drive takes whole blocks: exactly the bytes of the blocks announced.
  if (static_cast<std::uint64_t>(blocks) * kCdBlockSize != request.dataTransferLength)
    return Reply::Check(kIllegalRequest, 0x24, 0x00);
  if (sequenceBroken_) return Reply::Check(kIllegalRequest, 0x2C, 0x00);  // command sequence error
  if (longWriteEvery > 0 && ++writeAttempts_ % longWriteEvery == 0)
    return Reply::Check(kNotReady, 0x04, 0x08);  // long write in progress: the buffer is full
  if (static_cast<std::uint64_t>(lba) + blocks > capacityBlocks)
    return Reply::Check(kIllegalRequest, 0x21, 0x00);  // LBA out of range

  if (writeDelayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(writeDelayMs));
  std::vector<std::uint8_t> data(static_cast<std::size_t>(blocks) * kCdBlockSize, 0);
  std::memcpy(data.data(), request.dataBuffer, request.dataTransferLength);
  std::FILE* f = std::fopen(imagePath_.string().c_str(), "r+b");
  if (!f) return Reply::Check(0x03, 0x0C, 0x00);  // medium error: write error
  bool ok = true;
  for (std::uint32_t block = 0; ok && block < blocks; ++block) {
    if (dropBlock == lba + block) continue;
    ok = std::fseek(f, static_cast<long>(lba + block) * kCdBlockSize, SEEK_SET) == 0 &&
         std::fwrite(data.data() + static_cast<std::size_t>(block) * kCdBlockSize, 1, kCdBlockSize,
                     f) == kCdBlockSize;
  }
  std::fclose(f);
  if (!ok) return Reply::Check(0x03, 0x0C, 0x00);
  writtenBlocks_ = std::max(writtenBlocks_, lba + blocks);
  disc = DiscStatus::Appendable;
  return Reply::Good();
}

// Reads what the disc holds; blocks never written (a dropped one) read as zeros.
SimulatedMmcDrive::Reply SimulatedMmcDrive::Read10(ScsiRequest& request) {
  if (Reply r = RequireMedium(); r.status) return r;
  if (request.dataIn != ScsiRequest::kFromDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  if (currentProfile == profile::kNone) return Reply::Check(kNotReady, 0x30, 0x00);
  const std::uint32_t lba = common::load_be32(request.cdb + 2);
  const std::uint32_t blocks = common::load_be16(request.cdb + 7);
  if (static_cast<std::uint64_t>(blocks) * kCdBlockSize != request.dataTransferLength)
    return Reply::Check(kIllegalRequest, 0x24, 0x00);
  if (static_cast<std::uint64_t>(lba) + blocks > writtenBlocks_)
    return Reply::Check(kIllegalRequest, 0x21, 0x00);  // beyond what was written
  auto* out = static_cast<std::uint8_t*>(request.dataBuffer);
  std::memset(out, 0, request.dataTransferLength);
  std::FILE* f = std::fopen(imagePath_.string().c_str(), "rb");
  if (!f) return Reply::Check(0x03, 0x11, 0x00);  // medium error: unrecovered read error
  if (std::fseek(f, static_cast<long>(lba) * kCdBlockSize, SEEK_SET) == 0)
    static_cast<void>(std::fread(out, 1, request.dataTransferLength, f));
  std::fclose(f);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::GetConfiguration(ScsiRequest& request) {
  if (request.dataIn != ScsiRequest::kFromDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  const std::uint8_t rt = request.cdb[1] & 0x03;
  const std::uint16_t feature = common::load_be16(request.cdb + 2);
  const std::uint16_t allocation = common::load_be16(request.cdb + 7);
  if (allocation != request.dataTransferLength) return Reply::Check(kIllegalRequest, 0x24, 0);

  const std::uint16_t current = medium == Medium::Ready ? currentProfile : profile::kNone;
  std::vector<std::uint8_t> reply(8, 0);
  common::store_be16(reply.data() + 6, current);
  if (feature == 0 && (rt == 2 || rt == 0 || rt == 1)) {
    // The profile list: every profile the drive supports, the current one flagged.
    std::vector<std::uint16_t> profiles = {profile::kCdRom};
    if (writesCdR) profiles.push_back(profile::kCdR);
    if (writesCdRw) profiles.push_back(profile::kCdRw);
    const std::size_t at = reply.size();
    reply.resize(at + 4 + 4 * profiles.size(), 0);
    reply[at + 2] = 0x03;  // persistent, current
    reply[at + 3] = static_cast<std::uint8_t>(4 * profiles.size());
    for (std::size_t i = 0; i < profiles.size(); ++i) {
      common::store_be16(reply.data() + at + 4 + 4 * i, profiles[i]);
      reply[at + 4 + 4 * i + 2] = profiles[i] == current ? 1 : 0;
    }
  }
  common::store_be32(reply.data(), static_cast<std::uint32_t>(reply.size() - 4));
  CopyOut(request, reply);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::ReadDiscInformation(ScsiRequest& request) {
  if (Reply r = RequireMedium(); r.status) return r;
  if (request.dataIn != ScsiRequest::kFromDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  std::vector<std::uint8_t> info(34, 0);
  common::store_be16(info.data(), 32);
  const std::uint8_t lastSession =
      disc == DiscStatus::Blank ? 0 : (disc == DiscStatus::Appendable ? 1 : 3);
  info[2] = static_cast<std::uint8_t>((erasable ? 0x10 : 0) | (lastSession << 2) |
                                      static_cast<std::uint8_t>(disc));
  info[3] = 1;  // first track
  CopyOut(request, info);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::ModeSense(ScsiRequest& request) {
  if (request.dataIn != ScsiRequest::kFromDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  const std::uint8_t page = request.cdb[2] & 0x3F;
  std::vector<std::uint8_t> data(8, 0);  // mode parameter header, no block descriptors
  if (page == kModePageWriteParameters) {
    const std::vector<std::uint8_t> values = WriteParametersPage(request.cdb[2] & 0xC0);
    data.insert(data.end(), values.begin(), values.end());
  } else if (page == kModePageCapabilities) {
    std::uint8_t caps[22] = {0x2A, 0x14, 0x3F, 0x00};
    caps[3] = static_cast<std::uint8_t>((writesCdR ? 1 : 0) | (writesCdRw ? 2 : 0));
    data.insert(data.end(), caps, caps + sizeof caps);
  } else {
    return Reply::Check(kIllegalRequest, 0x24, 0x00);
  }
  common::store_be16(data.data(), static_cast<std::uint16_t>(data.size() - 2));
  CopyOut(request, data);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::ModeSelect(ScsiRequest& request) {
  if (request.dataIn != ScsiRequest::kToDevice) return Reply::Check(kIllegalRequest, 0x24, 0);
  if ((request.cdb[1] & 0x10) == 0) return Reply::Check(kIllegalRequest, 0x24, 0x00);
  const std::uint16_t length = common::load_be16(request.cdb + 7);
  if (length != request.dataTransferLength || length < 10)
    return Reply::Check(kIllegalRequest, 0x1A, 0);
  const auto* data = static_cast<const std::uint8_t*>(request.dataBuffer);
  // The mode data length is reserved in MODE SELECT, and the PS bit must be clear.
  if (common::load_be16(data) != 0) return Reply::Check(kIllegalRequest, 0x26, 0x00);
  const std::uint8_t* page = data + 8;
  if ((page[0] & 0x80) != 0) return Reply::Check(kIllegalRequest, 0x26, 0x00);
  if ((page[0] & 0x3F) != kModePageWriteParameters)
    return Reply::Check(kIllegalRequest, 0x26, 0x00);
  // The whole page, at its own length: a short one is a parameter list length error.
  if (page[1] != writeParametersPageLength || length != 8u + 2 + writeParametersPageLength)
    return Reply::Check(kIllegalRequest, 0x1A, 0x00);
  // Fields the drive does not let change must come back as it has them.
  const std::vector<std::uint8_t> current = WriteParametersPage(0x00);
  const std::vector<std::uint8_t> changeable = WriteParametersPage(0x40);
  for (std::size_t i = 2; i < current.size(); ++i)
    if (((page[i] ^ current[i]) & ~changeable[i]) != 0) return Reply::Check(kIllegalRequest, 0x26, 0x00);
  writeParameters_.assign(page, data + length);
  currentPage_.assign(page, data + length);
  currentPage_[0] |= 0x80;  // saveable, as MODE SENSE reports it
  return Reply::Good();
}

// Page 05h as MODE SENSE reports it for a page control: current (0x00),
// changeable (0x40), default (0x80) or saved (0xC0) values. The defaults are
// those of a drive fresh from the factory (buffer-underrun protection,
// session-at-once, multi-session); its current values differ in the last four
// bytes, settings of its own that cannot be changed.
std::vector<std::uint8_t> SimulatedMmcDrive::WriteParametersPage(std::uint8_t pageControl) const {
  const std::size_t size = std::size_t{writeParametersPageLength} + 2;
  std::vector<std::uint8_t> page(size, 0);
  page[0] = 0x80 | kModePageWriteParameters;
  page[1] = writeParametersPageLength;
  if (pageControl == 0x40) {
    for (std::size_t i = 2; i + 4 < size; ++i) page[i] = 0xFF;
    return page;
  }
  const std::uint8_t defaults[] = {0x42, 0x25, 0x0A, 0x07, 0x01, 0x02, 0x20, 0x03};
  std::memcpy(page.data() + 2, defaults, std::min(sizeof defaults, size - 2));
  if (pageControl == 0x80) return page;
  if (currentPage_.size() == size) return currentPage_;
  page[size - 2] = 0x3C;
  page[size - 1] = 0x96;
  return page;
}

// A command that runs for `seconds`: with the immediate bit it answers at once
// and the drive is busy meanwhile; without it the port driver gives up after
// the request's time-out, and the drive goes on all the same.
SimulatedMmcDrive::Reply SimulatedMmcDrive::LongCommand(const ScsiRequest& request, bool immediate,
                                                        std::uint32_t seconds) {
  BusyFor(seconds);
  if (!immediate && seconds > request.timeOutSeconds) {
    Reply timedOut;
    timedOut.systemError = 121;  // ERROR_SEM_TIMEOUT
    return timedOut;
  }
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::CloseSession(const ScsiRequest& request) {
  if (Reply r = RequireMedium(); r.status) return r;
  if (closeNotReadyAttempts > 0) {
    --closeNotReadyAttempts;
    return Reply::Check(kNotReady, 0x04, 0x08);  // long write in progress
  }
  if (disc != DiscStatus::Appendable) return Reply::Check(kIllegalRequest, 0x2C, 0x00);
  disc = DiscStatus::Complete;
  return LongCommand(request, (request.cdb[1] & 0x01) != 0, closeSeconds);
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::Blank(const ScsiRequest& request) {
  if (Reply r = RequireMedium(); r.status) return r;
  if (currentProfile != profile::kCdRw || !erasable)
    return Reply::Check(kIllegalRequest, 0x30, 0x00);
  EmptyImage();
  disc = DiscStatus::Blank;
  sequenceBroken_ = false;
  return LongCommand(request, (request.cdb[1] & 0x10) != 0, blankSeconds);
}

bool SimulatedMmcDrive::Read(void*, std::uint32_t, std::uint32_t& got) {
  got = 0;
  errors_.SetLast(1);  // ERROR_INVALID_FUNCTION: a CD writer is written by pass-through
  return false;
}
bool SimulatedMmcDrive::Write(const void*, std::uint32_t, std::uint32_t& written) {
  written = 0;
  errors_.SetLast(1);
  return false;
}
bool SimulatedMmcDrive::Seek(std::uint64_t) {
  errors_.SetLast(1);
  return false;
}

bool SimulatedMmcDrive::QueryStorageProperty(void* buffer, std::uint32_t size) {
  const auto d = BuildStorageDescriptor(5, true, 0x03, vendor, product, revision);  // CD-ROM, ATAPI
  std::memset(buffer, 0, size);
  std::memcpy(buffer, d.data(), std::min<std::size_t>(size, d.size()));
  return true;
}

bool SimulatedMmcDrive::DeviceNumber(std::uint32_t& deviceType, std::uint32_t& number) {
  deviceType = 2;  // FILE_DEVICE_CD_ROM
  number = 0;
  return true;
}
bool SimulatedMmcDrive::LockVolume() { return true; }
bool SimulatedMmcDrive::UnlockVolume() { return true; }
bool SimulatedMmcDrive::DismountVolume() { return true; }
bool SimulatedMmcDrive::UpdateProperties() { return true; }
bool SimulatedMmcDrive::MediaTypes(std::vector<std::uint32_t>& types) {
  types.clear();
  errors_.SetLast(50);  // ERROR_NOT_SUPPORTED: a CD drive reports no disk geometries
  return false;
}

}  // namespace zolp::sim
