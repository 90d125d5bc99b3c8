#include "AppServices.h"

#include <vector>

#include "model/main_dialog_model.h"
#include "zolp/package_config.h"

namespace zolp::win {
namespace {

Services theServices;

}  // namespace

void SetAppServices(const Services& services) { theServices = services; }
const Services& AppServices() { return theServices; }

std::optional<std::string> PackageValue(const char* file, std::string_view key, bool prefix,
                                        std::size_t maxLength) {
  std::vector<char> value(maxLength + 1, '\0');
  if (!FindPackageValue(theServices, file, key, prefix, value.data(), value.size()))
    return std::nullopt;
  return std::string(value.data());
}

bool PackageHasLine(std::string_view key) {
  return FindPackageValue(theServices, kPackageFile, key, false, nullptr, 0);
}

std::optional<std::string> PackageVersion() { return ReadPackageVersion(theServices); }

}  // namespace zolp::win
