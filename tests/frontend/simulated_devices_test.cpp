// The simulated device catalog of the native tests and ZOLPSIM.exe: its
// description format and the devices it makes; the command-line splitting of
// the Linux tool launcher.
#include "zolp/sim/simulated_devices.h"

#include "common/endian.h"
#include "zolp/disk_volumes.h"
#include "zolp/mmc.h"
#include "zolp/sim/linux_tool_launcher.h"
#include "zolp/system_info.h"
#include "zolp_fixture.h"

namespace zolp {
namespace {

using testing::ReadFile;
using testing::WriteFile;

TEST(DeviceDescription, ReadsEveryKindOfDevice) {
  const std::string text =
      "# one device per line\n"
      "usb 1 Z:\\sim\\usb.img 65536000 letter=e vendor=ACME product=\"Stick 2\" revision=1.0\r\n"
      "cardslot 2 Compact Flash   # an empty slot\n"
      "\n"
      "floppy a \"Z:\\sim\\my diskette.img\"\n"
      "cdwriter D Z:\\sim\\burn.iso cd-rw-written\n"
      "systemdisk Z:\\sim\\system.img\n"
      "usb 3 s.img 4194304 volumes=F,- inuse=always\nfloppy B b.img inuse=2\n"
      "cdwriter G g.iso cd-r longwrite=4 shared\n";
  std::vector<sim::DeviceLine> d;
  std::string error;
  ASSERT_TRUE(sim::ParseDeviceDescription(text, d, error)) << error;
  ASSERT_EQ(d.size(), 8u);
  EXPECT_EQ(d[5].volumes, (std::vector<char>{'F', 0}));
  EXPECT_EQ(d[5].inUse, -1);
  EXPECT_EQ(d[6].inUse, 2);
  EXPECT_EQ(d[7].longWriteEvery, 4);
  EXPECT_TRUE(d[7].shared);
  EXPECT_EQ(d[0].kind, sim::DeviceKind::Usb);
  EXPECT_EQ(d[0].driveNumber, 1u);
  EXPECT_EQ(d[0].file, "Z:\\sim\\usb.img");
  EXPECT_EQ(d[0].size, 65536000u);
  EXPECT_EQ(d[0].letter, 'E');
  EXPECT_EQ(d[0].vendor, "ACME");
  EXPECT_EQ(d[0].product, "Stick 2");
  EXPECT_EQ(d[0].revision, "1.0");
  EXPECT_EQ(d[1].kind, sim::DeviceKind::CardSlot);
  EXPECT_EQ(d[1].product, "Compact Flash");
  EXPECT_EQ(d[2].kind, sim::DeviceKind::Floppy);
  EXPECT_EQ(d[2].letter, 'A');
  EXPECT_EQ(d[2].file, "Z:\\sim\\my diskette.img");
  EXPECT_EQ(d[2].line, 5);
  EXPECT_EQ(d[3].media, sim::CdMedia::CdRwWritten);
  EXPECT_EQ(d[4].kind, sim::DeviceKind::SystemDisk);
}

TEST(DeviceDescription, RefusesWhatItCannotMeanWithTheLine) {
  struct Row {
    const char* text;
    const char* error;
  } rows[] = {
      {"usb 1 x.img 1000", "line 1: bad size \"1000\" (a positive multiple of 512 bytes)"},
      {"usb 1 x.img", "line 1: usb needs <drive number> <image file> <size in bytes>"},
      {"usb 1 x.img 512 colour=red", "line 1: unknown usb option \"colour\""},
      {"usb one x.img 512", "line 1: bad drive number \"one\""},
      {"\nfloppy AB x.img", "line 2: bad drive letter \"AB\""},
      {"floppy A x.img\nfloppy a y.img", "line 2: drive letter A: is given twice"},
      {"usb 3 x.img 512\ncardslot 3 SD", "line 2: drive number 3 is given twice"},
      {"cdwriter D x.iso bluray",
       "line 1: bad media \"bluray\" (none, cd-r, cd-rw, cd-r-written, cd-rw-written, cd-rom or "
       "dvd)"},
      {"systemdisk a.img\nsystemdisk b.img", "line 2: only one systemdisk"},
      {"zipdrive Z x.img",
       "line 1: unknown device \"zipdrive\" (usb, cardslot, floppy, cdwriter or systemdisk)"},
      {"usb 1 x.img 512 letter=E volumes=F", "line 1: letter= and volumes= together"},
      {"usb 1 x.img 512 volumes=E,1", "line 1: bad volume \"1\" (a letter or -)"},
      {"usb 1 x.img 512 volumes=E,-\nfloppy e a.img", "line 2: drive letter E: is given twice"},
      {"floppy A a.img inuse=often", "line 1: unknown floppy option \"inuse=often\""},
      {"cdwriter D x.iso cd-r longwrite=0", "line 1: unknown cdwriter option \"longwrite=0\""},
  };
  for (const Row& row : rows) {
    std::vector<sim::DeviceLine> d;
    std::string error;
    EXPECT_FALSE(sim::ParseDeviceDescription(row.text, d, error)) << row.text;
    EXPECT_EQ(error, row.error);
    EXPECT_TRUE(d.empty());
  }
}

class SimulatedDevicesTest : public testing::ZolpTest {
 protected:
  std::unique_ptr<sim::SimulatedDevices> Make(const std::string& text) {
    std::vector<sim::DeviceLine> lines;
    std::string error;
    EXPECT_TRUE(sim::ParseDeviceDescription(text, lines, error)) << error;
    return std::make_unique<sim::SimulatedDevices>(lines, host_);
  }
};

// A USB disk seen as its physical drive and as its volume letter: one medium,
// written where it is written, nothing taken past its size.
TEST_F(SimulatedDevicesTest, AUsbDiskTakesWritesUpToItsSize) {
  const auto image = root_ / "usb.img";
  auto devices = Make("usb 1 \"" + image.string() + "\" 1048576 letter=E vendor=ACME product=Stick\n" +
                      "cardslot 2 SD/MMC\n");
  EXPECT_EQ(devices->LogicalDrives(), 1u << ('E' - 'A'));
  EXPECT_EQ(devices->TypeOfDrive('E'), DriveType::Removable);
  // The system's own devices come first, more than 32 KiB of their names.
  std::vector<std::string> names;
  ASSERT_TRUE(devices->DosDeviceNames(names));
  EXPECT_EQ(std::vector<std::string>(names.end() - 3, names.end()),
            (std::vector<std::string>{"E:", "PhysicalDrive1", "PhysicalDrive2"}));
  std::vector<char> room(0x8000);
  EXPECT_EQ(devices->QueryDosDevices(room.data(), 0x8000), 0u);
  EXPECT_EQ(host_.Last(), 122u);  // ERROR_INSUFFICIENT_BUFFER

  auto disk = devices->Open("\\\\.\\PhysicalDrive1", DiskAccess::ReadWrite);
  auto volume = devices->Open("\\\\.\\e:", DiskAccess::ReadWrite);
  ASSERT_TRUE(disk && volume);
  const std::string sector(512, 'S');
  std::uint32_t done = 0;
  ASSERT_TRUE(disk->Seek(4096));
  EXPECT_FALSE(disk->Write(sector.data(), 512, done));  // into the mounted volume
  EXPECT_EQ(host_.Last(), 5u);                          // ERROR_ACCESS_DENIED
  ASSERT_TRUE(volume->LockVolume());
  ASSERT_TRUE(disk->Write(sector.data(), 512, done));
  EXPECT_FALSE(std::filesystem::exists(image));  // still in the stick's cache
  ASSERT_TRUE(disk->Flush());
  EXPECT_EQ(std::filesystem::file_size(image), 4608u);  // the file grows as written
  char back[512] = {};
  ASSERT_TRUE(volume->Seek(4096));
  ASSERT_TRUE(volume->Read(back, 512, done));
  EXPECT_EQ(std::string(back, 512), sector);
  ASSERT_TRUE(disk->Seek(1048576 - 256));
  EXPECT_FALSE(disk->Write(sector.data(), 512, done));
  EXPECT_EQ(host_.Last(), 87u);  // ERROR_INVALID_PARAMETER: not at a sector
  ASSERT_TRUE(disk->Seek(1048576));
  EXPECT_FALSE(disk->Write(sector.data(), 512, done));
  EXPECT_EQ(host_.Last(), 27u);  // ERROR_SECTOR_NOT_FOUND
  EXPECT_TRUE(disk->Flush());
  EXPECT_EQ(std::filesystem::file_size(image), 4608u);

  std::uint8_t descriptor[storage_descriptor::kQueryBufferSize] = {};
  ASSERT_TRUE(disk->QueryStorageProperty(descriptor, sizeof descriptor));
  EXPECT_EQ(common::load_le32(descriptor + storage_descriptor::kBusType), storage_descriptor::kBusTypeUsb);
  EXPECT_EQ(DescriptorString(descriptor, sizeof descriptor, storage_descriptor::kProductIdOffset), "Stick");
  std::uint32_t type = 0, number = 0;
  ASSERT_TRUE(volume->DeviceNumber(type, number));
  EXPECT_EQ(number, 1u);

  // READ CAPACITY gives the last block; the empty card slot has no medium.
  alignas(512) std::uint8_t capacity[8] = {};  // as the adapter's alignment mask asks
  ScsiRequest r;
  r.length = ScsiRequest::kHeaderLength;
  r.senseInfoOffset = ScsiRequest::kSenseOffset;
  r.senseInfoLength = ScsiRequest::kSenseLength;
  r.cdbLength = 10;
  r.cdb[0] = mmc_opcode::kReadCapacity10;
  r.dataIn = ScsiRequest::kFromDevice;
  r.dataBuffer = capacity;
  r.dataTransferLength = sizeof capacity;
  ASSERT_TRUE(disk->ScsiPassThrough(r));
  EXPECT_EQ(common::load_be32(capacity), 2047u);
  auto slot = devices->Open("\\\\.\\PHYSICALDRIVE2", DiskAccess::Read);
  ASSERT_TRUE(slot);
  ASSERT_TRUE(slot->ScsiPassThrough(r));
  EXPECT_EQ(r.scsiStatus, 2);
  EXPECT_EQ(r.sense[12], 0x3A);  // medium not present
  EXPECT_EQ(devices->Open("\\\\.\\PhysicalDrive3", DiskAccess::Read), nullptr);
}

// The list of DOS device names is read whole however long it is: on Windows 10
// and later it passes 32 KiB, and the disks' names come at its end.
TEST_F(SimulatedDevicesTest, DosDeviceListLongerThan32KiBIsReadWhole) {
  auto devices = Make("usb 1 x.img 1048576\n");
  for (const int system : {0, 400, 4000}) {
    devices->systemDeviceNames = system;
    std::vector<std::string> names;
    ASSERT_TRUE(devices->DosDeviceNames(names)) << system;
    EXPECT_EQ(names.size(), 5u + static_cast<unsigned>(system) + 1) << system;
    EXPECT_EQ(names.back(), "PhysicalDrive1") << system;
  }
  std::vector<std::string> names;
  const auto refused = [&](char*, std::uint32_t) {
    host_.SetLast(5);
    return 0u;
  };
  EXPECT_FALSE(ReadDosDeviceNames(host_, refused, names));  // other failures stay failures
}

// A diskette drive holds a diskette while its file exists; a read-only file
// is a write-protected diskette.
TEST_F(SimulatedDevicesTest, ADisketteIsItsFile) {
  const auto image = root_ / "a.img";
  auto devices = Make("floppy A \"" + image.string() + "\"\n");
  // A volume is opened for writing only with write sharing.
  EXPECT_EQ(devices->Open("\\\\.\\A:", DiskAccess::ReadWriteShareRead), nullptr);
  EXPECT_EQ(host_.Last(), 32u);  // ERROR_SHARING_VIOLATION
  auto drive = devices->Open("\\\\.\\A:", DiskAccess::ReadWrite);
  ASSERT_TRUE(drive);
  std::vector<std::uint32_t> types;
  ASSERT_TRUE(drive->MediaTypes(types));
  EXPECT_EQ(types.front(), kMediaF3_1Pt44_512);
  const std::string data(1024, 'd');
  std::uint32_t done = 0;
  EXPECT_FALSE(drive->LockVolume());
  EXPECT_FALSE(drive->Write(data.data(), 1024, done));
  EXPECT_EQ(host_.Last(), 21u);  // ERROR_NOT_READY

  WriteFile(image, "");  // a blank diskette goes in
  EXPECT_TRUE(drive->LockVolume());
  ASSERT_TRUE(drive->Write(data.data(), 1024, done));
  EXPECT_EQ(ReadFile(image), data);

  std::filesystem::permissions(image, std::filesystem::perms::owner_read);
  EXPECT_FALSE(drive->Write(data.data(), 1024, done));
  EXPECT_EQ(host_.Last(), 19u);  // ERROR_WRITE_PROTECT
  EXPECT_EQ(ReadFile(image), data);
  EXPECT_EQ(devices->DisplayName('A'), "Floppy Disk Drive (A:)");
}

TEST(SplitCommandLine, FollowsTheWindowsRuntimeRules) {
  struct Row {
    const char* line;
    std::vector<std::string> args;
  } rows[] = {
      {"vellix.exe dd.cfg HDD -v\"A05\" -i\"C:\\PACKAGE\\x.img\"",
       {"vellix.exe", "dd.cfg", "HDD", "-vA05", "-iC:\\PACKAGE\\x.img"}},
      {"vellix.exe dd.cfg \"Disk1\" -v\"DIAG A05\" -i\".\\~DP1A2B.tmp\"",
       {"vellix.exe", "dd.cfg", "Disk1", "-vDIAG A05", "-i.\\~DP1A2B.tmp"}},
      {"a \"b\\\\\" c\\\\d \\\"e", {"a", "b\\", "c\\\\d", "\"e"}},
      {"  x\t\"\"  \"q\"\"uote\" ", {"x", "", "q\"uote"}},
  };
  for (const Row& row : rows) EXPECT_EQ(sim::SplitCommandLine(row.line), row.args) << row.line;
}

TEST_F(SimulatedDevicesTest, TheSystemDiskGoesToTorbelOnly) {
  auto launcher = sim::WithSystemDisk(host_, "Z:\\sim\\system.img");
  LaunchRequest torbel{".\\torbel.exe", ".\\torbel.exe /TDE DIR", {"LOGALL=NUL"}};
  LaunchRequest vellix{".\\vellix.exe", "vellix.exe dd.cfg HDD", {}};
  launcher->Start(torbel);
  launcher->Start(vellix);
  const auto runs = host_.Launches();
  ASSERT_EQ(runs.size(), 2u);
  EXPECT_EQ(runs[0].environment,
            (std::vector<std::string>{"LOGALL=NUL", "TORBEL_DISK=Z:\\sim\\system.img"}));
  EXPECT_TRUE(runs[1].environment.empty());
}

}  // namespace
}  // namespace zolp
