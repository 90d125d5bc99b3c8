// probe.exe: small Windows-side checks for the wine tests.
//   probe.exe exit N             ends with exit code N (decimal, full 32 bits)
//   probe.exe mutex NAME         prints "held" when a mutex NAME exists, else "free"
//   probe.exe version FILE KEY   prints the StringFileInfo\040904e4\KEY value of FILE's
//                                version resource and its numeric file version
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

int PrintVersion(const char* file, const char* key) {
    DWORD ignored = 0;
    DWORD size = GetFileVersionInfoSizeA(file, &ignored);
    if (size == 0) {
        std::printf("no version resource (error %lu)\n", GetLastError());
        return 1;
    }
    std::vector<char> data(size);
    if (!GetFileVersionInfoA(file, 0, size, data.data())) return 1;
    char query[128];
    std::snprintf(query, sizeof query, "\\StringFileInfo\\040904e4\\%s", key);
    void* value = nullptr;
    UINT length = 0;
    if (!VerQueryValueA(data.data(), query, &value, &length) || value == nullptr) {
        std::printf("no %s\n", query);
        return 1;
    }
    std::printf("%s=%s\n", key, static_cast<const char*>(value));
    VS_FIXEDFILEINFO* fixed = nullptr;
    if (VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&fixed), &length) && fixed) {
        std::printf("FILEVERSION=%u.%u.%u.%u\n", unsigned{HIWORD(fixed->dwFileVersionMS)},
                    unsigned{LOWORD(fixed->dwFileVersionMS)}, unsigned{HIWORD(fixed->dwFileVersionLS)},
                    unsigned{LOWORD(fixed->dwFileVersionLS)});
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "exit") == 0)
        return static_cast<int>(std::strtoul(argv[2], nullptr, 10));
    if (argc == 3 && std::strcmp(argv[1], "mutex") == 0) {
        HANDLE mutex = OpenMutexA(SYNCHRONIZE, FALSE, argv[2]);
        std::printf("%s\n", mutex != nullptr ? "held" : "free");
        if (mutex != nullptr) CloseHandle(mutex);
        return 0;
    }
    if (argc == 4 && std::strcmp(argv[1], "version") == 0) return PrintVersion(argv[2], argv[3]);
    std::fprintf(stderr, "usage: probe.exe exit N | mutex NAME | version FILE KEY\n");
    return 2;
}
