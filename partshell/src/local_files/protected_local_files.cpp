// Which local paths name one file, and the local files the shell keeps its hands off.
#include <cerrno>

#include "common/text.h"
#include "partshell/local_files.h"

namespace partshell {

bool LocalFiles::SameFile(const std::string& a, const std::string& b) {
  const LocalStatus first = Status(a);
  const LocalStatus second = Status(b);
  if (first.has_identity && second.has_identity) {
    return first.device == second.device && first.file_number == second.file_number;
  }
  const std::string x = HostPath(a), y = HostPath(b);
  return NamesIgnoreCase() ? common::EqualsIgnoreCase(x, y) : x == y;
}

bool ProtectedLocalFiles::IsProtected(const std::string& path) {
  for (const std::string& kept : protected_) {
    if (inner_.SameFile(path, kept)) return true;
  }
  return false;
}

std::unique_ptr<LocalFile> ProtectedLocalFiles::Open(const std::string& path, LocalOpenMode mode,
                                                     std::uint32_t& system_error) {
  if (mode != LocalOpenMode::read && mode != LocalOpenMode::read_text && IsProtected(path)) {
    system_error = EACCES;
    return nullptr;
  }
  return inner_.Open(path, mode, system_error);
}

std::uint32_t ProtectedLocalFiles::Remove(const std::string& path) {
  return IsProtected(path) ? EACCES : inner_.Remove(path);
}

std::uint32_t ProtectedLocalFiles::SetLastWriteTime(const std::string& path, FileTime time) {
  return IsProtected(path) ? EACCES : inner_.SetLastWriteTime(path, time);
}

}  // namespace partshell
