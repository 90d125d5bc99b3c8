#include "zolp/report.h"

#include <cstdarg>
#include <cstdio>

namespace zolp {

namespace {

int FormatInto(char* buffer, std::size_t size, const char* format, va_list args) {
  if (buffer == nullptr || size == 0) return -1;
  const int n = std::vsnprintf(buffer, size, format, args);
  buffer[size - 1] = '\0';
  if (n < 0 || static_cast<std::size_t>(n) >= size) return -1;
  return n;
}

}  // namespace

int SafeFormat(const Services& services, bool fatal, const char* sourceFile, unsigned line,
               char* buffer, std::size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const int written = FormatInto(buffer, size, format, args);
  va_end(args);
  if (written >= 0) return written;

  if (fatal || services.options.verbose) {
    char text[512];
    std::snprintf(text, sizeof text, "Fatal program error at File: %s, Line: %u!",
                  sourceFile ? sourceFile : "", line);
    services.ui->ShowMessage(text, "Buffer Overrun", MessageIcon::Warning);
  }
  if (fatal) services.ui->EndProgram(1);
  return -1;
}

std::string FormatSystemError(const Services& services, std::uint32_t code,
                              std::string_view operation) {
  const std::string op(operation);
  const std::string message = services.errors->MessageText(code);
  // Codes are shown signed, as the system's own reports show them.
  const int shown = static_cast<int>(code);
  if (message.empty()) return Format("%s failed with error %d.", op.c_str(), shown);
  return Format("%s failed with error %d: %s", op.c_str(), shown, message.c_str());
}

void FormatSystemError(const Services& services, std::uint32_t code, std::string_view operation,
                       char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  const std::string text = FormatSystemError(services, code, operation);
  const std::size_t n = text.size() < size ? text.size() : size - 1;
  text.copy(buffer, n);
  buffer[n] = '\0';
}

std::uint32_t ReportLastError(const Services& services, bool verboseOnly,
                              std::string_view operation, std::string_view title) {
  const std::uint32_t code = services.errors->Last();
  if (code != 0 && (!verboseOnly || services.options.verbose)) {
    char text[512];
    FormatSystemError(services, code, operation, text, sizeof text);
    services.ui->ShowMessage(text, title, MessageIcon::Warning);
    // Showing the box may touch the last error; the caller may still read it.
    services.errors->SetLast(code);
  }
  return code;
}

}  // namespace zolp
