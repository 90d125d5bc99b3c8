// The MMC command layer against a drive that answers with the input's bytes:
// for each command one control byte (bit 0: the device control itself fails;
// bits 1-3 the SCSI status: GOOD, CHECK CONDITION, BUSY, RESERVATION CONFLICT
// or another), then, for CHECK CONDITION, 18 bytes of sense data, and for a
// transfer from the drive, the data. Once the input is used up every command
// fails at the device control. The first input byte sets verbose mode (bit 0).
//
// The composite operations run on it (waiting until ready, the medium's size,
// features and the current profile, the disc state, the write parameters page,
// the session close, the read-back of a verified burn, writer enumeration with its
// storage descriptor), and writes of every size class. Beyond memory faults the target fails when a
// failed command is reported as success: "ready" after a failed last test, a
// blank or erasable disc whose information could not be read, or a WRITE (10)
// whose block count does not cover its bytes.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "common/endian.h"
#include "zolp/mmc.h"
#include "zolp/sim/refusing_disk.h"
#include "zolp/sim/test_host.h"

namespace {

void Require(bool condition, const char* what) {
  if (!condition) {
    std::fprintf(stderr, "frontend_mmc: %s\n", what);
    __builtin_trap();
  }
}

class ScriptedDrive final : public zolp::sim::RefusingDisk {
 public:
  ScriptedDrive(zolp::SystemErrors& errors, const std::uint8_t* data, std::size_t size)
      : errors_(errors), data_(data), size_(size) {}

  bool ScsiPassThrough(zolp::ScsiRequest& r) override {
    Require(r.cdbLength == 6 || r.cdbLength == 10 || r.cdbLength == 12, "CDB length");
    Require(r.senseInfoLength == zolp::ScsiRequest::kSenseLength, "sense length");
    if (r.cdb[0] == zolp::mmc_opcode::kWrite10) {
      const std::uint64_t blocks = common::load_be16(r.cdb + 7);
      Require(blocks * zolp::kCdBlockSize >= r.dataTransferLength &&
                  (blocks == 0 || (blocks - 1) * zolp::kCdBlockSize < r.dataTransferLength),
              "WRITE (10) block count does not cover its bytes");
    }
    Answer answer;
    if (at_ >= size_ || (data_[at_++] & 1) != 0) {
      errors_.SetLast(1117);
      Remember(r.cdb[0], answer);
      return false;
    }
    static constexpr std::uint8_t kStatuses[] = {0x00, 0x02, 0x08, 0x18, 0x28, 0x00, 0x02, 0x00};
    r.scsiStatus = kStatuses[(data_[at_ - 1] >> 1) & 7];
    answer.good = r.scsiStatus == 0;
    if (r.scsiStatus == 0x02) Take(r.sense, 18);
    if (r.dataIn == zolp::ScsiRequest::kFromDevice && r.dataBuffer != nullptr) {
      auto* out = static_cast<std::uint8_t*>(r.dataBuffer);
      Take(out, r.dataTransferLength);
      if (r.dataTransferLength > 2) answer.discStatus = out[2];
    }
    Remember(r.cdb[0], answer);
    return true;
  }
  bool QueryStorageProperty(void* buffer, std::uint32_t size) override {
    if (at_ >= size_ || (data_[at_++] & 1) != 0) return false;
    Take(static_cast<std::uint8_t*>(buffer), size);
    return true;
  }

  // How the drive last answered TEST UNIT READY and READ DISC INFORMATION.
  struct Answer {
    bool good = false;
    std::uint8_t discStatus = 0;
  };
  Answer lastReadyTest, lastDiscInformation;

 private:
  void Take(std::uint8_t* out, std::size_t n) {
    const std::size_t have = std::min(n, size_ - at_);
    std::memcpy(out, data_ + at_, have);
    std::memset(out + have, 0, n - have);
    at_ += have;
  }
  void Remember(std::uint8_t opcode, const Answer& answer) {
    if (opcode == zolp::mmc_opcode::kTestUnitReady) lastReadyTest = answer;
    if (opcode == zolp::mmc_opcode::kReadDiscInformation) lastDiscInformation = answer;
  }
  zolp::SystemErrors& errors_;
  const std::uint8_t* data_;
  std::size_t size_;
  std::size_t at_ = 0;
};

void CollectName(void* context, const char* name) {
  auto* names = static_cast<std::vector<std::string>*>(context);
  Require(std::strlen(name) < 64, "writer name longer than its parts");
  names->push_back(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0 || size > 64 * 1024) return 0;
  static zolp::sim::TestHost host;
  host.ClearRecords();
  host.drives.clear();
  zolp::RunOptions options;
  options.verbose = (data[0] & 1) != 0;
  const zolp::Services s = host.Wire(nullptr, options);
  ScriptedDrive drive(host, data + 1, size - 1);

  if (zolp::fWaitReady(s, drive) == 0) {
    Require(drive.lastReadyTest.good, "a failed TEST UNIT READY read as ready");
  }
  std::uint32_t last = 0;
  zolp::fGetMediaSize(s, drive, &last);
  for (const std::uint32_t n : {8u, 16u, 64u, 300u}) {
    std::vector<std::uint8_t> feature(n);
    zolp::fGetMMFeature(s, drive, static_cast<std::uint16_t>(n), feature.data(), n);
  }
  zolp::fGetCurrentProfile(s, drive);
  if (zolp::fIsDiscBlank(s, drive)) {
    Require(drive.lastDiscInformation.good && (drive.lastDiscInformation.discStatus & 3) == 0,
            "a disc read as blank that the drive did not call blank");
  }
  if (zolp::fIsDiscErasable(s, drive)) {
    Require(drive.lastDiscInformation.good && (drive.lastDiscInformation.discStatus & 0x10) != 0,
            "a disc read as erasable that the drive did not call erasable");
  }
  zolp::fSetWriteParameters(s, drive);
  zolp::fSendOpc(s, drive);
  zolp::fSetMaxSpeed(s, drive);
  const std::vector<std::uint8_t> block(3 * zolp::kCdBlockSize, 0x5A);
  for (const std::uint32_t bytes : {1u, 2048u, 3000u, 6144u}) {
    zolp::fWrite10(s, drive, last, bytes, block.data());
  }
  // Counts past what the CDB holds are refused before anything is sent.
  for (const std::uint32_t bytes : {65535u * 2048 + 1, 0x80000000u, 0xFFFFFFFFu}) {
    Require(!zolp::fWrite10(s, drive, 0, bytes, block.data()), "an overlong WRITE (10) was sent");
  }
  zolp::fSyncCache(s, drive);
  zolp::fCloseSessionWait(s, drive);
  // The read-back of a verified burn: the drive's bytes land in a heap block of exactly the
  // blocks asked for, so a transfer past it is caught.
  for (const std::uint16_t blocks : {std::uint16_t{1}, std::uint16_t{8}}) {
    auto buffer = std::make_unique<std::uint8_t[]>(std::size_t{blocks} * zolp::kCdBlockSize);
    zolp::fRead10(s, drive, last, blocks, buffer.get());
  }

  host.drives['D'] = {zolp::DriveType::CdRom, &drive};
  host.drives['E'] = {zolp::DriveType::CdRom, &drive};
  std::vector<std::string> names;
  zolp::fEnumCdWriters(s, &names, CollectName);
  return 0;
}
