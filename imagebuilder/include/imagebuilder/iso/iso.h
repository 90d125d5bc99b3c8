// The ISO 9660 / El Torito wrapper around the FAT volume. The run sequence
// calls these two steps when the ISO key is set.
#pragma once

#include "imagebuilder/build_context.h"

namespace imagebuilder {

// Before the image file is created: measures the readme (ISOReadmeName) and
// sets layout.volumeOffset to 0xD000 plus the readme size rounded up to 2048.
// ZeroData is already forced on by the caller. Returns the recorded code.
int PrepareIsoImage(BuildContext& ctx);

// After the FAT volume, the MBR and the boot sector are written: writes the
// EFI image behind the volume when the tree holds an EFI loader, then fills
// the sectors in front of the volume offset (descriptors, path tables, root
// directory with the readme, boot catalog). Returns the recorded code.
int WriteIsoStructures(BuildContext& ctx);

}  // namespace imagebuilder
