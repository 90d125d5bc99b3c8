// Placeholder for the ISO step until its writer lands; replaced by iso*.cpp.
#include "imagebuilder/iso.h"

namespace imagebuilder {

int PrepareIsoImage(BuildContext& ctx) {
  ctx.layout.volumeOffset = 0xD000;
  return ctx.code();
}

int WriteIsoStructures(BuildContext& ctx) { return ctx.code(); }

}  // namespace imagebuilder
