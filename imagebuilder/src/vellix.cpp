#include "imagebuilder/vellix.h"

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

int RunSequence(int argc, const char* const* argv, const Host& host) {

  Settings settings;
  BuildContext ctx(settings, host);
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
    return ctx.ReportError(kErrParameters);
  }
  ctx.layout.bootMediaType = settings.bootMediaType;

  if (ComputeLayout(ctx) != 0) return ctx.code();

  if (settings.iso) {
    settings.zeroData = true;
    // The ISO step measures its readme and moves the FAT volume behind the CD structures.
    if (PrepareIsoImage(ctx) != 0) return ctx.code();
  }

  if (!ctx.image.Create(settings.imageName)) return ctx.ReportError(kErrImageOpen);

  if (ctx.ok()) CreateVolume(ctx);
  if (ctx.ok()) WriteMbr(ctx);
  if (ctx.ok()) WriteBootSector(ctx);
  if (ctx.ok() && settings.iso) WriteIsoStructures(ctx);
  if (ctx.ok()) WriteLoader(ctx);

  if (!ctx.image.Close()) ctx.ReportError(kErrImageClose);
  return ctx.code();
}

}  // namespace

int RunVellix(int argc, const char* const* argv, const Host& host) {
  host.console.Write("\nVellix 3.2.5 (Lite)\n\n");
  try {
    return RunSequence(argc, argv, host);
  } catch (const std::bad_alloc&) {
    // Out of memory anywhere in the build: the allocation failure code.
    return kErrAllocate;
  } catch (const std::length_error&) {
    return kErrAllocate;
  }
}

}  // namespace imagebuilder
