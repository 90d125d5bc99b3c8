// torbel against mtools: seeded random sequences of MD, RD, COPYHD2SYS, COPYSYS2HD,
// DEL, REN and TOUCH run as one batch file by the torbel program on one image, and
// the same operations by mtools on a twin image. A model of the tree predicts which
// operations succeed. After each batch: every operation ended as the model said,
// both images read back (with mtools) to the model's tree, byte for byte, fsck.fat
// finds torbel's partition clean, and nothing outside the partition changed.
//
// TORBEL_DIFFERENTIAL_CASES sets the number of batches (200 unless set, 40 in the
// sanitizer build); TORBEL_DIFFERENTIAL_KEEP names a folder that receives the files
// of a failed batch.
#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <set>
#include <sstream>

#include "../e2e/e2e_support.h"

namespace partshell::e2e {
namespace {

constexpr std::uint32_t kStart = 63;
constexpr std::uint32_t kSectors = 16321;  // an 8 MiB disk
const std::string kAt = "@@" + std::to_string(kStart * 512);

#ifndef TORBEL_DIFFERENTIAL_DEFAULT_CASES
#define TORBEL_DIFFERENTIAL_DEFAULT_CASES 200
#endif

int Cases() {
  const char* text = std::getenv("TORBEL_DIFFERENTIAL_CASES");
  return text != nullptr && std::atoi(text) > 0 ? std::atoi(text) : TORBEL_DIFFERENTIAL_DEFAULT_CASES;
}

// The tree of SYS:, keyed by path without a leading separator ("A/B/F.TXT").
struct Node {
  bool directory = false;
  std::string content;
  bool operator==(const Node&) const = default;
};
using Tree = std::map<std::string, Node>;

std::string Parent(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? "" : path.substr(0, slash);
}
std::string Join(const std::string& directory, const std::string& name) {
  return directory.empty() ? name : directory + "/" + name;
}
std::string SysPath(const std::string& path) {
  std::string text = "\\" + path;
  for (char& c : text)
    if (c == '/') c = '\\';
  return text;
}
bool HasChildren(const Tree& tree, const std::string& directory) {
  const auto next = tree.upper_bound(directory + "/");
  return next != tree.end() && next->first.rfind(directory + "/", 0) == 0;
}

// One operation: the torbel command, the mtools commands that do the same (none for
// an operation the model expects to fail), and whether torbel must succeed.
struct Operation {
  std::string torbel;
  std::vector<std::string> mtools;
  bool succeeds = false;
};

class Generator {
 public:
  // Files of up to `max_file` bytes; past `max_entries` the tree is made to shrink,
  // so that a long batch keeps working on a tree of the same size.
  Generator(unsigned seed, std::size_t max_file, std::size_t max_entries = 1000)
      : random_(seed), max_file_(max_file), max_entries_(max_entries) {}

  Operation Next(Tree& tree, std::map<std::string, std::string>& local_sources,
                 std::map<std::string, std::string>& expected_out) {
    if (tree.size() > max_entries_) return Shrink(tree);
    const int kind = Pick(100);
    if (kind < 18) return MakeDirectory(tree);
    if (kind < 28) return RemoveDirectory(tree);
    if (kind < 55) return CopyIn(tree, local_sources);
    if (kind < 65) return CopyOut(tree, expected_out);
    if (kind < 80) return Delete(tree);
    if (kind < 90) return Rename(tree);
    return Touch(tree);
  }

 private:
  int Pick(int n) { return static_cast<int>(random_() % static_cast<unsigned>(n)); }
  template <typename T>
  const T& PickOf(const std::vector<T>& items) {
    return items[static_cast<std::size_t>(Pick(static_cast<int>(items.size())))];
  }

  std::vector<std::string> Directories(const Tree& tree) const {
    std::vector<std::string> dirs{""};
    for (const auto& [path, node] : tree)
      if (node.directory) dirs.push_back(path);
    return dirs;
  }
  std::vector<std::string> Files(const Tree& tree) const {
    std::vector<std::string> files;
    for (const auto& [path, node] : tree)
      if (!node.directory) files.push_back(path);
    return files;
  }
  // Mostly an existing path of the wanted kind, now and then any name: names are
  // few, so they clash with files, directories and missing parents alike.
  std::string SomePath(const Tree& tree, bool directory) {
    const std::vector<std::string> existing = directory ? Directories(tree) : Files(tree);
    if (Pick(10) < 7 && existing.size() > (directory ? 1u : 0u)) {
      const std::string& path = PickOf(existing);
      if (!path.empty()) return path;
    }
    static const std::vector<std::string> kDirectoryNames = {"A", "B", "DIAGS", "LOGS"};
    static const std::vector<std::string> kFileNames = {"F1.TXT", "F2.TXT", "DATA.BIN", "X", "LOG.TXT", "A"};
    const std::string parent = PickOf(Directories(tree));
    return Join(parent, PickOf(Pick(10) < 8 ? (directory ? kDirectoryNames : kFileNames)
                                             : (directory ? kFileNames : kDirectoryNames)));
  }
  bool ParentIsDirectory(const Tree& tree, const std::string& path) const {
    const std::string parent = Parent(path);
    return parent.empty() || (tree.count(parent) != 0 && tree.at(parent).directory);
  }
  std::string Content() {
    const int shape = Pick(10);
    std::size_t size = 0;
    if (shape == 0) {
      size = 0;
    } else if (shape < 6) {
      size = static_cast<std::size_t>(Pick(600));
    } else {
      size = static_cast<std::size_t>(Pick(static_cast<int>(max_file_)));
    }
    std::string text(size, '\0');
    for (char& c : text) c = static_cast<char>(random_() & 0xFF);
    return text;
  }

  Operation MakeDirectory(Tree& tree) {
    std::string path = SomePath(tree, true);
    // The tree grows five levels deep at most, where the names still fit a command line.
    if (std::count(path.begin(), path.end(), '/') >= 5) path = path.substr(path.rfind('/') + 1);
    Operation op{"MD " + SysPath(path), {}, false};
    if (tree.count(path) == 0 && ParentIsDirectory(tree, path)) {
      tree[path] = {true, ""};
      op.mtools = {"mmd ::" + path};
      op.succeeds = true;
    }
    return op;
  }
  Operation RemoveDirectory(Tree& tree) {
    const std::string path = SomePath(tree, true);
    Operation op{"RD " + SysPath(path), {}, false};
    if (tree.count(path) != 0 && tree.at(path).directory && !HasChildren(tree, path)) {
      tree.erase(path);
      op.mtools = {"mrd ::" + path};
      op.succeeds = true;
    }
    return op;
  }
  Operation CopyIn(Tree& tree, std::map<std::string, std::string>& local_sources) {
    std::string path = SomePath(tree, false);
    const std::string source = "S" + std::to_string(local_sources.size()) + ".BIN";
    local_sources[source] = Content();
    Operation op{"COPYHD2SYS src\\" + source + " " + SysPath(path), {}, false};
    // Onto a directory the file goes into it under its own name.
    if (tree.count(path) != 0 && tree.at(path).directory) path = Join(path, source);
    if (ParentIsDirectory(tree, path) && (tree.count(path) == 0 || !tree.at(path).directory)) {
      tree[path] = {false, local_sources[source]};
      op.mtools = {"mcopy -o src/" + source + " ::" + path};
      op.succeeds = true;
    }
    return op;
  }
  Operation CopyOut(Tree& tree, std::map<std::string, std::string>& expected_out) {
    const std::string path = SomePath(tree, false);
    const std::string target = "O" + std::to_string(expected_out.size()) + ".BIN";
    Operation op{"COPYSYS2HD " + SysPath(path) + " out\\" + target, {}, false};
    std::string source = path;
    if (tree.count(path) != 0 && tree.at(path).directory) {
      // A directory stands for all its files: one of them is copied, more are refused.
      std::vector<std::string> files;
      for (const auto& [inner, node] : tree) {
        if (!node.directory && Parent(inner) == path) files.push_back(inner);
      }
      source = files.size() == 1 ? files.front() : "";
    }
    if (tree.count(source) != 0 && !tree.at(source).directory) {
      expected_out[target] = tree.at(source).content;
      op.mtools = {"mcopy -n ::" + source + " mout/" + target};
      op.succeeds = true;
    } else {
      expected_out[target] = "<none>";
    }
    return op;
  }
  Operation Delete(Tree& tree) {
    const std::string path = SomePath(tree, false);
    Operation op{"DEL " + SysPath(path), {}, false};
    if (tree.count(path) != 0 && tree.at(path).directory) return Touch(tree);  // DEL of a directory empties it
    if (tree.count(path) != 0) {
      tree.erase(path);
      op.mtools = {"mdel ::" + path};
      op.succeeds = true;
    }
    return op;
  }
  Operation Rename(Tree& tree) {
    const std::string path = SomePath(tree, Pick(4) == 0);
    static const std::vector<std::string> kNewNames = {"NEW.TXT", "R1", "R2.BIN", "F1.TXT", "A", "DIAGS"};
    const std::string name = PickOf(kNewNames);
    const std::string renamed = Join(Parent(path), name);
    Operation op{"REN " + SysPath(path) + " " + name, {}, false};
    if (tree.count(path) != 0 && ParentIsDirectory(tree, path) && tree.count(renamed) == 0) {
      Tree moved;
      for (auto it = tree.begin(); it != tree.end();) {
        if (it->first == path || it->first.rfind(path + "/", 0) == 0) {
          moved[renamed + it->first.substr(path.size())] = it->second;
          it = tree.erase(it);
        } else {
          ++it;
        }
      }
      tree.insert(moved.begin(), moved.end());
      op.mtools = {"mren ::" + path + " ::" + renamed};
      op.succeeds = true;
    }
    return op;
  }
  Operation Touch(Tree& tree) {
    const std::string path = SomePath(tree, false);
    const bool create = Pick(2) == 0;
    Operation op{"TOUCH " + SysPath(path) + (create ? " -C" : ""), {}, false};
    if (tree.count(path) != 0 && tree.at(path).directory) {
      op.torbel = "ERRORLEVEL 0";  // TOUCH of a directory stamps the files in it
      op.succeeds = true;
      return op;
    }
    if (!create) {
      op.succeeds = tree.count(path) != 0;
    } else if (ParentIsDirectory(tree, path)) {
      tree[path] = {false, ""};
      op.mtools = {"mcopy -o empty ::" + path};
      op.succeeds = true;
    }
    return op;
  }

  // Removes a file or an empty directory.
  Operation Shrink(Tree& tree) {
    std::vector<std::string> leaves;
    for (const auto& [path, node] : tree) {
      if (!node.directory || !HasChildren(tree, path)) leaves.push_back(path);
    }
    const std::string path = PickOf(leaves);
    const bool directory = tree.at(path).directory;
    tree.erase(path);
    return {(directory ? "RD " : "DEL ") + SysPath(path), {(directory ? "mrd ::" : "mdel ::") + path}, true};
  }

  std::mt19937 random_;
  std::size_t max_file_;
  std::size_t max_entries_;
};

// The tree of an image as mtools reads it back: every directory and file.
Tree ReadBack(const Workspace& ws, const std::string& image, const std::string& folder) {
  Tree tree;
  const std::string at = "-i '" + ws.Path(image) + kAt + "' ";
  EXPECT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mdir -/ -b " + at + ":: > '" + ws.Path("list.txt") + "' 2>/dev/null || "
                  "test ! -s '" + ws.Path("list.txt") + "'"),
            0);
  std::istringstream lines(ws.Read("list.txt"));
  bool any = false;
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("::/", 0) != 0) continue;
    any = true;
    std::string path = line.substr(3);
    const bool directory = !path.empty() && path.back() == '/';
    if (directory) path.pop_back();
    tree[path] = {directory, ""};
  }
  if (!any) return tree;
  const std::string out = ws.Path(folder);
  std::filesystem::remove_all(out);
  std::filesystem::create_directories(out);
  EXPECT_EQ(Shell("MTOOLS_SKIP_CHECK=1 mcopy -s -n " + at + "'::*' '" + out + "/'"), 0);
  for (auto& [path, node] : tree) {
    if (!node.directory) node.content = ws.Read(folder + "/" + path);
  }
  return tree;
}

std::string Describe(const Tree& tree) {
  std::string text;
  for (const auto& [path, node] : tree) {
    text += path + (node.directory ? "/" : " (" + std::to_string(node.content.size()) + " bytes)") + "\n";
  }
  return text;
}

class TorbelAgainstMtools : public ::testing::Test {
 protected:
  static std::string BaseImage() {
    static Workspace base;
    static std::string image;
    if (image.empty()) {
      image = base.Path("base.img");
      EXPECT_EQ(Shell("cd '" + base.dir().string() + "' && truncate -s 8M base.img && printf 'label: dos\\nstart=" +
                      std::to_string(kStart) + ", size=" + std::to_string(kSectors) +
                      ", type=de, bootable\\n' | sfdisk -q base.img && mkfs.fat -F 16 -R 1 -s 1 --offset " +
                      std::to_string(kStart) + " -h " + std::to_string(kStart) + " -n UTILITY base.img " +
                      std::to_string(kSectors / 2) + " >/dev/null 2>&1"),
                0);
    }
    return image;
  }

  // Runs `operations` as one batch, and the mtools twin of each; returns false (with
  // the failures recorded) when anything disagrees.
  bool RunBatch(const std::vector<Operation>& operations, const std::map<std::string, std::string>& sources,
                const std::map<std::string, std::string>& expected_out, const Tree& expected, bool with_twin = true,
                std::vector<std::string> env = {}) {
    std::filesystem::copy_file(BaseImage(), ws_.Path("disk.img"), std::filesystem::copy_options::overwrite_existing);
    std::filesystem::copy_file(BaseImage(), ws_.Path("twin.img"), std::filesystem::copy_options::overwrite_existing);
    for (const char* folder : {"src", "out", "mout", "torbel", "mtools"}) {
      std::filesystem::remove_all(ws_.dir() / folder);
      std::filesystem::create_directories(ws_.dir() / folder);
    }
    for (const auto& [name, content] : sources) ws_.Write("src/" + name, content);
    ws_.Write("empty", "");
    std::string batch = "@ECHO OFF\n";
    for (const Operation& op : operations) batch += op.torbel + "\nECHO =%ERRORLEVEL%\n";
    ws_.Write("DIFF.F16", batch);
    const RunResult r = ws_.Run({"/UP", "CALL", "DIFF"}, "", env);

    // Every operation ended as the model said.
    std::vector<int> levels;
    std::istringstream lines(r.out);
    for (std::string line; std::getline(lines, line);) {
      if (!line.empty() && line[0] == '=') levels.push_back(std::atoi(line.c_str() + 1));
    }
    EXPECT_EQ(levels.size(), operations.size()) << r.out.substr(0, 4000);
    if (levels.size() != operations.size()) return false;
    for (std::size_t i = 0; i < operations.size(); ++i) {
      EXPECT_EQ(levels[i] == 0, operations[i].succeeds)
          << "operation " << i << ": " << operations[i].torbel << " ended with " << levels[i];
      if ((levels[i] == 0) != operations[i].succeeds) return false;
    }

    if (with_twin) {
      // One script for the whole batch: starting a process is what costs most here.
      std::string script = "cd '" + ws_.dir().string() + "' || exit 1\nexport MTOOLS_SKIP_CHECK=1\n";
      for (const Operation& op : operations) {
        for (const std::string& command : op.mtools) {
          const auto space = command.find(' ');
          script += command.substr(0, space) + " -i 'twin.img" + kAt + "'" + command.substr(space) +
                    " >/dev/null || { echo 'failed: " + command + "'; exit 1; }\n";
        }
      }
      ws_.Write("twin.sh", script);
      EXPECT_EQ(Shell("sh '" + ws_.Path("twin.sh") + "' > '" + ws_.Path("twin.txt") + "' 2>&1"), 0)
          << ws_.Read("twin.txt");
    }

    // The partition is clean and the rest of the disk untouched.
    const std::string part = ws_.Path("part.img");
    Shell("dd if='" + ws_.Path("disk.img") + "' of='" + part + "' bs=512 skip=" + std::to_string(kStart) +
          " count=" + std::to_string(kSectors) + " status=none");
    const int fsck = Shell("fsck.fat -n '" + part + "' > '" + ws_.Path("fsck.txt") + "' 2>&1");
    EXPECT_EQ(fsck, 0) << ws_.Read("fsck.txt");
    std::ifstream base(BaseImage(), std::ios::binary);
    const std::string before((std::istreambuf_iterator<char>(base)), std::istreambuf_iterator<char>());
    const std::string after = ws_.Read("disk.img");
    const std::size_t head = kStart * 512, tail = (kStart + kSectors) * 512ull;
    EXPECT_TRUE(after.size() == before.size() && after.compare(0, head, before, 0, head) == 0 &&
                after.compare(tail, std::string::npos, before, tail, std::string::npos) == 0)
        << "a sector outside the partition changed";

    // Both images, and the files copied out, hold what the model says.
    const Tree torbel = ReadBack(ws_, "disk.img", "torbel");
    EXPECT_EQ(Describe(torbel), Describe(expected));
    EXPECT_TRUE(torbel == expected) << "file contents differ";
    bool twin_agrees = true;
    if (with_twin) {
      const Tree twin = ReadBack(ws_, "twin.img", "mtools");
      EXPECT_EQ(Describe(twin), Describe(expected)) << "the mtools twin";
      twin_agrees = twin == expected;
    }
    bool out_agrees = true;
    for (const auto& [name, content] : expected_out) {
      const bool exists = std::filesystem::exists(ws_.dir() / "out" / name);
      const std::string seen = exists ? ws_.Read("out/" + name) : "<none>";
      EXPECT_TRUE(seen == content) << "out/" << name;
      out_agrees = out_agrees && seen == content;
      if (with_twin && content != "<none>") {
        EXPECT_TRUE(ws_.Read("mout/" + name) == content) << "mout/" << name;
      }
    }
    return fsck == 0 && torbel == expected && twin_agrees && out_agrees;
  }

  // A failed batch's files (the batch, the images, the local sources) go to the folder
  // TORBEL_DIFFERENTIAL_KEEP names, to run again by hand.
  void KeepOnFailure() {
    const char* keep = std::getenv("TORBEL_DIFFERENTIAL_KEEP");
    if (keep == nullptr || !HasFailure()) return;
    std::filesystem::create_directories(keep);
    std::filesystem::copy(ws_.dir(), keep,
                          std::filesystem::copy_options::recursive | std::filesystem::copy_options::overwrite_existing);
  }
  void TearDown() override { KeepOnFailure(); }

  Workspace ws_;
};

TEST_F(TorbelAgainstMtools, RandomBatchesAgree) {
  const int cases = Cases();
  int operations_run = 0;
  for (int seed = 1; seed <= cases; ++seed) {
    Generator generator(static_cast<unsigned>(seed), 20000);
    Tree tree;
    std::map<std::string, std::string> sources, expected_out;
    std::vector<Operation> operations;
    const int count = 5 + seed % 21;
    for (int i = 0; i < count; ++i) operations.push_back(generator.Next(tree, sources, expected_out));
    operations_run += count;
    ASSERT_TRUE(RunBatch(operations, sources, expected_out, tree)) << "seed " << seed;
  }
  std::printf("differential: %d batches, %d operations, torbel and mtools agree\n", cases, operations_run);
}

// 10,000 operations in one batch end clean, and the program's memory does not grow
// with their number: its peak is the same as for 1,000.
TEST_F(TorbelAgainstMtools, LongBatchEndsCleanInFlatMemory) {
  long peak[2] = {0, 0};
  const int lengths[2] = {1000, 10000};
  for (int run = 0; run < 2; ++run) {
    Generator generator(4242, 3000, 60);
    Tree tree;
    std::map<std::string, std::string> sources, expected_out;
    std::vector<Operation> operations;
    for (int i = 0; i < lengths[run]; ++i) operations.push_back(generator.Next(tree, sources, expected_out));
    // GNU time, whose own process is small, reports the program's peak; the test's
    // process would lend the program its own pages until the program starts.
    ws_.launcher = {"/usr/bin/time", "-f", "%M", "-o", ws_.Path("peak.txt")};
    // A sanitizer build would hold freed memory back for its own checks.
    ASSERT_TRUE(RunBatch(operations, sources, expected_out, tree, false,
                         {"ASAN_OPTIONS=quarantine_size_mb=0:thread_local_quarantine_size_kb=0"}))
        << lengths[run] << " operations";
    ws_.launcher.clear();
    peak[run] = std::atol(ws_.Read("peak.txt").c_str());
    ASSERT_GT(peak[run], 0) << ws_.Read("peak.txt");
  }
  std::printf("long batch: peak resident set %ld KiB after 1,000 operations, %ld KiB after 10,000\n", peak[0],
              peak[1]);
  EXPECT_LE(peak[1], peak[0] + 1024) << "memory grew with the number of operations";
}

}  // namespace
}  // namespace partshell::e2e
