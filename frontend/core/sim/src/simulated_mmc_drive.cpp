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
  static Reply Good() { return {}; }
  static Reply Check(std::uint8_t key, std::uint8_t asc, std::uint8_t ascq) {
    return {2, key, asc, ascq};
  }
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

bool SimulatedMmcDrive::ScsiPassThrough(ScsiRequest& request) {
  RecordedCommand record;
  record.request = request;
  if (request.dataIn == ScsiRequest::kToDevice && request.dataBuffer != nullptr) {
    const auto* bytes = static_cast<const std::uint8_t*>(request.dataBuffer);
    record.dataOut.assign(bytes, bytes + request.dataTransferLength);
  }
  commands_.push_back(std::move(record));

  if (!detail::HeaderIsValid(request)) {
    errors_.SetLast(87);  // ERROR_INVALID_PARAMETER
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
  const Reply reply = Execute(request);
  request.scsiStatus = reply.status;
  if (reply.status == 2) detail::SetSense(request, reply.key, reply.asc, reply.ascq);
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
      return CloseSession();
    case op::kBlank:
      return Blank();
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
  // The drive takes whole blocks; the host must send no more than it announced.
  if (static_cast<std::uint64_t>(blocks) * kCdBlockSize < request.dataTransferLength)
    return Reply::Check(kIllegalRequest, 0x24, 0x00);
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
    // Default values as a drive might report them: buffer-underrun protection on,
    // session-at-once, multi-session, a link size and a session format set.
    const std::uint8_t defaults[52] = {0x85, 0x32, 0x42, 0x25, 0x0A, 0x07, 0x01, 0x02, 0x20, 0x03};
    data.insert(data.end(), defaults, defaults + sizeof defaults);
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
  writeParameters_.assign(page, data + length);
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::CloseSession() {
  if (Reply r = RequireMedium(); r.status) return r;
  if (closeNotReadyAttempts > 0) {
    --closeNotReadyAttempts;
    return Reply::Check(kNotReady, 0x04, 0x08);  // long write in progress
  }
  if (disc != DiscStatus::Appendable) return Reply::Check(kIllegalRequest, 0x2C, 0x00);
  disc = DiscStatus::Complete;
  return Reply::Good();
}

SimulatedMmcDrive::Reply SimulatedMmcDrive::Blank() {
  if (Reply r = RequireMedium(); r.status) return r;
  if (currentProfile != profile::kCdRw || !erasable)
    return Reply::Check(kIllegalRequest, 0x30, 0x00);
  EmptyImage();
  disc = DiscStatus::Blank;
  return Reply::Good();
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
