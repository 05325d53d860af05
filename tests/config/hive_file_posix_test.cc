// The settings and the registry classes over the Linux registry's hive file: a write-protected
// hive still gives what it holds, an unusable one stops the start naming the file.
#include <gtest/gtest.h>

#include "config/nt_registry.h"
#include "config/settings_snapshot.h"
#include "config/typed_registry.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "registry_fixture.h"

namespace qv {
namespace {

using platform::REG_DWORD;
using platform::REG_SZ;
using testing::DwordBytes;
using testing::StoredValue;
using testing::Sz;

constexpr const char* kSettings = "Software\\HOLLBERG\\Qvan";

using HiveFile = testing::RegistryTest;

TEST_F(HiveFile, TheSettingsAWriteProtectedHiveStillGivesTheStoredSettings) {
  Set(kSettings, "Port", REG_DWORD, DwordBytes(8080));
  Set(kSettings, "MaxConnections", REG_DWORD, DwordBytes(7));
  ProtectHive();
  const TWCConfig config;
  EXPECT_EQ(config.Port, 8080);
  EXPECT_EQ(config.MaxConnections, 7);
  EXPECT_EQ(config.DeckHeader, "Quorvane");  // the default, not stored
  EXPECT_EQ(ValueNames(kSettings), (std::vector<std::string>{"Port", "MaxConnections"}));
}

TEST_F(HiveFile, TheSettingsAnUnusableHiveStopsTheStartNamingTheFile) {
  ASSERT_TRUE(platform::WriteWholeFile(state_.File("registry.db"), "this is no database"));
  try {
    const TWCConfig config;
    FAIL() << "the settings were read";
  } catch (const platform::ERegistryStoreError& error) {
    EXPECT_NE(error.Message().find(state_.File("registry.db")), std::string::npos) << error.Message();
  }
}

TEST_F(HiveFile, TheApplicationsRegistryAWriteProtectedHiveGivesValuesAndDefaultsWithoutErrors) {
  TVeskRegistry vesk;
  vesk.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  vesk.KeyPath = "\\Software\\V";
  Set("Software\\V", "Port", REG_DWORD, DwordBytes(8080));
  Set("Software\\V", "Mistyped", REG_SZ, Sz("x"));
  ProtectHive();
  EXPECT_EQ(vesk.ReadIntegerDef("Port", 80), 8080);
  EXPECT_EQ(vesk.ReadStringDef("Missing", "d"), "d");
  EXPECT_EQ(vesk.ReadIntegerDef("Mistyped", 3), 3);
  EXPECT_EQ(ValueNames("Software\\V"), (std::vector<std::string>{"Port", "Mistyped"}));
  vesk.PutInteger("Port", 1);  // nothing stored, nothing raised
  EXPECT_EQ(Get("Software\\V", "Port"), (StoredValue{REG_DWORD, DwordBytes(8080)}));
  EXPECT_EQ(vesk.CurrentKey(), platform::HKEY{});

  // The multi-string write asks for full access, and reports the refusal with its code.
  const std::vector<std::string> list{"a"};
  try {
    vesk.PutStringList("List", &list);
    FAIL() << "the write was not refused";
  } catch (const EWin32Error& error) {
    EXPECT_EQ(error.ErrorCode, platform::ERROR_ACCESS_DENIED);
    EXPECT_EQ(error.Message(), "Win32 Error.  Code: 5.\nAccess is denied.");
  }
}

TEST_F(HiveFile, TheRegistryClassOpenRegKeyAsksOnlyForTheValueRights) {
  Set("Software\\Kept", "Port", REG_DWORD, DwordBytes(8080));
  ProtectHive();
  TNTRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  // Full access is refused on a write-protected hive; the value rights fall back to reading.
  EXPECT_FALSE(registry.OpenKey("\\Software\\Kept", false));
  EXPECT_FALSE(registry.KeyExists("\\Software\\Kept"));
  ASSERT_TRUE(registry.OpenRegKey("\\Software\\Kept", false));
  EXPECT_EQ(registry.ReadInteger("Port"), 8080);
  EXPECT_FALSE(registry.OpenRegKey("\\Software\\New", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\Kept");
}

}  // namespace
}  // namespace qv
