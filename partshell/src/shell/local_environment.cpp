#include "partshell/local_environment.h"

#include <cctype>
#include <cstdio>
#include <cstdlib>

#include "common/text.h"

namespace partshell {
namespace {

constexpr std::size_t kWorkBuffer = 1024;
constexpr std::size_t kNameLookupMax = 1023;

bool IsTrimmed(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

std::string Trim(const std::string& text) {
  std::size_t begin = 0;
  std::size_t end = text.size();
  while (begin < end && IsTrimmed(text[begin])) ++begin;
  while (end > begin && IsTrimmed(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

bool StartsWithAssignment(const std::string& entry, const std::string& name) {
  return entry.size() > name.size() && entry.compare(0, name.size(), name) == 0 &&
         entry[name.size()] == '=';
}

}  // namespace

int LocalEnvironment::Init(const std::vector<std::string>& assignments) {
  if (created_) return 0;
  created_ = true;
  entries_.clear();
  for (const std::string& assignment : assignments) {
    if (Put(assignment) != 0) return 738;
  }
  return 0;
}

void LocalEnvironment::Free() {
  entries_.clear();
  created_ = false;
}

std::size_t LocalEnvironment::BytesInUse() const {
  std::size_t used = 0;
  for (const std::string& e : entries_) used += e.size() + 1;
  return used;
}

int LocalEnvironment::Put(const std::string& assignment) {
  if (!created_) return -2;
  // Longer assignments are cut like the fixed work buffer cuts them.
  std::string work = assignment.substr(0, kWorkBuffer - 1);
  std::string name;
  std::string value;
  std::size_t eq = work.find('=');
  if (eq == std::string::npos) {
    name = work;
  } else {
    name = work.substr(0, eq);
    value = work.substr(eq + 1);
  }
  name = common::UpperAscii(Trim(name));
  value = Trim(value);
  std::erase_if(entries_, [&](const std::string& e) { return StartsWithAssignment(e, name); });
  if (value.empty()) return 0;
  // Room for "NAME=value", its NUL and the NUL that ends the list.
  if (kBlockBytes - BytesInUse() < name.size() + value.size() + 3) return -1;
  entries_.push_back(name + "=" + value);
  return 0;
}

std::optional<std::string> LocalEnvironment::Get(const std::string& name) const {
  if (!created_) return std::nullopt;
  std::string key = common::UpperAscii(name.substr(0, kNameLookupMax));
  for (const std::string& e : entries_) {
    if (StartsWithAssignment(e, key)) return e.substr(key.size() + 1);
  }
  return std::nullopt;
}

std::vector<std::string> LocalEnvironment::List() const { return entries_; }

LocalEnvironment& ShellEnvironment() {
  static LocalEnvironment environment;
  return environment;
}

int EnvPutValue(const std::string& assignment) {
  if (!ShellEnvironment().Exists()) {
    std::fputs("Must call EnvInitLocalEnvironment() before using EnvPutValue()", stderr);
    std::exit(1);
  }
  return ShellEnvironment().Put(assignment);
}

std::optional<std::string> EnvGetValue(const std::string& name) {
  if (!ShellEnvironment().Exists()) {
    std::fputs("Must call EnvInitLocalEnvironment() before using EnvGetValue()", stderr);
    std::exit(1);
  }
  return ShellEnvironment().Get(name);
}

}  // namespace partshell
