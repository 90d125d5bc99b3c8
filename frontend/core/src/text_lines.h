// Helpers shared by the line-oriented readers of the front end.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "zolp/host.h"

namespace zolp::detail {

// The file's lines without line ends (text mode: "\r\n" reads as a line end);
// false when it can't be opened or read (system error set).
bool ReadTextLines(FileSystem& files, const std::string& path, std::vector<std::string>& lines);

std::string_view TrimBlanks(std::string_view text);
std::string_view TrimLeadingBlanks(std::string_view text);
std::string_view TrimTrailingBlanks(std::string_view text);
// Copies text into a C buffer, truncated, always terminated.
void CopyTruncated(std::string_view text, char* buffer, std::size_t size);

}  // namespace zolp::detail
