#include "partshell/command_parser.h"

#include <cctype>
#include <climits>

#include "common/text.h"

namespace partshell {
namespace {

constexpr std::size_t kWorkBuffer = 4096;
constexpr std::size_t kNameMax = 255;

bool IsSplitSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

}  // namespace

void ExpandVariables(std::string& line, std::size_t capacity, const LocalEnvironment& env) {
  // The work copy never grows past its fixed buffer, however long the
  // substituted values are.
  std::string work = line.substr(0, kWorkBuffer - 1);
  std::size_t pos = 0;
  while (pos < work.size()) {
    std::size_t first = work.find('%', pos);
    if (first == std::string::npos || first + 1 >= work.size()) break;
    std::size_t second = work.find('%', first + 1);
    if (second == std::string::npos) break;
    if (second == first + 1) {
      work.erase(first, 1);
      pos = first + 1;
      continue;
    }
    std::string name = work.substr(first + 1, second - first - 1);
    std::optional<std::string> value;
    if (name.size() <= kNameMax) value = env.Get(name);
    if (!value) {
      pos = second + 1;
      continue;
    }
    work.replace(first, second - first + 1, *value);
    pos = first + value->size();
    if (work.size() > kWorkBuffer - 1) {
      work.resize(kWorkBuffer - 1);
      break;
    }
  }
  if (capacity > 0 && work.size() > capacity - 1) work.resize(capacity - 1);
  line = work;
}

TokenList SplitTokens(const std::string& line) {
  TokenList tokens;
  std::size_t i = 0;
  while (i < line.size() && tokens.size() < kMaxTokens) {
    while (i < line.size() && IsSplitSpace(line[i])) ++i;
    if (i >= line.size()) break;
    std::size_t start = i;
    while (i < line.size() && !IsSplitSpace(line[i])) ++i;
    tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

bool IsCommentToken(const std::string& firstToken) {
  if (firstToken.empty()) return false;
  return firstToken[0] == ':' || firstToken[0] == ';' || common::EqualsIgnoreCase(firstToken, "REM");
}

std::string TrimWhite(const std::string& text) {
  auto trimmed = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  std::size_t b = 0;
  std::size_t e = text.size();
  while (b < e && trimmed(text[b])) ++b;
  while (e > b && trimmed(text[e - 1])) --e;
  return text.substr(b, e - b);
}

bool DecimalInRange(const std::string& text) {
  std::size_t i = text.find_first_not_of(" \t\r\n\v\f");
  if (i == std::string::npos) return true;
  const bool negative = text[i] == '-';
  if (text[i] == '+' || text[i] == '-') ++i;
  long long value = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) return false;
  }
  return negative || value <= INT_MAX;
}

int DecimalValue(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
    value = value * 10 + (text[i++] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

int Shell::ParseCommandLine(std::string& line, std::size_t capacity) {
  tokens_.clear();
  ExpandVariables(line, capacity, env());
  lastCommandLine_ = line.substr(0, kLastLineMax);
  TokenList tokens = SplitTokens(line);
  if (!tokens.empty() && IsCommentToken(tokens[0])) tokens.clear();
  tokens_ = std::move(tokens);
  return static_cast<int>(tokens_.size());
}

int Shell::ParseCommandWords(const std::vector<std::string>& words, std::size_t capacity) {
  tokens_.clear();
  std::string joined;
  TokenList tokens;
  for (const std::string& word : words) {
    std::string expanded = word;
    ExpandVariables(expanded, capacity, env());
    if (!joined.empty()) joined += ' ';
    joined += expanded;
    if (!expanded.empty() && tokens.size() < kMaxTokens) tokens.push_back(std::move(expanded));
  }
  lastCommandLine_ = joined.substr(0, kLastLineMax);
  if (!tokens.empty() && IsCommentToken(tokens[0])) tokens.clear();
  tokens_ = std::move(tokens);
  return static_cast<int>(tokens_.size());
}

}  // namespace partshell
