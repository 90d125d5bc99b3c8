// Writing the tree: ordered files first, then the label, then every other
// name depth first; clusters are handed out in exactly that order.
#include "imagebuilder/fat/directory_writer.h"

#include <vector>

#include "common/text.h"
#include "imagebuilder/calendar.h"
#include "imagebuilder/fat/dir_entry.h"
#include "imagebuilder/error_codes.h"
#include "imagebuilder/fat/fat_volume.h"

namespace imagebuilder {
namespace {

std::uint64_t CeilDiv(std::uint64_t a, std::uint64_t b) { return (a + b - 1) / b; }

// Where a directory's entries go: the next entry's offset and the end of its space.
struct DirectorySpace {
  std::uint64_t position;
  std::uint64_t limit;
};

std::uint32_t EntriesFor(const BuildContext& ctx, const TreeEntry& e) {
  if (e.names.error != 0) return 0;
  if (ctx.settings.longFN && !e.names.longName.empty()) {
    return LongNameEntryCount(e.names.longName) + 1;
  }
  return 1;
}

// A path as an error line shows it: control characters as \xNN.
std::string Printable(const std::string& path) {
  std::string out;
  for (const char c : path) {
    const auto u = static_cast<unsigned char>(c);
    if (u >= 0x20) {
      out += c;
      continue;
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[u >> 4];
    out += kHex[u & 15];
  }
  return out;
}

// Why the naming rule refused the entry's name, naming the file.
int FailName(BuildContext& ctx, const TreeEntry& e) {
  const std::string file = "\"" + Printable(e.hostPath) + "\"";
  const std::size_t at = ForbiddenNameCharacter(e.host.name);
  if (at != std::string_view::npos) {
    const auto u = static_cast<unsigned char>(e.host.name[at]);
    const std::string what = u < 0x20 ? "a control character"
                                      : std::string("the character '") + e.host.name[at] + "'";
    return ctx.Fail(e.names.error, "the name of " + file + " holds " + what +
                                       ", which Windows forbids in a file name");
  }
  const std::string alias = e.host.shortAlias.empty() ? e.host.name : e.host.shortAlias;
  if (e.names.error == kErrNameTooLong) {
    return ctx.Fail(e.names.error, "the short name \"" + Printable(alias) + "\" of " + file +
                                       " is longer than 8.3 allows");
  }
  return ctx.Fail(e.names.error, "the short name \"" + Printable(alias) + "\" of " + file +
                                     " begins with a blank");
}

// A file time no DOS date holds (before 1980, after 2107), naming the file.
int FailTime(BuildContext& ctx, const TreeEntry& e) {
  const CalendarTime t = UtcCalendar(e.host.lastWriteUtc);
  const std::string when = common::Format("%04d-%02d-%02d %02d:%02d:%02d UTC", t.year, t.month,
                                           t.day, t.hour, t.minute, t.second);
  return ctx.Fail(kErrFileTime, "the last-write time of \"" + Printable(e.hostPath) + "\" (" +
                                    when +
                                    ") cannot be held by a DOS date and time (1980 to 2107)");
}

// Writes the long-name entries (when they apply) and the short entry.
int WriteEntry(BuildContext& ctx, DirectorySpace& dir, const ShortEntry& entry,
               std::string_view longName) {
  std::vector<common::DirEntry> records;
  if (ctx.settings.longFN && !longName.empty()) records = SerializeLongName(longName, entry.name);
  records.push_back(SerializeShortEntry(entry));
  const std::uint64_t bytes = records.size() * common::kDirEntrySize;
  // Refused before writing, so an overflowing directory never spills into the next cluster.
  if (dir.position + bytes > dir.limit) return ctx.ReportError(kErrDirectoryOverflow);
  if (!SeekVolume(ctx, dir.position)) return ctx.ReportError(kErrSeek);
  // One write for the long-name entries and their short entry together.
  std::vector<std::uint8_t> run;
  run.reserve(bytes);
  for (const common::DirEntry& r : records) run.insert(run.end(), r.begin(), r.end());
  if (!ctx.image.Write(run.data(), run.size())) return ctx.ReportError(kErrDirEntryWrite);
  dir.position += bytes;
  return 0;
}

// The data goes through the build's data run: consecutive files' clusters are
// written together, and the rest of the last cluster is zeros.
int CopyFileData(BuildContext& ctx, const TreeEntry& e, std::uint64_t offset) {
  if (offset == 0) return ctx.ReportError(kErrZeroOffset);
  std::unique_ptr<HostFile> f = ctx.tree.OpenRead(e.hostPath);
  if (!f) {
    return ctx.Fail(kErrFileOpen,
                    FileSubject("open", "package file", e.hostPath, "", ctx.tree.LastError()));
  }
  const std::uint64_t clusterBytes =
      static_cast<std::uint64_t>(ctx.layout.sectorsPerCluster) * ctx.settings.sectorSize;
  const std::uint64_t start = ctx.layout.volumeOffset + offset;
  int code = 0;
  std::uint64_t length = 0;
  if (!f->Length(length) || length != e.host.size) {
    code = kErrFileSizeChanged;
  } else if (ctx.rehearsal) {
    // The file opens and has its listed length; its bytes wait for the real run.
  } else if (!ctx.data.MoveTo(start)) {
    code = kErrFileWrite;
  } else {
    code = ctx.data.Append(*f, e.host.size);
    if (code == 0 && !ctx.data.PadTo(start + CeilDiv(e.host.size, clusterBytes) * clusterBytes)) {
      code = kErrFileWrite;
    }
  }
  const bool closed = f->Close();
  if (code != 0) return ctx.ReportError(code);
  if (!closed) return ctx.ReportError(kErrFileClose);
  return 0;
}

int WriteTreeEntry(BuildContext& ctx, DirectorySpace& parent, const TreeEntry& e,
                   std::uint32_t parentCluster);

int WriteFile(BuildContext& ctx, DirectorySpace& parent, const TreeEntry& e) {
  if (e.names.error != 0) return FailName(ctx, e);
  if (e.host.size > 0xFFFFFFFFu) return ctx.ReportError(kErrFatTooSmall);
  ShortEntry entry;
  entry.name = e.names.shortName;
  entry.attributes = e.host.attributes & 0x3F & ~common::ATTR_DIRECTORY & ~common::ATTR_VOLUME_ID;
  entry.size = static_cast<std::uint32_t>(e.host.size);
  if (!LocalDosDateTime(ctx, e.host.lastWriteUtc, entry.date, entry.time)) return FailTime(ctx, e);
  const std::uint64_t sectors = CeilDiv(e.host.size, ctx.settings.sectorSize);
  Allocation a;
  if (AllocateClusters(ctx, static_cast<std::uint32_t>(sectors), a) != 0) return ctx.code();
  entry.firstCluster = static_cast<std::uint16_t>(a.firstCluster);
  if (WriteEntry(ctx, parent, entry, e.names.longName) != 0) return ctx.code();
  if (e.host.size == 0) return 0;
  return CopyFileData(ctx, e, a.offset);
}

int WriteSubdirectory(BuildContext& ctx, DirectorySpace& parent, const TreeEntry& e,
                      std::uint32_t parentCluster) {
  if (e.names.error != 0) return FailName(ctx, e);
  const DirectoryNode& node = *e.directory;
  ShortEntry entry;
  entry.name = e.names.shortName;
  entry.attributes = static_cast<std::uint8_t>((e.host.attributes & 0x3F) | common::ATTR_DIRECTORY);
  if (!LocalDosDateTime(ctx, e.host.lastWriteUtc, entry.date, entry.time)) return FailTime(ctx, e);
  const std::uint32_t sectors = CountEntrySectors(ctx, node, false);
  Allocation a;
  if (AllocateClusters(ctx, sectors, a) != 0) return ctx.code();
  entry.firstCluster = static_cast<std::uint16_t>(a.firstCluster);
  if (WriteEntry(ctx, parent, entry, e.names.longName) != 0) return ctx.code();

  DirectorySpace own{a.offset, a.offset + static_cast<std::uint64_t>(sectors) *
                                               ctx.settings.sectorSize};
  ShortEntry dot = entry;
  dot.name = DotName(false);
  dot.attributes = common::ATTR_DIRECTORY;
  if (WriteEntry(ctx, own, dot, {}) != 0) return ctx.code();
  ShortEntry dotDot = dot;
  dotDot.name = DotName(true);
  dotDot.firstCluster = static_cast<std::uint16_t>(parentCluster);
  if (WriteEntry(ctx, own, dotDot, {}) != 0) return ctx.code();
  for (const TreeEntry& child : node.entries) {
    if (child.excluded) continue;
    if (WriteTreeEntry(ctx, own, child, a.firstCluster) != 0) return ctx.code();
  }
  return 0;
}

int WriteTreeEntry(BuildContext& ctx, DirectorySpace& parent, const TreeEntry& e,
                   std::uint32_t parentCluster) {
  if (e.host.isDirectory) return WriteSubdirectory(ctx, parent, e, parentCluster);
  return WriteFile(ctx, parent, e);
}

const TreeEntry* FindOrdered(const DirectoryNode& root, const std::string& name) {
  for (const TreeEntry& e : root.entries) {
    if (e.host.isDirectory) continue;
    if (common::EqualsIgnoreCase(e.host.name, name) ||
        (!e.host.shortAlias.empty() && common::EqualsIgnoreCase(e.host.shortAlias, name))) {
      return &e;
    }
  }
  return nullptr;
}

}  // namespace

std::uint64_t CountEntries(const BuildContext& ctx, const DirectoryNode& dir, bool isRoot) {
  std::uint64_t total = (isRoot ? 1 : 0) + 2;  // the label; "." and ".."
  for (const TreeEntry& e : dir.entries) {
    if (!e.excluded) total += EntriesFor(ctx, e);
  }
  return total;
}

std::uint32_t CountEntrySectors(const BuildContext& ctx, const DirectoryNode& dir, bool isRoot) {
  const std::uint32_t perSector = ctx.settings.sectorSize / common::kDirEntrySize;
  return static_cast<std::uint32_t>(CeilDiv(CountEntries(ctx, dir, isRoot), perSector));
}

std::uint64_t CountTreeClusters(const BuildContext& ctx, const DirectoryNode& dir,
                                std::uint32_t spc) {
  const std::uint64_t ss = ctx.settings.sectorSize;
  std::uint64_t clusters = 0;
  for (const TreeEntry& e : dir.entries) {
    if (e.excluded) continue;
    if (e.host.isDirectory) {
      if (!e.directory) continue;
      clusters += CountTreeClusters(ctx, *e.directory, spc);
      clusters += CeilDiv(CountEntrySectors(ctx, *e.directory, false), spc);
    } else {
      clusters += CeilDiv(CeilDiv(e.host.size, ss), spc);
    }
  }
  return clusters;
}

int WriteRootDirectory(BuildContext& ctx, std::uint64_t rootOffset, std::uint64_t rootLimit) {
  const Settings& s = ctx.settings;
  const DirectoryNode& root = *ctx.snapshot;
  DirectorySpace space{rootOffset, rootLimit};

  std::vector<const TreeEntry*> placed;
  for (const std::string& name : s.orderedFiles) {
    const TreeEntry* e = FindOrdered(root, name);
    if (e == nullptr) {
      ctx.Fail(kErrOrderedMissing, "the ordered file \"" + name +
                                       "\" (OrderedFile) is not in the package's root folder");
      continue;
    }
    bool already = false;
    for (const TreeEntry* p : placed) already = already || p == e;
    if (already || !ctx.ok()) continue;
    placed.push_back(e);
    if (WriteFile(ctx, space, *e) != 0) return ctx.code();
  }
  if (!ctx.ok()) return ctx.code();

  // A blank label is no label: FAT has no entry for it.
  if (s.volumeLabel.find_first_not_of(' ') != std::string::npos) {
    ShortEntry label;
    label.name = LabelName(s.volumeLabel);
    label.attributes = common::ATTR_VOLUME_ID;
    if (!LocalDosDateTime(ctx, ctx.BuildTime(), label.date, label.time)) {
      return ctx.ReportError(kErrBuildTime);
    }
    if (WriteEntry(ctx, space, label, {}) != 0) return ctx.code();
  }

  for (const TreeEntry& e : root.entries) {
    if (e.excluded) continue;
    bool isOrdered = false;
    for (const TreeEntry* p : placed) isOrdered = isOrdered || p == &e;
    if (isOrdered) continue;
    if (WriteTreeEntry(ctx, space, e, 0) != 0) return ctx.code();
  }
  return 0;
}

}  // namespace imagebuilder
