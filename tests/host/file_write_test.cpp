// Whole-file writes: the target holds either its previous content or all of the new one,
// on real file systems that fail (a file-size limit, a folder that is a file, a full and a
// read-only tmpfs), and no temporary file is left behind.
#include "core/file_write.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>

#include "scratch_filesystem.h"

namespace host {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

std::string Read(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class WriteFileTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("corvane_write_test_" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
  }
  void TearDown() override {
    mount.reset();
    fs::remove_all(dir);
  }
  /// Writes through WriteFileAtomically expecting failure; answers the message.
  std::string Failure(const fs::path& path, const std::string& bytes) {
    std::string error;
    EXPECT_FALSE(WriteFileAtomically(path.string(), bytes, "test file", &error)) << path;
    EXPECT_THAT(error, HasSubstr(path.string() + ": cannot write test file: "));
    return error;
  }

  fs::path dir;
  std::unique_ptr<test::TmpfsMount> mount;
};

TEST_F(WriteFileTest, ReplacesTheWholeFileKeepingItsModeAndLinks) {
  const fs::path file = dir / "out.txt";
  std::string error;
  ASSERT_TRUE(WriteFileAtomically(file.string(), "first, longer content", "test file", &error)) << error;
  ::chmod(file.c_str(), 0600);
  ASSERT_TRUE(WriteFileAtomically(file.string(), "second", "test file", &error)) << error;
  EXPECT_EQ("second", Read(file));
  struct stat st;
  ASSERT_EQ(0, ::stat(file.c_str(), &st));
  EXPECT_EQ(0600u, st.st_mode & 07777) << "a replaced file keeps its permissions";

  const fs::path link = dir / "link.txt";
  fs::create_symlink(file, link);
  ASSERT_TRUE(WriteFileAtomically(link.string(), "through the link", "test file", &error)) << error;
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ("through the link", Read(file));

  ASSERT_TRUE(WriteFileAtomically(file.string(), "", "test file", &error)) << error;
  EXPECT_EQ(0u, fs::file_size(file)) << "an empty file is a file too";
  EXPECT_THAT(test::TemporaryFiles(dir), IsEmpty());
}

TEST_F(WriteFileTest, FailuresLeaveThePreviousFileAndNoTemporaryOne) {
  // A folder that is a regular file: fails for root as well.
  const fs::path notAFolder = dir / "plain";
  std::ofstream(notAFolder) << "plain";
  EXPECT_THAT(Failure(notAFolder / "out.txt", "x"), HasSubstr("Not a directory"));
  EXPECT_EQ("plain", Read(notAFolder));

  // The rename fails: the target is a folder.
  const fs::path folder = dir / "folder";
  fs::create_directories(folder / "inside");
  EXPECT_THAT(Failure(folder, "x"), HasSubstr("Is a directory"));
  EXPECT_TRUE(fs::is_directory(folder / "inside"));

  // A file-size limit stops the write halfway: the previous file stays whole.
  const fs::path file = dir / "previous.txt";
  std::ofstream(file) << "previous content";
  {
    test::FileSizeLimit limit(4096);
    EXPECT_THAT(Failure(file, std::string(65536, 'n')), HasSubstr(std::strerror(EFBIG)));
  }
  EXPECT_EQ("previous content", Read(file));
  EXPECT_THAT(test::TemporaryFiles(dir), IsEmpty());
}

TEST_F(WriteFileTest, FullAndReadOnlyFileSystems) {
  mount = std::make_unique<test::TmpfsMount>(dir / "small");
  std::string why;
  if (!mount->Mount(64 * 1024, &why)) GTEST_SKIP() << why << " (the file-size limit test covers a full disk)";
  const fs::path file = mount->Folder() / "previous.txt";
  std::ofstream(file) << "previous content";
  mount->Fill();
  EXPECT_THAT(Failure(file, std::string(16384, 'n')), HasSubstr(std::strerror(ENOSPC)));
  EXPECT_EQ("previous content", Read(file));
  EXPECT_THAT(test::TemporaryFiles(mount->Folder()), IsEmpty());

  fs::remove(mount->Folder() / "filler");
  ASSERT_TRUE(mount->MakeReadOnly());
  EXPECT_THAT(Failure(file, "new"), HasSubstr(std::strerror(EROFS)));
  EXPECT_EQ("previous content", Read(file));
}

}  // namespace
}  // namespace host
