// The administrator's tool: one program with subcommands (reg, events, account, mailbox, calendar, sc).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace qv::tools {

// The streams a subcommand reads and writes; tests pass string streams.
struct ToolStreams {
  std::istream& in;
  std::ostream& out;
  std::ostream& err;
};

// A subcommand's entry: its arguments after the subcommand's name. Returns the exit code: 0 on
// success, non-zero after a one-line message on err.
using SubcommandMain = int (*)(const std::vector<std::string>& args, ToolStreams& io);

struct Subcommand {
  const char* name;
  const char* summary;
  SubcommandMain run;
};

// The subcommands the tool offers, in the order the usage text lists them.
const std::vector<Subcommand>& Subcommands();

// Runs the tool with its arguments (the program name left out).
int RunQvanctl(const std::vector<std::string>& args, ToolStreams& io);

}  // namespace qv::tools
