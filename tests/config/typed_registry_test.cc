#include "config/typed_registry.h"

#include <gtest/gtest.h>

#include "registry_fixture.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_MULTI_SZ;
using platform::REG_SZ;
using testing::DwordBytes;
using testing::StoredValue;
using testing::Sz;

class TVeskRegistryTest : public testing::RegistryTest {
 protected:
  TVeskRegistryTest() {
    registry_.SetRootKey(platform::HKEY_LOCAL_MACHINE);
    registry_.KeyPath = "\\Software\\V";
  }
  TVeskRegistry registry_;
};

TEST_F(TVeskRegistryTest, AMissingValueGivesAndStoresTheDefault) {
  EXPECT_TRUE(registry_.WriteDefaults);
  EXPECT_EQ(registry_.ReadIntegerDef("Port", 80), 80);
  EXPECT_EQ(Get("Software\\V", "Port"), (StoredValue{REG_DWORD, DwordBytes(80)}));
  EXPECT_EQ(registry_.ReadStringDef("Header", "Quorvane"), "Quorvane");
  EXPECT_EQ(Get("Software\\V", "Header"), (StoredValue{REG_SZ, Sz("Quorvane")}));
  EXPECT_FALSE(registry_.ReadBoolDef("Off", false));
  EXPECT_EQ(Get("Software\\V", "Off"), (StoredValue{REG_DWORD, DwordBytes(0)}));
  EXPECT_EQ(registry_.CurrentKey(), platform::HKEY{});

  // Once stored, the value is read, not the default.
  EXPECT_EQ(registry_.ReadIntegerDef("Port", 81), 80);
  EXPECT_EQ(registry_.ReadStringDef("Header", "Other"), "Quorvane");
  EXPECT_EQ(registry_.CurrentKey(), platform::HKEY{});
}

TEST_F(TVeskRegistryTest, AMistypedValueIsReplacedByTheDefault) {
  Set("Software\\V", "Text", REG_DWORD, DwordBytes(5));
  Set("Software\\V", "Expand", REG_EXPAND_SZ, Sz("%X%"));
  Set("Software\\V", "Number", REG_SZ, Sz("80"));
  Set("Software\\V", "Seven", REG_DWORD, DwordBytes(7));
  EXPECT_EQ(registry_.ReadStringDef("Text", "default"), "default");
  EXPECT_EQ(Get("Software\\V", "Text"), (StoredValue{REG_SZ, Sz("default")}));
  EXPECT_EQ(registry_.ReadStringDef("Expand", "plain"), "plain");
  EXPECT_EQ(Get("Software\\V", "Expand"), (StoredValue{REG_SZ, Sz("plain")}));
  EXPECT_EQ(registry_.ReadIntegerDef("Number", 80), 80);
  EXPECT_EQ(Get("Software\\V", "Number"), (StoredValue{REG_DWORD, DwordBytes(80)}));
  EXPECT_TRUE(registry_.ReadBoolDef("Seven", false));
  EXPECT_EQ(Get("Software\\V", "Seven"), (StoredValue{REG_DWORD, DwordBytes(7)}));
}

TEST_F(TVeskRegistryTest, WithoutWriteDefaultsTheRegistryStaysAsItIs) {
  registry_.WriteDefaults = false;
  EXPECT_EQ(registry_.ReadIntegerDef("Port", 80), 80);
  EXPECT_FALSE(KeyExists("Software\\V"));
  Set("Software\\V", "Number", REG_SZ, Sz("80"));
  EXPECT_EQ(registry_.ReadIntegerDef("Number", 81), 81);
  EXPECT_EQ(Get("Software\\V", "Number"), (StoredValue{REG_SZ, Sz("80")}));
  std::vector<std::string> list{"x"};
  registry_.ReadStringListDef("Number", &list);
  EXPECT_EQ(list, std::vector<std::string>{"x"});
  EXPECT_EQ(ValueNames("Software\\V"), std::vector<std::string>{"Number"});
}

TEST_F(TVeskRegistryTest, KeyPathIsRelativeWithoutItsBackslash) {
  registry_.KeyPath = "Software\\Relative";
  registry_.PutInteger("A", 1);
  EXPECT_EQ(Get("Software\\Relative", "A"), (StoredValue{REG_DWORD, DwordBytes(1)}));
  // With a key open, a relative path continues from it.
  ASSERT_TRUE(registry_.OpenRegKey("\\Software", false));
  ASSERT_TRUE(registry_.OpenRegKey("Relative", false));
  EXPECT_EQ(registry_.CurrentPath(), "Software\\Relative");
  registry_.CloseKey();
  registry_.PutBool("B", true);
  EXPECT_EQ(Get("Software\\Relative", "B"), (StoredValue{REG_DWORD, DwordBytes(1)}));
  registry_.PutString("C", "c");
  EXPECT_EQ(Get("Software\\Relative", "C"), (StoredValue{REG_SZ, Sz("c")}));
}

TEST_F(TVeskRegistryTest, PacksAndUnpacksMultiStrings) {
  const std::vector<std::string> strings{"a", "", "b"};
  EXPECT_EQ(TVeskRegistry::PackStrings(&strings), std::string("a\0b\0\0", 5));
  const std::vector<std::string> none;
  EXPECT_EQ(TVeskRegistry::PackStrings(&none), std::string(1, '\0'));
  const std::vector<std::string> empties{"", ""};
  EXPECT_EQ(TVeskRegistry::PackStrings(&empties), std::string(1, '\0'));

  std::vector<std::string> list{"old"};
  const std::string stops_at_empty("a\0\0b\0\0", 6);
  TVeskRegistry::UnpackStrings(&stops_at_empty, &list);
  EXPECT_EQ(list, std::vector<std::string>{"a"});
  const std::string unterminated("ab\0cd", 5);  // ends with the buffer, nothing read past it
  TVeskRegistry::UnpackStrings(&unterminated, &list);
  EXPECT_EQ(list, (std::vector<std::string>{"ab", "cd"}));
  TVeskRegistry::UnpackStrings(nullptr, &list);
  EXPECT_TRUE(list.empty());
  EXPECT_THROW(TVeskRegistry::PackStrings(nullptr), EAssertionFailed);
  EXPECT_THROW(TVeskRegistry::UnpackStrings(&unterminated, nullptr), EAssertionFailed);
}

TEST_F(TVeskRegistryTest, StringListsReadStoreAndDefault) {
  std::vector<std::string> list{"one", "two"};
  registry_.ReadStringListDef("Missing", &list);
  EXPECT_EQ(list, (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(Get("Software\\V", "Missing"), (StoredValue{REG_MULTI_SZ, std::string("one\0two\0\0", 9)}));

  Set("Software\\V", "Stored", REG_MULTI_SZ, std::string("x\0y\0z", 5));
  registry_.ReadStringListDef("Stored", &list);
  EXPECT_EQ(list, (std::vector<std::string>{"x", "y", "z"}));

  Set("Software\\V", "NoData", REG_MULTI_SZ, "");
  registry_.ReadStringListDef("NoData", &list);
  EXPECT_TRUE(list.empty());

  Set("Software\\V", "Mistyped", REG_SZ, Sz("s"));
  list = {"d"};
  registry_.ReadStringListDef("Mistyped", &list);
  EXPECT_EQ(list, std::vector<std::string>{"d"});
  EXPECT_EQ(Get("Software\\V", "Mistyped"), (StoredValue{REG_MULTI_SZ, std::string("d\0\0", 3)}));
  EXPECT_EQ(registry_.CurrentKey(), platform::HKEY{});

  // Stored below the root key even while another key is current.
  ASSERT_TRUE(registry_.OpenRegKey("\\Software", false));
  registry_.KeyPath = "Lists";
  const std::vector<std::string> put{"p"};
  registry_.PutStringList("L", &put);
  EXPECT_EQ(Get("Lists", "L"), (StoredValue{REG_MULTI_SZ, std::string("p\0\0", 3)}));
  EXPECT_FALSE(KeyExists("Software\\Lists"));
}

TEST_F(TVeskRegistryTest, ARefusedWriteBackRaisesAndLeavesNoKeyOpen) {
  // The key opens for writing, but a value name of more than 16383 characters cannot be stored.
  const std::string name(16384, 'n');
  try {
    registry_.ReadIntegerDef(name, 1);
    FAIL() << "the write-back was not refused";
  } catch (const ERegistryException& error) {
    EXPECT_EQ(error.Message(), "Failed to set data for '" + name + "'");
  }
  EXPECT_EQ(registry_.CurrentKey(), platform::HKEY{});
}

EWin32Error Raised(uint32_t code) {
  try {
    RaiseWin32Error(code);
  } catch (const EWin32Error& error) {
    return error;
  }
  return EWin32Error("nothing raised", 0xFFFFFFFF);
}

TEST(RaiseWin32Error, GivesTheCodeAndItsText) {
  const EWin32Error error = Raised(2);
  if (!qv::testing::SkipUnderWine("the system's text of error 2 (Wine's texts are its own)")) {
    EXPECT_EQ(error.Message(), "Win32 Error.  Code: 2.\nThe system cannot find the file specified.");
  }
  EXPECT_EQ(error.ErrorCode, 2u);
  EXPECT_EQ(Raised(0).Message(), "A Win32 API function failed");
}

}  // namespace
}  // namespace qv
