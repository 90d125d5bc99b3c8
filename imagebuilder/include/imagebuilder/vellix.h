// The builder's run sequence: banner, parameters, layout, image.
#pragma once

#include "imagebuilder/host.h"

namespace imagebuilder {

// One run of the program; returns its exit code.
int RunVellix(int argc, const char* const* argv, const Host& host);

}  // namespace imagebuilder
