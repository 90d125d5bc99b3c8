// Shared set-up of the front-end tests: a recording host, a temporary directory
// standing for the computer's drives, and small file helpers.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "zolp/host.h"
#include "zolp/sim/mapped_file_system.h"
#include "zolp/sim/refusing_disk.h"
#include "zolp/sim/test_host.h"

namespace zolp::testing {

inline std::filesystem::path MakeTempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "zolp-test-XXXXXX").string();
  const char* made = ::mkdtemp(pattern.data());
  if (made == nullptr) return {};
  return std::filesystem::path(made);
}

inline void WriteFile(const std::filesystem::path& path, const std::string& content) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << content;
}

inline std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

using sim::RefusingDisk;

class ZolpTest : public ::testing::Test {
 protected:
  ZolpTest() : root_(MakeTempDir()), files_(root_, host_) { Rewire(); }
  ~ZolpTest() override {
    std::error_code ec;
    std::filesystem::remove_all(root_, ec);
  }

  void Rewire() { s_ = host_.Wire(&files_, options_); }
  void SetVerbose(bool on = true) {
    options_.verbose = on;
    Rewire();
  }
  // The package directory (the current directory of the program).
  std::filesystem::path Cwd(const std::string& name = {}) const {
    return name.empty() ? root_ / "cwd" : root_ / "cwd" / name;
  }
  std::filesystem::path Host(const std::string& windowsPath) const {
    return files_.HostPath(windowsPath);
  }
  std::vector<std::string> MessageTexts() const {
    std::vector<std::string> texts;
    for (const auto& m : host_.Messages()) texts.push_back(m.text);
    return texts;
  }

  std::filesystem::path root_;
  sim::TestHost host_;
  sim::MappedFileSystem files_;
  RunOptions options_;
  Services s_;
};

}  // namespace zolp::testing
