#include "emulated_local_files.h"

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace partshell::testing {
namespace {

constexpr std::uint8_t kDirectoryAttribute = 0x10;
constexpr std::uint8_t kArchiveAttribute = 0x20;

std::string ParentOf(const std::string& absolute) {
  const auto sep = absolute.find_last_of('/');
  return sep == 0 ? "/" : absolute.substr(0, sep);
}

class EmulatedFile : public LocalFile {
 public:
  EmulatedFile(EmulatedLocalFiles& files, std::string path, std::shared_ptr<EmulatedLocalFiles::Node> node,
               bool appending)
      : files_(files), path_(std::move(path)), node_(std::move(node)), appending_(appending) {}

  LocalIo Read(void* buffer, std::size_t size) override {
    LocalIo io;
    if (const std::uint32_t error = files_.Check(LocalCall::read, path_); error != 0) {
      io.ok = false;
      io.system_error = error;
      return io;
    }
    const std::string& data = node_->data;
    io.bytes = position_ < data.size() ? std::min(size, data.size() - position_) : 0;
    std::memcpy(buffer, data.data() + position_, io.bytes);
    position_ += io.bytes;
    return io;
  }

  LocalIo Write(const void* data, std::size_t size) override {
    LocalIo io;
    if (const std::uint32_t error = files_.Check(LocalCall::write, path_); error != 0) {
      io.ok = false;
      io.system_error = error;
      return io;
    }
    std::string& content = node_->data;
    if (appending_) position_ = content.size();
    if (position_ + size > content.size()) content.resize(position_ + size);
    std::memcpy(content.data() + position_, data, size);
    position_ += size;
    node_->last_write = files_.now;
    io.bytes = size;
    return io;
  }

  std::uint32_t Rewind() override {
    if (const std::uint32_t error = files_.Check(LocalCall::rewind, path_); error != 0) return error;
    position_ = 0;
    return 0;
  }

  std::uint32_t Close() override {
    if (closed_) return 0;
    closed_ = true;
    return files_.Check(LocalCall::close, path_);
  }

 private:
  EmulatedLocalFiles& files_;
  std::string path_;
  std::shared_ptr<EmulatedLocalFiles::Node> node_;
  bool appending_;
  std::size_t position_ = 0;
  bool closed_ = false;
};

}  // namespace

EmulatedLocalFiles::EmulatedLocalFiles() { Clear(); }

void EmulatedLocalFiles::Clear() {
  files_.clear();
  directories_ = {"/", current_};
}

std::string EmulatedLocalFiles::HostPath(const std::string& path) const {
  std::string converted = path;
  for (char& c : converted) {
    if (c == '\\') c = '/';
  }
  return converted;
}

std::string EmulatedLocalFiles::Absolute(const std::string& path) const {
  const std::string host = HostPath(path);
  const std::string full = !host.empty() && host[0] == '/' ? host : current_ + "/" + host;
  std::vector<std::string> parts;
  for (std::size_t at = 0; at <= full.size();) {
    const auto end = std::min(full.find('/', at), full.size());
    const std::string part = full.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string absolute;
  for (const std::string& part : parts) absolute += "/" + part;
  return absolute.empty() ? "/" : absolute;
}

bool EmulatedLocalFiles::ParentExists(const std::string& absolute) const {
  return directories_.count(ParentOf(absolute)) != 0;
}

void EmulatedLocalFiles::PutFile(const std::string& path, const std::string& content) {
  const std::string absolute = Absolute(path);
  for (std::string parent = ParentOf(absolute); directories_.insert(parent).second; parent = ParentOf(parent)) {
  }
  files_[absolute] = std::make_shared<Node>(Node{content, now});
}

std::vector<std::string> EmulatedLocalFiles::FilePaths() const {
  std::vector<std::string> paths;
  for (const auto& [path, node] : files_) paths.push_back(path);
  return paths;
}

void EmulatedLocalFiles::FailCall(LocalCall kind, unsigned long nth, std::uint32_t error, bool from_then_on) {
  rules_.push_back({kind, calls_[static_cast<std::size_t>(kind)] + nth, error, from_then_on});
}

std::uint32_t EmulatedLocalFiles::Check(LocalCall kind, const std::string& absolute) {
  const unsigned long number = calls_[static_cast<std::size_t>(kind)]++;
  for (const Rule& rule : rules_) {
    if (rule.kind == kind && (number == rule.at || (rule.from_then_on && number > rule.at))) return rule.error;
  }
  return fault ? fault(kind, absolute) : 0;
}

std::unique_ptr<LocalFile> EmulatedLocalFiles::Open(const std::string& path, LocalOpenMode mode,
                                                     std::uint32_t& system_error) {
  const std::string absolute = Absolute(path);
  system_error = Check(LocalCall::open, absolute);
  if (system_error != 0) return nullptr;
  const bool reading = mode == LocalOpenMode::read || mode == LocalOpenMode::read_text;
  const bool appending =
      mode == LocalOpenMode::append || mode == LocalOpenMode::append_text || mode == LocalOpenMode::append_log;
  auto found = files_.find(absolute);
  if (directories_.count(absolute) != 0) {
    system_error = EISDIR;
  } else if (found == files_.end() && (reading || !ParentExists(absolute))) {
    system_error = ENOENT;
  }
  if (system_error != 0) return nullptr;
  if (found == files_.end()) {
    found = files_.emplace(absolute, std::make_shared<Node>(Node{{}, now})).first;
  } else if (!reading && !appending) {
    found->second->data.clear();
    found->second->last_write = now;
  }
  return std::make_unique<EmulatedFile>(*this, absolute, found->second, appending);
}

LocalStatus EmulatedLocalFiles::Status(const std::string& path) {
  const std::string absolute = Absolute(path);
  LocalStatus status;
  if (const std::uint32_t error = Check(LocalCall::status, absolute); error != 0) {
    status.system_error = error;
    return status;
  }
  if (directories_.count(absolute) != 0) {
    status.kind = LocalKind::directory;
    status.attributes = kDirectoryAttribute;
  } else if (const auto found = files_.find(absolute); found != files_.end()) {
    status.kind = LocalKind::file;
    status.attributes = kArchiveAttribute;
    status.size = found->second->data.size();
    status.last_write = found->second->last_write;
  } else {
    status.system_error = ENOENT;
  }
  return status;
}

std::uint32_t EmulatedLocalFiles::Remove(const std::string& path) {
  const std::string absolute = Absolute(path);
  if (const std::uint32_t error = Check(LocalCall::remove, absolute); error != 0) return error;
  if (directories_.count(absolute) != 0) return EISDIR;
  const auto found = files_.find(absolute);
  if (found == files_.end()) return ENOENT;
  files_.erase(found);
  return 0;
}

std::uint32_t EmulatedLocalFiles::SetLastWriteTime(const std::string& path, FileTime time) {
  const std::string absolute = Absolute(path);
  if (const std::uint32_t error = Check(LocalCall::set_time, absolute); error != 0) return error;
  const auto found = files_.find(absolute);
  if (found == files_.end()) return ENOENT;
  found->second->last_write = time;
  return 0;
}

bool EmulatedLocalFiles::ReadDirectory(const std::string& directory, std::vector<LocalEntry>& entries,
                                       std::uint32_t& system_error) {
  const std::string absolute = Absolute(directory);
  system_error = Check(LocalCall::read_directory, absolute);
  if (system_error == 0 && directories_.count(absolute) == 0) system_error = files_.count(absolute) ? ENOTDIR : ENOENT;
  if (system_error != 0) return false;
  const std::string prefix = absolute == "/" ? "/" : absolute + "/";
  auto inside = [&](const std::string& path) {
    return path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
           path.find('/', prefix.size()) == std::string::npos;
  };
  for (const std::string& dir : directories_) {
    if (!inside(dir)) continue;
    LocalEntry entry;
    entry.name = dir.substr(prefix.size());
    entry.kind = LocalKind::directory;
    entry.attributes = kDirectoryAttribute;
    entries.push_back(std::move(entry));
  }
  for (const auto& [path, node] : files_) {
    if (!inside(path)) continue;
    LocalEntry entry;
    entry.name = path.substr(prefix.size());
    entry.attributes = kArchiveAttribute;
    entry.size = node->data.size();
    entry.last_write = node->last_write;
    entries.push_back(std::move(entry));
  }
  AssignShortNames(entries);
  return true;
}

}  // namespace partshell::testing
