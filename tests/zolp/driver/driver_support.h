// Test driver plumbing: a package folder to run ZOLP.exe in, the running
// program, window search by process and title, control texts and screenshots.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

namespace zolptest {

// Failures of the current case; a case passes with none.
void Fail(const std::string& what);
int FailureCount();

#define CHECK(cond) \
  do { \
    if (!(cond)) ::zolptest::Fail(std::string(__FILE__ ":") + std::to_string(__LINE__) + ": " #cond); \
  } while (0)
#define CHECK_EQ_TEXT(actual, expected) \
  do { \
    std::string a_ = (actual), e_ = (expected); \
    if (a_ != e_) \
      ::zolptest::Fail(std::string(__FILE__ ":") + std::to_string(__LINE__) + ": got \"" + a_ + \
                       "\", want \"" + e_ + "\""); \
  } while (0)

// A fresh folder under the temporary directory holding a copy of a program
// and the files a case writes; removed with everything in it at the end.
class PackageDir {
 public:
  PackageDir(const std::string& program, const std::string& name);
  // A folder that outlives the case (parent\name): only the program's copy goes.
  PackageDir(const std::string& program, const std::string& name, const std::string& parent);
  ~PackageDir();
  void Write(const std::string& name, const std::string& bytes) const;
  const std::string& Path() const { return path_; }
  std::string Program() const { return path_ + "\\" + programName_; }

 private:
  std::string path_;
  std::string programName_;
  bool keep_ = false;
};

class Process {
 public:
  // Starts the program with the command-line tail in the given folder.
  Process(const std::string& program, const std::string& tail, const std::string& directory);
  ~Process();
  bool Started() const { return info_.hProcess != nullptr; }
  DWORD Id() const { return info_.dwProcessId; }
  // True when the process ended within the time; its exit code then.
  bool WaitExit(DWORD milliseconds, DWORD* exitCode = nullptr);
  bool Running();

 private:
  PROCESS_INFORMATION info_{};
};

// Polls until the answer is true or the time is up.
bool WaitFor(const std::function<bool()>& ready, DWORD milliseconds);

// A visible top-level window of the process; with a title, exactly that one.
HWND FindTopWindow(DWORD processId, const char* title = nullptr);
HWND WaitTopWindow(DWORD processId, const char* title, DWORD milliseconds);
std::vector<HWND> TopWindows(DWORD processId);

std::string Text(HWND window);                 // WM_GETTEXT, across processes
std::string ItemText(HWND dialog, int id);
bool ItemVisible(HWND dialog, int id);
RECT ItemRect(HWND dialog, int id);             // screen pixels

// Clicks as the mouse would: press and release posted to the control.
void PostClick(HWND control);
void PostKey(HWND control, WORD key);

// Saves the window's screen area as a 24-bit BMP.
bool SaveScreenshot(HWND window, const std::string& path);

// Removes a folder with everything in it.
void RemoveFolder(const std::string& path);
// Writes a whole file (replacing it); false when it can't be written.
bool WriteWholeFile(const std::string& path, const std::string& bytes);
// A whole file's bytes; empty when it can't be read.
std::string FileBytes(const std::string& path);
// The text of a message box: its longest static text.
std::string BoxText(HWND box);
// Seconds since 1970 by the system clock, as vellix reads its build time.
unsigned long long UnixNow();
// An environment variable of the driver; empty when it is not set.
std::string Environment(const char* name);

}  // namespace zolptest
