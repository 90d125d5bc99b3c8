#include "text_lines.h"

namespace zolp::detail {

bool ReadTextLines(FileSystem& files, const std::string& path, std::vector<std::string>& lines) {
  lines.clear();
  auto file = files.OpenRead(path);
  if (!file) return false;
  std::string content;
  char chunk[4096];
  for (;;) {
    std::uint32_t got = 0;
    if (!file->Read(chunk, sizeof chunk, got)) return false;
    content.append(chunk, got);
    if (got < sizeof chunk) break;
  }
  std::size_t start = 0;
  while (start < content.size()) {
    std::size_t end = content.find('\n', start);
    if (end == std::string::npos) end = content.size();
    std::size_t stop = end;
    if (stop > start && content[stop - 1] == '\r') --stop;
    lines.emplace_back(content, start, stop - start);
    start = end + 1;
  }
  return true;
}

static bool IsBlank(char c) { return c == ' ' || c == '\t'; }

std::string_view TrimLeadingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
  return text;
}

std::string_view TrimTrailingBlanks(std::string_view text) {
  while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
  return text;
}

std::string_view TrimBlanks(std::string_view text) {
  return TrimTrailingBlanks(TrimLeadingBlanks(text));
}

void CopyTruncated(std::string_view text, char* buffer, std::size_t size) {
  if (buffer == nullptr || size == 0) return;
  const std::size_t n = text.size() < size ? text.size() : size - 1;
  text.copy(buffer, n);
  buffer[n] = '\0';
}

}  // namespace zolp::detail
