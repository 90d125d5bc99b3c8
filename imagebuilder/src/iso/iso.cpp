// The ISO step of a build: the FAT volume already sits at the volume offset;
// this fills the sectors in front of it so a CD drive sees an ISO 9660 volume
// whose El Torito catalog boots that FAT volume, and, for a package with an
// EFI loader, adds the EFI image behind it.
#include "imagebuilder/iso/iso.h"

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

#include "imagebuilder/error_codes.h"
#include "imagebuilder/iso/iso_boot_catalog.h"
#include "imagebuilder/iso/iso_descriptors.h"
#include "imagebuilder/iso/iso_directory.h"
#include "imagebuilder/iso/iso_efi_image.h"
#include "imagebuilder/iso/iso_layout.h"

namespace imagebuilder {
namespace {

using iso::kSectorSize;
using SectorBuffer = std::array<std::uint8_t, kSectorSize>;

// Writes `size` bytes at `offset`: code 14 when the seek fails, `writeCode`
// when the write does.
int WriteAt(BuildContext& ctx, std::uint64_t offset, const std::uint8_t* data, std::size_t size,
            int writeCode) {
  if (!ctx.image.Seek(offset)) return ctx.ReportError(kErrSeek);
  if (!ctx.image.Write(data, size)) return ctx.ReportError(writeCode);
  return ctx.code();
}

int WriteSector(BuildContext& ctx, std::uint32_t sector, const SectorBuffer& buffer,
                int writeCode) {
  return WriteAt(ctx, iso::ByteOffset(sector), buffer.data(), buffer.size(), writeCode);
}

struct BuildTimes {
  CalendarTime utc;
  CalendarTime local;
};

int TakeBuildTimes(BuildContext& ctx, BuildTimes& times) {
  const std::int64_t t = ctx.BuildTime();
  CalendarTime local;
  if (!ctx.clock.ToLocal(t, local)) return ctx.ReportError(kErrBuildTime);
  times.utc = UtcCalendar(t);
  times.local = local;
  return ctx.code();
}

int WritePrimaryDescriptor(BuildContext& ctx, const BuildTimes& times, SectorBuffer& buffer) {
  std::uint64_t imageSize = 0;
  if (!ctx.image.Size(imageSize)) return ctx.ReportError(kErrIsoImageStatus);
  if (imageSize % kSectorSize != 0) return ctx.ReportError(kErrIsoImageSize);
  const iso::PrimaryVolumeFields fields{ctx.settings.isoVolumeID, ctx.settings.publisher,
                                        static_cast<std::uint32_t>(imageSize / kSectorSize),
                                        times.utc, times.local};
  iso::SerializePrimaryVolumeDescriptor(buffer, fields);
  return WriteSector(ctx, iso::kPrimaryDescriptorSector, buffer, kErrIsoPrimaryDescriptor);
}

int WritePathTables(BuildContext& ctx, SectorBuffer& buffer) {
  for (const bool bigEndian : {false, true}) {
    buffer.fill(0);
    iso::SerializePathTable(buffer, iso::kRootDirectorySector, bigEndian);
    const std::uint32_t sector = bigEndian ? iso::kMPathTableSector : iso::kLPathTableSector;
    if (WriteSector(ctx, sector, buffer, kErrIsoPathTable) != 0) return ctx.code();
  }
  return ctx.code();
}

// Streams `size` bytes of the open readme to the image at the readme's sector.
int CopyReadmeBytes(BuildContext& ctx, HostFile& file, std::uint64_t size, SectorBuffer& buffer) {
  if (!ctx.image.Seek(iso::kReadmeOffset)) return ctx.ReportError(kErrSeek);
  for (std::uint64_t remaining = size; remaining > 0;) {
    const std::size_t want =
        static_cast<std::size_t>(std::min<std::uint64_t>(remaining, buffer.size()));
    std::size_t filled = 0;
    std::size_t got = 0;
    while (filled < want && file.Read(buffer.data() + filled, want - filled, got) && got > 0) {
      filled += got;
    }
    // A file that ends early has changed since it was measured.
    if (filled < want) return ctx.ReportError(kErrIsoReadmeRead);
    if (!ctx.image.Write(buffer.data(), want)) return ctx.ReportError(kErrIsoReadmeWrite);
    remaining -= want;
  }
  return ctx.code();
}

// Copies the readme into the sectors reserved for it when the image was
// sized, and returns its directory entry. The file is measured again here, so
// one that has grown past its reserved sectors since then is refused rather
// than written over the boot image.
int CopyReadme(BuildContext& ctx, SectorBuffer& buffer, std::optional<iso::ReadmeEntry>& entry) {
  const std::string& path = ctx.settings.isoReadmeName;
  HostFileStatus status;
  if (!ctx.tree.Status(path, status)) {
    return ctx.Fail(kErrIsoReadmeStatus,
                    FileSubject("find", "readme file", path, "ISOReadmeName", ""));
  }
  iso::IsoPlacement placement;
  if (!iso::PlaceReadme(status.size, placement)) return ctx.ReportError(kErrIsoReadmeTooLarge);
  std::optional<std::string> identifier = iso::ReadmeIdentifier(path);
  if (!identifier) return ctx.ReportError(kErrIsoReadmeName);
  if (placement.volumeOffset > ctx.layout.volumeOffset) return ctx.ReportError(kErrIsoReadmeRead);
  if (status.isDirectory) return ctx.ReportError(kErrIsoReadmeOpen);

  std::unique_ptr<HostFile> file = ctx.tree.OpenRead(path);
  if (!file) {
    return ctx.Fail(kErrIsoReadmeOpen, FileSubject("open", "readme file", path, "ISOReadmeName",
                                                   ctx.tree.LastError()));
  }
  const int code = CopyReadmeBytes(ctx, *file, status.size, buffer);
  file->Close();
  if (code != 0) return code;
  // The record carries the file's own length: a reader copying the readme off
  // the CD gets its bytes, not the zero padding of its last sector.
  entry = iso::ReadmeEntry{std::move(*identifier), static_cast<std::uint32_t>(status.size),
                           UtcCalendar(status.lastWriteUtc)};
  return ctx.code();
}

int WriteRootDirectory(BuildContext& ctx, const BuildTimes& times, SectorBuffer& buffer) {
  std::optional<iso::ReadmeEntry> readme;
  if (!ctx.settings.isoReadmeName.empty() && CopyReadme(ctx, buffer, readme) != 0) {
    return ctx.code();
  }
  iso::SerializeRootDirectory(buffer, times.utc, readme);
  return WriteSector(ctx, iso::kRootDirectorySector, buffer, kErrIsoRootDirectory);
}

int WriteBootCatalog(BuildContext& ctx, SectorBuffer& buffer,
                     const std::optional<iso::EfiBootEntry>& efi) {
  if (!iso::IsBootMediaType(ctx.layout.bootMediaType)) return ctx.ReportError(kErrIsoMediaType);
  const iso::BootCatalogFields fields{
      ctx.settings.publisher, ctx.layout.bootMediaType, ctx.layout.partitionType,
      static_cast<std::uint32_t>(ctx.layout.volumeOffset / kSectorSize), efi};
  iso::SerializeBootCatalog(buffer, fields);
  return WriteSector(ctx, iso::kBootCatalogSector, buffer, kErrIsoBootCatalog);
}

}  // namespace

int PrepareIsoImage(BuildContext& ctx) {
  if (!ctx.ok()) return ctx.code();
  iso::IsoPlacement placement;
  const std::string& readme = ctx.settings.isoReadmeName;
  if (!readme.empty()) {
    HostFileStatus status;
    if (!ctx.tree.Status(readme, status)) return ctx.ReportError(kErrIsoReadmeStatus);
    if (!iso::PlaceReadme(status.size, placement)) {
      return ctx.ReportError(kErrIsoReadmeTooLarge);
    }
  }
  ctx.layout.volumeOffset = placement.volumeOffset;
  return ctx.code();
}

int WriteIsoStructures(BuildContext& ctx) {
  SectorBuffer buffer{};
  BuildTimes times;
  if (!ctx.ok() || TakeBuildTimes(ctx, times) != 0) return ctx.code();
  // The EFI image comes first: the volume size in the descriptor counts it.
  std::optional<iso::EfiBootEntry> efi;
  if (WriteEfiImage(ctx, efi) != 0) return ctx.code();
  if (WritePrimaryDescriptor(ctx, times, buffer) != 0) return ctx.code();
  iso::SerializeBootRecordDescriptor(buffer);
  if (WriteSector(ctx, iso::kBootRecordSector, buffer, kErrIsoBootDescriptor) != 0) {
    return ctx.code();
  }
  iso::SerializeTerminator(buffer);
  if (WriteSector(ctx, iso::kTerminatorSector, buffer, kErrIsoTerminator) != 0) {
    return ctx.code();
  }
  if (WritePathTables(ctx, buffer) != 0) return ctx.code();
  if (WriteRootDirectory(ctx, times, buffer) != 0) return ctx.code();
  return WriteBootCatalog(ctx, buffer, efi);
}

}  // namespace imagebuilder
