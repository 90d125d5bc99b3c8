// The file, directory and display commands run through the shell on a disk
// image, each change cross-checked with mtools and fsck.fat.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <functional>

#include "disk_test_support.h"
#include "emulated_local_files.h"
#include "partshell/command_parser.h"
#include "partshell/error_codes.h"
#include "partshell/command_support.h"
#include "partshell/local_environment.h"
#include "partshell/session_log.h"
#include "partshell/shell_output.h"
#include "partshell/volume_partition.h"
#include "commands_fixture.h"

namespace partshell::testing {
namespace {

TEST_F(Commands, CopyHd2SysWildcardsWithAndWithoutTargetDirectory) {
  Prepare();
  Mount();
  std::filesystem::create_directory(Local("src"));
  WriteFile(Local("src/a.txt"), "alpha");
  WriteFile(Local("src/b.txt"), Pattern(5000));
  WriteFile(Local("src/c.bin"), "gamma");
  std::filesystem::create_directory(Local("src/sub.txt"));  // a directory that matches is skipped
  std::string out = Run("COPYHD2SYS src\\*.txt");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_NE(out.find("a.txt\n"), std::string::npos) << out;
  EXPECT_NE(out.find("[COPYHD2SYS]   2 File(s) Copied (5,005).\n"), std::string::npos) << out;
  EXPECT_EQ(Sys("A.TXT"), "alpha");
  EXPECT_TRUE(Sys("B.TXT") == Pattern(5000));
  EXPECT_EQ(Sys("C.BIN"), "<missing>");

  Run("MD TOOLS");
  out = Run("COPYHD2SYS src/*.* \\TOOLS");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_NE(out.find("\\TOOLS\\c.bin\n"), std::string::npos) << out;
  EXPECT_EQ(Sys("TOOLS/C.BIN"), "gamma");
  // Several matches onto a target that is not a directory: refused before anything
  // is copied, since only the last would survive.
  out = Run("COPYHD2SYS src\\?.txt \\ONE.TXT");
  EXPECT_EQ(Level(), INVALID_FILENAME_PARAMETER);
  EXPECT_NE(out.find("[COPYHD2SYS] More Than One File Would Be Copied To: \\ONE.TXT\n"), std::string::npos) << out;
  EXPECT_EQ(Sys("ONE.TXT"), "<missing>");
  out = Run("COPYHD2SYS src\\a.txt \\ONE.TXT");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(Sys("ONE.TXT"), "alpha") << "one match onto a file name is a plain copy";
  // Local long names land under their aliases, each its own, into a directory too.
  std::filesystem::create_directory(Local("cut"));
  WriteFile(Local("cut/longname1.txt"), "1");
  WriteFile(Local("cut/longname2.txt"), "2");
  for (const char* command : {"COPYHD2SYS cut\\*.txt", "COPYHD2SYS cut\\*.txt \\TOOLS"}) {
    out = Run(command);
    EXPECT_EQ(Level(), 0) << command << "\n" << out;
  }
  EXPECT_EQ(Sys("LONGNA~1.TXT"), "1");
  EXPECT_EQ(Sys("TOOLS/LONGNA~2.TXT"), "2");
  // Into the root, named as "SYS:\".
  Run("CD TOOLS");
  out = Run("COPYHD2SYS src\\a.txt SYS:\\");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(Sys("A.TXT"), "alpha");

  out = Run("COPYHD2SYS src\\*.none");
  EXPECT_EQ(Level(), FILE_NOT_FOUND);
  EXPECT_NE(out.find("No Files Found."), std::string::npos);
  ExpectClean();
}

TEST_F(Commands, CopySys2HdWildcardsAndTargets) {
  Prepare();
  PutSys("one", "ONE.TXT");
  PutSys(Pattern(7000, 2), "TWO.TXT");
  PutSys("three", "THREE.DAT");
  ASSERT_EQ(Mtools(image_, 63, "mmd ::D"), 0);
  PutSys("inner", "D/IN.TXT");
  Mount();
  std::filesystem::create_directory(Local("out"));
  std::string out = Run("COPYSYS2HD *.TXT out");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_NE(out.find("[COPYSYS2HD]   2 File(s) Copied (7,003k).\n"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(Local("out/ONE.TXT")), "one");
  EXPECT_EQ(ReadFile(Local("out/TWO.TXT")), Pattern(7000, 2));
  out = Run("COPYSYS2HD SYS:\\D\\IN.TXT");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(ReadFile(Local("IN.TXT")), "inner");
  out = Run("COPYSYS2HD three.dat copy.dat");
  EXPECT_EQ(ReadFile(Local("copy.dat")), "three");
  // The volume label matches *.* but is no file.
  out = Run("COPYSYS2HD *.* out");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_NE(out.find("3 File(s) Copied"), std::string::npos) << out;
  // A directory as FROMFILE stands for the files in it.
  out = Run("COPYSYS2HD \\D one.out");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(ReadFile(Local("one.out")), "inner");
  out = Run("COPYSYS2HD D out");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(ReadFile(Local("out/IN.TXT")), "inner");
  // Several files onto one local name: refused, and no file of that name appears.
  out = Run("COPYSYS2HD *.TXT all.txt");
  EXPECT_EQ(Level(), INVALID_FILENAME_PARAMETER) << out;
  EXPECT_FALSE(std::filesystem::exists(Local("all.txt")));
}

TEST_F(Commands, CopyThatDoesNotFitKeepsTheOldTarget) {
  Prepare(1, 8000);
  PutSys("old contents", "T.BIN");
  Mount();
  WriteFile(Local("big.bin"), Pattern(static_cast<std::size_t>(disk_->engine.FreeSpace()) + 1));
  const std::string out = Run("COPYHD2SYS big.bin T.BIN");
  EXPECT_EQ(Level(), DISK_ERROR_DISK_FULL);
  EXPECT_NE(out.find("Not Enough Disk Space To Write Target File: T.BIN"), std::string::npos) << out;
  EXPECT_EQ(Sys("T.BIN"), "old contents");
  ExpectClean();
}

TEST_F(Commands, CopySys2SysOntoItselfAndHd2Hd) {
  Prepare();
  PutSys(Pattern(9000, 4), "SELF.BIN");
  Mount();
  std::string out = Run("COPYSYS2SYS SELF.BIN SELF.BIN");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(Sys("SELF.BIN"), Pattern(9000, 4));
  ExpectClean();
  WriteFile(Local("h.txt"), "hd to hd");
  out = Run("COPYHD2HD h.txt h2.txt");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_NE(out.find("1 File(s) Copied (8k)"), std::string::npos) << out;
  EXPECT_EQ(ReadFile(Local("h2.txt")), "hd to hd");
  EXPECT_FALSE(std::filesystem::exists(Local("torbel.000")));
  out = Run("COPY a b");
  EXPECT_EQ(Level(), INVALID_USER_COMMAND);
}

TEST_F(Commands, AppendFileAndLogLineEnds) {
  Prepare();
  Mount();
  WriteFile(Local("lines.txt"), "one\ntwo\n");
  Run("APPENDFILE NEW.TXT lines.txt");
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(Sys("NEW.TXT"), "one\r\ntwo\r\n");
  Run("APPENDFILE NEW.TXT lines.txt");
  EXPECT_EQ(Sys("NEW.TXT"), "one\r\ntwo\r\n\r\none\r\ntwo\r\n");
  Run("LOG RUN.LOG \"first  entry\"");
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(Sys("RUN.LOG"), "first  entry\r\n");
  Run("LOG RUN.LOG second");
  EXPECT_EQ(Sys("RUN.LOG"), "first  entry\r\n\r\nsecond\r\n");
  EXPECT_FALSE(std::filesystem::exists(Local("APPEND1.TMP")));
  EXPECT_FALSE(std::filesystem::exists(Local("APPEND2.TMP")));
  Run("APPENDFILE NEW.TXT missing.txt");
  EXPECT_EQ(Level(), UNABLE_TO_LOCATE_LOCAL_FILE);
  Run("APPENDFILE *.TXT lines.txt");
  EXPECT_EQ(Level(), INVALID_FILENAME_PARAMETER);
  Run("APPENDFILE NODIR\\X.TXT lines.txt");
  EXPECT_EQ(Level(), DIR_PATH_NOT_FOUND);
  ExpectClean();
}

// A local file that fails, in each place the commands touch one: the command's code
// and message, SYS: as it was (fsck.fat clean), and no local leftovers.
TEST_F(Commands, LocalFailuresGetTheirCodesAndLeaveSysAsItWas) {
  struct Row {
    const char* command;
    LocalCall call;
    const char* path;  // where the call fails, in the emulated current directory
    std::uint32_t error;
    int level;
    const char* message;
    const char* sys_path;  // as mtools reads it where the image changed
    const char* sys_content;
    std::vector<std::string> local_files;
    unsigned skip = 0;  // matching calls that pass before the one that fails
  };
  const std::vector<std::string> only_data = {"/work/data.txt"};
  const Row rows[] = {
      {"COPYHD2SYS data.txt", LocalCall::read, "/work/data.txt", EIO, DISK_ERROR_READING_FILE,
       "[COPYHD2SYS] Error Reading Source File\n", "DATA.TXT", "<missing>", only_data},
      {"COPYHD2SYS data.txt ONE.TXT", LocalCall::open, "/work/data.txt", EACCES, DISK_ERROR_OPENING_FILE,
       "[COPYHD2SYS] Unable To Open Source File: data.txt\n", "ONE.TXT", "one", only_data},
      {"COPYHD2SYS *.txt", LocalCall::read_directory, "/work", EIO, FILE_NOT_FOUND, "No Files Found.", "DATA.TXT",
       "<missing>", only_data},
      {"COPYSYS2HD ONE.TXT out.txt", LocalCall::write, "/work/out.txt", ENOSPC, DISK_ERROR_WRITING_FILE,
       "[COPYSYS2HD] [_CopyFileFromFAT16ToLocalHD,2]File Write Error (errno=28): out.txt\n", "ONE.TXT", "one",
       {"/work/data.txt", "/work/out.txt"}},
      {"COPYSYS2HD ONE.TXT out.txt", LocalCall::close, "/work/out.txt", EIO, DISK_ERROR_WRITING_FILE,
       "File Write Error (errno=5): out.txt\n", "ONE.TXT", "one", {"/work/data.txt", "/work/out.txt"}},
      {"COPYSYS2HD ONE.TXT out.txt", LocalCall::open, "/work/out.txt", EROFS, DISK_ERROR_CREATING_FILE,
       "Unable To Create Local Target File: out.txt\n", "ONE.TXT", "one", only_data},
      {"COPYHD2HD data.txt copy.txt", LocalCall::close, "/work/torbel.000", EIO, DISK_ERROR_WRITING_FILE,
       "[CopyLocalHDFile] Local COPY Operation Failed. Error (errno=5): 711\n", "DATA.TXT", "<missing>", only_data},
      {"COPYSYS2SYS ONE.TXT TWO.TXT", LocalCall::write, "/work/torbel.000", ENOSPC, DISK_ERROR_WRITING_FILE,
       "File Write Error (errno=28): ./torbel.000\n", "TWO.TXT", "<missing>", only_data},
      {"APPENDFILE ONE.TXT data.txt", LocalCall::open, "/work/APPEND2.TMP", EACCES, DISK_ERROR_CREATING_FILE,
       "Unable To Create Local Target File: APPEND2.TMP\n", "ONE.TXT", "one", only_data},
      {"APPENDFILE ONE.TXT data.txt", LocalCall::close, "/work/APPEND2.TMP", EIO, DISK_ERROR_WRITING_FILE,
       "[_CopyFileFromFAT16ToLocalHD,2]File Write Error (errno=5): APPEND2.TMP\n", "ONE.TXT", "one",
       {"/work/APPEND2.TMP", "/work/data.txt"}},
      {"APPENDFILE ONE.TXT data.txt", LocalCall::write, "/work/APPEND2.TMP", ENOSPC, ERROR_WRITING_LOCAL_FILE,
       "Write Error Appending File: data.txt, to Local Temp File: APPEND2.TMP\n", "ONE.TXT", "one",
       {"/work/APPEND2.TMP", "/work/data.txt"}, 1},
      {"LOG ONE.TXT a line", LocalCall::write, "/work/APPEND1.TMP", ENOSPC, UNABLE_TO_CREATE_LOCAL_TEMP_FILE,
       "Unable To Open/Create Locate Local Temp File: APPEND1.TMP\n", "ONE.TXT", "one",
       {"/work/APPEND1.TMP", "/work/data.txt"}},
      {"TOUCH NEW.TXT -C", LocalCall::open, "/work/TOUCH.TMP", EACCES, UNABLE_TO_CREATE_LOCAL_TEMP_FILE,
       "Unable To Create Local Temp File: TOUCH.TMP\n", "NEW.TXT", "<missing>", only_data},
      {"CALL BATCH", LocalCall::open, "/work/BATCH.F16", EACCES, 1, "[torbel] File Not Found: BATCH.F16\n",
       "ONE.TXT", "one", {"/work/BATCH.F16", "/work/data.txt"}},
  };
  Prepare(1, 8000);
  PutSys("one", "ONE.TXT");
  const std::string base = image_ + ".base";
  std::filesystem::copy_file(image_, base);
  for (const Row& row : rows) {
    std::filesystem::copy_file(base, image_, std::filesystem::copy_options::overwrite_existing);
    EmulatedLocalFiles local;
    local.PutFile("data.txt", "local data\n");
    if (std::string(row.command).rfind("CALL", 0) == 0) local.PutFile("BATCH.F16", "MD NEVER\n");
    unsigned passed = 0;
    local.fault = [&row, &passed](LocalCall call, const std::string& path) {
      return call == row.call && path == row.path && passed++ >= row.skip ? row.error : 0u;
    };
    files_ = &local;
    Mount();
    const std::string out = Run(row.command);
    EXPECT_EQ(Level(), row.level) << row.command << "\n" << out;
    EXPECT_NE(out.find(row.message), std::string::npos) << row.command << "\n" << out;
    EXPECT_EQ(local.FilePaths(), row.local_files) << row.command;
    // SYS: byte for byte as it was, or (where a copy had begun) clean, and without the file.
    if (ReadFile(image_) != ReadFile(base)) {
      EXPECT_EQ(Sys(row.sys_path), row.sys_content) << row.command;
      ExpectClean();
    }
    disk_.reset();
  }
}

TEST_F(Commands, TouchUpdatesCreatesAndEmpties) {
  Prepare();
  PutSys("data", "OLD.TXT");
  Mount();
  std::string out = Run("TOUCH MISSING.TXT");
  EXPECT_EQ(Level(), FILE_NOT_FOUND);
  EXPECT_NE(out.find("Unable To Locate File[Error: 751]: MISSING.TXT"), std::string::npos) << out;
  Run("TOUCH NEW.TXT -C");
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(Sys("NEW.TXT"), "");
  Run("TOUCH OLD.TXT");
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(Sys("OLD.TXT"), "data");
  const EntryLookup touched = disk_->engine.FindFile(kRootDirectory, "OLD.TXT");
  EXPECT_EQ(EntryTime(touched.entry.data()), 15 + 45 * 32 + 13 * 2048);
  Run("TOUCH OLD.TXT -c");
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(Sys("OLD.TXT"), "");
  Run("TOUCH *.TXT -C");
  EXPECT_EQ(Level(), INVALID_FILENAME_PARAMETER);
  ExpectClean();
}

TEST_F(Commands, DeleteAllAsksFirst) {
  Prepare();
  PutSys("a", "A.TXT");
  PutSys("b", "B.DAT");
  ASSERT_EQ(Mtools(image_, 63, "mmd ::KEEP"), 0);
  Mount();
  console_.Type("n");
  std::string out = Run("DEL *.*");
  EXPECT_EQ(Level(), USER_ABORT);
  EXPECT_NE(out.find("Delete *.*, Are You Sure [N/y]? N\n"), std::string::npos) << out;
  EXPECT_NE(out.find(" *User Abort*"), std::string::npos);
  EXPECT_EQ(Sys("A.TXT"), "a");
  out = Run("DEL *.* -y");
  EXPECT_EQ(Level(), 0) << out;
  EXPECT_EQ(Sys("A.TXT"), "<missing>");
  EXPECT_EQ(Sys("B.DAT"), "<missing>");
  std::string listing;
  Mtools(image_, 63, "mdir -b ::", &listing);
  EXPECT_NE(listing.find("KEEP"), std::string::npos);
  out = Run("DEL NOTHERE.TXT");
  EXPECT_EQ(Level(), FILE_NOT_FOUND);
  ExpectClean();
}

TEST_F(Commands, AttribLetterRules) {
  Prepare();
  PutSys("x", "FILE.TXT");
  ASSERT_EQ(Mtools(image_, 63, "mattrib +h +s ::FILE.TXT"), 0);
  Mount();
  std::string out = Run("ATTRIB FILE.TXT");
  EXPECT_NE(out.find("..hs.a  file.txt      \n"), std::string::npos) << "[" << out << "]";
  Run("ATTRIB FILE.TXT -HS+R");
  EXPECT_EQ(Level(), INVALID_PARAMETER);
  EXPECT_NE(console_.output.find("Illegal Attribute: +/-H"), std::string::npos) << console_.output;
  Run("ATTRIB FILE.TXT -hs+r");
  EXPECT_EQ(Level(), 0);
  std::string attrs;
  Mtools(image_, 63, "mattrib ::FILE.TXT", &attrs);
  const std::string flags = attrs.substr(0, attrs.find("::"));
  EXPECT_NE(flags.find('R'), std::string::npos) << attrs;
  EXPECT_EQ(flags.find('H'), std::string::npos) << attrs;
  EXPECT_EQ(flags.find('S'), std::string::npos) << attrs;
  Run("ATTRIB FILE.TXT hs");
  EXPECT_EQ(Level(), INVALID_PARAMETER);
  Run("ATTRIB NONE.TXT");
  EXPECT_EQ(Level(), FILE_NOT_FOUND);
  ExpectClean();
}

TEST_F(Commands, RenameCollisionsAndDirectories) {
  Prepare();
  PutSys("a", "A.TXT");
  PutSys("b", "B.TXT");
  ASSERT_EQ(Mtools(image_, 63, "mmd ::DIR"), 0);
  Mount();
  Run("REN A.TXT B.TXT");
  EXPECT_EQ(Level(), FILE_ALREADY_EXISTS);
  EXPECT_EQ(Sys("A.TXT"), "a");
  Run("REN A.TXT DIR");
  EXPECT_EQ(Level(), DIR_ALREADY_EXISTS);
  EXPECT_NE(console_.output.find("A Directory By That Name Already Exists: \\DIR"), std::string::npos)
      << console_.output;
  Run("REN A.TXT C.*");
  EXPECT_EQ(Level(), INVALID_FILENAME_PARAMETER);
  Run("REN A.TXT C.TXT");
  EXPECT_EQ(Level(), 0);
  EXPECT_EQ(Sys("C.TXT"), "a");
  Run("REN DIR NEWDIR");
  EXPECT_EQ(Level(), 0);
  Run("REN NOPE.TXT D.TXT");
  EXPECT_EQ(Level(), UNABLE_TO_RENAME_FILE);
  ExpectClean();
}

TEST_F(Commands, DirOfTheEmptyRoot) {
  Prepare();
  Mount();
  const std::string out = Run("DIR");
  const std::uint32_t serial = common::load_le32(disk_->volume.pbr() + 39);
  const std::string expected =
      Format("\nDirectory For Drive: SYS:\\\n      Serial Number: %04X:%04X\n       Volume Label: UTILITY    \n\n",
             serial >> 16, serial & 0xFFFF) +
      "attr    date                 size        name\n"
      "------  -------------------  ----------  --------------\n"
      "....v.  " + std::string(15, ' ') + "UTILITY       \n"
      "                             ----------\n"
      "             1 File(s)                0 (0) bytes\n" +
      Format("             0 Dir(s)   %15s bytes free\n",
             FormatThousands(static_cast<std::uint32_t>(disk_->engine.FreeSpace())).c_str()) +
      Format("                        %15s Total Partition Size\n",
             FormatThousands((disk_->volume.ClusterLimit - 2) * 2048).c_str());
  EXPECT_EQ(out, expected);
}

TEST_F(Commands, DirPatternsTimesAndPaging) {
  Prepare();
  ASSERT_EQ(Mtools(image_, 63, "mmd ::DIAGS"), 0);
  for (int i = 0; i < 30; ++i) PutSys("x", "DIAGS/F" + std::to_string(i) + ".EXE");
  PutSys("y", "DIAGS/README.TXT");
  Mount();
  // 10:20:30 on the stamp.
  disk_->out.now = {2009, 10, 27, 10, 20, 30};
  Run("TOUCH \\DIAGS\\README.TXT");
  std::string out = Run("DIR \\DIAGS\\*.EXE");
  EXPECT_NE(out.find("\nDirectory For Drive: SYS:\\DIAGS\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("readme.txt"), std::string::npos);
  EXPECT_NE(out.find("            30 File(s)"), std::string::npos) << out;
  out = Run("DIR \\DIAGS\\README.TXT");
  EXPECT_NE(out.find(".....a  10/27/2009 10:20:30           1  readme.txt    \n"), std::string::npos) << out;
  out = Run("DIR DIAGS");
  EXPECT_NE(out.find("d.....  "), std::string::npos);
  console_.Type("  ");
  out = Run("DIR DIAGS -p");
  EXPECT_EQ(std::count(out.begin(), out.end(), '?'), 2) << out;  // "-- more -- ?" at lines 20 and 40
  EXPECT_EQ(shell_->PageLength(), 0);
  out = Run("DIR NOWHERE\\*.*");
  EXPECT_EQ(Level(), FILE_NOT_FOUND);
}

TEST_F(Commands, CdIfExistFree) {
  Prepare();
  ASSERT_EQ(Mtools(image_, 63, "mmd ::DIAGS"), 0);
  Mount();
  Run("CD \\DIAGS");
  EXPECT_EQ(Level(), 0);
  EXPECT_NE(Run("CD").find("SYS:\\diags"), std::string::npos);
  Run("CD \\MISSING");
  EXPECT_EQ(Level(), DIRECTORY_NOT_FOUND);
  EXPECT_NE(Run("CD").find("SYS:\\diags"), std::string::npos);
  Run("IFEXIST \\NOFILE.TXT");
  EXPECT_EQ(Level(), 1);
  Run("IFEXISTS \\DIAGS");
  EXPECT_EQ(Level(), 0);
  shell_->SetErrorLevel(5);
  const std::string out = Run("FREE");
  EXPECT_NE(out.find("Disk Free Space: " + FormatThousands(static_cast<std::uint32_t>(disk_->engine.FreeSpace()))),
            std::string::npos);
  EXPECT_EQ(Level(), 5);
}

TEST_F(Commands, TypeLineEndsAndHex) {
  Prepare();
  PutSys("a\nb\n", "LF.TXT");
  PutSys("a\r\nb\r\n", "CRLF.TXT");
  PutSys("a\rb\r", "CR.TXT");
  PutSys(Pattern(513, 8), "HEX.BIN");
  Mount();
  const std::string lf = Run("TYPE LF.TXT");
  EXPECT_EQ(lf, "a\nb\n\n");
  EXPECT_EQ(Run("TYPE CRLF.TXT"), lf);
  EXPECT_EQ(Run("CAT CR.TXT"), lf);
  const std::string hex = Run("TYPE HEX.BIN -b");
  EXPECT_EQ(std::count(hex.begin(), hex.end(), '\n'), 32 + 1 + 1);
  EXPECT_NE(hex.find("\n\n00000100 "), std::string::npos) << hex;  // the empty line before the 17th
  EXPECT_NE(hex.find("00000200 "), std::string::npos);
  Run("TYPE NONE.TXT");
  EXPECT_EQ(Level(), FILE_NOT_FOUND);
}

TEST_F(Commands, DumpDecimalAndHexAreTheSameSector) {
  Prepare();
  Mount();
  const std::string hex = Run("DUMP 0x3F");
  EXPECT_EQ(Level(), 0);
  const std::string dec = Run("DUMP 63");
  EXPECT_EQ(hex, dec);
  EXPECT_EQ(hex.substr(0, 13), "Sector #: 63\n");
  EXPECT_NE(hex.find("00007FF0 "), std::string::npos);
  Run("DUMP 99999999");
  EXPECT_EQ(Level(), DISK_ERROR_SEEK_BEYOND_EOF);
  const std::string range = Run("DUMPC 1");
  EXPECT_NE(range.find(Format("Invalid Cluster Number. Valid Are 2 to %d", disk_->volume.ClusterLimit - 1)),
            std::string::npos);
  EXPECT_EQ(Level(), INVALID_PARAMETER);
}

TEST_F(Commands, ErrorTexts) {
  Prepare();
  Mount();
  EXPECT_NE(Run("ERROR 700").find("700 - UNABLE_TO_LOCATE_PARTITION - {internal}"), std::string::npos);
  EXPECT_NE(Run("ERROR -700").find("700 - UNABLE_TO_LOCATE_PARTITION - {internal}"), std::string::npos);
  EXPECT_NE(Run("ERROR 5").find("5 - Access is denied."), std::string::npos);
  EXPECT_NE(Run("ERROR 760").find("760 - Unknown Error Number"), std::string::npos);
  const std::string all = Run("SHOWERRORS");
  EXPECT_EQ(std::count(all.begin(), all.end(), '\n'), 66);
}

TEST(CommandHelpers, FormatThousandsAndLocalMatching) {
  EXPECT_EQ(FormatThousands(999), "999");
  EXPECT_EQ(FormatThousands(1000), "1,000");
  EXPECT_EQ(FormatThousands(1234567), "1,234,567");
  EXPECT_EQ(FormatThousands(4294967295u), "4294,967,295");
  EXPECT_TRUE(LocalNameMatches("*.*", "README"));
  EXPECT_TRUE(LocalNameMatches("*.txt", "A.TXT"));
  EXPECT_FALSE(LocalNameMatches("*.txt", "a.txt.bak"));
  EXPECT_TRUE(LocalNameMatches("readme.*", "README"));
  EXPECT_TRUE(LocalNameMatches("?.txt", "a.txt"));
  EXPECT_FALSE(LocalNameMatches("?.txt", "ab.txt"));
  std::uint32_t v = 0;
  EXPECT_TRUE(ParseSectorNumber("0x3F", v));
  EXPECT_EQ(v, 63u);
  EXPECT_FALSE(ParseSectorNumber("12z", v));
}

// Directory sectors read during one command are kept for the rest of it.
TEST_F(Commands, AWildcardCopyReadsEachDirectorySectorAFewTimesNotPerFile) {
  Prepare();
  FaultInjectingDevice* device = nullptr;
  Mount([&device](int, std::unique_ptr<BlockDevice> inner) -> std::unique_ptr<BlockDevice> {
    auto counting = std::make_unique<FaultInjectingDevice>(std::move(inner));
    device = counting.get();
    return counting;
  });
  ASSERT_NE(device, nullptr);
  std::filesystem::create_directory(Local("many"));
  for (int i = 0; i < 120; ++i) WriteFile(Local("many/F" + std::to_string(i) + ".BIN"), Pattern(700 + i, i));
  device->reads_of.clear();
  Run("COPYHD2SYS many\\*.*");
  ASSERT_EQ(Level(), 0) << console_.output;
  // The first root sector is written 15 times (16 entries, the label first)
  // and read again after each write; without keeping it, every file's
  // lookups read it several times over.
  const std::uint32_t root = disk_->volume.RootDirSector;
  EXPECT_LE(device->reads_of[root], 20u);
  EXPECT_LE(device->reads_of[root + 7], 20u);
  for (int i = 0; i < 120; i += 17) {
    EXPECT_EQ(Sys("F" + std::to_string(i) + ".BIN"), Pattern(700 + i, i)) << i;
  }
  ExpectClean();
}

TEST_F(Commands, ADirectoryChangedBetweenCommandsIsReadAfresh) {
  Prepare();
  PutSys("alpha", "A.TXT");
  Mount();
  std::string out = Run("DIR");
  ASSERT_NE(out.find("a.txt"), std::string::npos) << out;
  // Another program renames the file on the disk between two commands.
  ASSERT_EQ(Mtools(image_, 63, "mren ::A.TXT ::Z.TXT"), 0);
  out = Run("DIR");
  EXPECT_NE(out.find("z.txt"), std::string::npos) << out;
  EXPECT_EQ(out.find("a.txt"), std::string::npos) << out;
}

TEST(DirectorySectors, WritesAndFailedReadsAreNeverServedFromMemory) {
  TempDir dir;
  const std::string up = MakeUtilityDisk(dir);
  FaultInjectingDevice* device = nullptr;
  MountedDisk disk(up, MountedDisk::UpRequest(),
                   [&device](int, std::unique_ptr<BlockDevice> inner) -> std::unique_ptr<BlockDevice> {
                     auto d = std::make_unique<FaultInjectingDevice>(std::move(inner));
                     device = d.get();
                     return d;
                   });
  ASSERT_EQ(disk.mount_result, 0);
  MountedVolume& v = disk.volume;
  const std::uint32_t s = v.FirstDataSector + 8;
  alignas(512) std::uint8_t buffer[512];
  alignas(512) std::uint8_t data[3 * 512];

  // A failed read is not kept: the next one goes to the disk again.
  device->failing_reads = {s};
  EXPECT_NE(v.ReadDirectorySector(s, buffer), 0);
  device->failing_reads.clear();
  ASSERT_EQ(v.ReadDirectorySector(s, buffer), 0);
  EXPECT_EQ(device->reads_of[s], 2u);
  ASSERT_EQ(v.ReadDirectorySector(s, buffer), 0);
  EXPECT_EQ(device->reads_of[s], 2u);  // kept

  // File data written over it (a freed directory cluster taken by a file).
  std::memset(data, 0x5A, sizeof data);
  ASSERT_EQ(v.WriteHardDriveSectors(s - 1, 3, data), 0);
  ASSERT_EQ(v.ReadDirectorySector(s, buffer), 0);
  EXPECT_EQ(buffer[0], 0x5A);
  EXPECT_EQ(device->reads_of[s], 3u);

  // A failed write leaves the disk's copy in doubt: it is read again.
  device->failing_writes = {s};
  std::memset(data, 0x33, 512);
  EXPECT_NE(v.WriteHardDriveSector(s, data), 0);
  ASSERT_EQ(v.ReadDirectorySector(s, buffer), 0);
  EXPECT_EQ(device->reads_of[s], 4u);
  EXPECT_EQ(buffer[0], 0x5A);

  // Nothing is kept across commands.
  v.ForgetDirectorySectors();
  ASSERT_EQ(v.ReadDirectorySector(s, buffer), 0);
  EXPECT_EQ(device->reads_of[s], 5u);
}

}  // namespace
}  // namespace partshell::testing
