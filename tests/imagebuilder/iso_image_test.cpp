// Whole ISO builds checked by independent tools: isoinfo reads the volume
// descriptors, the directory and the boot catalog; xorriso reads the catalog
// and extracts the boot image; fsck.fat and mtools check the FAT volume the
// catalog points at; qemu boots the CD.
#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "imagebuilder/host.h"
#include "imagebuilder/vellix.h"
#include "iso_test_support.h"

namespace {

using isotest::Quote;
using isotest::ReadBytes;
using isotest::ReadRange;
using isotest::RunTool;
using isotest::ValueAfter;

constexpr std::uint64_t kCdSector = 2048;

// Sets an environment variable for one scope and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old;
    setenv(name, value, 1);
    tzset();
  }
  ~ScopedEnv() {
    if (old_) {
      setenv(name_, old_->c_str(), 1);
    } else {
      unsetenv(name_);
    }
    tzset();
  }

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// One package in a scratch directory: a small tree, boot files and a DD.CFG
// whose CD section carries the given lines.
class IsoBuild {
 public:
  IsoBuild() {
    std::filesystem::create_directories(dir_.path() / "tree" / "DIAGS");
    isotest::WriteText(dir_ / "tree/AUTOEXEC.BAT", "@echo off\r\ndiags\\run.exe\r\n");
    isotest::WriteText(dir_ / "tree/DIAGS/RUN.EXE", std::string(5000, 'x'));
    isotest::WriteBytes(dir_ / "boot.bin", isotest::BootSectorThatSays('B'));
    isotest::WriteBytes(dir_ / "mbr.bin", isotest::MbrThatSays('M'));
  }

  std::string path(const std::string& name) const { return dir_ / name; }
  const isotest::ScratchDir& scratch() const { return dir_; }
  std::string image() const { return dir_ / "cd.iso"; }

  // Runs the builder on section CD with `sectionLines` plus the options.
  int Build(const std::vector<std::string>& sectionLines,
            const std::vector<std::string>& options = {}, imagebuilder::ImageFile* imageFile = nullptr,
            imagebuilder::HostTree* tree = nullptr) {
    // The front end always names the volume; a blank label is not what it builds.
    std::string cfg = "FileRoot=" + path("tree") + "\nBsFileName=" + path("boot.bin") +
                      "\nVolumeLabel=DIAGS\n[CD]\nISO=1\n";
    for (const std::string& line : sectionLines) cfg += line + "\n";
    isotest::WriteText(path("dd.cfg"), cfg);
    std::vector<std::string> args{"vellix", path("dd.cfg"), "CD", "-i" + image()};
    args.insert(args.end(), options.begin(), options.end());
    std::vector<const char*> argv;
    for (const std::string& a : args) argv.push_back(a.c_str());
    imagebuilder::SystemHost sys = imagebuilder::MakeSystemHost();
    imagebuilder::Host host{tree ? *tree : *sys.tree, imageFile ? *imageFile : *sys.image, *sys.clock, *sys.console};
    return imagebuilder::RunVellix(static_cast<int>(argv.size()), argv.data(), host);
  }

  std::uint64_t ImageSize() const { return std::filesystem::file_size(image()); }

  // The boot image as xorriso finds it through the catalog. xorriso's stdio
  // reader drops the file's final block, so it reads a copy with one spare
  // zero sector behind the image.
  std::vector<std::uint8_t> ExtractBootImage() const {
    const std::string padded = dir_ / "padded.iso";
    std::filesystem::copy_file(image(), padded,
                               std::filesystem::copy_options::overwrite_existing);
    std::filesystem::resize_file(padded, ImageSize() + kCdSector);
    const std::string out = dir_ / "extracted";
    std::filesystem::remove_all(out);
    std::filesystem::create_directory(out);
    const auto r = RunTool("xorriso -osirrox on -indev " + Quote(padded) +
                       " -extract_boot_images " + Quote(out + "/"));
    EXPECT_EQ(r.status, 0) << r.output;
    return ReadBytes(out + "/eltorito_img1_bios.img");
  }

 private:
  isotest::ScratchDir dir_;
};

std::string IsoInfo(const std::string& image, const std::string& what) {
  const auto r = RunTool("isoinfo " + what + " -i " + Quote(image));
  EXPECT_EQ(r.status, 0) << r.output;
  return r.output;
}

std::uint16_t Le16(const std::vector<std::uint8_t>& b, std::size_t at) {
  return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}

// The catalog's validation entry: no BIOS checks its checksum, so this does.
void ExpectValidationEntrySumsToZero(const std::string& image) {
  const std::vector<std::uint8_t> catalog = ReadRange(image, 24 * kCdSector, 32);
  ASSERT_EQ(catalog.size(), 32u);
  std::uint32_t sum = 0;
  for (std::size_t i = 0; i < 32; i += 2) sum += Le16(catalog, i);
  EXPECT_EQ(sum & 0xFFFF, 0u);
  EXPECT_EQ(catalog[30], 0x55);
  EXPECT_EQ(catalog[31], 0xAA);
}

// Writes the FAT volume region out of the image so fsck.fat and mtools, which
// have no offset option of their own, can check it.
std::string SaveRegion(const IsoBuild& b, std::uint64_t offset, std::uint64_t size,
                       const std::string& name) {
  const std::string path = b.path(name);
  isotest::WriteBytes(path, ReadRange(b.image(), offset, size));
  return path;
}

struct FloppyCase {
  int diskType;
  int mediaType;
  const char* emulation;  // as xorriso names it
  const char* isoinfoMedia;
};

class IsoFloppyEmulation : public ::testing::TestWithParam<FloppyCase> {};

TEST_P(IsoFloppyEmulation, DisketteImageBootsFromTheCatalog) {
  const FloppyCase c = GetParam();
  IsoBuild b;
  ASSERT_EQ(b.Build({"DiskType=" + std::to_string(c.diskType), "ISOVolumeID=DIAGS_CD",
                     "Publisher=Orvo Service Tools"}),
            0);
  const std::uint64_t floppyBytes = static_cast<std::uint64_t>(c.diskType) * 1024;
  ASSERT_EQ(b.ImageSize(), 0xD000 + floppyBytes);

  const std::string d = IsoInfo(b.image(), "-d");
  EXPECT_EQ(ValueAfter(d, "Volume id:"), "DIAGS_CD");
  EXPECT_EQ(ValueAfter(d, "Publisher id:"), "Orvo Service Tools");
  EXPECT_EQ(ValueAfter(d, "System id:"), "Win32");
  EXPECT_EQ(ValueAfter(d, "Volume size is:"), std::to_string(b.ImageSize() / kCdSector));
  EXPECT_EQ(ValueAfter(d, "El Torito VD version 1 found, boot catalog is in sector"), "24");
  EXPECT_EQ(ValueAfter(d, "ID"), "'Orvo Service Tools'");
  EXPECT_EQ(ValueAfter(d, "Boot media"), std::to_string(c.mediaType) + " " + c.isoinfoMedia);
  EXPECT_EQ(ValueAfter(d, "Load segment"), "0");
  EXPECT_EQ(ValueAfter(d, "Sys type"), "0");
  EXPECT_EQ(ValueAfter(d, "Nsect"), "1");
  EXPECT_EQ(ValueAfter(d, "Bootoff"), "1A 26");
  ExpectValidationEntrySumsToZero(b.image());

  const auto report = RunTool("xorriso -indev " + Quote(b.image()) + " -report_el_torito plain");
  ASSERT_EQ(report.status, 0) << report.output;
  EXPECT_EQ(ValueAfter(report.output, "El Torito catalog  :"), "24  1");
  EXPECT_NE(report.output.find(std::string(c.emulation) + "  0x0000  0x00      1          26"),
            std::string::npos)
      << report.output;

  const auto vfy = RunTool("isovfy -i " + Quote(b.image()));
  EXPECT_NE(vfy.output.find("No errors found"), std::string::npos) << vfy.output;

  const std::vector<std::uint8_t> boot = b.ExtractBootImage();
  const std::vector<std::uint8_t> region = ReadRange(b.image(), 0xD000, floppyBytes);
  ASSERT_EQ(boot.size(), floppyBytes);
  EXPECT_TRUE(boot == region);
  const std::string fat = SaveRegion(b, 0xD000, floppyBytes, "floppy.img");
  const auto fsck = RunTool("fsck.fat -n " + Quote(fat));
  EXPECT_EQ(fsck.status, 0) << fsck.output;
  const auto dir = RunTool("MTOOLS_SKIP_CHECK=1 mdir -/ -b -i " + Quote(fat) + " ::");
  EXPECT_NE(dir.output.find("::/DIAGS/RUN.EXE"), std::string::npos) << dir.output;
}

INSTANTIATE_TEST_SUITE_P(Presets, IsoFloppyEmulation,
                         ::testing::Values(FloppyCase{1200, 1, "fd1.2", "(1200 Floppy)"},
                                           FloppyCase{1440, 2, "fd1.4", "(1.44MB Floppy)"},
                                           FloppyCase{2880, 3, "fd2.8", "(2.88MB Floppy)"}),
                         [](const auto& info) { return std::to_string(info.param.diskType); });

TEST(IsoHardDiskEmulation, MbrPartitionTypeBecomesTheSystemType) {
  for (const char* size : {"", "NumSectors=69632"}) {
    SCOPED_TRACE(size);
    IsoBuild b;
    std::vector<std::string> lines{"MbrFileName=" + b.path("mbr.bin"), "ISOVolumeID=HDD_CD"};
    if (*size) lines.push_back(size);
    ASSERT_EQ(b.Build(lines), 0);
    ASSERT_EQ(b.ImageSize() % kCdSector, 0u);
    const std::uint64_t volume = b.ImageSize() - 0xD000;
    const std::vector<std::uint8_t> mbr = ReadRange(b.image(), 0xD000, 512);
    const int partitionType = mbr[0x1C2];
    EXPECT_NE(partitionType, 0);

    const std::string d = IsoInfo(b.image(), "-d");
    EXPECT_EQ(ValueAfter(d, "Boot media"), "4 (Hard Disk Emulation)");
    EXPECT_EQ(ValueAfter(d, "Sys type"), std::to_string(partitionType));
    EXPECT_EQ(ValueAfter(d, "Load segment"), "0");
    EXPECT_EQ(ValueAfter(d, "Nsect"), "1");
    EXPECT_EQ(ValueAfter(d, "Bootoff"), "1A 26");
    ExpectValidationEntrySumsToZero(b.image());

    const auto report = RunTool("xorriso -indev " + Quote(b.image()) + " -report_el_torito plain");
    EXPECT_NE(report.output.find("  hd  "), std::string::npos) << report.output;

    const std::vector<std::uint8_t> boot = b.ExtractBootImage();
    const std::vector<std::uint8_t> region = ReadRange(b.image(), 0xD000, volume);
    ASSERT_GE(boot.size(), 512u);
    ASSERT_LE(boot.size(), region.size());
    EXPECT_TRUE(std::equal(boot.begin(), boot.end(), region.begin()));

    const std::string disk = SaveRegion(b, 0xD000, volume, "disk.img");
    const std::uint32_t hidden =
        mbr[0x1C6] | mbr[0x1C7] << 8 | mbr[0x1C8] << 16 | static_cast<std::uint32_t>(mbr[0x1C9]) << 24;
    const auto sfdisk = RunTool("sfdisk -d " + Quote(disk));
    EXPECT_NE(sfdisk.output.find("start=" + std::string(12 - std::to_string(hidden).size(), ' ') +
                                 std::to_string(hidden) + ", "),
              std::string::npos)
        << sfdisk.output;
    const std::uint64_t start = hidden * 512ull;
    const std::string part = SaveRegion(b, 0xD000 + start, volume - start, "part.img");
    const auto fsck = RunTool("fsck.fat -n " + Quote(part));
    EXPECT_EQ(fsck.status, 0) << fsck.output;
  }
}

TEST(IsoReadme, ReadmeIsTheOnlyFileAndKeepsItsBytes) {
  IsoBuild b;
  std::string text;
  for (int i = 0; text.size() < 3000; ++i) text += "line " + std::to_string(i) + "\r\n";
  text.resize(3000);
  isotest::WriteText(b.path("notes.txt"), text);
  ASSERT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("notes.txt")}), 0);
  EXPECT_EQ(b.ImageSize(), 0xD000 + 4096 + 1474560u);

  const std::string l = IsoInfo(b.image(), "-l");
  EXPECT_NE(l.find("3000"), std::string::npos) << l;
  EXPECT_NE(l.find("[     26 00]  NOTES.TXT;1"), std::string::npos) << l;
  const auto x = RunTool("isoinfo -i " + Quote(b.image()) + " -x '/NOTES.TXT;1'");
  EXPECT_EQ(x.output, text);
  const std::string d = IsoInfo(b.image(), "-d");
  EXPECT_EQ(ValueAfter(d, "Bootoff"), "1C 28");
  // Third record of the root directory: identifier of 11 bytes, no pad byte.
  const std::vector<std::uint8_t> root = ReadRange(b.image(), 25 * kCdSector, 34 * 2 + 44);
  EXPECT_EQ(root[68], 44);
  EXPECT_EQ(root[68 + 32], 11);
  // The rest of the readme's last sector stays zero.
  const std::vector<std::uint8_t> tail = ReadRange(b.image(), 0xD000 + 3000, 4096 - 3000);
  EXPECT_EQ(tail, std::vector<std::uint8_t>(1096, 0));
  const std::vector<std::uint8_t> boot = b.ExtractBootImage();
  EXPECT_TRUE(boot == ReadRange(b.image(), 0xD000 + 4096, 1474560));
}

TEST(IsoLayout, UnusedSectorsInFrontOfTheBootImageStayZero) {
  IsoBuild b;
  isotest::WriteText(b.path("notes.txt"), "short readme\r\n");
  ASSERT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("notes.txt")}), 0);
  const std::vector<std::uint8_t> front = ReadRange(b.image(), 0, 0xD800);
  ASSERT_EQ(front.size(), 0xD800u);
  struct Used {
    std::size_t from, to;
  };
  // Descriptor bodies, the two 10-byte path tables, the catalog's two entries,
  // the three directory records and the readme's bytes.
  const Used used[] = {{0x8000, 0x8000 + 882}, {0x8800, 0x8800 + 75}, {0x9000, 0x9000 + 7},
                       {0xA000, 0xA000 + 10},  {0xB000, 0xB000 + 10}, {0xC000, 0xC000 + 44},
                       {0xC800, 0xC800 + 112}, {0xD000, 0xD000 + 14}};
  for (std::size_t i = 0; i < front.size(); ++i) {
    bool inUse = false;
    for (const Used& u : used) inUse = inUse || (i >= u.from && i < u.to);
    if (!inUse) {
      ASSERT_EQ(front[i], 0) << "byte 0x" << std::hex << i;
    }
  }
}

TEST(IsoReadme, LargestReadmeFitsAndOneByteMoreIsRefusedBeforeTheImageExists) {
  IsoBuild b;
  // A blank is no d-character: the CD names the file BIG_READ.TXT;1.
  const std::string readme = b.path("Big readme.txt");
  isotest::WriteText(readme, std::string(0xF800, 'r'));
  ASSERT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + readme}), 0);
  EXPECT_EQ(b.ImageSize(), 0xD000 + 0xF800 + 1474560u);
  EXPECT_NE(IsoInfo(b.image(), "-l").find("]  BIG_READ.TXT;1"), std::string::npos);
  const auto x = RunTool("isoinfo -i " + Quote(b.image()) + " -x '/BIG_READ.TXT;1'");
  EXPECT_TRUE(x.output == std::string(0xF800, 'r'));

  std::filesystem::remove(b.image());
  isotest::WriteText(readme, std::string(0xF801, 'r'));
  EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + readme}), 70);
  EXPECT_FALSE(std::filesystem::exists(b.image()));
}

TEST(IsoReadme, MissingReadmeOrOneWithoutANameFails) {
  IsoBuild b;
  EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("absent.txt")}), 67);
  EXPECT_FALSE(std::filesystem::exists(b.image()));
  std::filesystem::create_directory(b.path("docs"));
  EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("docs") + "/"}), 68);
  isotest::WriteText(b.path("docs/.txt"), "x");
  EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("docs/.txt")}), 68);
  EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("docs")}), 69);
}

TEST(IsoBootMediaType, DiskettesWithoutAnElToritoTypeAreRefused) {
  for (const char* diskType : {"DiskType=360", "DiskType=720", "DiskType=3840"}) {
    IsoBuild b;
    EXPECT_EQ(b.Build({diskType}), 74) << diskType;
  }
}

TEST(IsoReproducible, SameInputsAndBuildTimeGiveTheSameBytes) {
  ScopedEnv zone("TZ", "EST5");
  IsoBuild b;
  isotest::WriteText(b.path("notes.txt"), "readme\r\n");
  const std::vector<std::string> lines{"DiskType=1440", "ISOVolumeID=REPRO",
                                       "ISOReadmeName=" + b.path("notes.txt")};
  std::vector<std::uint8_t> first;
  {
    ScopedEnv time("BUILDSETTIME", "65D0F87B");  // 2024-02-17 18:18:35 UTC
    ASSERT_EQ(b.Build(lines), 0);
    first = ReadBytes(b.image());
    ASSERT_EQ(b.Build(lines), 0);
    EXPECT_TRUE(ReadBytes(b.image()) == first);
  }
  // Creation date in local time (EST: five hours behind), root record in UTC.
  const std::vector<std::uint8_t> pvd = ReadRange(b.image(), 0x8000, 2048);
  EXPECT_EQ(std::string(pvd.begin() + 813, pvd.begin() + 829), "2024021713183500");
  EXPECT_EQ(std::vector<std::uint8_t>(pvd.begin() + 174, pvd.begin() + 180),
            (std::vector<std::uint8_t>{124, 2, 17, 18, 18, 35}));
  {
    ScopedEnv time("BUILDSETTIME", "65D0F87C");
    ASSERT_EQ(b.Build(lines), 0);
    EXPECT_FALSE(ReadBytes(b.image()) == first);
  }
}

// CDs of a tree without an EFI loader, or with its EFI folder excluded, keep
// the bytes builds made before the catalog had a UEFI section (the SHA-256 of
// those builds, at a fixed build time, time zone and file times).
TEST(IsoReproducible, WithoutAnEfiLoaderTheCdKeepsItsEarlierBytes) {
  ScopedEnv zone("TZ", "UTC0");
  ScopedEnv time("BUILDSETTIME", "65D0F87B");
  struct Case {
    const char* line;
    const char* sha256;
  } cases[] = {
      {"DiskType=1440", "851dad5fc6686ce2b6fb55d51efb76f5e67d7d221f3bbb2b7a69bf12cafb5080"},
      {"MbrFileName=", "b506d1c1c0022c88dbc8ba2a043e29c54a36e264aa781e79cf806ffedb177d76"}};
  const auto fileTime = std::chrono::file_clock::from_sys(
      std::chrono::sys_seconds(std::chrono::seconds(0x65D00000)));
  for (const Case& c : cases) {
    for (const bool efiFolder : {false, true}) {
      SCOPED_TRACE(std::string(c.line) + (efiFolder ? ", EFI folder excluded" : ""));
      IsoBuild b;
      std::vector<std::string> lines{c.line};
      if (lines[0] == "MbrFileName=") lines[0] += b.path("mbr.bin");
      if (efiFolder) {
        std::filesystem::create_directories(b.path("tree/EFI/BOOT"));
        isotest::WriteText(b.path("tree/EFI/BOOT/BOOTX64.EFI"), "MZ");
        lines.push_back("ExcludeFile=EFI");
      }
      for (const char* name : {"tree/AUTOEXEC.BAT", "tree/DIAGS/RUN.EXE", "tree/DIAGS"}) {
        std::filesystem::last_write_time(b.path(name), fileTime);
      }
      ASSERT_EQ(b.Build(lines), 0);
      const auto sum = RunTool("sha256sum " + Quote(b.image()));
      EXPECT_EQ(sum.output.substr(0, 64), c.sha256);
    }
  }
}

// Passes everything to the real image file but fails the write that starts
// at one offset, or every seek.
class FailingImage : public imagebuilder::ImageFile {
 public:
  FailingImage(imagebuilder::ImageFile& real, std::uint64_t failWriteAt, bool failSeeks,
               bool failSize)
      : real_(real), failWriteAt_(failWriteAt), failSeeks_(failSeeks), failSize_(failSize) {}
  bool Create(const std::string& path) override { return real_.Create(path); }
  bool SetSize(std::uint64_t size) override { return real_.SetSize(size); }
  bool Size(std::uint64_t& size) override {
    if (failSize_ || !real_.Size(size)) return false;
    size += oddSize_;
    return true;
  }
  void ReportOddSize() { oddSize_ = 1; }
  bool Seek(std::uint64_t offset) override {
    position_ = offset;
    return !(failSeeks_ && offset >= 0x8000 && offset < 0xD000) && real_.Seek(offset);
  }
  bool Read(std::uint8_t* buffer, std::size_t size) override {
    position_ += size;
    return real_.Read(buffer, size);
  }
  bool Write(const std::uint8_t* buffer, std::size_t size) override {
    const bool fail = position_ == failWriteAt_;
    position_ += size;
    return !fail && real_.Write(buffer, size);
  }
  bool Close() override { return real_.Close(); }
  void Discard() override { real_.Discard(); }

 private:
  imagebuilder::ImageFile& real_;
  std::uint64_t failWriteAt_;
  bool failSeeks_;
  bool failSize_;
  std::uint64_t oddSize_ = 0;
  std::uint64_t position_ = 0;
};

TEST(IsoWriteFailures, EachStructureReportsItsOwnCode) {
  struct Case {
    std::uint64_t offset;
    int code;
  };
  for (const Case c : {Case{0x8000, 61}, Case{0x8800, 60}, Case{0x9000, 62}, Case{0xA000, 63},
                       Case{0xB000, 63}, Case{0xC000, 64}, Case{0xC800, 65}, Case{0xD000, 66}}) {
    IsoBuild b;
    isotest::WriteText(b.path("notes.txt"), "readme\r\n");
    imagebuilder::SystemHost sys = imagebuilder::MakeSystemHost();
    FailingImage image(*sys.image, c.offset, false, false);
    EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + b.path("notes.txt")}, {}, &image),
              c.code)
        << std::hex << c.offset;
  }
  IsoBuild b;
  imagebuilder::SystemHost sys = imagebuilder::MakeSystemHost();
  FailingImage seeks(*sys.image, 0, true, false);
  EXPECT_EQ(b.Build({"DiskType=1440"}, {}, &seeks), 14);
  FailingImage size(*sys.image, 0, false, true);
  EXPECT_EQ(b.Build({"DiskType=1440"}, {}, &size), 72);
  FailingImage odd(*sys.image, 0, false, false);
  odd.ReportOddSize();
  EXPECT_EQ(b.Build({"DiskType=1440"}, {}, &odd), 73);
}

// The real host tree, except that the readme changes under the builder: it
// grows after it was measured, cannot be opened, or breaks off while read.
class ChangingReadmeTree : public imagebuilder::HostTree {
 public:
  enum class Change { kGrows, kCannotOpen, kReadFails };
  ChangingReadmeTree(imagebuilder::HostTree& real, std::string readme, Change change)
      : real_(real), readme_(std::move(readme)), change_(change) {}
  imagebuilder::ListResult List(const std::string& directory,
                                std::vector<imagebuilder::HostEntry>& entries) override {
    return real_.List(directory, entries);
  }
  std::unique_ptr<imagebuilder::HostFile> OpenRead(const std::string& path) override {
    if (path != readme_) return real_.OpenRead(path);
    if (change_ == Change::kCannotOpen) return nullptr;
    if (change_ == Change::kReadFails) return std::make_unique<BrokenFile>();
    return real_.OpenRead(path);
  }
  bool Status(const std::string& path, imagebuilder::HostFileStatus& status) override {
    if (!real_.Status(path, status)) return false;
    if (path == readme_ && change_ == Change::kGrows && statusCalls_++ >= growAfter) {
      status.size += 2048;
    }
    return true;
  }
  char Separator() const override { return real_.Separator(); }
  int growAfter = 1;  // status calls that still see the measured size

 private:
  class BrokenFile : public imagebuilder::HostFile {
   public:
    bool Length(std::uint64_t& length) override {
      length = 0;
      return false;
    }
    bool Read(std::uint8_t*, std::size_t, std::size_t& got) override {
      got = 0;
      return false;
    }
    bool Close() override { return true; }
  };
  imagebuilder::HostTree& real_;
  std::string readme_;
  Change change_;
  int statusCalls_ = 0;
};

// A readme that changes once measured fails the build, whether the change is
// seen before the image file exists (the rehearsal) or only while it is written;
// either way no image is left behind.
TEST(IsoReadme, ReadmeThatChangesDuringTheBuildFailsAndLeavesNoImage) {
  using Change = ChangingReadmeTree::Change;
  struct Case {
    Change change;
    int growAfter;
    int code;
  };
  for (const Case c : {Case{Change::kGrows, 1, 71}, Case{Change::kGrows, 2, 71},
                       Case{Change::kCannotOpen, 0, 69}, Case{Change::kReadFails, 0, 71}}) {
    IsoBuild b;
    const std::string readme = b.path("notes.txt");
    isotest::WriteText(readme, std::string(2048, 'n'));
    imagebuilder::SystemHost sys = imagebuilder::MakeSystemHost();
    ChangingReadmeTree tree(*sys.tree, readme, c.change);
    tree.growAfter = c.growAfter;
    EXPECT_EQ(b.Build({"DiskType=1440", "ISOReadmeName=" + readme}, {}, nullptr, &tree), c.code);
    EXPECT_FALSE(std::filesystem::exists(b.image())) << c.growAfter;
  }
}

TEST(IsoIdentifiers, LongestVolumeIdAndPublisherFillTheirFields) {
  IsoBuild b;
  const std::string volumeId(32, 'V');
  std::string publisher;
  for (int i = 0; publisher.size() < 127; ++i) publisher += static_cast<char>('A' + i % 26);
  publisher.resize(127);
  ASSERT_EQ(b.Build({"DiskType=1440"}, {"-N" + volumeId, "-P" + publisher}), 0);
  const std::string d = IsoInfo(b.image(), "-d");
  EXPECT_EQ(ValueAfter(d, "Volume id:"), volumeId);
  EXPECT_EQ(ValueAfter(d, "Publisher id:"), publisher);
  // isoinfo shows at most 23 characters of the catalog's id string; the
  // bytes hold all 24.
  EXPECT_EQ(ValueAfter(d, "ID"), "'" + publisher.substr(0, 23) + "'");
  const std::vector<std::uint8_t> id = ReadRange(b.image(), 24 * kCdSector + 4, 24);
  EXPECT_EQ(std::string(id.begin(), id.end()), publisher.substr(0, 24));
  ExpectValidationEntrySumsToZero(b.image());
}

TEST(IsoBoot, QemuBootsTheDisketteAndTheHardDiskThroughTheCatalog) {
  ASSERT_EQ(RunTool("command -v qemu-system-i386").status, 0) << "qemu-system-i386 missing (bash scripts/install-deps.sh)";
  IsoBuild floppy;
  ASSERT_EQ(floppy.Build({"DiskType=1440"}), 0);
  EXPECT_EQ(isotest::BootCdInQemu(floppy.image(), floppy.scratch()), "B");
  IsoBuild disk;
  ASSERT_EQ(disk.Build({"MbrFileName=" + disk.path("mbr.bin")}), 0);
  EXPECT_EQ(isotest::BootCdInQemu(disk.image(), disk.scratch()), "M");
}

}  // namespace

TEST(IsoBoot, HardDiskEmulationChainLoadsThePartitionBootSector) {
  ASSERT_EQ(RunTool("command -v qemu-system-i386").status, 0) << "qemu-system-i386 missing (bash scripts/install-deps.sh)";
  for (const char* size : {"", "NumSectors=69632"}) {
    SCOPED_TRACE(size);
    IsoBuild b;
    // nasm is a dependency of the tests: its absence or a failed assembly fails them.
    ASSERT_EQ(isotest::AssembleChainLoadingMbr(b.path("chain.bin"), b.scratch()), "");
    std::vector<std::string> lines{"MbrFileName=" + b.path("chain.bin")};
    if (*size) lines.push_back(size);
    ASSERT_EQ(b.Build(lines), 0);
    EXPECT_EQ(isotest::BootCdInQemu(b.image(), b.scratch()), "MB");
  }
}

namespace {

// A tree with EFI\BOOT\BOOTX64.EFI gets a UEFI section in the catalog whose
// FAT image holds the EFI folder and ends the CD; a tree without the loader
// (or with it excluded) gets no section, and the BIOS entry is the same
// either way.
TEST(IsoEfiEntry, ATreeWithTheLoaderGetsAUefiEntryForAnImageOfItsEfiFolder) {
  const std::vector<std::uint8_t> loader = [] {
    std::vector<std::uint8_t> bytes{'M', 'Z'};
    for (int i = 0; bytes.size() < 7000; ++i) bytes.push_back(static_cast<std::uint8_t>(i * 7));
    return bytes;
  }();
  struct Case {
    const char* loaderPath;  // under the tree
    std::vector<std::string> lines;
    bool entry;
    const char* biosEntry;  // as xorriso lists the default entry
  } cases[] = {
      {"EFI/BOOT/BOOTX64.EFI", {"MbrFileName=mbr.bin"}, true, "BIOS  y     hd"},
      {"efi/boot/bootx64.efi", {"DiskType=1440", "LongFN=1"}, true, "BIOS  y  fd1.4"},
      {"EFI/BOOT/GRUBX64.EFI", {"MbrFileName=mbr.bin"}, false, "BIOS  y     hd"},
      {"EFI/BOOT/BOOTX64.EFI", {"DiskType=1440", "ExcludeFile=EFI"}, false, "BIOS  y  fd1.4"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.loaderPath) + " " + c.lines.front());
    IsoBuild b;
    const std::filesystem::path loaderFile = b.scratch().path() / "tree" / c.loaderPath;
    std::filesystem::create_directories(loaderFile.parent_path());
    isotest::WriteBytes(loaderFile, loader);
    std::vector<std::string> lines = c.lines;
    if (lines.front() == "MbrFileName=mbr.bin") lines.front() = "MbrFileName=" + b.path("mbr.bin");
    ASSERT_EQ(b.Build(lines), 0);

    const auto report = RunTool("xorriso -indev " + Quote(b.image()) + " -report_el_torito plain");
    ASSERT_EQ(report.status, 0) << report.output;
    EXPECT_NE(report.output.find(std::string("El Torito boot img :   1  ") + c.biosEntry),
              std::string::npos) << report.output;
    EXPECT_EQ(report.output.find("UEFI") != std::string::npos, c.entry) << report.output;
    const std::string d = IsoInfo(b.image(), "-d");
    EXPECT_EQ(ValueAfter(d, "Volume size is:"), std::to_string(b.ImageSize() / kCdSector));
    const auto vfy = RunTool("isovfy -i " + Quote(b.image()));
    EXPECT_NE(vfy.output.find("No errors found"), std::string::npos) << vfy.output;
    ExpectValidationEntrySumsToZero(b.image());

    const std::vector<std::uint8_t> section = ReadRange(b.image(), 24 * kCdSector + 64, 64);
    if (!c.entry) {
      EXPECT_EQ(section, std::vector<std::uint8_t>(64, 0));
      continue;
    }
    // Final section header for platform 0xEF with one entry, then the entry:
    // bootable, no emulation, the image's 512-byte sectors and its first CD sector.
    EXPECT_EQ(std::vector<std::uint8_t>(section.begin(), section.begin() + 4),
              (std::vector<std::uint8_t>{0x91, 0xEF, 1, 0}));
    EXPECT_EQ(section[32], 0x88);
    EXPECT_EQ(section[33], 0);
    const std::uint64_t count = Le16(section, 38);
    const std::uint64_t lba = section[40] | section[41] << 8 | section[42] << 16 |
                              static_cast<std::uint64_t>(section[43]) << 24;
    ASSERT_GT(count, 0u);
    EXPECT_EQ(lba * kCdSector + count * 512, b.ImageSize());
    const std::string efi = SaveRegion(b, lba * kCdSector, count * 512, "efi.img");
    const auto fsck = RunTool("fsck.fat -n " + Quote(efi));
    EXPECT_EQ(fsck.status, 0) << fsck.output;
    auto dir = RunTool("MTOOLS_SKIP_CHECK=1 mdir -/ -b -i " + Quote(efi) + " ::");
    // Long names keep their case; the firmware looks names up ignoring it.
    for (char& ch : dir.output) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    EXPECT_EQ(dir.output, "::/EFI/\n::/EFI/BOOT/\n::/EFI/BOOT/BOOTX64.EFI\n");
    const auto copy = RunTool("MTOOLS_SKIP_CHECK=1 mcopy -n -i " + Quote(efi) +
                              " ::/EFI/BOOT/BOOTX64.EFI " + Quote(b.path("copied.efi")));
    EXPECT_EQ(copy.status, 0) << copy.output;
    EXPECT_TRUE(ReadBytes(b.path("copied.efi")) == loader);

    // A write into the EFI image that fails ends the build with the volume
    // writer's code and leaves no image.
    imagebuilder::SystemHost sys = imagebuilder::MakeSystemHost();
    FailingImage failing(*sys.image, lba * kCdSector, false, false);
    EXPECT_EQ(b.Build(lines, {}, &failing), 13);
    EXPECT_FALSE(std::filesystem::exists(b.image()));
  }
}

}  // namespace
