// Values under the service's key judged against the settings table, as quorvane --check and qvanctl
// reg add judge them, and the settings the service would run with.
#include "config/settings_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "registry_fixture.h"

namespace qv {
namespace {

using platform::REG_BINARY;
using platform::REG_DWORD;
using platform::REG_EXPAND_SZ;
using platform::REG_SZ;
using testing::DwordBytes;
using ::testing::ElementsAre;
using ::testing::Optional;
using testing::Sz;

constexpr const char* kSettings = "Software\\HOLLBERG\\Qvan";

RegistryValue Value(const std::string& name, uint32_t type, const std::string& data) {
  return RegistryValue{name, type, data};
}

const SettingInEffect& Find(const std::vector<SettingInEffect>& settings, std::string_view name) {
  for (const SettingInEffect& setting : settings)
    if (setting.row->name == name) return setting;
  throw std::logic_error("missing " + std::string(name));
}

TEST(SettingValueProblem, NamesWhatTheServiceWouldRefuseReplaceOrIgnore) {
  EXPECT_EQ(SettingValueProblem(Value("Port", REG_DWORD, DwordBytes(8080))), std::nullopt);
  EXPECT_EQ(SettingValueProblem(Value("port", REG_DWORD, DwordBytes(8080))), std::nullopt);
  EXPECT_EQ(SettingValueProblem(Value("CharSet", REG_EXPAND_SZ, Sz("utf-8"))), std::nullopt);
  EXPECT_EQ(SettingValueProblem(Value("TraceDetailness", REG_DWORD, DwordBytes(3))), std::nullopt);

  EXPECT_THAT(SettingValueProblem(Value("Prot", REG_DWORD, DwordBytes(8080))),
              Optional(std::string("\"Prot\" is no setting of the service (Port was meant?)")));
  EXPECT_THAT(SettingValueProblem(Value("Colour", REG_SZ, Sz("red"))),
              Optional(std::string("\"Colour\" is no setting of the service")));
  EXPECT_THAT(
      SettingValueProblem(Value("TraceDetailness", REG_SZ, Sz("2"))),
      Optional(std::string("TraceDetailness is REG_SZ but must be REG_DWORD: the service does not start")));
  EXPECT_THAT(SettingValueProblem(Value("Port", REG_SZ, Sz("8080"))),
              Optional(std::string("Port is REG_SZ but must be REG_DWORD: the service replaces it with its "
                                   "default 80")));
  // A written-back text takes REG_SZ alone.
  EXPECT_THAT(SettingValueProblem(Value("DeckHeader", REG_EXPAND_SZ, Sz("x"))),
              Optional(::testing::StartsWith("DeckHeader is REG_EXPAND_SZ but must be REG_SZ: the service "
                                             "replaces it with its default \"Quorvane\"")));
  EXPECT_THAT(SettingValueProblem(Value("Port", REG_DWORD, DwordBytes(0))),
              Optional(std::string("Port is 0, outside 1 to 65535")));
  EXPECT_THAT(SettingValueProblem(Value("ServerTimeOut", REG_DWORD, DwordBytes(0xFFFFFFFF))),
              Optional(std::string("ServerTimeOut is -1, outside 1 to 3600000")));
  EXPECT_THAT(SettingValueProblem(Value("MaxConnections", REG_DWORD, "\x01\x02")),
              Optional(std::string("MaxConnections is no four-byte REG_DWORD: the service does not start")));
}

TEST(SettingMeantBy, SuggestsOnlyAnUnambiguousNearName) {
  EXPECT_EQ(SettingMeantBy("tracedetailnes")->name, "TraceDetailness");
  EXPECT_EQ(SettingMeantBy("Logfile")->name, "LogFile");
  EXPECT_EQ(SettingMeantBy("Prot")->name, "Port");
  EXPECT_EQ(SettingMeantBy("Colour"), nullptr);
}

TEST(SettingsInEffect, TakesStoredValuesAndDefaultsAndMarksWhatTheServiceCannotUse) {
  const std::vector<SettingInEffect> settings = SettingsInEffect({
      Value("Port", REG_DWORD, DwordBytes(8080)),
      Value("DeckHeader", REG_BINARY, "\x01"),
      Value("TraceDetailness", REG_SZ, Sz("2")),
      Value("CharSet", REG_EXPAND_SZ, Sz("utf-8")),
  });
  ASSERT_EQ(settings.size(), SettingsTable().size());
  EXPECT_EQ(ShownValue(Find(settings, "Port")), "8080");
  EXPECT_EQ(ShownValue(Find(settings, "DeckHeader")), "\"Quorvane\" (default)");
  EXPECT_EQ(ShownValue(Find(settings, "TraceDetailness")), "(unusable)");
  EXPECT_EQ(ShownValue(Find(settings, "CharSet")), "\"utf-8\"");
  EXPECT_EQ(ShownValue(Find(settings, "MaxConnections")), "20 (default)");
  EXPECT_EQ(Find(settings, "MaxConnections").number, 20);
  EXPECT_EQ(Find(settings, "CharSet").text, "utf-8");
}

class ReadServiceSettingValuesTest : public testing::RegistryTest {};

TEST_F(ReadServiceSettingValuesTest, ReadsEveryValueOfTheKeyAndWritesNothing) {
  EXPECT_TRUE(ReadServiceSettingValues().empty());
  EXPECT_FALSE(KeyExists(kSettings));
  Set(kSettings, "Port", REG_DWORD, DwordBytes(8080));
  Set(kSettings, "Prot", REG_SZ, Sz("x"));
  std::vector<std::string> names;
  for (const RegistryValue& value : ReadServiceSettingValues()) names.push_back(value.name);
  EXPECT_THAT(names, ::testing::UnorderedElementsAre("Port", "Prot"));
  EXPECT_EQ(ValueNames(kSettings).size(), 2u);
}

}  // namespace
}  // namespace qv
