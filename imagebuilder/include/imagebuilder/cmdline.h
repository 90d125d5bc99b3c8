// Typed parameters: one object per key, filled from the command line and
// then from the configuration file. The root parameter (ConfigFileParam) is the
// configuration file itself; the Parser finds every parameter by option
// letter, by position or by key name and reads both sources into them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace cmdline {

enum Flag : std::uint32_t {
  Required = 0x0001,
  Repeatable = 0x0002,
  NotFromFile = 0x0004,
  NotFromCommandLine = 0x0008,
  Positional = 0x0010,
  HelpIfNoArguments = 0x0040,
  SelectsSection = 0x0080,
  FromCommandLine = 0x1000,  // the value stored was given on the command line
  NoAutoRegister = 0x2000,
  Initialized = 0x4000,
  Set = 0x8000,
};

class Parameter {
 public:
  using Validator = std::function<bool(Parameter&)>;
  using Destroyer = std::function<void(Parameter&)>;

  Parameter(const char* name, char letter, std::uint32_t flags);
  virtual ~Parameter();
  Parameter(const Parameter&) = delete;
  Parameter& operator=(const Parameter&) = delete;

  // Parses `text` (nullptr when no value was given) and stores it.
  virtual bool setValue(const char* text) = 0;
  virtual bool isSwitch() const { return false; }
  virtual const char* typeName() const = 0;
  // The default value as usage text shows it.
  virtual std::string defaultText() const = 0;
  // The value stored, as a message names it.
  virtual std::string valueText() const = 0;
  // Why the last setValue refused its text, when the parameter can say more
  // than "not valid"; empty otherwise.
  virtual std::string refusal() const { return {}; }

  // setValue, then the validate callback; marks the parameter Set on success.
  bool apply(const char* text);

  const std::string& name() const { return name_; }
  char letter() const { return letter_; }
  std::uint32_t flags() const { return flags_; }
  bool has(std::uint32_t flag) const { return (flags_ & flag) != 0; }
  void addFlags(std::uint32_t f) { flags_ |= f; }
  const std::string& section() const { return section_; }
  // A few words on what the key does, for the usage table.
  const std::string& description() const { return description_; }
  void describe(std::string text) { description_ = std::move(text); }
  // The preset that stored the current value; nullptr when the value was given.
  const Parameter* presetBy() const { return presetBy_; }

  Validator validate;
  Destroyer onDestroy;

 protected:
  void setPresetBy(const Parameter* p) { presetBy_ = p; }

 private:
  std::string name_;
  char letter_;
  std::uint32_t flags_;
  std::string section_;
  std::string description_;
  const Parameter* presetBy_ = nullptr;
};

class StringParam : public Parameter {
 public:
  // maxLength 0 = unlimited; otherwise values of maxLength or more are refused.
  StringParam(const char* name, char letter, std::uint32_t flags, std::size_t maxLength,
              std::string* bound, const char* defaultValue);
  bool setValue(const char* text) override;
  const char* typeName() const override { return "<string>"; }
  std::string defaultText() const override;
  std::string valueText() const override { return "\"" + value_ + "\""; }
  const std::string& value() const { return value_; }
  bool hasValue() const { return present_; }

 private:
  std::size_t maxLength_;
  std::string value_;
  bool present_;
  std::string* bound_;
  std::string default_;
};

class BoolParam : public Parameter {
 public:
  BoolParam(const char* name, char letter, std::uint32_t flags, bool* bound);
  bool setValue(const char* text) override;
  bool isSwitch() const override { return true; }
  const char* typeName() const override { return "[bool]"; }
  std::string defaultText() const override { return "0"; }
  std::string valueText() const override { return value_ != 0 ? "1" : "0"; }
  bool value() const { return value_ != 0; }

 private:
  std::uint8_t value_ = 0;
  bool* bound_;
};

// Unsigned numbers with inclusive bounds, the width set by the type. A value
// is an unsigned decimal number at the start of its text; a minus sign, a
// number beyond the bounds or beyond the width is refused where it is read.
template <typename T>
class UnsignedParam : public Parameter {
 public:
  UnsignedParam(const char* name, char letter, std::uint32_t flags, T minimum, T maximum,
                T* bound);
  bool setValue(const char* text) override;
  std::string defaultText() const override;
  std::string valueText() const override;
  T value() const { return value_; }
  // Stores a value chosen by the preset `by`; it replaces a value from an
  // earlier line of the file. A value given on the command line is never
  // replaced: when it differs, the preset is refused (false).
  bool assign(T v, const Parameter& by);

 protected:
  T minimum_;
  T maximum_;
  T value_;
  T default_;
  T* bound_;
};

class UCharParam : public UnsignedParam<std::uint8_t> {
 public:
  using UnsignedParam::UnsignedParam;
  const char* typeName() const override { return "<uchar>"; }
};

class UShortParam : public UnsignedParam<std::uint16_t> {
 public:
  using UnsignedParam::UnsignedParam;
  const char* typeName() const override { return "<ushort>"; }
};

class ULongParam : public UnsignedParam<std::uint32_t> {
 public:
  using UnsignedParam::UnsignedParam;
  const char* typeName() const override { return "<ulong>"; }
};

class ListParam : public UShortParam {
 public:
  // `names` ends with nullptr; the value is the index of the matching name.
  ListParam(const char* name, char letter, std::uint32_t flags, const char* const* names,
            std::uint16_t defaultIndex, int* bound);
  bool setValue(const char* text) override;
  const char* typeName() const override { return "<list>"; }
  std::string defaultText() const override;
  std::string valueText() const override { return std::string("\"") + names_[value_] + "\""; }

 private:
  const char* const* names_;
  int* boundIndex_;
};

// The root parameter: the configuration file (position 1).
class ConfigFileParam : public Parameter {
 public:
  ConfigFileParam(const char* name, std::string* bound);
  bool setValue(const char* text) override;
  const char* typeName() const override { return "<string>"; }
  std::string defaultText() const override { return "none"; }
  std::string valueText() const override { return "\"" + file_ + "\""; }
  std::string refusal() const override { return refusal_; }
  const std::string& fileName() const { return file_; }

  // Supplied by the program: true when `path` names a file that can be read
  // as the configuration; else false and the reason ("does not exist").
  std::function<bool(const std::string& path, std::string& why)> isFile;

 private:
  std::string file_;
  std::string* bound_;
  std::string refusal_;
};

// Reads the command line, then the configuration file, into the registered
// parameters, and checks the registry.
class Parser {
 public:
  explicit Parser(ConfigFileParam& root);

  // Links a parameter into the registry (registration order = lookup order).
  void add(Parameter& p);
  const std::vector<Parameter*>& registry() const { return registry_; }

  bool parse(int argc, const char* const* argv);
  bool helpRequested() const { return help_; }
  // Why parse failed, naming the option or key and its value.
  const std::string& failure() const { return failure_; }

  // Called by a preset that cannot store its value in `other`, which the
  // command line set to another value: records a failure naming both. False.
  bool clash(const Parameter& preset, const Parameter& other, const std::string& presetValue);

  // Supplied by the program: the lines of the configuration file.
  std::function<bool(const std::string&, std::vector<std::string>&)> readLines;

 private:
  // Where the value being stored comes from, for the messages.
  struct Source {
    bool fromFile = false;
    std::string text;     // the value as given
    std::string section;  // the file's current section
  };

  bool parseCommandLine(int argc, const char* const* argv);
  bool parseConfigFile();
  bool checkRegistry();
  bool offer(Parameter& p, const char* value);
  bool refuse(std::string why);
  // "-H4 (Heads)" or "Heads=4 in "dd.cfg" [FD]".
  std::string describe(const Parameter& p, const Source& source) const;
  Parameter* byName(const std::string& name) const;
  Parameter* byLetter(char letter) const;
  Parameter* byPosition(int position) const;

  ConfigFileParam& root_;
  std::vector<Parameter*> registry_;
  std::string helpLetters_ = "?h";
  std::string helpWord_ = "help";
  std::string selected_;
  bool help_ = false;
  int positional_ = 0;
  std::string program_;
  std::string failure_;
  Source source_;
};

}  // namespace cmdline
