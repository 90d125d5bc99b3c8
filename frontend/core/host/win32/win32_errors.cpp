#include <windows.h>

#include <string>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

class Win32SystemErrors final : public SystemErrors {
 public:
  std::uint32_t Last() const override { return GetLastError(); }
  void SetLast(std::uint32_t code) override { SetLastError(code); }
  std::string MessageText(std::uint32_t code) const override {
    const DWORD saved = GetLastError();
    char text[512] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, code, 0x409, text, sizeof text, nullptr);
    SetLastError(saved);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r'))
      message.pop_back();
    return message;
  }
};

}  // namespace

std::unique_ptr<SystemErrors> MakeSystemErrors() { return std::make_unique<Win32SystemErrors>(); }

}  // namespace zolp::win32
