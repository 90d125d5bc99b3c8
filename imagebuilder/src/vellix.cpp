#include "imagebuilder/vellix.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "common/text.h"
#include "imagebuilder/build_context.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"
#include "imagebuilder/iso/iso.h"
#include "imagebuilder/settings.h"
#include "imagebuilder/summary.h"

#ifndef VELLIX_KIT_VERSION
#error "VELLIX_KIT_VERSION names the kit's version (the project version)"
#endif

namespace imagebuilder {
namespace {

// vellix's own version, apart from the version of the kit it is released in.
constexpr std::string_view kVellixVersion = "3.2.5";
constexpr std::string_view kKitVersion = VELLIX_KIT_VERSION;

bool ReadTextLines(HostTree& tree, const std::string& path, std::vector<std::string>& lines) {
  std::unique_ptr<HostFile> f = tree.OpenRead(path);
  if (!f) return false;
  std::string text;
  std::uint8_t buf[4096];
  for (;;) {
    std::size_t got = 0;
    if (!f->Read(buf, sizeof buf, got)) {
      f->Close();
      return false;
    }
    if (got == 0) break;
    text.append(reinterpret_cast<const char*>(buf), got);
  }
  f->Close();
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return true;
}

// The image as the rehearsal sees it: it takes every write and keeps none.
class RehearsalImage final : public ImageFile {
 public:
  bool Create(const std::string&) override { return true; }
  bool SetSize(std::uint64_t size) override {
    size_ = size;
    return true;
  }
  bool Size(std::uint64_t& size) override {
    size = size_;
    return true;
  }
  bool Seek(std::uint64_t offset) override {
    at_ = offset;
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t size) override {
    std::memset(buffer, 0, size);
    at_ += size;
    return true;
  }
  bool Write(const std::uint8_t*, std::size_t size) override {
    at_ += size;
    size_ = std::max(size_, at_);
    return true;
  }
  bool Close() override { return true; }
  void Discard() override {}

 private:
  std::uint64_t size_ = 0;
  std::uint64_t at_ = 0;
};

// The steps that fill the image, each only while no code is recorded.
void WriteImage(BuildContext& ctx) {
  if (ctx.ok()) CreateVolume(ctx);
  if (ctx.ok()) WriteMbr(ctx);
  if (ctx.ok()) WriteBootSector(ctx);
  if (ctx.ok() && ctx.settings.iso) WriteIsoStructures(ctx);
  if (ctx.ok()) WriteLoader(ctx);
}

// Runs every step once against an image that keeps nothing, before the image
// file is created: whatever can be refused without writing (boot records,
// names, times, ordered files, clusters, the readme, the loader) is refused
// there, so that a refused build neither leaves a half image nor destroys an
// earlier one. What is left for the real run are failures of the writes
// themselves and files that change in between.
int Rehearse(BuildContext& ctx, const Host& host) {
  RehearsalImage image;
  const Host rehearsalHost{host.tree, image, host.clock, host.console};
  BuildContext rehearsal(ctx.settings, rehearsalHost);
  rehearsal.rehearsal = true;
  rehearsal.layout = ctx.layout;
  rehearsal.snapshot = std::move(ctx.snapshot);
  ctx.ShareBuildTime(rehearsal);
  WriteImage(rehearsal);
  ctx.snapshot = std::move(rehearsal.snapshot);
  return rehearsal.ok() ? 0 : ctx.Fail(rehearsal.code(), rehearsal.subject());
}

// What the error line of a failed run needs once the build is over.
struct Outcome {
  int debugLevel = kDebugError;
  std::string subject;
};

int BuildImage(int argc, const char* const* argv, const Host& host, Settings& settings,
               BuildContext& ctx);

int RunSequence(int argc, const char* const* argv, const Host& host, Outcome& outcome) {
  Settings settings;
  BuildContext ctx(settings, host);
  const int code = BuildImage(argc, argv, host, settings, ctx);
  outcome.debugLevel = settings.debugLevel;
  outcome.subject = ctx.subject();
  return code;
}

// The meaning of a code as it reads inside a sentence: "image too large for
// the FAT type selected".
std::string Meaning(int code) {
  static const struct {
    int code;
    const char* text;
  } kUntitled[] = {
      {kErrFat16TooFewClusters, "too few clusters for FAT16"},
      {kErrTooManySectors, "too many sectors for the image"},
      {kErrGrubOpen, "error opening the GRUB loader file"},
      {kErrGrubTooLarge, "the GRUB loader file does not fit before the volume"},
      {kErrGrubRead, "error reading the GRUB loader file"},
      {kErrGrubWrite, "error writing the GRUB loader to the image"},
      {kErrGrubClose, "error closing the GRUB loader file"},
      {kErrDirectoryOverflow, "a directory overflows the space set aside for it"},
  };
  for (const auto& u : kUntitled) {
    if (u.code == code) return u.text;
  }
  const ErrorInfo* info = FindError(code);
  std::string text = info != nullptr ? info->text : "";
  if (text.empty()) return "unknown error";
  if (text.back() == '.') text.pop_back();
  // "Error opening..." becomes "error opening..."; "FAT", "MBR" and "ISO" stay.
  if (text.size() > 1 && common::LowerAscii(text[1]) == text[1]) text[0] = common::LowerAscii(text[0]);
  return text;
}

// The paths the settings name, as the host reads them.
void ResolvePaths(Settings& s, HostTree& tree) {
  for (std::string* path : {&s.bsFileName, &s.fileRoot, &s.grub, &s.imageName, &s.mbrFileName,
                            &s.isoReadmeName}) {
    if (!path->empty()) *path = tree.Resolve(*path);
  }
}

// The image file is written over whatever it names: it must not be one of the
// files the build reads. Files are compared, not names, so another spelling of
// the same file, a link or a second hard link to it is refused as well.
int RefuseInputAsImage(BuildContext& ctx, const std::string& cfgPath) {
  const Settings& s = ctx.settings;
  HostFileStatus st;
  if (s.imageName.empty() || !ctx.tree.Status(s.imageName, st)) return 0;
  // The readme is read only for a CD.
  const std::string readme = s.iso ? s.isoReadmeName : std::string();
  const struct {
    const std::string& path;
    const std::string& shown;
    const char* what;
    const char* key;
  } inputs[] = {
      {cfgPath, s.cfgFile, "configuration file", "CfgFile"},
      {s.bsFileName, s.bsFileName, "boot sector file", "BsFileName"},
      {s.mbrFileName, s.mbrFileName, "MBR file", "MbrFileName"},
      {s.grub, s.grub, "GRUB loader file", "Grub"},
      {readme, s.isoReadmeName, "readme file", "ISOReadmeName"},
  };
  for (const auto& in : inputs) {
    if (in.path.empty() || !ctx.tree.IsSameFile(s.imageName, in.path)) continue;
    return ctx.Fail(kErrImageOpen,
                    FileSubject("create", "image file", s.imageName, "ImageName",
                                std::string("it is the ") + in.what + " \"" + in.shown + "\" (" +
                                    in.key + ")"));
  }
  return 0;
}

int BuildImage(int argc, const char* const* argv, const Host& host, Settings& settings,
               BuildContext& ctx) {
  SettingsParser parser(settings, [&ctx](int code) { ctx.ReportError(code); });
  parser.root().isFile = [&host](const std::string& path, std::string& why) {
    HostFileStatus st;
    if (!host.tree.Status(host.tree.Resolve(path), st)) {
      why = "does not exist";
      return false;
    }
    if (st.isDirectory) why = "is a directory";
    return !st.isDirectory;
  };
  parser.parser().readLines = [&host](const std::string& path, std::vector<std::string>& lines) {
    return ReadTextLines(host.tree, host.tree.Resolve(path), lines);
  };

  if (!parser.parse(argc, argv)) {
    if (parser.helpRequested()) {
      host.console.Write(parser.UsageTable());
      return kErrHelp;
    }
    return ctx.Fail(kErrParameters, parser.failure());
  }
  ctx.layout.bootMediaType = settings.bootMediaType;
  ResolvePaths(settings, host.tree);
  const std::string cfgPath = settings.cfgFile.empty() ? "" : host.tree.Resolve(settings.cfgFile);
  if (RefuseInputAsImage(ctx, cfgPath) != 0) return ctx.code();

  if (ComputeLayout(ctx) != 0) return ctx.code();

  if (settings.iso) {
    settings.zeroData = true;
    // The ISO step measures its readme and moves the FAT volume behind the CD structures.
    if (PrepareIsoImage(ctx) != 0) return ctx.code();
  }

  if (Rehearse(ctx, host) != 0) return ctx.code();

  if (!ctx.image.Create(settings.imageName)) {
    return ctx.Fail(kErrImageOpen, FileSubject("create", "image file", settings.imageName,
                                               "ImageName", ctx.image.LastError()));
  }
  WriteImage(ctx);
  if (!ctx.image.Close()) ctx.ReportError(kErrImageClose);
  // A write that failed leaves an image that must not pass for a finished one.
  if (!ctx.ok()) {
    ctx.image.Discard();
    return ctx.code();
  }
  if (settings.debugLevel >= kDebugStatus) host.console.Write(BuildSummary(ctx));
  return 0;
}

}  // namespace

int RunVellix(int argc, const char* const* argv, const Host& host) {
  host.console.Write("\nVellix " + std::string(kVellixVersion) + " (Lite)\n\n");
  if (argc == 2 && argv[1] != nullptr && std::strcmp(argv[1], "--version") == 0) {
    host.console.Write("vellix " + std::string(kVellixVersion) +
                       ": the version of the image builder itself\n"
                       "Diagnostic Distribution Package " + std::string(kKitVersion) +
                       ": the version of the kit it ships in (ZOLP, torbel and vellix)\n");
    return 0;
  }
  Outcome outcome;
  int code = 0;
  try {
    code = RunSequence(argc, argv, host, outcome);
  } catch (const std::bad_alloc&) {
    // Out of memory anywhere in the build: the allocation failure code, and no
    // half-written image.
    host.image.Discard();
    code = kErrAllocate;
  } catch (const std::length_error&) {
    host.image.Discard();
    code = kErrAllocate;
  }
  // One line on standard error says why the run failed; standard output and
  // the exit code stay as they are.
  if (code != 0 && code != kErrHelp && outcome.debugLevel >= kDebugError) {
    const std::string line = "vellix: error " + std::to_string(code) + ": " +
                             (outcome.subject.empty() ? Meaning(code) : outcome.subject) + "\n";
    host.console.WriteError(line);
  }
  return code;
}

}  // namespace imagebuilder
