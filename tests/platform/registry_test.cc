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
#include "platform/process/module.h"
#include "testing/machine_registry.h"
#include "testing/platform_checks.h"
#include "testing/test_state_dir.h"

namespace qv::platform {
namespace {

using qv::testing::CreatedKey;
using qv::testing::DwordBytes;

std::vector<std::string> SubKeys(HKEY key) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t index = 0; RegEnumKeyEx(key, index, &name) == ERROR_SUCCESS; ++index) names.push_back(name);
  return names;
}

std::vector<std::string> ValueNames(HKEY key) {
  std::vector<std::string> names;
  std::string name;
  for (uint32_t index = 0; RegEnumValue(key, index, &name, nullptr, nullptr) == ERROR_SUCCESS; ++index)
    names.push_back(name);
  return names;
}

TEST(Registry, CreatesWholePathsAndTellsCreatedFromOpened) {
  qv::testing::TestStateDir dir;
  RegKey key;
  uint32_t disposition = 0;
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\HOLLBERG\\Qvan", 0, KEY_ALL_ACCESS, key.Receive(),
                           &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_CREATED_NEW_KEY);
  ASSERT_EQ(RegCreateKeyEx(HKEY_LOCAL_MACHINE, "SOFTWARE\\hollberg\\QVAN", 0, KEY_ALL_ACCESS, key.Receive(),
                           &disposition),
            ERROR_SUCCESS);
  EXPECT_EQ(disposition, REG_OPENED_EXISTING_KEY);

  // The roots are separate trees.
  RegKey other;
  EXPECT_EQ(RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\HOLLBERG", 0, KEY_READ, other.Receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_FALSE(other);
}

TEST(Registry, NamesCompareWithoutCaseAndKeepTheirSpelling) {
  qv::testing::TestStateDir dir;
  // Windows-1252 texts: Ä and ä.
  RegKey key = CreatedKey(HKEY_LOCAL_MACHINE, "Software\\MixedCase\\\xC4rger");
  CreatedKey(HKEY_LOCAL_MACHINE, "SOFTWARE\\MIXEDCASE\\\xE4RGER\\Child");  // the same keys, a new child
  RegKey software;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "software", 0, KEY_READ, software.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(software.Get()), std::vector<std::string>{"MixedCase"});
  RegKey mixed;
  ASSERT_EQ(RegOpenKeyEx(software.Get(), "mixedcase", 0, KEY_READ, mixed.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(SubKeys(mixed.Get()), std::vector<std::string>{"\xC4rger"});

  ASSERT_EQ(RegSetValueEx(key.Get(), "LogFile", REG_SZ, std::string("a\0", 2)), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "LOGFILE", REG_SZ, std::string("b\0", 2)), ERROR_SUCCESS);
  EXPECT_EQ(ValueNames(key.Get()), std::vector<std::string>{"LogFile"});
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(RegQueryValueEx(key.Get(), "logfile", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(data, std::string("b\0", 2));
}

TEST(Registry, QueryFollowsTheWin32BufferRules) {
  qv::testing::TestStateDir dir;
  RegKey key = CreatedKey(HKEY_LOCAL_MACHINE, "Software\\Q");
  ASSERT_EQ(RegSetValueEx(key.Get(), "Text", REG_SZ, std::string("abcd\0", 5)), ERROR_SUCCESS);

  uint32_t type = 99;
  uint32_t size = 0;
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Text", &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_SZ);
  EXPECT_EQ(size, 5u);

  uint8_t small[4] = {};
  size = sizeof(small);
  type = 99;
  EXPECT_EQ(RegQueryValueEx(key.Get(), "Text", &type, small, &size), ERROR_MORE_DATA);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(type, REG_SZ);

  uint8_t enough[8] = {};
  size = sizeof(enough);
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Text", &type, enough, &size), ERROR_SUCCESS);
  EXPECT_EQ(size, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(enough), 4), "abcd");

  EXPECT_EQ(RegQueryValueEx(key.Get(), "Text", &type, enough, nullptr), ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegQueryValueEx(key.Get(), "Missing", &type, nullptr, &size), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegQueryValueEx(static_cast<HKEY>(12345), "Text", &type, nullptr, &size), ERROR_INVALID_HANDLE);

  // Setting from a buffer: no buffer with a size is refused, no buffer without one is an empty value.
  EXPECT_EQ(RegSetValueEx(key.Get(), "Text", REG_BINARY, nullptr, 4), ERROR_NOACCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "Empty", REG_BINARY, nullptr, 0), ERROR_SUCCESS);
  size = sizeof(enough);
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Empty", &type, enough, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(size, 0u);
  const uint8_t bytes[] = {1, 0, 2};
  ASSERT_EQ(RegSetValueEx(key.Get(), "Bytes", REG_BINARY, bytes, sizeof(bytes)), ERROR_SUCCESS);
  std::string whole;
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Bytes", &type, &whole), ERROR_SUCCESS);
  EXPECT_EQ(whole, std::string("\x01\x00\x02", 3));
}

TEST(Registry, KeepsEveryTypeAsRawBytes) {
  qv::testing::TestStateDir dir;
  RegKey key = CreatedKey(HKEY_LOCAL_MACHINE, "Software\\Types");
  const std::string binary("\0\x01\xFF\0", 4);
  ASSERT_EQ(RegSetValueEx(key.Get(), "", REG_SZ, std::string("default\0", 8)), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "Odd", 0x1234, binary), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "Empty", REG_BINARY, std::string()), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueEx(key.Get(), "Count", REG_DWORD, DwordBytes(0x50)), ERROR_SUCCESS);
  uint32_t type = 0;
  std::string data;
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Odd", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(type, 0x1234u);
  EXPECT_EQ(data, binary);
  ASSERT_EQ(RegQueryValueEx(key.Get(), "Empty", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(type, REG_BINARY);
  EXPECT_EQ(data, "");
  ASSERT_EQ(RegQueryValueEx(key.Get(), "", &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(data, std::string("default\0", 8));

  // Values enumerate in the order they were first set; replacing one keeps its place.
  ASSERT_EQ(RegSetValueEx(key.Get(), "odd", REG_DWORD, DwordBytes(1)), ERROR_SUCCESS);
  const bool in_setting_order = !qv::testing::SkipUnderWine("the order of values (Wine sorts them by name)");
  if (in_setting_order) {
    EXPECT_EQ(ValueNames(key.Get()), (std::vector<std::string>{"", "Odd", "Empty", "Count"}));
  }
  std::string name;
  EXPECT_EQ(RegEnumValue(key.Get(), in_setting_order ? 1 : 3, &name, &type, &data), ERROR_SUCCESS);
  EXPECT_EQ(name, "Odd");
  EXPECT_EQ(type, REG_DWORD);
  EXPECT_EQ(data, DwordBytes(1));
  EXPECT_EQ(RegEnumValue(key.Get(), 4, &name, &type, &data), ERROR_NO_MORE_ITEMS);

  uint32_t sub_keys = 9, max_sub = 9, values = 0, max_name = 0, max_data = 0;
  ASSERT_EQ(RegQueryInfoKey(key.Get(), &sub_keys, &max_sub, &values, &max_name, &max_data), ERROR_SUCCESS);
  EXPECT_EQ(sub_keys, 0u);
  EXPECT_EQ(max_sub, 0u);
  EXPECT_EQ(values, 4u);
  EXPECT_EQ(max_name, 5u);  // "Empty", "Count"
  EXPECT_EQ(max_data, 8u);  // "default" and its NUL

  ASSERT_EQ(RegDeleteValue(key.Get(), "ODD"), ERROR_SUCCESS);
  EXPECT_EQ(RegDeleteValue(key.Get(), "Odd"), ERROR_FILE_NOT_FOUND);
  if (in_setting_order) {
    EXPECT_EQ(ValueNames(key.Get()), (std::vector<std::string>{"", "Empty", "Count"}));
  }
}

TEST(Registry, SubKeysComeInTheOrderOfTheirNames) {
  qv::testing::TestStateDir dir;
  RegKey key = CreatedKey(HKEY_CURRENT_USER, "Order");
  for (const char* name : {"beta", "Alpha", "gamma", "ALPHA2"}) CreatedKey(key.Get(), name);
  EXPECT_EQ(SubKeys(key.Get()), (std::vector<std::string>{"Alpha", "ALPHA2", "beta", "gamma"}));
  uint32_t sub_keys = 0, max_sub = 0;
  ASSERT_EQ(RegQueryInfoKey(key.Get(), &sub_keys, &max_sub, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(sub_keys, 4u);
  EXPECT_EQ(max_sub, 6u);
  std::string name;
  EXPECT_EQ(RegEnumKeyEx(key.Get(), 4, &name), ERROR_NO_MORE_ITEMS);
}

TEST(Registry, RefusesWhatWindowsRefuses) {
  qv::testing::TestStateDir dir;
  RegKey parent = CreatedKey(HKEY_LOCAL_MACHINE, "Software\\Parent\\Child");
  RegKey key;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Missing", 0, KEY_READ, key.Receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "\\Software", 0, KEY_READ, key.Receive()), ERROR_BAD_PATHNAME);
  const bool strict = !qv::testing::SkipUnderWine(
      "refusals of empty and overlong key names and of creating through a reading handle (Wine allows them)");
  if (strict) {
    EXPECT_EQ(
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, "Software\\\\Gap", 0, KEY_ALL_ACCESS, key.Receive(), nullptr),
        ERROR_BAD_PATHNAME);
  }
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Parent\\", 0, KEY_READ, key.Receive()),
            ERROR_SUCCESS);
  if (strict) {
    EXPECT_EQ(
        RegCreateKeyEx(HKEY_LOCAL_MACHINE, std::string(256, 'k'), 0, KEY_ALL_ACCESS, key.Receive(), nullptr),
        ERROR_INVALID_PARAMETER);
  }

  // A key with sub-keys is not deleted, nor is a root.
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Software\\Parent"), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, ""), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteKey(HKEY_LOCAL_MACHINE, "Software\\Nothing"), ERROR_FILE_NOT_FOUND);

  // A key opened for reading takes no writes.
  RegKey reading;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Parent", 0, KEY_READ, reading.Receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueEx(reading.Get(), "X", REG_SZ, std::string("x", 1)), ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegDeleteValue(reading.Get(), "X"), ERROR_ACCESS_DENIED);
  if (strict) {
    EXPECT_EQ(RegCreateKeyEx(reading.Get(), "New", 0, KEY_ALL_ACCESS, key.Receive(), nullptr),
              ERROR_ACCESS_DENIED);
  }
  EXPECT_EQ(RegCreateKeyEx(reading.Get(), "Child", 0, KEY_READ, key.Receive(), nullptr), ERROR_SUCCESS);
  RegKey writing;
  ASSERT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Parent", 0, KEY_SET_VALUE, writing.Receive()),
            ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueEx(writing.Get(), "X", nullptr, nullptr, nullptr), ERROR_ACCESS_DENIED);

  // A handle to a deleted key says so; closing it twice does not work.
  ASSERT_EQ(RegDeleteKey(parent.Get(), ""), ERROR_SUCCESS);
  EXPECT_EQ(RegSetValueEx(parent.Get(), "X", REG_SZ, std::string("x", 1)), ERROR_KEY_DELETED);
  EXPECT_EQ(RegQueryValueEx(parent.Get(), "X", nullptr, nullptr, nullptr), ERROR_KEY_DELETED);
  const HKEY stale = parent.Release();
  EXPECT_EQ(RegCloseKey(stale), ERROR_SUCCESS);
  EXPECT_EQ(RegCloseKey(stale), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(HKEY_LOCAL_MACHINE), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyEx(stale, "", 0, KEY_READ, key.Receive()), ERROR_INVALID_HANDLE);
}

// What a transaction changes is seen by others only at its commit; without the commit it goes,
// deletions and values set through keys opened below the transaction's keys as well.
TEST(Registry, ATransactionsChangesAppearAtItsCommitOrNotAtAll) {
  QV_SKIP_REST_UNDER_WINE("the registry's transactions (Wine makes each change on its own)");
  qv::testing::TestStateDir dir;
  {
    const RegKey doomed = CreatedKey(HKEY_LOCAL_MACHINE, "Software\\Doomed");
    ASSERT_EQ(RegSetValueEx(doomed.Get(), "v", REG_SZ, std::string("x\0", 2)), ERROR_SUCCESS);
  }
  const auto exists = [](const std::string& path) {
    RegKey key;
    return RegOpenKeyEx(HKEY_LOCAL_MACHINE, path, 0, KEY_READ, key.Receive()) == ERROR_SUCCESS;
  };
  for (const bool commit : {false, true}) {
    SCOPED_TRACE(commit ? "committed" : "not committed");
    {
      RegTransaction transaction;
      {
        RegKey software;
        ASSERT_EQ(RegOpenKeyTransacted(HKEY_LOCAL_MACHINE, "Software", 0, KEY_ALL_ACCESS, software.Receive(),
                                       transaction),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegDeleteKey(software.Get(), "Doomed"), ERROR_SUCCESS);
        RegKey made;
        ASSERT_EQ(RegCreateKeyTransacted(HKEY_LOCAL_MACHINE, "Software\\Made", 0, KEY_ALL_ACCESS,
                                         made.Receive(), nullptr, transaction),
                  ERROR_SUCCESS);
        RegKey below;
        ASSERT_EQ(RegCreateKeyEx(made.Get(), "Below", 0, KEY_ALL_ACCESS, below.Receive(), nullptr),
                  ERROR_SUCCESS);
        ASSERT_EQ(RegSetValueEx(below.Get(), "n", REG_DWORD, DwordBytes(7)), ERROR_SUCCESS);
      }
      EXPECT_TRUE(exists("Software\\Doomed"));
      EXPECT_FALSE(exists("Software\\Made"));
      if (commit) {
        EXPECT_EQ(transaction.Commit(), ERROR_SUCCESS);
      }
    }
    EXPECT_EQ(exists("Software\\Doomed"), !commit);
    EXPECT_EQ(exists("Software\\Made\\Below"), commit);
  }
}

TEST(Registry, APredefinedRootCanBeMappedToAnotherKeyAndBack) {
  qv::testing::TestStateDir dir;
  RegKey stand_in = CreatedKey(HKEY_CURRENT_USER, "Software\\Stand-in");
  CreatedKey(HKEY_LOCAL_MACHINE, "Software\\Before");
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, stand_in.Get()), ERROR_SUCCESS);
  stand_in.Close();  // the mapping holds on to the key
  CreatedKey(HKEY_LOCAL_MACHINE, "Software\\During");
  RegKey key;
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\Before", 0, KEY_READ, key.Receive()),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(
      RegOpenKeyEx(HKEY_CURRENT_USER, "Software\\Stand-in\\Software\\During", 0, KEY_READ, key.Receive()),
      ERROR_SUCCESS);
  EXPECT_EQ(RegOverridePredefKey(key.Get(), stand_in.Get()), ERROR_INVALID_PARAMETER);

  // Unmapped, the root is its own key again. Where the test's registry is itself such a mapping (the
  // system's registry), that is the system's root, which has keys of the system's own.
  ASSERT_EQ(RegOverridePredefKey(HKEY_LOCAL_MACHINE, HKEY{}), ERROR_SUCCESS);
  const std::string kept = RegistryHiveFile().empty() ? "Software\\Microsoft" : "Software\\Before";
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, kept, 0, KEY_READ, key.Receive()), ERROR_SUCCESS);
  EXPECT_EQ(RegOpenKeyEx(HKEY_LOCAL_MACHINE, "Software\\During", 0, KEY_READ, key.Receive()),
            ERROR_FILE_NOT_FOUND);
}

}  // namespace
}  // namespace qv::platform
