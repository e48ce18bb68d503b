#pragma once

#include <dirent.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

namespace veltrax::se2::testing {

// A fresh directory per test, removed with everything in it afterwards.
class TemporaryDirectoryTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/veltrax-files-XXXXXX";
    ASSERT_NE(::mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override {
    for (const std::string& name : entries()) {
      ::unlink((dir_ + "/" + name).c_str());
    }
    ::rmdir(dir_.c_str());
  }

  std::string pathOf(const std::string& name) const { return dir_ + "/" + name; }

  std::string write(const std::string& name, const std::string& bytes) const {
    const std::string path = pathOf(name);
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  }

  static std::string read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }

  std::set<std::string> entries() const {
    std::set<std::string> names;
    if (DIR* dir = ::opendir(dir_.c_str())) {
      while (const dirent* entry = ::readdir(dir)) {
        const std::string name = entry->d_name;
        if (name != "." && name != "..") {
          names.insert(name);
        }
      }
      ::closedir(dir);
    }
    return names;
  }

  std::string dir_;
};

}  // namespace veltrax::se2::testing
