#include "viewer_text.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <new>

namespace zolp {
namespace {

struct FileCloser {
  void operator()(std::FILE* file) const { std::fclose(file); }
};

}  // namespace

std::string LoadViewerText(const std::string& path, const ViewerMessages& messages) {
  // A folder of that name is no file to show (some systems let fopen open it).
  std::error_code error;
  if (std::filesystem::is_directory(path, error)) return messages.cannotOpen;
  std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
  if (!file) return messages.cannotOpen;
  if (std::fseek(file.get(), 0, SEEK_END) != 0) return messages.shortRead;
  long length = std::ftell(file.get());
  if (length < 0 || std::fseek(file.get(), 0, SEEK_SET) != 0) return messages.shortRead;
  if (length == 0) return messages.empty;

  std::unique_ptr<char[]> buffer(new (std::nothrow) char[static_cast<std::size_t>(length)]);
  if (!buffer) return messages.noMemory;
  std::size_t got = std::fread(buffer.get(), 1, static_cast<std::size_t>(length), file.get());
  if (got != static_cast<std::size_t>(length)) return messages.shortRead;

  std::string text(buffer.get(), got);
  std::size_t zero = text.find('\0');
  if (zero != std::string::npos) text.resize(zero);
  return text;
}

std::string WithCrLf(const std::string& text) {
  std::string out;
  out.reserve(text.size() + text.size() / 16);
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) out += '\r';
    out += text[i];
  }
  return out;
}

}  // namespace zolp
