#include "imagebuilder/vellix.h"

#include <algorithm>
#include <cctype>
#include <cstring>
#include <new>
#include <stdexcept>

#include "imagebuilder/build_context.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"
#include "imagebuilder/iso/iso.h"
#include "imagebuilder/settings.h"

namespace imagebuilder {
namespace {

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
  if (text.size() > 1 && std::isupper(static_cast<unsigned char>(text[1])) == 0) {
    text[0] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[0])));
  }
  return text;
}

int BuildImage(int argc, const char* const* argv, const Host& host, Settings& settings,
               BuildContext& ctx) {
  SettingsParser parser(settings, [&ctx](int code) { ctx.ReportError(code); });
  parser.root().fileExists = [&host](const std::string& path) {
    HostFileStatus st;
    return host.tree.Status(path, st) && !st.isDirectory;
  };
  parser.root().readLines = [&host](const std::string& path, std::vector<std::string>& lines) {
    return ReadTextLines(host.tree, path, lines);
  };

  if (!parser.parse(argc, argv)) {
    if (parser.helpRequested()) {
      host.console.Write(parser.UsageTable());
      return kErrHelp;
    }
    return ctx.Fail(kErrParameters, parser.root().failure());
  }
  ctx.layout.bootMediaType = settings.bootMediaType;

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
  if (!ctx.ok()) ctx.image.Discard();
  return ctx.code();
}

}  // namespace

int RunVellix(int argc, const char* const* argv, const Host& host) {
  host.console.Write("\nVellix 3.2.5 (Lite)\n\n");
  // The banner is the version: --version stops after it.
  if (argc == 2 && argv[1] != nullptr && std::strcmp(argv[1], "--version") == 0) return 0;
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
