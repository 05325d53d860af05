#include "tools/tool_command.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>
#include <stdexcept>

namespace qv::tools {
namespace {

using Args = std::vector<std::string>;

constexpr const char* kHelp = "Usage: demo list | fail | refuse\n";

// A command whose operations note what they were given, fail or refuse as told.
class ToolCommandTest : public ::testing::Test {
 protected:
  ToolCommand Command(OptionSpelling spelling) {
    const auto record = [this](const ToolArguments& arguments, ToolStreams& io) {
      ran_ = arguments.Positional();
      if (arguments.Has("--all") || arguments.Has("/a")) ran_->push_back("all");
      io.out << "listed\n";
      return 0;
    };
    return {
        "qvanctl demo",
        kHelp,
        "action",
        spelling,
        {{"list", {{"--all", "/a"}, {}}, record},
         {"fail",
          {},
          [](const ToolArguments& arguments, ToolStreams&) -> int {
            if (arguments.Positional().empty()) throw EToolFailure("the disk\r\nis full");
            throw std::runtime_error("out of luck");
          }},
         {"refuse", {}, [](const ToolArguments&, ToolStreams&) -> int { throw EUsageError("bad\nnews"); }},
         {"search", {}, [](const ToolArguments&, ToolStreams&) { return 1; }}}};
  }

  int Run(const Args& args, OptionSpelling spelling = OptionSpelling::kDashes) {
    out_.str("");
    err_.str("");
    ToolStreams io{in_, out_, err_};
    return RunToolCommand(Command(spelling), args, io);
  }

  std::optional<Args> ran_;
  std::istringstream in_;
  std::ostringstream out_;
  std::ostringstream err_;
};

TEST_F(ToolCommandTest, RunsTheNamedOperationWithItsArguments) {
  EXPECT_EQ(Run({"list", "a", "--all", "b"}), 0);
  EXPECT_EQ(ran_, (Args{"a", "b", "all"}));
  EXPECT_EQ(out_.str(), "listed\n");
  EXPECT_EQ(err_.str(), "");
  // An operation's own exit code passes through untouched.
  EXPECT_EQ(Run({"search"}), 1);
  EXPECT_EQ(err_.str(), "");
}

TEST_F(ToolCommandTest, UsageMistakesExitWithTwoInOneLineWithTheHint) {
  const std::string hint = " (try qvanctl demo --help)\n";
  EXPECT_EQ(Run({}), 2);
  EXPECT_EQ(err_.str(), "qvanctl demo: no action given; expected list, fail, refuse or search" + hint);
  EXPECT_EQ(Run({"LIST"}), 2);
  EXPECT_EQ(err_.str(),
            "qvanctl demo: unknown action \"LIST\"; expected list, fail, refuse or search" + hint);
  EXPECT_EQ(Run({"list", "--colour"}), 2);
  EXPECT_EQ(err_.str(), "qvanctl demo: unknown option \"--colour\"" + hint);
  EXPECT_EQ(Run({"fail", "--all"}), 2);  // an option of another operation
  EXPECT_EQ(err_.str(), "qvanctl demo: unknown option \"--all\"" + hint);
  EXPECT_EQ(Run({"refuse"}), 2);
  EXPECT_EQ(err_.str(), "qvanctl demo: bad news" + hint);
  EXPECT_EQ(out_.str(), "");
  EXPECT_FALSE(ran_);
}

TEST_F(ToolCommandTest, FailuresExitWithOneInOneLine) {
  EXPECT_EQ(Run({"fail"}), 1);
  EXPECT_EQ(err_.str(), "qvanctl demo: the disk  is full\n");
  EXPECT_EQ(Run({"fail", "anything"}), 1);
  EXPECT_EQ(err_.str(), "qvanctl demo: out of luck\n");
  EXPECT_EQ(out_.str(), "");
}

TEST_F(ToolCommandTest, HelpInFirstPlaceOrAmongTheOptionsShowsTheHelpText) {
  for (const Args& args :
       {Args{"--help"}, Args{"-h"}, Args{"help"}, Args{"list", "x", "--help"}, Args{"fail", "-h"}}) {
    EXPECT_EQ(Run(args), 0) << args.back();
    EXPECT_EQ(out_.str(), kHelp) << args.back();
    EXPECT_EQ(err_.str(), "");
  }
  EXPECT_FALSE(ran_);
  EXPECT_EQ(Run({"/?"}, OptionSpelling::kWindows), 0);
  EXPECT_EQ(out_.str(), kHelp);
  // After "--" a help word is an argument.
  EXPECT_EQ(Run({"list", "--", "--help"}), 0);
  EXPECT_EQ(ran_, Args{"--help"});
}

TEST_F(ToolCommandTest, TheWindowsSpellingTakesOperationsAndOptionsInAnyCase) {
  EXPECT_EQ(Run({"LiSt", "-A", "/data"}, OptionSpelling::kWindows), 0);
  EXPECT_EQ(ran_, (Args{"/data", "all"}));
  EXPECT_EQ(Run({"Frob"}, OptionSpelling::kWindows), 2);
  EXPECT_EQ(err_.str(),
            "qvanctl demo: unknown action \"Frob\"; expected list, fail, refuse or search (try qvanctl demo "
            "--help)\n");
}

}  // namespace
}  // namespace qv::tools
