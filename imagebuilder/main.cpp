// vellix: builds one FAT or ISO image from a section of the package configuration.
#include "imagebuilder/host.h"
#include "imagebuilder/vellix.h"

int main(int argc, char** argv) {
  imagebuilder::SystemHost system = imagebuilder::MakeSystemHost();
  const imagebuilder::Host host{*system.tree, *system.image, *system.clock, *system.console};
  return imagebuilder::RunVellix(argc, argv, host);
}
