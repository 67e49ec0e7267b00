// Whole-file writes: the target holds either its previous content or all of the new one,
// on real file systems that fail (a file-size limit, a folder that is a file, a full and a
// read-only tmpfs), and no temporary file is left behind.
#include "core/file_write.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

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

// A writer killed between creating its temporary file and renaming it leaves the file:
// the next write into the folder removes those of writers that are gone, and nothing else.
TEST_F(WriteFileTest, LeftOverTemporariesOfGoneWritersAreRemovedByTheNextWrite) {
  EXPECT_EQ(TemporaryFileWriter(".out.png.tmp-4242-7"), 4242);
  EXPECT_EQ(TemporaryFileWriter(".a.tmp-12-0"), 12);
  for (const char* other : {"out.png.tmp-4242-7", ".tmp-4242-7", ".a.tmp-4242-", ".a.tmp--7", ".a.tmp-04242-7",
                            ".a.tmp-4242-07", ".a.tmp-4242-7.bak", ".a.tmp-x-7", ".a.tmp-99999999999-7",
                            ".a.tmp-0-7", ".a.tmp-4242", "a"})
    EXPECT_EQ(TemporaryFileWriter(other), 0) << other;

  // A pid above the system's largest cannot belong to a live process.
  long pidMax = 4194304;
  std::ifstream("/proc/sys/kernel/pid_max") >> pidMax;
  const std::string gone = std::to_string(pidMax + 1), alive = std::to_string(::getppid());
  auto make = [&](const std::string& name) {
    std::ofstream(dir / name) << "left over";
    return name;
  };
  const std::string stale = make(".out.txt.tmp-" + gone + "-0");
  const std::string staleOther = make(".other.png.tmp-" + gone + "-12");
  const std::string live = make(".out.txt.tmp-" + alive + "-0");
  const std::string init = make(".out.txt.tmp-1-3");
  const std::string notOurs = make("out.txt.tmp-" + gone + "-0");
  const std::string longer = make(".out.txt.tmp-" + gone + "-0.keep");
  const std::string folderNamed = ".dir.tmp-" + gone + "-1";
  fs::create_directory(dir / folderNamed);
  const std::string linkNamed = ".link.tmp-" + gone + "-2";
  fs::create_symlink(dir / live, dir / linkNamed);
  // Another user's file (where we may give it away: as root).
  const std::string foreign = make(".foreign.tmp-" + gone + "-5");
  const bool gaveAway = ::chown((dir / foreign).c_str(), 65534, 65534) == 0;

  std::string error;
  ASSERT_TRUE(WriteFileAtomically((dir / "out.txt").string(), "fresh", "test file", &error)) << error;
  EXPECT_EQ("fresh", Read(dir / "out.txt"));
  EXPECT_FALSE(fs::exists(dir / stale));
  EXPECT_FALSE(fs::exists(dir / staleOther)) << "every target's temporaries in the folder";
  for (const std::string& kept : {live, init, notOurs, longer, folderNamed, linkNamed})
    EXPECT_TRUE(fs::exists(fs::symlink_status(dir / kept))) << kept;
  if (gaveAway) {
    EXPECT_TRUE(fs::exists(dir / foreign)) << "another user's file";
  }

  // Writes into another folder leave this one alone.
  make(stale);
  fs::create_directory(dir / "elsewhere");
  ASSERT_TRUE(WriteFileAtomically((dir / "elsewhere/x.txt").string(), "x", "test file", &error)) << error;
  EXPECT_TRUE(fs::exists(dir / stale));
}

}  // namespace
}  // namespace host
