#include "config/registry_object.h"

#include <gtest/gtest.h>

#include "config/nt_registry.h"
#include "registry_fixture.h"

namespace qv {
namespace {

using platform::REG_BINARY;
using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_MULTI_SZ;
using platform::REG_SZ;
using testing::DwordBytes;
using testing::StoredValue;
using testing::Sz;

class TRegistryTest : public testing::RegistryTest {
 protected:
  // Opens "\Software\T" of HKEY_LOCAL_MACHINE as the current key.
  void OpenTestKey(TRegistry& registry) {
    registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    ASSERT_TRUE(registry.OpenKey("\\Software\\T", true));
  }

  static std::string ErrorOf(const std::function<void()>& call) {
    try {
      call();
    } catch (const ERegistryException& error) {
      EXPECT_STREQ(error.ClassName(), "ERegistryException");
      return error.Message();
    }
    return "no error";
  }
};

TEST_F(TRegistryTest, IntegerReadsCheckTheSizeBeforeTheType) {
  Set("Software\\T", "Three", REG_SZ, Sz("abc"));
  Set("Software\\T", "Four", REG_SZ, Sz("abcd"));
  Set("Software\\T", "Long", REG_DWORD, DwordBytes(1) + DwordBytes(2));
  Set("Software\\T", "Short", REG_DWORD, std::string("\x05\x01", 2));
  Set("Software\\T", "Negative", REG_DWORD, DwordBytes(0xFFFFFFFE));
  Set("Software\\T", "Seven", REG_DWORD, DwordBytes(7));
  Set("Software\\T", "Zero", REG_DWORD, DwordBytes(0));
  TRegistry registry;
  OpenTestKey(registry);
  EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("Three"); }), "Invalid data type for 'Three'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("Four"); }), "Failed to get data for 'Four'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("Long"); }), "Failed to get data for 'Long'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadInteger("Missing"); }), "Failed to get data for 'Missing'");
  EXPECT_EQ(registry.ReadInteger("Short"), 0x105);
  EXPECT_EQ(registry.ReadInteger("Negative"), -2);
  EXPECT_TRUE(registry.ReadBool("Seven"));
  EXPECT_FALSE(registry.ReadBool("Zero"));
}

TEST_F(TRegistryTest, TextReadsTakeBothStringTypesUpToTheFirstNul) {
  Set("Software\\T", "Plain", REG_SZ, std::string("one\0two\0", 8));
  Set("Software\\T", "Expand", REG_EXPAND_SZ, Sz("%TEMP%\\x"));
  Set("Software\\T", "Unterminated", REG_SZ, "abc");
  Set("Software\\T", "Number", REG_DWORD, DwordBytes(80));
  Set("Software\\T", "NoData", REG_DWORD, "");
  Set("Software\\T", "Multi", REG_MULTI_SZ, std::string("a\0\0", 3));
  TRegistry registry;
  OpenTestKey(registry);
  EXPECT_EQ(registry.ReadString("Plain"), "one");
  EXPECT_EQ(registry.ReadString("Expand"), "%TEMP%\\x");
  EXPECT_EQ(registry.ReadString("Unterminated"), "abc");
  EXPECT_EQ(registry.ReadString("Missing"), "");
  EXPECT_EQ(registry.ReadString("NoData"), "");  // no data at all: empty whatever the type
  EXPECT_EQ(ErrorOf([&] { registry.ReadString("Number"); }), "Invalid data type for 'Number'");
  EXPECT_EQ(ErrorOf([&] { registry.ReadString("Multi"); }), "Invalid data type for 'Multi'");
  EXPECT_EQ(registry.GetDataType("Expand"), TRegDataType::rdExpandString);
  EXPECT_EQ(registry.GetDataType("Multi"), TRegDataType::rdUnknown);
  EXPECT_EQ(registry.GetDataType("Missing"), TRegDataType::rdUnknown);
  EXPECT_EQ(registry.GetDataSize("Plain"), 8);
  EXPECT_EQ(registry.GetDataSize("Missing"), -1);
}

TEST_F(TRegistryTest, WritesStoreTheWindowsLayouts) {
  TRegistry registry;
  OpenTestKey(registry);
  registry.WriteString("S", "text");
  registry.WriteExpandString("E", "%PATH%");
  registry.WriteInteger("I", -2);
  registry.WriteBool("B", true);
  registry.WriteBool("F", false);
  EXPECT_EQ(Get("Software\\T", "S"), (StoredValue{REG_SZ, Sz("text")}));
  EXPECT_EQ(Get("Software\\T", "E"), (StoredValue{REG_EXPAND_SZ, Sz("%PATH%")}));
  EXPECT_EQ(Get("Software\\T", "I"), (StoredValue{REG_DWORD, DwordBytes(0xFFFFFFFE)}));
  EXPECT_EQ(Get("Software\\T", "B"), (StoredValue{REG_DWORD, DwordBytes(1)}));
  EXPECT_EQ(Get("Software\\T", "F"), (StoredValue{REG_DWORD, DwordBytes(0)}));
  EXPECT_TRUE(registry.ValueExists("s"));
  EXPECT_TRUE(registry.DeleteValue("S"));
  EXPECT_FALSE(registry.ValueExists("S"));
  EXPECT_FALSE(registry.DeleteValue("S"));

  // A refused store raises.
  registry.CloseKey();
  registry.SetAccess(platform::KEY_READ);
  ASSERT_TRUE(registry.OpenKey("\\Software\\T", false));
  EXPECT_EQ(ErrorOf([&] { registry.WriteString("S", "x"); }), "Failed to set data for 'S'");
  EXPECT_EQ(ErrorOf([&] { registry.WriteInteger("I", 1); }), "Failed to set data for 'I'");
}

TEST_F(TRegistryTest, OpenKeyKeepsTheCurrentPath) {
  TRegistry registry;
  EXPECT_EQ(registry.RootKey(), platform::HKEY_CURRENT_USER);
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(registry.OpenKey("\\Software\\A", true));
  EXPECT_EQ(registry.CurrentPath(), "Software\\A");
  ASSERT_TRUE(registry.OpenKey("B\\C", true));  // relative to the current key
  EXPECT_EQ(registry.CurrentPath(), "Software\\A\\B\\C");
  EXPECT_TRUE(KeyExists("Software\\A\\B\\C"));

  const platform::HKEY before = registry.CurrentKey();
  EXPECT_FALSE(registry.OpenKey("Missing", false));
  EXPECT_EQ(registry.CurrentKey(), before);
  EXPECT_EQ(registry.CurrentPath(), "Software\\A\\B\\C");

  ASSERT_TRUE(registry.OpenKey("\\Software", false));
  EXPECT_EQ(registry.CurrentPath(), "Software");
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);  // closes the current key
  EXPECT_EQ(registry.CurrentKey(), platform::HKEY{});
  EXPECT_EQ(registry.CurrentPath(), "");
  ASSERT_TRUE(registry.OpenKey("Software", false));  // relative, no key open: from the root
  EXPECT_EQ(registry.CurrentPath(), "Software");
  registry.CloseKey();
  registry.CloseKey();  // nothing open: nothing happens
}

TEST_F(TRegistryTest, DeleteKeyRemovesTheWholeTree) {
  Set("Software\\Tree\\A\\Deep\\Deeper", "V", REG_SZ, Sz("x"));
  Set("Software\\Tree\\B", "V", REG_SZ, Sz("x"));
  Set("Software\\Tree", "V", REG_SZ, Sz("x"));
  Set("Software\\Sibling", "V", REG_SZ, Sz("x"));
  TRegistry registry;
  registry.SetRootKey(platform::HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(registry.KeyExists("\\Software\\Tree\\A"));
  ASSERT_TRUE(registry.OpenKey("Software", false));
  EXPECT_TRUE(registry.KeyExists("tree"));  // relative to the current key
  EXPECT_TRUE(registry.DeleteKey("TREE"));
  EXPECT_FALSE(KeyExists("Software\\Tree"));
  EXPECT_FALSE(registry.KeyExists("Tree"));
  EXPECT_TRUE(KeyExists("Software\\Sibling"));
  EXPECT_FALSE(registry.DeleteKey("Tree"));
  EXPECT_EQ(registry.GetKeyNames(), std::vector<std::string>{"Sibling"});
}

}  // namespace
}  // namespace qv
