// Read and write failures during a build: each gives its own exit code, the
// first one recorded decides, and nothing crashes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <new>

#include "test_support.h"

namespace {

using imagebuilder::HostFile;
using imagebuilder::HostTree;
using imagebuilder::ImageFile;
using imagebuilder::ListResult;
using vtest::Package;

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// A host file whose reported length, reads or close can be made to fail.
class FaultyFile : public HostFile {
 public:
  FaultyFile(std::unique_ptr<HostFile> real, std::int64_t grow, bool failRead, bool failClose)
      : real_(std::move(real)), grow_(grow), failRead_(failRead), failClose_(failClose) {}
  bool Length(std::uint64_t& length) override {
    if (!real_->Length(length)) return false;
    length = static_cast<std::uint64_t>(static_cast<std::int64_t>(length) + grow_);
    return true;
  }
  bool Read(std::uint8_t* b, std::size_t n, std::size_t& got) override {
    if (failRead_) return false;
    return real_->Read(b, n, got);
  }
  bool Close() override { return real_->Close() && !failClose_; }

 private:
  std::unique_ptr<HostFile> real_;
  std::int64_t grow_;
  bool failRead_;
  bool failClose_;
};

class FaultyTree : public HostTree {
 public:
  explicit FaultyTree(HostTree& real) : real_(real) {}
  std::string listFails;  // path suffix of a directory whose listing fails
  ListResult listResult = ListResult::kCannotStart;
  std::string fileFails;  // path suffix of a file that misbehaves
  bool failOpen = false, failRead = false, failClose = false;
  std::int64_t grow = 0;

  bool outOfMemory = false;
  std::string aliasFor;  // a name the host reports with the alias below
  std::string alias;

  ListResult List(const std::string& d, std::vector<imagebuilder::HostEntry>& e) override {
    if (outOfMemory) throw std::bad_alloc();
    if (!listFails.empty() && EndsWith(d, listFails)) {
      if (listResult == ListResult::kEndedWithError) real_.List(d, e);
      return listResult;
    }
    const ListResult r = real_.List(d, e);
    for (auto& entry : e) {
      if (entry.name == aliasFor) entry.shortAlias = alias;
    }
    return r;
  }
  std::unique_ptr<HostFile> OpenRead(const std::string& p) override {
    if (fileFails.empty() || !EndsWith(p, fileFails)) return real_.OpenRead(p);
    if (failOpen) return nullptr;
    auto f = real_.OpenRead(p);
    if (!f) return f;
    return std::make_unique<FaultyFile>(std::move(f), grow, failRead, failClose);
  }
  bool Status(const std::string& p, imagebuilder::HostFileStatus& s) override {
    return real_.Status(p, s);
  }
  char Separator() const override { return real_.Separator(); }
  bool Identify(const std::string& d, imagebuilder::DirectoryId& id) override {
    return real_.Identify(d, id);
  }

 private:
  HostTree& real_;
};

// An image whose n-th write (counting from 1), set-size or close fails.
class FaultyImage : public ImageFile {
 public:
  explicit FaultyImage(ImageFile& real) : real_(real) {}
  int failWrite = 0;
  std::uint64_t failWriteAt = ~std::uint64_t{0};  // a write starting at this offset fails
  int failSetSize = 0;
  int failRead = 0;
  bool failClose = false;
  int writes = 0, setSizes = 0, reads = 0;

  bool Create(const std::string& p) override { return real_.Create(p); }
  bool SetSize(std::uint64_t s) override {
    return ++setSizes != failSetSize && real_.SetSize(s);
  }
  bool Size(std::uint64_t& s) override { return real_.Size(s); }
  bool Seek(std::uint64_t o) override {
    at_ = o;
    return real_.Seek(o);
  }
  bool Read(std::uint8_t* b, std::size_t n) override {
    return ++reads != failRead && real_.Read(b, n);
  }
  bool Write(const std::uint8_t* b, std::size_t n) override {
    const std::uint64_t start = at_;
    at_ += n;
    return ++writes != failWrite && start != failWriteAt && real_.Write(b, n);
  }
  bool Close() override { return real_.Close() && !failClose; }
  void Discard() override { real_.Discard(); }

 private:
  ImageFile& real_;
  std::uint64_t at_ = 0;
};

struct Fixture {
  Package pkg;
  imagebuilder::SystemHost system = imagebuilder::MakeSystemHost();
  FaultyTree tree{*system.tree};
  FaultyImage image{*system.image};
  Fixture() {
    pkg.File("FIRST.BIN", 3000, 1);
    pkg.File("SUB/SECOND.BIN", 70000, 2);
  }
  int Build(std::vector<std::string> more = {"-T1440"}) {
    vtest::RunOptions o;
    o.tree = &tree;
    o.image = &image;
    return vtest::Run(pkg.Args(more), o).code;
  }
};

TEST(ReadFaults, TreeListing) {
  Fixture a;
  a.tree.listFails = "tree";
  EXPECT_EQ(a.Build(), 15);
  Fixture b;
  b.tree.listFails = "SUB";
  EXPECT_EQ(b.Build(), 22);
  Fixture c;
  c.tree.listFails = "SUB";
  c.tree.listResult = ListResult::kEndedWithError;
  EXPECT_EQ(c.Build(), 38);
}

TEST(ReadFaults, RunningOutOfMemoryGivesCode1) {
  Fixture f;
  f.tree.outOfMemory = true;
  EXPECT_EQ(f.Build(), 1);
}

TEST(HostNames, AliasesTheNamingRuleRefuses) {
  Fixture blank;
  blank.pkg.File("odd name.txt", 5);
  blank.tree.aliasFor = "odd name.txt";
  blank.tree.alias = " ODD.TXT";
  EXPECT_EQ(blank.Build(), 35);
  Fixture longAlias;
  longAlias.pkg.File("odd name.txt", 5);
  longAlias.tree.aliasFor = "odd name.txt";
  longAlias.tree.alias = "ODDNAME1.TEXT";
  EXPECT_EQ(longAlias.Build(), 51);
  Fixture good;
  good.pkg.File("odd name.txt", 5);
  good.tree.aliasFor = "odd name.txt";
  good.tree.alias = "ODDNAM~7.TXT";  // the host's own alias is used as it is
  ASSERT_EQ(good.Build({"-T1440", "-z", "-L"}), 0);
  good.pkg.ExpectHoldsTree();
  const auto root = vtest::RootEntries(good.pkg.Image());
  bool found = false;
  for (const auto& e : root) found = found || e.name11 == "ODDNAM~7TXT";
  EXPECT_TRUE(found);
}

TEST(ReadFaults, FilesToInsert) {
  Fixture open;
  open.tree.fileFails = "SECOND.BIN";
  open.tree.failOpen = true;
  EXPECT_EQ(open.Build(), 28);
  Fixture grown;
  grown.tree.fileFails = "SECOND.BIN";
  grown.tree.grow = 1;
  EXPECT_EQ(grown.Build(), 29);
  Fixture read;
  read.tree.fileFails = "FIRST.BIN";
  read.tree.failRead = true;
  EXPECT_EQ(read.Build(), 30);
  Fixture close;
  close.tree.fileFails = "FIRST.BIN";
  close.tree.failClose = true;
  EXPECT_EQ(close.Build(), 49);
}

TEST(ReadFaults, BootFiles) {
  Fixture bs;
  bs.tree.fileFails = "bs.bin";
  bs.tree.failRead = true;
  EXPECT_EQ(bs.Build(), 10);
  Fixture bsClose;
  bsClose.tree.fileFails = "bs.bin";
  bsClose.tree.failClose = true;
  EXPECT_EQ(bsClose.Build(), 48);
  Fixture mbr;
  mbr.tree.fileFails = "mbr.bin";
  mbr.tree.failRead = true;
  EXPECT_EQ(mbr.Build({"-m", mbr.pkg.mbr}), 5);
  Fixture mbrClose;
  mbrClose.tree.fileFails = "mbr.bin";
  mbrClose.tree.failClose = true;
  EXPECT_EQ(mbrClose.Build({"-m", mbrClose.pkg.mbr}), 47);
}

TEST(WriteFaults, EachStepHasItsCode) {
  // The first write on a diskette is FIRST.BIN's entry; file data goes out
  // from the first data cluster (sector 33) once the run of files breaks; the
  // FAT (at byte 512, after the boot sector) once the tree is written.
  Fixture entry;
  entry.image.failWrite = 1;
  EXPECT_EQ(entry.Build(), 27);
  Fixture data;
  data.image.failWriteAt = 33 * 512;
  EXPECT_EQ(data.Build(), 31);
  Fixture fat;
  fat.image.failWriteAt = 512;
  EXPECT_EQ(fat.Build(), 25);
  Fixture size;
  size.image.failSetSize = 1;
  EXPECT_EQ(size.Build(), 2);
  Fixture grow;
  grow.image.failSetSize = 2;  // growing the file to its last cluster
  EXPECT_EQ(grow.Build(), 41);
  Fixture mirror;
  mirror.image.failRead = 1;
  EXPECT_EQ(mirror.Build(), 24);
  Fixture close;
  close.image.failClose = true;
  EXPECT_EQ(close.Build(), 50);
  for (const Fixture* f : {&entry, &data, &fat, &size, &grow, &mirror, &close}) {
    EXPECT_FALSE(vtest::fs::exists(f->pkg.image));
  }
}

TEST(WriteFaults, TheFirstCodeWins) {
  Fixture f;
  f.image.failWrite = 1;     // a directory entry: 27
  f.image.failClose = true;  // and then the close: 50
  EXPECT_EQ(f.Build(), 27);
}

TEST(WriteFaults, EveryWriteFailureIsReportedNeverACrash) {
  // Fail each write of a build with an MBR, a loader and subdirectories in turn.
  for (int n = 1;; ++n) {
    Fixture f;
    const std::string grub = f.pkg.dir / "stage.bin";
    vtest::WriteBytes(grub, vtest::Pattern(3000, 5));
    f.image.failWrite = n;
    const int code = f.Build({"-m", f.pkg.mbr, "-g", grub, "-L", "-z"});
    if (code == 0) {
      EXPECT_GT(n, 10);
      break;
    }
    EXPECT_TRUE(code == 8 || code == 13 || code == 25 || code == 26 || code == 27 ||
                code == 31 || code == 85)
        << "write " << n << " gave " << code;
    // The half-written image is gone: nothing is left that could pass for a good one.
    EXPECT_FALSE(vtest::fs::exists(f.pkg.image)) << "write " << n;
    ASSERT_LT(n, 1000);
  }
}

}  // namespace

// A failed run says why in one line on standard error: the code, and the file
// or key involved with the system's reason; standard output keeps only the
// banner, and DebugLevel none silences the line.
TEST(ErrorLine, NamesTheCodeTheFileOrKeyAndTheReason) {
  using vtest::BootRecord;
  using vtest::Run;
  using vtest::RunResult;
  using vtest::WriteBytes;
  Package pkg;
  pkg.File("A.TXT", 100);
  const std::string missing = (pkg.dir / "NOSUCH.BIN");
  struct Row {
    std::vector<std::string> args;
    int code;
    std::string line;
  } rows[] = {
      {{"-b", missing, "-f", pkg.root.string(), "-i", pkg.image}, 9,
       "vellix: error 9: cannot open the boot sector file \"" + missing +
           "\" (BsFileName): No such file or directory\n"},
      {pkg.Args({"-m", missing}), 4,
       "vellix: error 4: cannot open the MBR file \"" + missing +
           "\" (MbrFileName): No such file or directory\n"},
      {{"-b", pkg.bs, "-f", missing, "-i", pkg.image}, 15,
       "vellix: error 15: cannot read the package folder \"" + missing +
           "\" (FileRoot): No such file or directory\n"},
      {{"-b", pkg.bs, "-f", pkg.root.string(), "-i", pkg.dir.path().string()}, 3,
       "vellix: error 3: cannot create the image file \"" + pkg.dir.path().string() +
           "\" (ImageName): Is a directory\n"},
      {pkg.Args({"-o", "NOSUCH.TXT"}), 33,
       "vellix: error 33: the ordered file \"NOSUCH.TXT\" (OrderedFile) is not in the package's "
       "root folder\n"},
      {pkg.Args({"-s", "abc"}), 42,
       "vellix: error 42: the value \"abc\" of SectorSize is not valid\n"},
      {pkg.Args({"-v", "A", "-v", "B"}), 42, "vellix: error 42: VolumeLabel is given twice\n"},
      {pkg.Args({"-x"}), 42, "vellix: error 42: -x (ExcludeFile) needs a value\n"},
      {pkg.Args({"-y", "32"}), 76,
       "vellix: error 76: invalid FAT type specified. Must be FAT12 or FAT16\n"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.line);
    const RunResult r = Run(row.args);
    EXPECT_EQ(r.code, row.code);
    EXPECT_EQ(r.errors, row.line);
    EXPECT_EQ(r.output, "\nVellix 3.2.5 (Lite)\n\n");
    // DebugLevel comes first: a refused option ends the parse before later ones are read.
    std::vector<std::string> quiet = row.args;
    quiet.insert(quiet.begin(), {"-d", "none"});
    const RunResult silent = Run(quiet);
    EXPECT_EQ(silent.code, row.code);
    EXPECT_EQ(silent.errors, "");
  }
  // A boot sector of the wrong size or without its signature says what is wrong with it.
  WriteBytes(pkg.bs, BootRecord(1024));
  EXPECT_EQ(Run(pkg.Args()).errors,
            "vellix: error 11: cannot use the boot sector file \"" + pkg.bs +
                "\" (BsFileName): it holds 1024 bytes, not one sector of 512\n");
  WriteBytes(pkg.bs, BootRecord(512, false));
  EXPECT_EQ(Run(pkg.Args()).errors,
            "vellix: error 12: cannot use the boot sector file \"" + pkg.bs +
                "\" (BsFileName): it does not end with 55 AA\n");
  // --version: the banner, then vellix's own version and the kit's, each named.
  const RunResult version = Run({"--version"});
  EXPECT_EQ(version.code, 0);
  EXPECT_EQ(version.output,
            "\nVellix 3.2.5 (Lite)\n\n"
            "vellix 3.2.5: the version of the image builder itself\n"
            "Diagnostic Distribution Package " KIT_VERSION
            ": the version of the kit it ships in (ZOLP, torbel and vellix)\n");
  EXPECT_EQ(version.errors, "");
  // A build that succeeds writes nothing to standard error, and its new image
  // file gets the mode the umask leaves of read and write for everyone.
  WriteBytes(pkg.bs, BootRecord());
  const ::mode_t mask = ::umask(027);
  const RunResult ok = Run(pkg.Args());
  ::umask(mask);
  EXPECT_EQ(ok.code, 0);
  EXPECT_EQ(ok.errors, "");
  EXPECT_EQ(std::filesystem::status(pkg.image).permissions(), std::filesystem::perms(0640));
}
