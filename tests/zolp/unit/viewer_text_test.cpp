#include "model/viewer_text.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace zolp {
namespace {

class ViewerTextTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("zolp_viewer_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
            "_" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::create_directories(dir_);
  }
  void TearDown() override { std::filesystem::remove_all(dir_); }
  std::string Write(const std::string& name, const std::string& bytes) {
    std::string path = (dir_ / name).string();
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }
  std::filesystem::path dir_;
};

TEST_F(ViewerTextTest, WholeFileIsShown) {
  std::string text = "OEM Ver: A05\r\nLine two\r\n";
  EXPECT_EQ(LoadViewerText(Write("Version.txt", text), kReleaseMessages), text);
}

TEST_F(ViewerTextTest, MissingAndEmptyFilesGiveTheViewersOwnLines) {
  EXPECT_EQ(LoadViewerText((dir_ / "none.txt").string(), kReadmeMessages),
            "Error trying to open the readme file.");
  EXPECT_EQ(LoadViewerText((dir_ / "none.txt").string(), kReleaseMessages),
            "Release information is not available.");
  EXPECT_EQ(LoadViewerText(Write("readme.txt", ""), kReadmeMessages),
            "The readme file length is 0.");
  EXPECT_EQ(LoadViewerText(Write("Version.txt", ""), kReleaseMessages),
            "No release information to display.");
}

TEST_F(ViewerTextTest, TextEndsAtAZeroByte) {
  std::string bytes("abc\0def", 7);
  EXPECT_EQ(LoadViewerText(Write("readme.txt", bytes), kReadmeMessages), "abc");
}

TEST_F(ViewerTextTest, DirectoryInsteadOfFileIsNotShownAsText) {
  std::filesystem::create_directory(dir_ / "readme.txt");
  EXPECT_EQ(LoadViewerText((dir_ / "readme.txt").string(), kReadmeMessages),
            kReadmeMessages.cannotOpen);
}

TEST(CrLf, BareLineFeedsAreWidenedOnce) {
  EXPECT_EQ(WithCrLf("a\nb\r\nc\n"), "a\r\nb\r\nc\r\n");
  EXPECT_EQ(WithCrLf("\n"), "\r\n");
  EXPECT_EQ(WithCrLf(""), "");
}

}  // namespace
}  // namespace zolp
