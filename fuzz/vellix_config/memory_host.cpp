#include "memory_host.h"

#include <algorithm>
#include <cstring>

#include "common/fat_layout.h"
#include "common/text.h"
#include "imagebuilder/calendar.h"

namespace vfuzz {
namespace {

std::vector<std::string> Components(const std::string& path) {
  std::vector<std::string> out;
  std::string part;
  for (const char c : path + "/") {
    if (c == '/' || c == '\\') {
      if (!part.empty() && part != ".") out.push_back(part);
      part.clear();
    } else {
      part += c;
    }
  }
  return out;
}

std::string BootRecord(std::size_t size, bool signature = true) {
  std::string b(size, '\0');
  b[0] = '\xEB';
  b[1] = '\x3C';
  b[2] = '\x90';
  if (signature) {
    b[510] = '\x55';
    b[511] = '\xAA';
  }
  return b;
}

// A master boot record: no jump and no BPB, so it cannot pass for a boot sector.
std::string MasterBootRecord(std::size_t size) {
  std::string b(size, '\0');
  b[0] = '\xFA';
  b[510] = '\x55';
  b[511] = '\xAA';
  return b;
}

std::string Bytes(std::size_t size, unsigned seed) {
  std::string b(size, '\0');
  std::uint32_t x = seed * 2654435761u + 1;
  for (char& c : b) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    c = static_cast<char>(x);
  }
  return b;
}

class MemoryFile final : public imagebuilder::HostFile {
 public:
  explicit MemoryFile(const std::string& data) : data_(data) {}
  bool Length(std::uint64_t& length) override {
    length = data_.size();
    return true;
  }
  bool Read(std::uint8_t* buffer, std::size_t size, std::size_t& got) override {
    got = std::min(size, data_.size() - at_);
    std::memcpy(buffer, data_.data() + at_, got);
    at_ += got;
    return true;
  }
  bool Close() override { return true; }

 private:
  const std::string& data_;
  std::size_t at_ = 0;
};

}  // namespace

MemoryTree::MemoryTree(std::string config) {
  items_.push_back(Item{"", true});
  Add("dd.cfg", false, std::move(config));
  Add("BOOT.BIN", false, BootRecord(512));
  Add("BOOT1K.BIN", false, BootRecord(1024));
  Add("BOOT2K.BIN", false, BootRecord(2048));
  Add("BOOT4K.BIN", false, BootRecord(4096));
  Add("NOSIG.BIN", false, BootRecord(512, false));
  Add("MBR.BIN", false, MasterBootRecord(512));
  Add("MBR4K.BIN", false, MasterBootRecord(4096));
  Add("GRUB.BIN", false, Bytes(1500, 1));
  Add("README.TXT", false, Bytes(3000, 2));
  Add("PKG", true);
  Add("PKG/ORVOBOOT.SYS", false, Bytes(1500, 3));
  Add("PKG/IO.SYS", false, Bytes(40000, 4));
  Add("PKG/readme.txt", false, "read me\r\n");
  Add("PKG/A Long File Name.txt", false, Bytes(70000, 5));
  Add("PKG/EMPTY.DAT", false);
  Add("PKG/Same.txt", false, "lower");
  Add("PKG/SAME.TXT", false, "upper");
  Add("PKG/.hidden", false, "dot");
  Add("PKG/DIAGS", true);
  Add("PKG/DIAGS/TEST.EXE", false, Bytes(5000, 6));
  Add("PKG/DIAGS/x.tmp", false, "tmp");
  Add("PKG/DIAGS/Video Test Suite", true);
  Add("PKG/DIAGS/Video Test Suite/VIDTEST.EXE", false, Bytes(20000, 7));
  Add("PKG/DIAGS/Empty Dir", true);
  std::string deep = "PKG/DEEP";
  for (char c = 'A'; c <= 'H'; ++c) {
    Add(deep, true);
    deep += std::string("/") + c;
  }
  Add(deep, true);
  Add(deep + "/LEAF.TXT", false, "leaf");
  // A file whose time no DOS date holds.
  Add("OLD", true);
  items_[Add("OLD/1970.TXT", false, "old")].time = 0;
  // A directory that links to itself.
  Add("LOOP", true);
  Add("LOOP/A.TXT", false, "a");
  Add("LOOP/SELF", true, {}, "LOOP");
  // Each level links three times to the next: 3^5 ways to the last one.
  for (int level = 0; level < 6; ++level) {
    const std::string dir = "GRAPH" + std::to_string(level);
    Add(dir, true);
    Add(dir + "/DATA.BIN", false, Bytes(700, 10 + static_cast<unsigned>(level)));
    if (level == 5) break;
    for (int k = 0; k < 3; ++k) {
      Add(dir + "/TO" + std::to_string(k), true, {}, "GRAPH" + std::to_string(level + 1));
    }
  }
  Add("DANGLING", true, {}, "NOWHERE");
}

std::size_t MemoryTree::Add(const std::string& path, bool directory, std::string data,
                            std::string link) {
  const std::size_t slash = path.rfind('/');
  const std::size_t parent = slash == std::string::npos ? 0 : *Find(path.substr(0, slash));
  Item item;
  item.name = slash == std::string::npos ? path : path.substr(slash + 1);
  item.directory = directory;
  item.data = std::move(data);
  item.link = std::move(link);
  items_.push_back(std::move(item));
  items_[parent].children.push_back(items_.size() - 1);
  return items_.size() - 1;
}

std::optional<std::size_t> MemoryTree::Find(const std::string& path, int depth) const {
  if (depth > 8) return std::nullopt;  // links that lead to links without end
  std::size_t at = 0;
  for (const std::string& part : Components(path)) {
    if (!items_[at].directory) return std::nullopt;
    std::optional<std::size_t> next;
    for (const std::size_t child : items_[at].children) {
      if (common::EqualsIgnoreCase(items_[child].name, part)) next = child;
    }
    if (!next) return std::nullopt;
    at = *next;
    if (!items_[at].link.empty()) {
      const std::optional<std::size_t> target = Find(items_[at].link, depth + 1);
      if (!target) return std::nullopt;
      at = *target;
    }
  }
  return at;
}

imagebuilder::ListResult MemoryTree::List(const std::string& directory,
                                          std::vector<imagebuilder::HostEntry>& entries) {
  const std::optional<std::size_t> dir = Find(directory);
  if (!dir || !items_[*dir].directory) return imagebuilder::ListResult::kCannotStart;
  for (const std::size_t child : items_[*dir].children) {
    std::size_t target = child;
    if (!items_[child].link.empty()) {
      const std::optional<std::size_t> resolved = Find(items_[child].link);
      if (!resolved) continue;  // a dangling link is no part of the tree
      target = *resolved;
    }
    imagebuilder::HostEntry e;
    e.name = items_[child].name;
    e.isDirectory = items_[target].directory;
    e.size = e.isDirectory ? 0 : items_[target].data.size();
    e.lastWriteUtc = items_[target].time;
    e.attributes = e.isDirectory ? common::ATTR_DIRECTORY : common::ATTR_ARCHIVE;
    entries.push_back(std::move(e));
  }
  return imagebuilder::ListResult::kOk;
}

std::unique_ptr<imagebuilder::HostFile> MemoryTree::OpenRead(const std::string& path) {
  const std::optional<std::size_t> item = Find(path);
  if (!item || items_[*item].directory) return nullptr;
  return std::make_unique<MemoryFile>(items_[*item].data);
}

bool MemoryTree::Status(const std::string& path, imagebuilder::HostFileStatus& status) {
  const std::optional<std::size_t> item = Find(path);
  if (!item) return false;
  status.isDirectory = items_[*item].directory;
  status.size = items_[*item].data.size();
  status.lastWriteUtc = items_[*item].time;
  return true;
}

bool MemoryTree::Identify(const std::string& directory, imagebuilder::DirectoryId& id) {
  const std::optional<std::size_t> item = Find(directory);
  if (!item || !items_[*item].directory) return false;
  id.volume = 1;
  id.node = *item;
  return true;
}

bool MemoryImage::Create(const std::string& path) {
  if (path.empty() || open_) return false;
  pages_.clear();
  exists_ = open_ = true;
  size_ = at_ = 0;
  return true;
}

bool MemoryImage::SetSize(std::uint64_t size) {
  if (!open_) return false;
  size_ = size;
  // Pages past the end are gone; a page cut in two keeps zeros after the end.
  pages_.erase(pages_.lower_bound((size + kPage - 1) / kPage), pages_.end());
  if (size % kPage != 0) {
    auto it = pages_.find(size / kPage);
    if (it != pages_.end()) std::memset(it->second.data() + size % kPage, 0, kPage - size % kPage);
  }
  return true;
}

bool MemoryImage::Size(std::uint64_t& size) {
  size = size_;
  return open_;
}

bool MemoryImage::Seek(std::uint64_t offset) {
  at_ = offset;
  return open_;
}

bool MemoryImage::Read(std::uint8_t* buffer, std::size_t size) {
  if (!open_ || at_ + size > size_) return false;
  const std::vector<std::uint8_t> b = Bytes(at_, size);
  std::memcpy(buffer, b.data(), size);
  at_ += size;
  return true;
}

bool MemoryImage::Write(const std::uint8_t* buffer, std::size_t size) {
  if (!open_) return false;
  for (std::size_t done = 0; done < size;) {
    const std::uint64_t page = (at_ + done) / kPage;
    const std::size_t in = static_cast<std::size_t>((at_ + done) % kPage);
    const std::size_t n = std::min(size - done, kPage - in);
    auto it = pages_.find(page);
    if (it == pages_.end()) {
      const bool zeros = std::all_of(buffer + done, buffer + done + n, [](std::uint8_t b) { return b == 0; });
      if (!zeros) {
        if (pages_.size() >= kMaxPages) return false;
        it = pages_.emplace(page, std::array<std::uint8_t, kPage>{}).first;
      }
    }
    if (it != pages_.end()) std::memcpy(it->second.data() + in, buffer + done, n);
    done += n;
  }
  at_ += size;
  size_ = std::max(size_, at_);
  return true;
}

bool MemoryImage::Close() {
  const bool was = open_;
  open_ = false;
  return was;
}

void MemoryImage::Discard() {
  open_ = exists_ = false;
  pages_.clear();
  size_ = 0;
}

std::vector<std::uint8_t> MemoryImage::Bytes(std::uint64_t offset, std::size_t count) const {
  std::vector<std::uint8_t> out(count, 0);
  for (std::size_t done = 0; done < count;) {
    const std::uint64_t page = (offset + done) / kPage;
    const std::size_t in = static_cast<std::size_t>((offset + done) % kPage);
    const std::size_t n = std::min(count - done, kPage - in);
    const auto it = pages_.find(page);
    if (it != pages_.end()) std::memcpy(out.data() + done, it->second.data() + in, n);
    done += n;
  }
  return out;
}

bool FixedClock::ToLocal(std::int64_t utc, imagebuilder::CalendarTime& local) {
  if (utc < 0) return false;
  local = imagebuilder::UtcCalendar(utc);
  return true;
}

std::optional<std::string> FixedClock::Environment(const char* name) {
  if (std::strcmp(name, "BUILDSETTIME") == 0) return buildTime;
  return std::nullopt;
}

}  // namespace vfuzz
