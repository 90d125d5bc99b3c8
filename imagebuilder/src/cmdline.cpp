#include "imagebuilder/cmdline.h"

#include <cstring>
#include <limits>

#include "common/text.h"

namespace cmdline {
namespace {

// Leading unsigned decimal number; text after it is not looked at. Text
// without digits reads as 0. False for a negative number and for one that
// does not fit 32 bits.
bool LeadingNumber(const char* text, std::uint64_t& value) {
  value = 0;
  const char* p = text;
  while (*p == ' ' || *p == '\t') ++p;
  if (*p == '-') return false;
  if (*p == '+') ++p;
  while (*p >= '0' && *p <= '9') {
    value = value * 10 + static_cast<unsigned>(*p - '0');
    if (value > std::numeric_limits<std::uint32_t>::max()) return false;
    ++p;
  }
  return true;
}

std::string TrimBlanks(const std::string& s) {
  std::size_t b = 0;
  std::size_t e = s.size();
  while (b < e && (s[b] == ' ' || s[b] == '\t')) ++b;
  while (e > b && (s[e - 1] == ' ' || s[e - 1] == '\t')) --e;
  return s.substr(b, e - b);
}

}  // namespace

// ---- Parameter ----

Parameter::Parameter(const char* name, char letter, std::uint32_t flags)
    : name_(name), letter_(letter), flags_(flags | Initialized) {}

Parameter::~Parameter() {
  if (has(Initialized) && onDestroy) onDestroy(*this);
}

bool Parameter::apply(const char* text) {
  if (!setValue(text)) return false;
  if (validate && !validate(*this)) return false;
  flags_ |= Set;
  presetBy_ = nullptr;
  return true;
}

// ---- StringParam ----

StringParam::StringParam(const char* name, char letter, std::uint32_t flags,
                         std::size_t maxLength, std::string* bound, const char* defaultValue)
    : Parameter(name, letter, flags),
      maxLength_(maxLength),
      value_(defaultValue ? defaultValue : ""),
      present_(defaultValue != nullptr),
      bound_(bound),
      default_(defaultValue ? defaultValue : "") {
  if (bound_) *bound_ = value_;
}

bool StringParam::setValue(const char* text) {
  if (text == nullptr) {
    value_.clear();
    present_ = false;
  } else {
    const std::size_t len = std::strlen(text);
    if (maxLength_ != 0 && len >= maxLength_) return false;
    value_.assign(text, len);
    present_ = true;
  }
  if (bound_) *bound_ = value_;
  return true;
}

std::string StringParam::defaultText() const {
  if (!present_ && default_.empty()) return "none";
  return "\"" + default_ + "\"";
}

// ---- BoolParam ----

BoolParam::BoolParam(const char* name, char letter, std::uint32_t flags, bool* bound)
    : Parameter(name, letter, flags), bound_(bound) {
  if (bound_) *bound_ = false;
}

bool BoolParam::setValue(const char* text) {
  if (text == nullptr) {
    value_ = 1;
  } else {
    const char* p = text;
    while (*p == ' ' || *p == '\t') ++p;
    if (*p == '-' || *p == '+') ++p;
    bool nonZero = false;
    while (*p >= '0' && *p <= '9') {
      if (*p != '0') nonZero = true;
      ++p;
    }
    value_ = nonZero ? 1 : 0;
  }
  if (bound_) *bound_ = value_ != 0;
  return true;
}

// ---- unsigned numbers ----

template <typename T>
UnsignedParam<T>::UnsignedParam(const char* name, char letter, std::uint32_t flags, T minimum,
                                T maximum, T* bound)
    : Parameter(name, letter, flags),
      minimum_(minimum),
      maximum_(maximum),
      value_(bound ? *bound : 0),
      default_(value_),
      bound_(bound) {}

template <typename T>
bool UnsignedParam<T>::setValue(const char* text) {
  if (text == nullptr) return false;
  std::uint64_t v = 0;
  if (!LeadingNumber(text, v)) return false;
  if (v > std::numeric_limits<T>::max()) return false;
  if (v < minimum_ || v > maximum_) return false;
  value_ = static_cast<T>(v);
  if (bound_) *bound_ = value_;
  return true;
}

template <typename T>
std::string UnsignedParam<T>::defaultText() const {
  return std::to_string(static_cast<unsigned long>(default_));
}

template <typename T>
std::string UnsignedParam<T>::valueText() const {
  return std::to_string(static_cast<unsigned long>(value_));
}

template <typename T>
bool UnsignedParam<T>::assign(T v, const Parameter& by) {
  if (has(Set) && has(FromCommandLine)) return value_ == v;
  value_ = v;
  if (bound_) *bound_ = v;
  addFlags(Set);
  setPresetBy(&by);
  return true;
}

template class UnsignedParam<std::uint8_t>;
template class UnsignedParam<std::uint16_t>;
template class UnsignedParam<std::uint32_t>;

// ---- ListParam ----

ListParam::ListParam(const char* name, char letter, std::uint32_t flags, const char* const* names,
                     std::uint16_t defaultIndex, int* bound)
    : UShortParam(name, letter, flags, 0, 0, nullptr), names_(names), boundIndex_(bound) {
  std::uint16_t count = 0;
  while (names_[count] != nullptr) ++count;
  maximum_ = count == 0 ? 0 : static_cast<std::uint16_t>(count - 1);
  value_ = defaultIndex;
  default_ = defaultIndex;
  if (boundIndex_) *boundIndex_ = defaultIndex;
}

bool ListParam::setValue(const char* text) {
  if (text == nullptr) return false;
  for (std::uint16_t i = 0; names_[i] != nullptr; ++i) {
    if (common::EqualsIgnoreCase(names_[i], text)) {
      value_ = i;
      if (boundIndex_) *boundIndex_ = i;
      return true;
    }
  }
  return false;
}

std::string ListParam::defaultText() const { return std::string("\"") + names_[default_] + "\""; }

// ---- ConfigFileParam ----

ConfigFileParam::ConfigFileParam(const char* name, std::string* bound)
    : Parameter(name, 1, Positional | HelpIfNoArguments), bound_(bound) {}

bool ConfigFileParam::setValue(const char* text) {
  refusal_.clear();
  if (text == nullptr) return false;
  std::string why;
  if (isFile && !isFile(text, why)) {
    refusal_ = std::string("the configuration file \"") + text + "\" " + why;
    return false;
  }
  file_ = text;
  if (bound_) *bound_ = file_;
  return true;
}

// ---- Parser ----

Parser::Parser(ConfigFileParam& root) : root_(root) { add(root); }

void Parser::add(Parameter& p) {
  if (p.has(NoAutoRegister) && &p != &root_) return;
  registry_.push_back(&p);
}

Parameter* Parser::byName(const std::string& name) const {
  for (Parameter* p : registry_) {
    if (!p->has(Initialized)) return nullptr;
    if (common::EqualsIgnoreCase(p->name(), name)) return p;
  }
  return nullptr;
}

Parameter* Parser::byLetter(char letter) const {
  for (Parameter* p : registry_) {
    if (!p->has(Initialized)) return nullptr;
    if (!p->has(Positional) && p->letter() == letter) return p;
  }
  return nullptr;
}

Parameter* Parser::byPosition(int position) const {
  for (Parameter* p : registry_) {
    if (!p->has(Initialized)) return nullptr;
    if (p->has(Positional) && p->letter() == position) return p;
  }
  return nullptr;
}

bool Parser::refuse(std::string why) {
  if (failure_.empty()) failure_ = std::move(why);
  return false;
}

std::string Parser::describe(const Parameter& p, const Source& source) const {
  if (source.fromFile) {
    std::string text = p.name() + "=" + source.text + " in \"" + root_.fileName() + "\"";
    if (!source.section.empty()) text += " [" + source.section + "]";
    return text;
  }
  std::string option = std::string("-") + p.letter();
  if (!p.isSwitch()) option += source.text;
  return option + " (" + p.name() + ")";
}

bool Parser::clash(const Parameter& preset, const Parameter& other,
                   const std::string& presetValue) {
  std::string given;
  if (other.presetBy() != nullptr) {
    const Parameter& by = *other.presetBy();
    given = describe(by, {false, by.valueText(), ""}) + " on the command line, which sets it to " +
            other.valueText();
  } else {
    given = describe(other, {false, other.valueText(), ""}) + " on the command line";
  }
  return refuse(describe(preset, source_) + " sets " + other.name() + " to " + presetValue +
                ", which clashes with " + given);
}

bool Parser::offer(Parameter& p, const char* value) {
  source_ = {false, value != nullptr ? value : "", ""};
  if (p.has(NotFromCommandLine)) return refuse(p.name() + " cannot be given on the command line");
  if (p.has(Set) && !p.has(Repeatable)) {
    const Parameter* by = p.presetBy();
    if (by == nullptr) return refuse(p.name() + " is given twice");
    const std::string preset = describe(*by, {false, by->valueText(), ""});
    return refuse(describe(p, source_) + " clashes with " + preset + ", which sets " + p.name() +
                  " to " + p.valueText());
  }
  std::vector<bool> wasSet;
  for (const Parameter* q : registry_) wasSet.push_back(q->has(Set));
  if (!p.apply(value)) {
    if (!p.refusal().empty()) return refuse(p.refusal());
    if (value == nullptr) return refuse(p.name() + " needs a value");
    return refuse(std::string("the value \"") + value + "\" of " + p.name() + " is not valid");
  }
  // The option and every key its preset set count as given on the command line.
  p.addFlags(FromCommandLine);
  for (std::size_t i = 0; i < registry_.size(); ++i) {
    if (!wasSet[i] && registry_[i]->has(Set)) registry_[i]->addFlags(FromCommandLine);
  }
  return true;
}

bool Parser::parse(int argc, const char* const* argv) {
  if (!parseCommandLine(argc, argv)) return false;
  if (root_.has(Set) && !parseConfigFile()) return false;
  return checkRegistry();
}

bool Parser::parseCommandLine(int argc, const char* const* argv) {
  if (argc <= 1 && root_.has(HelpIfNoArguments)) {
    help_ = true;
    return false;
  }
  positional_ = 0;
  for (int i = 0; i < argc; ++i) {
    const char* arg = argv[i];
    if (arg == nullptr) continue;
    if (arg[0] != '-') {
      if (positional_ == 0) {
        program_ = arg;
        positional_ = 1;
        continue;
      }
      Parameter* p = byPosition(positional_++);
      if (p == nullptr) continue;
      if (!offer(*p, arg)) return false;
      if (p->has(SelectsSection)) selected_ = arg;
      continue;
    }
    if (arg[1] == '-') {
      const std::string body(arg + 2);
      const std::size_t cut = body.find_first_of("=:");
      const std::string name = body.substr(0, cut);
      std::string value;
      const bool hasValue = cut != std::string::npos;
      if (hasValue) value = body.substr(cut + 1, body.find('\n', cut + 1) - (cut + 1));
      if (common::EqualsIgnoreCase(name, helpWord_)) {
        help_ = true;
        return false;
      }
      Parameter* p = byName(name);
      if (p == nullptr) continue;
      if (!offer(*p, hasValue ? value.c_str() : nullptr)) return false;
      continue;
    }
    for (const char* c = arg + 1; *c != '\0'; ++c) {
      if (helpLetters_.find(*c) != std::string::npos) {
        help_ = true;
        return false;
      }
      Parameter* p = byLetter(*c);
      if (p == nullptr) continue;
      if (p->isSwitch()) {
        if (!offer(*p, nullptr)) return false;
        continue;
      }
      const char* value = c + 1;
      if (*value == '\0') {
        if (i + 1 >= argc || argv[i + 1] == nullptr) {
          return refuse(std::string("-") + *c + " (" + p->name() + ") needs a value");
        }
        value = argv[++i];
      }
      if (!offer(*p, value)) return false;
      break;
    }
  }
  return true;
}

namespace {

// The section a header line starts: the text after '[' up to ']' or the end.
std::string HeaderName(const std::string& line) {
  const std::size_t end = line.find(']');
  return line.substr(1, end == std::string::npos ? std::string::npos : end - 1);
}

// The line without its line end and leading blanks.
std::string Stripped(std::string line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.pop_back();
  std::size_t b = 0;
  while (b < line.size() && (line[b] == ' ' || line[b] == '\t')) ++b;
  line.erase(0, b);
  return line;
}

}  // namespace

bool Parser::parseConfigFile() {
  const std::string& file = root_.fileName();
  std::vector<std::string> lines;
  if (!readLines || !readLines(file, lines)) {
    return refuse("cannot read the configuration file \"" + file + "\"");
  }
  for (std::string& line : lines) line = Stripped(std::move(line));
  // A section the file lacks is a mistyped name: nothing of the file is applied.
  if (!selected_.empty()) {
    bool found = false;
    for (const std::string& line : lines) {
      found = found || (!line.empty() && line[0] == '[' && common::EqualsIgnoreCase(HeaderName(line), selected_));
    }
    if (!found) return refuse("section [" + selected_ + "] is not in " + file);
  }
  std::string current;
  for (const std::string& line : lines) {
    if (line.empty() || line[0] == '#' || line[0] == ';') continue;
    if (line[0] == '[') {
      current = HeaderName(line);
      continue;
    }
    const std::size_t cut = line.find_first_of("=:");
    const std::string key = TrimBlanks(line.substr(0, cut));
    std::string value;
    bool hasValue = false;
    if (cut != std::string::npos) {
      const std::size_t end = line.find_first_of("#;", cut + 1);
      value = TrimBlanks(line.substr(cut + 1, end == std::string::npos ? end : end - cut - 1));
      hasValue = !value.empty();
    }
    if (!current.empty() && !common::EqualsIgnoreCase(current, selected_)) continue;
    Parameter* p = byName(key);
    if (p == nullptr) continue;
    if (p->has(Set) && !p->has(Repeatable)) continue;
    source_ = {true, value, current};
    if (p->has(NotFromFile)) {
      return refuse(p->name() + " cannot be set in \"" + file + "\" [" + current + "]");
    }
    if (!p->apply(hasValue ? value.c_str() : nullptr)) {
      return refuse("the value \"" + value + "\" of " + p->name() + " in \"" + file + "\" [" +
                    current + "] is not valid");
    }
  }
  return true;
}

bool Parser::checkRegistry() {
  for (std::size_t i = 0; i < registry_.size(); ++i) {
    const Parameter* p = registry_[i];
    if (p->has(Required) && !p->has(Set)) {
      if (selected_.empty()) return refuse(p->name() + " is not set and no section was named");
      return refuse(p->name() + " is not set: neither the command line nor section [" + selected_ +
                    "] of \"" + root_.fileName() + "\" gives it");
    }
    for (std::size_t j = i + 1; j < registry_.size(); ++j) {
      const Parameter* q = registry_[j];
      if (common::EqualsIgnoreCase(p->name(), q->name())) return false;
      if (p->has(Positional) == q->has(Positional) && p->letter() == q->letter()) return false;
    }
  }
  return true;
}

}  // namespace cmdline
