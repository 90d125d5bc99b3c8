// Bounded formatting and the error report every front-end step uses.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "common/text.h"
#include "zolp/host.h"

// printf-style checking of format strings: the GNU flavour (mingw's printf is
// Microsoft's), which clang knows as plain printf.
#if defined(__clang__)
#define ZOLP_PRINTF(text, first) __attribute__((format(printf, text, first)))
#else
#define ZOLP_PRINTF(text, first) __attribute__((format(gnu_printf, text, first)))
#endif

namespace zolp {

// Formats into buffer, truncating at size - 1 and always terminating. Answers
// the characters written, or -1 when formatting failed or the text was cut;
// then, with the fatal flag or in verbose mode, shows "Fatal program error at
// File: ..., Line: ...!" ("Buffer Overrun"), and with the fatal flag ends the
// program with status 1.
int SafeFormat(const Services& services, bool fatal, const char* sourceFile, unsigned line,
               char* buffer, std::size_t size, const char* format, ...)
    ZOLP_PRINTF(7, 8);

#define ZOLP_SAFE_FORMAT(services, fatal, buffer, size, ...) \
  ::zolp::SafeFormat((services), (fatal), __FILE__, __LINE__, (buffer), (size), __VA_ARGS__)

// "%s failed with error %d: %s" with the system's text, or "%s failed with
// error %d." when the system has none.
void FormatSystemError(const Services& services, std::uint32_t code, std::string_view operation,
                       char* buffer, std::size_t size);
std::string FormatSystemError(const Services& services, std::uint32_t code,
                              std::string_view operation);

// Shows the thread's last system error for an operation in a warning box,
// unless it is 0, or the report is verbose-only and verbose mode is off.
// Answers that error code.
std::uint32_t ReportLastError(const Services& services, bool verboseOnly,
                              std::string_view operation, std::string_view title);

// printf into a std::string, for texts that have no fixed-size buffer.
using common::Format;

}  // namespace zolp
