// The hive of the Linux registry: a file of the state directory, write protection by the file's
// attribute, damaged files named in the error, several writers (connections, threads, processes).
#include "platform/registry/registry.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "platform/clock/clock.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_attributes.h"
#include "platform/files/file_system.h"
#include "platform/process/environment.h"
#include "platform/registry/registry_hive_posix.h"
#include "platform/sqlite/sqlite_database.h"
#include "testing/child_tests.h"
#include "testing/machine_registry.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

using qv::testing::CreatedKey;
using qv::testing::DwordBytes;

TEST(Registry, AWriteProtectedHiveIsReadButNotWritten) {
  qv::testing::TestStateDir dir;
  {
    posix::RegistryHive hive(dir.File("registry.db"));
    int64_t key = 0;
    bool created = false;
    ASSERT_EQ(hive.CreateKey(hive.RootKey(HKEY_LOCAL_MACHINE), "Software\\Kept", &key, &created),
              ERROR_SUCCESS);
    ASSERT_EQ(hive.SetValue(key, "Port", REG_DWORD, DwordBytes(8080)), ERROR_SUCCESS);
  }
  ASSERT_TRUE(SetFileAttributes(dir.File("registry.db"), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(RegistryHiveIsWriteProtected());

  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Port", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, DwordBytes(8080));
  EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, KEY_READ, key.Receive(), nullptr),
            ERROR_SUCCESS);

  RegKey refused;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, KEY_ALL_ACCESS, refused.Receive()),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Kept", 0, 0x2001F, refused.Receive()),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\New", 0, KEY_READ, refused.Receive(), nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegSetValueEx(HKEY_LOCAL_MACHINE, "X", REG_SZ, std::string("x", 1)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Software\\Kept"), ERROR_ACCESS_DENIED);
  ASSERT_TRUE(SetFileAttributes(dir.File("registry.db"), FILE_ATTRIBUTE_NORMAL));
}

// Expects the registry's first use to fail with a one-line message that names the hive file.
void ExpectUnusableHive(const std::string& path, const std::string& reason) {
  RegKey key;
  try {
    RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software", 0, KEY_READ, key.Receive());
    FAIL() << "the hive was used: " << reason;
  } catch (const ERegistryStoreError& error) {
    EXPECT_NE(error.Message().find("\"" + path + "\""), std::string::npos) << error.Message();
    EXPECT_NE(error.Message().find(reason), std::string::npos) << error.Message();
    EXPECT_EQ(error.Message().find('\n'), std::string::npos) << error.Message();
  }
}

void FillHive(const std::string& path, int values) {
  posix::RegistryHive hive(path);
  int64_t key = 0;
  bool created = false;
  ASSERT_EQ(hive.CreateKey(hive.RootKey(HKEY_LOCAL_MACHINE), "Software\\Filled", &key, &created),
            ERROR_SUCCESS);
  for (int i = 0; i < values; ++i)
    ASSERT_EQ(hive.SetValue(key, "Value" + std::to_string(i), REG_SZ, std::string(200, 'x')), ERROR_SUCCESS);
}

TEST(Registry, AFileThatIsNoDatabaseIsNamedInTheError) {
  qv::testing::TestStateDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("registry.db"), std::string(5000, 'x')));
  ExpectUnusableHive(dir.File("registry.db"), "not a database");
  // Asked again, it fails again rather than looking empty.
  ExpectUnusableHive(dir.File("registry.db"), "not a database");
}

TEST(Registry, ATruncatedHiveIsNamedInTheError) {
  qv::testing::TestStateDir dir;
  FillHive(dir.File("registry.db"), 200);
  std::string content;
  ASSERT_TRUE(ReadWholeFile(dir.File("registry.db"), &content));
  ASSERT_GT(content.size(), 8192u);
  ASSERT_TRUE(WriteWholeFile(dir.File("registry.db"), content.substr(0, content.size() / 2)));
  ExpectUnusableHive(dir.File("registry.db"), "registry.db\"");
}

TEST(Registry, AnEmptyHiveFileIsNamedInTheError) {
  qv::testing::TestStateDir dir;
  ASSERT_TRUE(WriteWholeFile(dir.File("registry.db"), ""));
  ExpectUnusableHive(dir.File("registry.db"), "empty");
}

TEST(Registry, AnotherDatabaseIsNoHive) {
  qv::testing::TestStateDir dir;
  {
    SqliteDatabase other(dir.File("registry.db"), SqliteDatabase::Mode::kReadWriteCreate);
    other.Exec("CREATE TABLE events(id INTEGER)");
  }
  ExpectUnusableHive(dir.File("registry.db"), "not a registry hive");
}

TEST(Registry, ConnectionsWritingAtOnceLoseNothing) {
  qv::testing::TestStateDir dir;
  const std::string path = dir.File("registry.db");
  { posix::RegistryHive created(path); }  // made once, so that every writer opens the same hive
  constexpr int kWriters = 4;
  constexpr int kValues = 100;
  std::vector<std::thread> writers;
  for (int writer = 0; writer < kWriters; ++writer) {
    writers.emplace_back([&path, writer] {
      posix::RegistryHive hive(path);
      int64_t key = 0;
      bool created = false;
      for (int i = 0; i < kValues; ++i) {
        // Every writer creates the same shared key and its own, and writes into both.
        ASSERT_EQ(hive.CreateKey(hive.RootKey(HKEY_LOCAL_MACHINE), "Software\\Shared", &key, &created),
                  ERROR_SUCCESS);
        ASSERT_EQ(
            hive.SetValue(key, std::to_string(writer) + "-" + std::to_string(i), REG_DWORD, DwordBytes(i)),
            ERROR_SUCCESS);
        ASSERT_EQ(
            hive.CreateKey(key, "Writer" + std::to_string(writer) + "\\" + std::to_string(i), &key, &created),
            ERROR_SUCCESS);
      }
    });
  }
  for (auto& writer : writers) writer.join();

  RegKey shared;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Shared", 0, KEY_READ, shared.Receive()),
            ERROR_SUCCESS);
  uint32_t sub_keys = 0, values = 0;
  ASSERT_EQ(RegQueryInfoKey(shared.Get(), &sub_keys, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(values, static_cast<uint32_t>(kWriters * kValues));
  EXPECT_EQ(sub_keys, static_cast<uint32_t>(kWriters));
}

TEST(Registry, WaitsForABusyHiveInsteadOfFailing) {
  qv::testing::TestStateDir dir;
  RegKey key = CreatedKey(HKEY_LOCAL_MACHINE, "Software\\Busy");
  SqliteDatabase other(dir.File("registry.db"), SqliteDatabase::Mode::kReadWrite);
  auto lock = std::make_unique<SqliteDatabase::Transaction>(other);  // holds the hive's write lock
  std::atomic<bool> released{false};
  std::thread holder([&] {
    Sleep(300);
    released = true;
    lock->Commit();
  });
  EXPECT_EQ(RegSetValueEx(key.Get(), "Waited", REG_DWORD, DwordBytes(1)), ERROR_SUCCESS);
  EXPECT_TRUE(released);
  holder.join();
  uint32_t values = 0;
  ASSERT_EQ(RegQueryInfoKey(key.Get(), nullptr, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(values, 1u);
}

// Run by the test below in child processes; it does nothing in an ordinary run.
TEST(RegistryChild, WritesItsShareOfValues) {
  const auto child = GetEnvironmentVariable("QV_REGISTRY_TEST_CHILD");
  if (!child) GTEST_SKIP() << "runs only as a child process of ProcessesWritingAtOnceLoseNothing";
  RegKey key;
  for (int i = 0; i < 50; ++i) {
    ASSERT_EQ(
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\Processes", 0, KEY_ALL_ACCESS, key.Receive(), nullptr),
        ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueEx(key.Get(), *child + "-" + std::to_string(i), REG_SZ, std::string("x\0", 2)),
              ERROR_SUCCESS);
  }
}

TEST(Registry, ProcessesWritingAtOnceLoseNothing) {
  qv::testing::TestStateDir dir;
  constexpr int kChildren = 4;  // each writes 50 values
  qv::testing::RunChildTestsAtOnce("RegistryChild.WritesItsShareOfValues", "QV_REGISTRY_TEST_CHILD",
                                   {"child0", "child1", "child2", "child3"});
  RegKey key;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Processes", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  uint32_t values = 0;
  ASSERT_EQ(RegQueryInfoKey(key.Get(), nullptr, nullptr, &values, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(values, static_cast<uint32_t>(kChildren * 50));
}

TEST(Registry, FollowsTheStateDirectory) {
  qv::testing::TestStateDir first;
  CreatedKey(HKEY_LOCAL_MACHINE, "Software\\First");
  qv::testing::TestStateDir second;
  RegKey key;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\First", 0, KEY_READ, key.Receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_TRUE(FileExists(second.File("registry.db")));
  EXPECT_EQ(RegistryHiveFile(), second.File("registry.db"));
}

}  // namespace
}  // namespace qv::platform
