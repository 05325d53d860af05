#include "tools/tool_arguments.h"

#include <gtest/gtest.h>

#include <functional>

namespace qv::tools {
namespace {

using Args = std::vector<std::string>;

// The options of a list-like operation (dashes) and of a reg-like one (Windows spelling).
const ToolOptions kDashOptions{{"--json"}, {"--source", "-n", "--since"}};
const ToolOptions kWindowsOptions{{"/f", "/ve"}, {"/v", "/d"}};

ToolArguments Dashes(const Args& args) {
  return ToolArguments(args, kDashOptions, OptionSpelling::kDashes);
}

ToolArguments Windows(const Args& args) {
  return ToolArguments(args, kWindowsOptions, OptionSpelling::kWindows);
}

// The message of the usage error the call raises; "" when it raises none.
std::string UsageMessage(const std::function<void()>& call) {
  try {
    call();
  } catch (const EUsageError& error) {
    return error.Message();
  }
  return "";
}

std::string Refusal(const Args& args, OptionSpelling spelling) {
  return UsageMessage([&] {
    ToolArguments(args, spelling == OptionSpelling::kDashes ? kDashOptions : kWindowsOptions, spelling);
  });
}

TEST(ToolArguments, DashesTakeValuesInEveryFormAndKeepPositionalsInOrder) {
  const ToolArguments arguments =
      Dashes({"first", "--source", "Qvan", "second", "-n=20", "--json", "--since", "-1h", "-", "third"});
  EXPECT_EQ(arguments.Value("--source"), "Qvan");
  EXPECT_EQ(arguments.Value("-n"), "20");
  EXPECT_EQ(arguments.Value("--since"), "-1h");  // a value may begin with a dash
  EXPECT_TRUE(arguments.Has("--json"));
  EXPECT_EQ(arguments.Value("--json"), "");
  EXPECT_EQ(arguments.Positional(), (Args{"first", "second", "-", "third"}));
  EXPECT_FALSE(arguments.HelpAsked());

  const ToolArguments attached = Dashes({"--source=a=b", "-n", "5"});
  EXPECT_EQ(attached.Value("--source"), "a=b");
  EXPECT_EQ(attached.Value("-n"), "5");
  EXPECT_EQ(Dashes({"--source="}).Value("--source"), "");
  EXPECT_FALSE(Dashes({"x=y"}).Has("x"));
  EXPECT_EQ(Dashes({"x=y"}).Positional(), Args{"x=y"});
  EXPECT_EQ(Dashes({}).Value("--source"), std::nullopt);
}

TEST(ToolArguments, DoubleDashEndsTheOptions) {
  const ToolArguments arguments = Dashes({"--json", "--", "--source", "x", "-n", "--help", "--", "--colour"});
  EXPECT_TRUE(arguments.Has("--json"));
  EXPECT_FALSE(arguments.Has("--source"));
  EXPECT_FALSE(arguments.HelpAsked());
  EXPECT_EQ(arguments.Positional(), (Args{"--source", "x", "-n", "--help", "--", "--colour"}));
  // Under the Windows spelling "--" is an argument like any other, and options go on after it.
  const ToolArguments windows = Windows({"--", "/f"});
  EXPECT_EQ(windows.Positional(), Args{"--"});
  EXPECT_TRUE(windows.Has("/f"));
}

TEST(ToolArguments, DashesRefuseUnknownRepeatedAndIncompleteOptionsWithOneMessage) {
  const auto refusal = [](const Args& args) { return Refusal(args, OptionSpelling::kDashes); };
  EXPECT_EQ(refusal({"--colour"}), "unknown option \"--colour\"");
  EXPECT_EQ(refusal({"--JSON"}), "unknown option \"--JSON\"");  // letter case counts
  EXPECT_EQ(refusal({"-x", "--colour"}), "unknown option \"-x\"");
  EXPECT_EQ(refusal({"--source", "a", "--source", "b"}), "--source is given twice");
  EXPECT_EQ(refusal({"--source=a", "--source", "a"}), "--source is given twice");
  EXPECT_EQ(refusal({"--json", "--json"}), "--json is given twice");
  EXPECT_EQ(refusal({"-n"}), "-n needs a value");
  EXPECT_EQ(refusal({"x", "--source"}), "--source needs a value");
  EXPECT_EQ(refusal({"--json=yes"}), "--json takes no value");
}

TEST(ToolArguments, WindowsSpellingTakesSlashOrDashInAnyCaseAndLeavesOtherWordsPositional) {
  const ToolArguments arguments =
      Windows({"HKLM\\Software", "/V", "Port", "-d", "/data", "-F", "/tmp/qvan.reg", "-x", "/v=x"});
  EXPECT_EQ(arguments.Value("/v"), "Port");
  EXPECT_EQ(arguments.Value("/d"), "/data");
  EXPECT_TRUE(arguments.Has("/f"));
  EXPECT_FALSE(arguments.Has("/ve"));
  EXPECT_EQ(arguments.Positional(), (Args{"HKLM\\Software", "/tmp/qvan.reg", "-x", "/v=x"}));

  const auto refusal = [](const Args& args) { return Refusal(args, OptionSpelling::kWindows); };
  EXPECT_EQ(refusal({"/v", "a", "-V", "b"}), "/v is given twice");
  EXPECT_EQ(refusal({"/F", "-f"}), "/f is given twice");
  EXPECT_EQ(refusal({"key", "-V"}), "/v needs a value");
  EXPECT_EQ(refusal({"/colour", "-x"}), "");
}

TEST(ToolArguments, HelpAmongTheOptionsStopsTheReading) {
  for (const Args& args : {Args{"--help"}, Args{"x", "-h"}, Args{"-n", "1", "--help", "--colour", "-n"}}) {
    const ToolArguments arguments = Dashes(args);
    EXPECT_TRUE(arguments.HelpAsked()) << args.size();
  }
  EXPECT_TRUE(Windows({"key", "/?", "/v"}).HelpAsked());
  EXPECT_TRUE(Windows({"--help"}).HelpAsked());
  // "/?" is a positional argument to the dashes; an option's value is never a help request.
  EXPECT_FALSE(Dashes({"/?"}).HelpAsked());
  const ToolArguments value = Dashes({"--source", "--help"});
  EXPECT_FALSE(value.HelpAsked());
  EXPECT_EQ(value.Value("--source"), "--help");
  // A mistake before the help request is still told.
  EXPECT_EQ(Refusal({"--colour", "--help"}, OptionSpelling::kDashes), "unknown option \"--colour\"");
}

TEST(ToolArguments, CountsPositionalsAndRequiredOptionsWithTheCallersMessage) {
  const ToolArguments arguments = Dashes({"a", "b", "--json"});
  EXPECT_EQ(arguments.Positional(2, 2, "unused"), (Args{"a", "b"}));
  EXPECT_EQ(arguments.Positional(1, 3, "unused").size(), 2u);
  const auto refusal = [&arguments](size_t minimum, size_t maximum) {
    return UsageMessage([&] { arguments.Positional(minimum, maximum, "takes a mailbox and a file"); });
  };
  EXPECT_EQ(refusal(3, 3), "takes a mailbox and a file");
  EXPECT_EQ(refusal(0, 1), "takes a mailbox and a file");
  EXPECT_EQ(refusal(0, 2), "");

  EXPECT_EQ(Dashes({"--source", "Qvan"}).Required("--source"), "Qvan");
  EXPECT_EQ(UsageMessage([&] { arguments.Required("--source"); }), "--source is missing");
}

}  // namespace
}  // namespace qv::tools
