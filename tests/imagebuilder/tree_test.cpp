// The directory tree: entry order, ordered files, exclusions, names,
// directory sizes, and the codes of a tree that cannot be read or written.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>

#include "test_support.h"

namespace {

using vtest::Bpb;
using vtest::Package;
using vtest::RawEntry;

std::vector<std::string> Names(const std::vector<RawEntry>& entries) {
  std::vector<std::string> out;
  for (const RawEntry& e : entries) {
    if (e.attributes != 0x0F) out.push_back(e.name11);
  }
  return out;
}

// Follows a file's cluster chain in the first FAT.
std::vector<std::uint32_t> Chain(const std::vector<std::uint8_t>& image, const Bpb& bpb,
                                 std::uint32_t first) {
  std::vector<std::uint32_t> out;
  const std::uint32_t end = bpb.clusterCount() < 4085 ? 0xFF8 : 0xFFF8;
  for (std::uint32_t c = first; c >= 2 && c < end && out.size() < 100000;
       c = vtest::FatEntry(image, bpb, c)) {
    out.push_back(c);
  }
  return out;
}

TEST(OrderedFiles, ComeFirstInTheRootAndInTheLowestClustersInOrder) {
  Package pkg;
  pkg.File("AAA.TXT", 100);
  pkg.File("MSDOS.SYS", 3000, 2);
  pkg.File("IO.SYS", 5000, 3);
  pkg.File("ZZZ/INNER.BIN", 10, 4);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-v", "BOOT", "-o", "IO.SYS", "-o", "msdos.sys"}))
                .code,
            0);
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image);
  const auto root = vtest::RootEntries(image);
  ASSERT_EQ(Names(root), (std::vector<std::string>{"IO      SYS", "MSDOS   SYS", "BOOT       ",
                                                   "AAA     TXT", "ZZZ        "}));
  EXPECT_EQ(root[2].attributes, 0x08);
  // IO.SYS: 10 sectors in clusters 2..11, MSDOS.SYS: 6 sectors right after.
  EXPECT_EQ(Chain(image, bpb, root[0].cluster),
            (std::vector<std::uint32_t>{2, 3, 4, 5, 6, 7, 8, 9, 10, 11}));
  EXPECT_EQ(Chain(image, bpb, root[1].cluster),
            (std::vector<std::uint32_t>{12, 13, 14, 15, 16, 17}));
  EXPECT_EQ(root[3].cluster, 18);
  EXPECT_EQ(root[4].cluster, 19);  // a directory's cluster is taken before its contents
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(OrderedFiles, AMissingOneFailsWith33) {
  Package pkg;
  pkg.File("IO.SYS", 10);
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440", "-o", "NOPE.SYS", "-o", "IO.SYS"})).code, 33);
}

TEST(OrderedFiles, ASubdirectoryFileOfTheSameNameIsStillWritten) {
  Package pkg;
  pkg.File("IO.SYS", 10);
  pkg.File("SUB/IO.SYS", 20, 2);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-o", "IO.SYS"})).code, 0);
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(OrderedFiles, NamedByItsAliasIsPlacedOnce) {
  Package pkg;
  pkg.File("Loader Stage Two.bin", 700);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-L", "-o", "LOADER~1.BIN"})).code, 0);
  const auto root = vtest::RootEntries(pkg.Image());
  EXPECT_EQ(Names(root), (std::vector<std::string>{"LOADER~1BIN"}));
  EXPECT_EQ(root.front().attributes, 0x0F);  // its long name comes first
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(Exclusions, LeaveOutExactlyTheMatchingNames) {
  Package pkg;
  pkg.File("KEEP.TXT", 10);
  pkg.File("A.TMP", 10);
  pkg.File("README.TXT", 10);
  pkg.File("SUB/B.TMP", 10);
  pkg.File("SUB/C.DAT", 10);
  pkg.File("SUB/DEEP/D.TMP", 10);
  pkg.File("SKIPDIR/E.DAT", 10);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-x", "SUB\\*.TMP", "-x", "\\README.TXT", "-x",
                                 "skipdir"}))
                .code,
            0);
  vtest::TempDir expected;
  vtest::WriteBytes(expected.path() / "KEEP.TXT", vtest::Pattern(10, 1));
  vtest::WriteBytes(expected.path() / "A.TMP", vtest::Pattern(10, 1));
  vtest::WriteBytes(expected.path() / "SUB/C.DAT", vtest::Pattern(10, 1));
  vtest::WriteBytes(expected.path() / "SUB/DEEP/D.TMP", vtest::Pattern(10, 1));
  vtest::ExpectVolumeHolds(pkg.image, expected.path());

  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-x", "*.TMP", "-x", "SUB"})).code, 0);
  vtest::fs::remove_all(expected.path() / "SUB");
  vtest::fs::remove(expected.path() / "A.TMP");
  vtest::WriteBytes(expected.path() / "README.TXT", vtest::Pattern(10, 1));
  vtest::WriteBytes(expected.path() / "SKIPDIR/E.DAT", vtest::Pattern(10, 1));
  vtest::ExpectVolumeHolds(pkg.image, expected.path());
}

TEST(Exclusions, ExcludedNamesTakeNoRootEntries) {
  Package pkg;
  for (int i = 0; i < 30; ++i) pkg.File("F" + std::to_string(i) + ".TMP", 1);
  pkg.File("KEEP.TXT", 1);
  // 16 root entries: the label, ".", ".." and 30 files would not fit.
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440", "-r", "16"})).code, 42);  // preset already set it
  EXPECT_EQ(vtest::Run(pkg.Args({"-y", "12", "-r", "16"})).code, 16);
  EXPECT_EQ(vtest::Run(pkg.Args({"-y", "12", "-r", "16", "-x", "*.TMP", "-z"})).code, 0);
}

TEST(Names, ShortOnlyWithoutLongFileNames) {
  Package pkg;
  pkg.File("readme.txt", 5);
  pkg.File("A Long File Name.txt", 5);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z"})).code, 0);
  const auto root = vtest::RootEntries(pkg.Image());
  ASSERT_EQ(root.size(), 2u);  // no label entry for a blank label, no long-name entries
  EXPECT_EQ(root[0].name11, "ALONGF~1TXT");
  EXPECT_EQ(root[1].name11, "README  TXT");
  std::string listing;
  vtest::Shell("mdir -/ -b -i " + vtest::Quote(pkg.image) + " ::", &listing);
  EXPECT_NE(listing.find("::/README.TXT"), std::string::npos) << listing;
  EXPECT_NE(listing.find("::/ALONGF~1.TXT"), std::string::npos) << listing;
  std::string report;
  EXPECT_TRUE(vtest::FsckClean(pkg.image, &report)) << report;
}

TEST(Names, LongNamesPrecedeTheirShortEntry) {
  Package pkg;
  pkg.File("readme.txt", 5);
  pkg.File("abcdefghijklmnopqrstuvwxyz", 5);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-L"})).code, 0);
  const auto root = vtest::RootEntries(pkg.Image());
  ASSERT_EQ(root.size(), 5u);
  EXPECT_EQ(root[0].bytes[0], 0x42);
  EXPECT_EQ(root[1].bytes[0], 0x01);
  EXPECT_EQ(root[2].name11, "ABCDEF~1   ");
  EXPECT_EQ(root[3].bytes[0], 0x41);
  EXPECT_EQ(root[3].bytes[1], 'r');
  EXPECT_EQ(root[3].bytes[24], 0x00);  // terminator after "readme.txt"
  EXPECT_EQ(root[3].bytes[28], 0xFF);
  EXPECT_EQ(root[4].name11, "README  TXT");
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(Names, AwkwardHostNamesSurviveTheRoundTrip) {
  Package pkg;
  const char* names[] = {"caf\xC3\xA9 menu.txt", ".hidden", "UPPER.TXT", "lower.txt",
                         "Mixed.Case.Name.tar.gz", "a+b=c;d,e[f].x", "x.abcd", "12345678.9"};
  std::uint32_t seed = 1;
  for (const char* n : names) {
    pkg.File(std::string("dir one/") + n, 40 + seed, seed);
    ++seed;
  }
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-L"})).code, 0);
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(Names, CaseTwinsGetDistinctShortNames) {
  Package pkg;
  pkg.File("notes.txt", 3, 1);
  pkg.File("NOTES.TXT", 4, 2);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-L"})).code, 0);
  const auto root = vtest::RootEntries(pkg.Image());
  EXPECT_EQ(Names(root), (std::vector<std::string>{"NOTES   TXT", "NOTES~1 TXT"}));
  std::string report;
  EXPECT_TRUE(vtest::FsckClean(pkg.image, &report)) << report;
}

TEST(Entries, EmptyFileAndAttributesAndTimes) {
  Package pkg;
  vtest::WriteText(pkg.root / "EMPTY.TXT", "");
  pkg.File("RO.TXT", 10);
  ::chmod((pkg.root / "RO.TXT").c_str(), 0444);
  // 2026-01-02 03:04:06 UTC (the test clock's local time is UTC).
  ASSERT_EQ(::system(("touch -d '2026-01-02 03:04:06Z' " + vtest::Quote((pkg.root / "RO.TXT").string()))
                         .c_str()),
            0);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z", "-v", "LBL"})).code, 0);
  const auto root = vtest::RootEntries(pkg.Image());
  ASSERT_EQ(root.size(), 3u);
  EXPECT_EQ(root[1].name11, "EMPTY   TXT");
  EXPECT_EQ(root[1].cluster, 0);
  EXPECT_EQ(root[1].size, 0u);
  EXPECT_EQ(root[2].attributes, 0x21);  // archive, read-only
  EXPECT_EQ(vtest::Le16(root[2].bytes, 24), ((2026 - 1980) << 9) | (1 << 5) | 2);
  EXPECT_EQ(vtest::Le16(root[2].bytes, 22), (3 << 11) | (4 << 5) | 3);
  // The label carries the build time: BUILDSETTIME 0x66000000 = 2024-03-24 10:27:12 UTC.
  EXPECT_EQ(vtest::Le16(root[0].bytes, 24), ((2024 - 1980) << 9) | (3 << 5) | 24);
  EXPECT_EQ(vtest::Le16(root[0].bytes, 22), (10 << 11) | (27 << 5) | 6);
  EXPECT_EQ(vtest::Le32(pkg.Image(), 39), 0x66000000u);  // volume serial = build time
  pkg.ExpectHoldsTree();
}

TEST(Subdirectories, SizedByTheirEntriesWithDotEntries) {
  Package pkg;
  for (int i = 0; i < 20; ++i) pkg.File("SUB/F" + std::to_string(i) + ".BIN", 1, i);
  pkg.File("SUB/DEEP/X.BIN", 1);
  ASSERT_EQ(vtest::Run(pkg.Args({"-T720", "-z"})).code, 0);  // 2 sectors per cluster
  const auto image = pkg.Image();
  const Bpb bpb = vtest::ReadBpb(image);
  const auto root = vtest::RootEntries(image);
  ASSERT_EQ(root.size(), 1u);
  // 21 names plus "." and "..": 23 entries, 2 sectors, one cluster.
  EXPECT_EQ(Chain(image, bpb, root[0].cluster).size(), 1u);
  const std::size_t sub = (bpb.firstDataSector() + (root[0].cluster - 2) * 2) * 512u;
  EXPECT_EQ(std::string(image.begin() + sub, image.begin() + sub + 11), ".          ");
  EXPECT_EQ(vtest::Le16(image, sub + 26), root[0].cluster);
  EXPECT_EQ(std::string(image.begin() + sub + 32, image.begin() + sub + 43), "..         ");
  EXPECT_EQ(vtest::Le16(image, sub + 32 + 26), 0);
  // DEEP's ".." points at SUB.
  const std::size_t deepEntry = sub + 2 * 32;
  ASSERT_EQ(std::string(image.begin() + deepEntry, image.begin() + deepEntry + 11), "DEEP       ");
  const std::uint16_t deep = vtest::Le16(image, deepEntry + 26);
  const std::size_t deepAt = (bpb.firstDataSector() + (deep - 2) * 2) * 512u;
  EXPECT_EQ(vtest::Le16(image, deepAt + 32 + 26), root[0].cluster);
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(Subdirectories, ManyLongNamesFitTheSizedImage) {
  Package pkg;
  for (int i = 0; i < 150; ++i) {
    pkg.File("Directory With Long Names/a rather long file name number " + std::to_string(i) +
                 ".txt",
             5, i);
  }
  ASSERT_EQ(vtest::Run(pkg.Args({"-L", "-y", "12", "-n", "-z"})).code, 0);
  vtest::ExpectVolumeHolds(pkg.image, pkg.root);
}

TEST(Listing, OrderDoesNotDependOnCreationOrderAndBuildsAreReproducible) {
  Package a;
  Package b;
  const std::vector<std::string> names{"beta.txt", "Alpha.txt", "gamma", "DELTA.BIN",
                                       "sub dir/Zed.txt", "sub dir/ant.txt"};
  for (std::size_t i = 0; i < names.size(); ++i) a.File(names[i], 100 + i, static_cast<std::uint32_t>(i));
  for (std::size_t i = names.size(); i-- > 0;) b.File(names[i], 100 + i, static_cast<std::uint32_t>(i));
  ASSERT_EQ(::system(("find " + vtest::Quote(a.root.string()) + " " + vtest::Quote(b.root.string()) +
                      " -exec touch -d '2025-05-05 05:05:05Z' {} +")
                         .c_str()),
            0);
  ASSERT_EQ(vtest::Run(a.Args({"-L", "-m", a.mbr, "-v", "SAME"})).code, 0);
  ASSERT_EQ(vtest::Run(b.Args({"-L", "-m", b.mbr, "-v", "SAME"})).code, 0);
  EXPECT_TRUE(a.Image() == b.Image());
  const auto root = vtest::RootEntries(a.Image(), 63 * 512);
  EXPECT_EQ(Names(root), (std::vector<std::string>{"SAME       ", "ALPHA   TXT", "BETA    TXT",
                                                   "DELTA   BIN", "GAMMA      ", "SUBDIR~1   "}));
  a.ExpectHoldsTree();
}

TEST(Listing, DeepTreesAndLoopingLinksAreRefused) {
  Package pkg;
  pkg.File("A.TXT", 1);
  std::error_code ec;
  vtest::fs::create_directory_symlink("..", pkg.root / "LOOP", ec);
  ASSERT_FALSE(ec);
  EXPECT_EQ(vtest::Run(pkg.Args({"-T1440"})).code, 22);

  Package deep;
  std::string path = "D";
  for (int i = 0; i < 70; ++i) path += "/D";
  deep.File(path + "/X.TXT", 1);
  EXPECT_EQ(vtest::Run(deep.Args({"-T1440"})).code, 22);
}

TEST(Listing, SpecialFilesAreNotPartOfTheTree) {
  Package pkg;
  pkg.File("A.TXT", 1);
  ASSERT_EQ(::mkfifo((pkg.root / "PIPE").c_str(), 0600), 0);
  vtest::fs::create_symlink("nowhere", pkg.root / "DANGLING");
  ASSERT_EQ(vtest::Run(pkg.Args({"-T1440", "-z"})).code, 0);
  const auto root = vtest::RootEntries(pkg.Image());
  EXPECT_EQ(Names(root), (std::vector<std::string>{"A       TXT"}));
}

// An image inside the tree may be built again once the tree leaves it out.
TEST(Listing, AnEarlierImageLeftOutOfTheTreeIsReplaced) {
  Package pkg;
  pkg.File("A.TXT", 100);
  const std::string inside = (pkg.root / "image.img").string();
  const std::vector<std::string> args{"-b", pkg.bs, "-f", pkg.root.string(), "-i", inside,
                                      "-T1440", "-z", "-x", "*.IMG"};
  ASSERT_EQ(vtest::Run(args).code, 0);
  ASSERT_EQ(vtest::Run(args).code, 0);  // now image.img exists in the tree
  const auto root = vtest::RootEntries(vtest::ReadBytes(inside));
  EXPECT_EQ(Names(root), (std::vector<std::string>{"A       TXT"}));

  // The empty file the front end names its temporary image is replaced and left out even
  // where no ExcludeFile covers it; an earlier image that none covers is refused.
  const std::string temporary = (pkg.root / "~DP1A.tmp").string();
  vtest::WriteBytes(temporary, {});
  const std::vector<std::string> bare{"-b", pkg.bs, "-f", pkg.root.string(), "-T1440", "-z",
                                      "-x", "*.IMG", "-i"};
  auto run = bare;
  run.push_back(temporary);
  ASSERT_EQ(vtest::Run(run).code, 0);
  EXPECT_EQ(Names(vtest::RootEntries(vtest::ReadBytes(temporary))),
            (std::vector<std::string>{"A       TXT"}));
  EXPECT_EQ(vtest::Run(run).code, 3);  // now it holds the image, a file of the tree
}

TEST(HostPaths, WindowsStyleSeparatorsAndLetterCase) {
  Package pkg;
  pkg.File("Sub Dir/A.TXT", 10);
  vtest::WriteBytes(pkg.dir.path() / "Boot" / "BootSect.Bin", vtest::BootRecord());
  const std::string bs = pkg.dir.path().string() + "\\BOOT\\bootsect.bin";
  const std::string root = pkg.dir.path().string() + "\\TREE\\sub dir";
  ASSERT_EQ(vtest::Run({"-b", bs, "-f", root, "-i", pkg.image, "-T1440", "-z"}).code, 0);
  const auto entries = vtest::RootEntries(pkg.Image());
  EXPECT_EQ(Names(entries), (std::vector<std::string>{"A       TXT"}));
}

TEST(MissingInputs, RootAndBootFiles) {
  Package pkg;
  EXPECT_EQ(vtest::Run({"-b", pkg.bs, "-f", pkg.dir / "nope", "-i", pkg.image}).code, 15);
  EXPECT_EQ(vtest::Run({"-b", pkg.bs, "--FileRoot", "-i", pkg.image}).code, 15);
  EXPECT_EQ(vtest::Run({"-b", pkg.bs, "-f", pkg.bs, "-i", pkg.image}).code, 15);  // a file
  EXPECT_EQ(vtest::Run({"-b", pkg.dir / "nope.bin", "-f", pkg.root.string(), "-i", pkg.image}).code,
            9);
  EXPECT_EQ(vtest::Run({"-b", pkg.bs, "-f", pkg.root.string(), "-T1440", "-i",
                        pkg.dir / "no/such/dir.img"})
                .code,
            3);
}

}  // namespace
