// Clock, group membership, page allocations and worker threads.
#include <windows.h>

#include <functional>
#include <memory>

#include "zolp/win32_host.h"

namespace zolp::win32 {

namespace {

class Win32Clock final : public Clock {
 public:
  void Sleep(std::uint32_t milliseconds) override { ::Sleep(milliseconds); }
  std::uint64_t Milliseconds() override { return GetTickCount64(); }
};

class Win32Security final : public Security {
 public:
  bool IsMemberOfAdministrators() override {
    SID_IDENTIFIER_AUTHORITY ntAuthority = SECURITY_NT_AUTHORITY;
    PSID administrators = nullptr;
    if (!AllocateAndInitializeSid(&ntAuthority, 2, SECURITY_BUILTIN_DOMAIN_RID,
                                  DOMAIN_ALIAS_RID_ADMINS, 0, 0, 0, 0, 0, 0, &administrators))
      return false;
    BOOL member = FALSE;
    if (!CheckTokenMembership(nullptr, administrators, &member)) member = FALSE;
    FreeSid(administrators);
    return member != FALSE;
  }
};

class Win32Memory final : public Memory {
 public:
  void* AllocatePages(std::size_t size) override {
    return VirtualAlloc(nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
  }
  bool FreePages(void* pages) override { return VirtualFree(pages, 0, MEM_RELEASE) != FALSE; }
};

// The work travels to the new thread on the heap; the thread owns it from its start.
DWORD WINAPI RunWork(void* parameter) {
  std::unique_ptr<std::function<void()>> work(static_cast<std::function<void()>*>(parameter));
  (*work)();
  return 0;
}

class Win32Workers final : public Workers {
 public:
  bool StartThread(std::function<void()> work) override {
    auto owned = std::make_unique<std::function<void()>>(std::move(work));
    HANDLE thread = CreateThread(nullptr, 0, &RunWork, owned.get(), 0, nullptr);
    if (thread == nullptr) return false;
    owned.release();
    CloseHandle(thread);
    return true;
  }
};

}  // namespace

std::unique_ptr<Workers> MakeWorkers() { return std::make_unique<Win32Workers>(); }
std::unique_ptr<Clock> MakeClock() { return std::make_unique<Win32Clock>(); }
std::unique_ptr<Security> MakeSecurity() { return std::make_unique<Win32Security>(); }
std::unique_ptr<Memory> MakeMemory() { return std::make_unique<Win32Memory>(); }

}  // namespace zolp::win32
