#include "driver_support.h"

#include <cstdio>

namespace zolptest {
namespace {

int failures = 0;

std::string UniqueTempFolder(const std::string& name) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  static int serial = 0;
  return std::string(temp) + "zolp-" + std::to_string(GetCurrentProcessId()) + "-" +
         std::to_string(++serial) + "-" + name;
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &entry);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = entry.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
        RemoveTree(child);
      } else {
        SetFileAttributesA(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        DeleteFileA(child.c_str());
      }
    } while (FindNextFileA(find, &entry));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}

struct WindowSearch {
  DWORD processId;
  const char* title;
  std::vector<HWND> found;
};

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<WindowSearch*>(lParam);
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner != search->processId || !IsWindowVisible(window)) return TRUE;
  if (search->title) {
    char title[512];
    GetWindowTextA(window, title, sizeof title);
    if (std::string(title) != search->title) return TRUE;
  }
  search->found.push_back(window);
  return TRUE;
}

}  // namespace

void RemoveFolder(const std::string& path) { RemoveTree(path); }

void Fail(const std::string& what) {
  ++failures;
  std::printf("    failed: %s\n", what.c_str());
  std::fflush(stdout);
}

int FailureCount() { return failures; }

PackageDir::PackageDir(const std::string& program, const std::string& name)
    : path_(UniqueTempFolder(name)) {
  CreateDirectoryA(path_.c_str(), nullptr);
  std::size_t slash = program.find_last_of("\\/");
  programName_ = slash == std::string::npos ? program : program.substr(slash + 1);
  if (!CopyFileA(program.c_str(), Program().c_str(), FALSE)) Fail("copy " + program);
}

PackageDir::PackageDir(const std::string& program, const std::string& name,
                       const std::string& parent)
    : path_(parent + "\\" + name), keep_(true) {
  CreateDirectoryA(parent.c_str(), nullptr);
  CreateDirectoryA(path_.c_str(), nullptr);
  std::size_t slash = program.find_last_of("\\/");
  programName_ = slash == std::string::npos ? program : program.substr(slash + 1);
  if (!CopyFileA(program.c_str(), Program().c_str(), FALSE)) Fail("copy " + program);
}

PackageDir::~PackageDir() {
  if (!keep_) {
    RemoveTree(path_);
    return;
  }
  // The program may take a moment to let go of its file after it ended.
  WaitFor([&] { return DeleteFileA(Program().c_str()) != FALSE; }, 5000);
}

void PackageDir::Write(const std::string& name, const std::string& bytes) const {
  // Folders on the way are made as needed.
  for (std::size_t slash = name.find('\\'); slash != std::string::npos;
       slash = name.find('\\', slash + 1))
    CreateDirectoryA((path_ + "\\" + name.substr(0, slash)).c_str(), nullptr);
  if (!WriteWholeFile(path_ + "\\" + name, bytes)) Fail("write " + path_ + "\\" + name);
}

bool WriteWholeFile(const std::string& path, const std::string& bytes) {
  HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = WriteFile(handle, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(handle);
  return ok && written == bytes.size();
}

Process::Process(const std::string& program, const std::string& tail,
                 const std::string& directory) {
  std::string commandLine = "\"" + program + "\"" + tail;
  std::vector<char> buffer(commandLine.begin(), commandLine.end());
  buffer.push_back('\0');
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  if (!CreateProcessA(program.c_str(), buffer.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      directory.c_str(), &startup, &info_)) {
    info_ = {};
    Fail("start " + program);
  }
}

Process::~Process() {
  if (!info_.hProcess) return;
  if (Running()) {
    TerminateProcess(info_.hProcess, 99);
    WaitForSingleObject(info_.hProcess, 5000);
  }
  CloseHandle(info_.hProcess);
  CloseHandle(info_.hThread);
}

bool Process::WaitExit(DWORD milliseconds, DWORD* exitCode) {
  if (!info_.hProcess || WaitForSingleObject(info_.hProcess, milliseconds) != WAIT_OBJECT_0)
    return false;
  if (exitCode) GetExitCodeProcess(info_.hProcess, exitCode);
  return true;
}

bool Process::Running() {
  return info_.hProcess && WaitForSingleObject(info_.hProcess, 0) == WAIT_TIMEOUT;
}

bool WaitFor(const std::function<bool()>& ready, DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    if (ready()) return true;
    if (GetTickCount() - start >= milliseconds) return false;
    Sleep(40);
  }
}

std::vector<HWND> TopWindows(DWORD processId) {
  WindowSearch search{processId, nullptr, {}};
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

HWND FindTopWindow(DWORD processId, const char* title) {
  WindowSearch search{processId, title, {}};
  EnumWindows(&CollectWindow, reinterpret_cast<LPARAM>(&search));
  return search.found.empty() ? nullptr : search.found.front();
}

HWND WaitTopWindow(DWORD processId, const char* title, DWORD milliseconds) {
  HWND window = nullptr;
  WaitFor([&] { return (window = FindTopWindow(processId, title)) != nullptr; }, milliseconds);
  return window;
}

std::string Text(HWND window) {
  DWORD_PTR length = 0;
  if (!window || !SendMessageTimeoutA(window, WM_GETTEXTLENGTH, 0, 0, SMTO_ABORTIFHUNG, 3000,
                                      &length))
    return "<no window>";
  std::vector<char> text(length + 2, '\0');
  DWORD_PTR got = 0;
  SendMessageTimeoutA(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()),
                      SMTO_ABORTIFHUNG, 3000, &got);
  return std::string(text.data());
}

std::string ItemText(HWND dialog, int id) { return Text(GetDlgItem(dialog, id)); }

bool ItemVisible(HWND dialog, int id) {
  HWND item = GetDlgItem(dialog, id);
  return item && (GetWindowLongA(item, GWL_STYLE) & WS_VISIBLE);
}

RECT ItemRect(HWND dialog, int id) {
  RECT rect{};
  GetWindowRect(GetDlgItem(dialog, id), &rect);
  return rect;
}

void PostClick(HWND control) {
  PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(3, 3));
  PostMessageA(control, WM_LBUTTONUP, 0, MAKELPARAM(3, 3));
}

void PostKey(HWND control, WORD key) {
  PostMessageA(control, WM_KEYDOWN, key, 1);
  PostMessageA(control, WM_KEYUP, key, 0xC0000001);
}

bool SaveScreenshot(HWND window, const std::string& path) {
  RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN);
  Sleep(300);
  RECT rect;
  if (!GetWindowRect(window, &rect)) return false;
  int width = rect.right - rect.left, height = rect.bottom - rect.top;
  if (width <= 0 || height <= 0) return false;
  HDC screen = GetDC(nullptr);
  HDC memory = CreateCompatibleDC(screen);
  HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
  HGDIOBJ old = SelectObject(memory, bitmap);
  BitBlt(memory, 0, 0, width, height, screen, rect.left, rect.top, SRCCOPY);
  SelectObject(memory, old);

  BITMAPINFOHEADER info{};
  info.biSize = sizeof info;
  info.biWidth = width;
  info.biHeight = height;
  info.biPlanes = 1;
  info.biBitCount = 24;
  info.biCompression = BI_RGB;
  DWORD stride = (static_cast<DWORD>(width) * 3 + 3) & ~3u;
  std::vector<unsigned char> pixels(stride * height);
  GetDIBits(memory, bitmap, 0, height, pixels.data(), reinterpret_cast<BITMAPINFO*>(&info),
            DIB_RGB_COLORS);
  DeleteObject(bitmap);
  DeleteDC(memory);
  ReleaseDC(nullptr, screen);

  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;
  file.bfOffBits = sizeof file + sizeof info;
  file.bfSize = file.bfOffBits + static_cast<DWORD>(pixels.size());
  FILE* out = std::fopen(path.c_str(), "wb");
  if (!out) return false;
  std::fwrite(&file, sizeof file, 1, out);
  std::fwrite(&info, sizeof info, 1, out);
  std::fwrite(pixels.data(), 1, pixels.size(), out);
  std::fclose(out);
  return true;
}

std::string FileBytes(const std::string& path) {
  std::string bytes;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  if (file == INVALID_HANDLE_VALUE) return bytes;
  DWORD size = GetFileSize(file, nullptr), got = 0;
  bytes.resize(size);
  if (!ReadFile(file, bytes.data(), size, &got, nullptr) || got != size) bytes.clear();
  CloseHandle(file);
  return bytes;
}

std::string BoxText(HWND box) {
  std::string shown;
  for (HWND text = FindWindowExA(box, nullptr, "Static", nullptr); text;
       text = FindWindowExA(box, text, "Static", nullptr)) {
    std::string t = Text(text);
    if (t.size() > shown.size()) shown = t;
  }
  return shown;
}

unsigned long long UnixNow() {
  FILETIME now;
  GetSystemTimeAsFileTime(&now);
  ULARGE_INTEGER ticks;
  ticks.LowPart = now.dwLowDateTime;
  ticks.HighPart = now.dwHighDateTime;
  return (ticks.QuadPart - 116444736000000000ull) / 10000000ull;
}

std::string Environment(const char* name) {
  char value[MAX_PATH * 2] = {};
  DWORD length = GetEnvironmentVariableA(name, value, sizeof value);
  return length > 0 && length < sizeof value ? std::string(value, length) : std::string();
}

}  // namespace zolptest
