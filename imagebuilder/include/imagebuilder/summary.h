// What a finished build made, in the manner of mkfs.fat's summary: the image,
// its disk and volume layout, and what the tree took of it. Printed at
// DebugLevel status and above.
#pragma once

#include <string>

#include "imagebuilder/build_context.h"

namespace imagebuilder {

std::string BuildSummary(BuildContext& ctx);

}  // namespace imagebuilder
