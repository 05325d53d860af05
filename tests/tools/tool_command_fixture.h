// Shared by the tests of the administrator's commands: a command run in this process with standard
// streams of the test's own, and the shape of a failure's report.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

#include "tools/qvanctl.h"

namespace qv::tools {

class ToolCommandTest : public ::testing::Test {
 protected:
  // The streams emptied, with the given standard input; what a command is handed.
  ToolStreams FreshStreams(const std::string& input = "") {
    in_.str(input);
    in_.clear();
    out_.str("");
    err_.str("");
    return ToolStreams{in_, out_, err_};
  }

  // Through the tool's dispatcher, as the program runs it.
  int RunTool(const std::vector<std::string>& args, const std::string& input = "") {
    ToolStreams io = FreshStreams(input);
    return RunQvanctl(args, io);
  }

  // A failure is told in one line on the error stream, after "qvanctl <command>: ", and nothing
  // on the output.
  void ExpectOneLineError(const std::string& command, const std::string& part) {
    const std::string text = err_.str();
    EXPECT_NE(text.find(part), std::string::npos) << text;
    EXPECT_EQ(text.rfind("qvanctl " + command + ": ", 0), 0u) << text;
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
    EXPECT_TRUE(text.ends_with('\n')) << text;
    EXPECT_EQ(out_.str(), "");
  }

  std::istringstream in_;
  std::ostringstream out_;
  std::ostringstream err_;
};

}  // namespace qv::tools
