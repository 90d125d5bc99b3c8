// Entries with long names, as mtools writes them: the slots go with their entry
// when it is deleted, renamed or removed, and no command treats a slot as a file.
// Checked with mtools and fsck.fat.
#include <map>
#include <set>
#include <sstream>

#include "commands_fixture.h"
#include "partshell/error_codes.h"

namespace partshell::testing {
namespace {

// mdir's lines: the short name and extension, then the long name after the date and time.
std::map<std::string, std::string> ShortToLong(const std::string& listing) {
  std::map<std::string, std::string> names;
  std::istringstream lines(listing);
  for (std::string line; std::getline(lines, line);) {
    if (line.size() < 40 || line[0] == ' ' || line[0] == '.') continue;
    std::string name = line.substr(0, 8), ext = line.substr(9, 3);
    name.erase(name.find_last_not_of(' ') + 1);
    ext.erase(ext.find_last_not_of(' ') + 1);
    names[ext.empty() ? name : name + "." + ext] = line.size() > 42 ? line.substr(42) : "";
  }
  return names;
}

TEST_F(Commands, DeleteRenameAndRemoveTakeTheLongNameAlong) {
  Prepare(1, 8000);
  ASSERT_EQ(Mtools(image_, 63, "mmd ::D"), 0);
  // After "." and "..", names of one to four slots each: their runs of slots cross
  // the boundaries of the one-sector clusters at every offset.
  std::vector<std::string> long_names;
  for (int i = 0; i < 24; ++i) {
    long_names.push_back("File " + std::to_string(i) + std::string(static_cast<std::size_t>(i % 4) * 13, 'q') + ".txt");
    PutSys(std::to_string(i), "D/" + long_names.back());
  }
  ASSERT_EQ(Mtools(image_, 63, "mmd '::D/Long Directory One' '::D/Long Directory Two'"), 0);
  PutSys("root", "A Long Name In The Root.txt");
  std::string listing;
  ASSERT_EQ(Mtools(image_, 63, "mdir ::D", &listing), 0);
  std::map<std::string, std::string> short_names;  // long -> short
  for (const auto& [short_name, long_name] : ShortToLong(listing)) short_names[long_name] = short_name;
  ASSERT_EQ(short_names.size(), 26u) << listing;

  Mount();
  // Slots are no files: DIR counts the entries only, and TOUCH and ATTRIB leave them be.
  std::string out = Run("DIR \\D");
  EXPECT_NE(out.find(" 24 File(s)"), std::string::npos) << out;
  EXPECT_NE(out.find(" 4 Dir(s) "), std::string::npos) << "with . and .." << out;
  EXPECT_EQ((Run("TOUCH \\D\\*.*"), Level()), 0) << console_.output;
  EXPECT_EQ((Run("ATTRIB \\D\\*.* +a"), Level()), 0) << console_.output;
  out = Run("DIR");
  EXPECT_NE(out.find(" 2 File(s)"), std::string::npos) << "the volume label and the one file\n" << out;

  std::map<std::string, std::string> expected;  // what mdir must show: short -> long ("" for none)
  for (int i = 0; i < 24; ++i) {
    const std::string& short_name = short_names.at(long_names[static_cast<std::size_t>(i)]);
    if (i % 3 == 0) {
      EXPECT_EQ((Run("DEL \\D\\" + short_name), Level()), 0) << console_.output;
    } else if (i % 3 == 1) {
      const std::string renamed = "NEW" + std::to_string(i) + ".TXT";
      EXPECT_EQ((Run("REN \\D\\" + short_name + " " + renamed), Level()), 0) << console_.output;
      expected[renamed] = "";
    } else {
      expected[short_name] = long_names[static_cast<std::size_t>(i)];
    }
  }
  EXPECT_EQ((Run("RD \\D\\" + short_names.at("Long Directory One")), Level()), 0) << console_.output;
  expected[short_names.at("Long Directory Two")] = "Long Directory Two";
  ExpectClean();

  ASSERT_EQ(Mtools(image_, 63, "mdir ::D", &listing), 0);
  EXPECT_EQ(ShortToLong(listing), expected) << listing;
  out = Run("DIR \\D");
  EXPECT_NE(out.find(" 16 File(s)"), std::string::npos) << out;
  EXPECT_NE(out.find(" 3 Dir(s) "), std::string::npos) << out;
}

}  // namespace
}  // namespace partshell::testing
