#include "platform/files/shared_file.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/process/module.h"
#include "platform/process/process.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

// The other process of the tests below: this test program started again with QV_SHARED_FILE_PROBE
// set to "open:PATH" or "create:PATH". It tries that open and ends at once with 0 when it succeeded,
// otherwise with the last error code.
constexpr char kProbeVariable[] = "QV_SHARED_FILE_PROBE";
[[maybe_unused]] const bool kProbeRan = [] {
  const auto request = GetEnvironmentVariable(kProbeVariable);
  if (!request) return false;
  SharedFile file;
  const bool create = request->rfind("create:", 0) == 0;
  const std::string path = request->substr(request->find(':') + 1);
  const bool opened = create ? file.Create(path) : file.OpenForWriting(path);
  std::_Exit(opened ? 0 : static_cast<int>(GetLastError()));
}();

uint32_t ProbeFromAnotherProcess(const std::string& mode, const std::string& path) {
  SetEnvironmentVariable(kProbeVariable, mode + ":" + path);
  uint32_t exit_code = 0xFFFF;
  const bool ran = RunProgram(GetModuleFileName(), {}, &exit_code);
  SetEnvironmentVariable(kProbeVariable, std::nullopt);
  EXPECT_TRUE(ran) << GetLastError();
  return exit_code;
}

std::string Contents(const std::string& path) {
  std::string content;
  EXPECT_TRUE(ReadWholeFile(path, &content)) << GetLastError();
  return content;
}

TEST(SharedFile, SecondWriterInThisProcessGetsASharingViolation) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("trace.log");
  SharedFile first;
  ASSERT_TRUE(first.Create(path)) << GetLastError();
  ASSERT_TRUE(first.Write("held"));

  SharedFile second;
  EXPECT_FALSE(second.OpenForWriting(path));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  EXPECT_FALSE(second.IsOpen());
  EXPECT_FALSE(second.Create(path));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);

  first.Close();
  EXPECT_EQ(Contents(path), "held");  // the refused create truncated nothing
  ASSERT_TRUE(second.OpenForWriting(path)) << GetLastError();
  SharedFile third;
  EXPECT_FALSE(third.OpenForWriting(path));  // an open for writing shuts writers out as well
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
}

TEST(SharedFile, DestructionAndMoveKeepTheLockWithTheOpenFile) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("request.log");
  SharedFile moved;
  {
    SharedFile file;
    ASSERT_TRUE(file.Create(path));
    moved = std::move(file);
  }
  EXPECT_TRUE(moved.IsOpen());
  SharedFile other;
  EXPECT_FALSE(other.OpenForWriting(path));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  { SharedFile gone = std::move(moved); }
  EXPECT_TRUE(other.OpenForWriting(path)) << GetLastError();
}

TEST(SharedFile, SecondWriterInAnotherProcessGetsASharingViolation) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("trace.log");
  ASSERT_TRUE(WriteWholeFile(path, "first line\r\n"));
  {
    SharedFile holder;
    ASSERT_TRUE(holder.OpenForWriting(path)) << GetLastError();
    EXPECT_EQ(ProbeFromAnotherProcess("open", path), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(ProbeFromAnotherProcess("create", path), ERROR_SHARING_VIOLATION);
    EXPECT_EQ(Contents(path), "first line\r\n");
  }
  EXPECT_EQ(ProbeFromAnotherProcess("open", path), 0u);

  // The probe's lock went with its process.
  SharedFile after;
  EXPECT_TRUE(after.OpenForWriting(path)) << GetLastError();
}

TEST(SharedFile, OpenForWritingAppendsAtTheEndAndNeverTruncates) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("request.log");
  ASSERT_TRUE(WriteWholeFile(path, "abc"));
  {
    SharedFile file;
    ASSERT_TRUE(file.OpenForWriting(path));
    EXPECT_EQ(Contents(path), "abc");
    uint64_t end = 0;
    ASSERT_TRUE(file.SeekToEnd(&end));
    EXPECT_EQ(end, 3u);
    ASSERT_TRUE(file.Write("def"));
  }
  {
    SharedFile file;
    ASSERT_TRUE(file.OpenForWriting(path));
    ASSERT_TRUE(file.SeekToEnd());
    ASSERT_TRUE(file.Write(std::string(100000, 'x')));  // larger than one pipe-sized write
  }
  EXPECT_EQ(Contents(path), "abcdef" + std::string(100000, 'x'));
}

TEST(SharedFile, OpenForWritingNeedsAnExistingFile) {
  qv::testing::TestStateDir dir;
  SharedFile file;
  EXPECT_FALSE(file.OpenForWriting(dir.File("missing.log")));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(FileExists(dir.File("missing.log")));
  EXPECT_FALSE(file.OpenForWriting(dir.File("no/such/dir.log")));
  // Windows says the path is missing; the POSIX ENOENT reads as a missing file.
  EXPECT_TRUE(GetLastError() == ERROR_PATH_NOT_FOUND || GetLastError() == ERROR_FILE_NOT_FOUND)
      << GetLastError();
  EXPECT_FALSE(file.OpenForWriting(dir.Path()));
  EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(file.Write("x"));
  EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(SharedFile, CreateMakesAnOwnerOnlyFileAndReplacesContents) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("trace.log");
  {
    SharedFile file;
    ASSERT_TRUE(file.Create(path)) << GetLastError();
    ASSERT_TRUE(file.Write("secret request"));
  }
  if (!qv::testing::SkipUnderWine("the file's owner-only security (Wine keeps no file security here)")) {
    EXPECT_TRUE(IsOwnerOnlyFile(path));
  }
  EXPECT_EQ(Contents(path), "secret request");

  {
    SharedFile file;
    ASSERT_TRUE(file.Create(path));
    ASSERT_TRUE(file.SeekToEnd());
    ASSERT_TRUE(file.Write("new"));
  }
  EXPECT_EQ(Contents(path), "new");
  EXPECT_FALSE(IsOwnerOnlyFile(dir.File("missing")));
  EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);
}

TEST(SharedFile, CreateNewNeverTouchesAFileThatIsThere) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("trace.log");
  ASSERT_TRUE(WriteWholeFile(path, "kept"));
  SharedFile file;
  EXPECT_FALSE(file.CreateNew(path));
  EXPECT_EQ(GetLastError(), ERROR_FILE_EXISTS);
  EXPECT_EQ(Contents(path), "kept");

  const std::string fresh = dir.File("fresh.log");
  ASSERT_TRUE(file.CreateNew(fresh)) << GetLastError();
  ASSERT_TRUE(file.Write("new"));
  SharedFile other;
  EXPECT_FALSE(other.OpenForWriting(fresh));
  EXPECT_EQ(GetLastError(), ERROR_SHARING_VIOLATION);
  file.Close();
  if (!qv::testing::SkipUnderWine("the file's owner-only security (Wine keeps no file security here)")) {
    EXPECT_TRUE(IsOwnerOnlyFile(fresh));
  }
  EXPECT_EQ(Contents(fresh), "new");
}

}  // namespace
}  // namespace qv::platform
