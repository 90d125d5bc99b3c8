#include <windows.h>

#include <string>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

class Win32Resources final : public ResourceStore {
 public:
  ResourceStep Fetch(std::string_view type, int id, const std::uint8_t*& data,
                     std::size_t& size) override {
    const std::string typeName(type);
    HRSRC found = FindResourceA(nullptr, MAKEINTRESOURCEA(id), typeName.c_str());
    if (!found) return ResourceStep::Find;
    HGLOBAL loaded = LoadResource(nullptr, found);
    if (!loaded) return ResourceStep::Load;
    const void* locked = LockResource(loaded);
    if (!locked) return ResourceStep::Lock;
    const DWORD bytes = SizeofResource(nullptr, found);
    if (bytes == 0) return ResourceStep::Size;
    data = static_cast<const std::uint8_t*>(locked);
    size = bytes;
    return ResourceStep::Ok;
  }
};

}  // namespace

std::unique_ptr<ResourceStore> MakeResourceStore() { return std::make_unique<Win32Resources>(); }

}  // namespace zolp::win32
