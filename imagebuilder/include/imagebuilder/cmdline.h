// Typed parameters: one object per key, filled from the command line and
// then from the configuration file. The parser (initParam) finds them by
// option letter, by position or by key name.
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

class parameter {
 public:
  using Validator = std::function<bool(parameter&)>;
  using Destroyer = std::function<void(parameter&)>;

  parameter(const char* name, char letter, std::uint32_t flags);
  virtual ~parameter();
  parameter(const parameter&) = delete;
  parameter& operator=(const parameter&) = delete;

  // Parses `text` (nullptr when no value was given) and stores it.
  virtual bool setValue(const char* text) = 0;
  virtual bool isSwitch() const { return false; }
  virtual const char* typeName() const = 0;
  // The default value as usage text shows it.
  virtual std::string defaultText() const = 0;

  // setValue, then the validate callback; marks the parameter Set on success.
  bool apply(const char* text);

  const std::string& name() const { return name_; }
  char letter() const { return letter_; }
  std::uint32_t flags() const { return flags_; }
  bool has(std::uint32_t flag) const { return (flags_ & flag) != 0; }
  void addFlags(std::uint32_t f) { flags_ |= f; }
  void clearFlags(std::uint32_t f) { flags_ &= ~f; }
  const std::string& section() const { return section_; }

  Validator validate;
  Destroyer onDestroy;

 private:
  std::string name_;
  char letter_;
  std::uint32_t flags_;
  std::string section_;
};

class stringParam : public parameter {
 public:
  // maxLength 0 = unlimited; otherwise values of maxLength or more are refused.
  stringParam(const char* name, char letter, std::uint32_t flags, std::size_t maxLength,
              std::string* bound, const char* defaultValue);
  bool setValue(const char* text) override;
  const char* typeName() const override { return "<string>"; }
  std::string defaultText() const override;
  const std::string& value() const { return value_; }
  bool hasValue() const { return present_; }

 private:
  std::size_t maxLength_;
  std::string value_;
  bool present_;
  std::string* bound_;
  std::string default_;
};

class boolParam : public parameter {
 public:
  boolParam(const char* name, char letter, std::uint32_t flags, bool* bound);
  bool setValue(const char* text) override;
  bool isSwitch() const override { return true; }
  const char* typeName() const override { return "[bool]"; }
  std::string defaultText() const override { return "0"; }
  bool value() const { return value_ != 0; }

 private:
  std::uint8_t value_ = 0;
  bool* bound_;
};

// Unsigned numbers with inclusive bounds, the width set by the type.
template <typename T>
class unsignedParam : public parameter {
 public:
  unsignedParam(const char* name, char letter, std::uint32_t flags, T minimum, T maximum,
                T* bound);
  bool setValue(const char* text) override;
  std::string defaultText() const override;
  T value() const { return value_; }
  // Stores a value chosen by a preset; it replaces a value from an earlier line
  // of the file. A value given on the command line is never replaced: when it
  // differs, the preset is refused (false).
  bool assign(T v);

 protected:
  T minimum_;
  T maximum_;
  T value_;
  T default_;
  T* bound_;
};

class ucharParam : public unsignedParam<std::uint8_t> {
 public:
  using unsignedParam::unsignedParam;
  const char* typeName() const override { return "<uchar>"; }
};

class ushortParam : public unsignedParam<std::uint16_t> {
 public:
  using unsignedParam::unsignedParam;
  const char* typeName() const override { return "<ushort>"; }
};

class ulongParam : public unsignedParam<std::uint32_t> {
 public:
  using unsignedParam::unsignedParam;
  const char* typeName() const override { return "<ulong>"; }
};

class listParam : public ushortParam {
 public:
  // `names` ends with nullptr; the value is the index of the matching name.
  listParam(const char* name, char letter, std::uint32_t flags, const char* const* names,
            std::uint16_t defaultIndex, int* bound);
  bool setValue(const char* text) override;
  const char* typeName() const override { return "<list>"; }
  std::string defaultText() const override;

 private:
  const char* const* names_;
  int* boundIndex_;
};

// The root parameter: the configuration file (position 1). It owns the
// parser state and the registry of every other parameter.
class initParam : public parameter {
 public:
  initParam(const char* name, std::string* bound);
  bool setValue(const char* text) override;
  const char* typeName() const override { return "<string>"; }
  std::string defaultText() const override { return "none"; }

  // Links a parameter into the registry (registration order = lookup order).
  void add(parameter& p);
  const std::vector<parameter*>& registry() const { return registry_; }

  // Command line, then configuration file, then the registry checks.
  bool parse(int argc, const char* const* argv);
  bool helpRequested() const { return help_; }
  const std::string& selectedSection() const { return selected_; }
  const std::string& fileName() const { return file_; }
  // Why parse failed, naming the option or key and its value.
  const std::string& failure() const { return failure_; }

  // Hooks supplied by the program.
  std::function<bool(const std::string&)> fileExists;
  std::function<bool(const std::string&, std::vector<std::string>&)> readLines;

 private:
  bool parseCommandLine(int argc, const char* const* argv);
  bool parseConfigFile();
  bool checkRegistry();
  bool offer(parameter& p, const char* value);
  bool Refuse(std::string why);
  parameter* byName(const std::string& name) const;
  parameter* byLetter(char letter) const;
  parameter* byPosition(int position) const;

  std::vector<parameter*> registry_;
  std::string helpLetters_ = "?h";
  std::string helpWord_ = "help";
  std::string file_;
  std::string selected_;
  std::string* bound_;
  bool help_ = false;
  int positional_ = 0;
  std::string program_;
  std::string failure_;
};

}  // namespace cmdline
