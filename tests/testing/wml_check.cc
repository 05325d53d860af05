#include "testing/wml_check.h"

#include "platform/files/file_system.h"
#include "testing/e2e_script.h"

namespace qv::testing {

namespace {

constexpr uint32_t kAccepted = 0;
constexpr uint32_t kRefused = 3;

// The encoding named by the deck's XML declaration; empty when it names none.
std::string DeclaredEncoding(std::string_view deck) {
  if (deck.substr(0, 5) != "<?xml") return {};
  const std::string_view declaration = deck.substr(0, deck.find("?>"));
  const size_t start = declaration.find("encoding=");
  if (start == std::string_view::npos || start + 10 > declaration.size()) return {};
  const char quote = declaration[start + 9];
  const size_t end = declaration.find(quote, start + 10);
  if (end == std::string_view::npos) return {};
  return std::string(declaration.substr(start + 10, end - start - 10));
}

}  // namespace

WmlCheck CheckWmlDeck(std::string_view deck) {
  const std::string directory = platform::CreateTemporaryDirectory("qvwml-");
  const std::string source = directory + "/deck.wml", output = directory + "/deck.wmlc";
  WmlCheck result;
  try {
    if (!platform::WriteWholeFile(source, std::string(deck)))
      throw EWapHarnessError("Cannot write " + source);
    std::vector<std::string> arguments = {"compile", source, output};
    if (const std::string charset = DeclaredEncoding(deck); !charset.empty()) arguments.push_back(charset);
    const uint32_t exit_code = RunE2eScript("wap-gateway", arguments);
    if (exit_code != kAccepted && exit_code != kRefused) {
      throw EWapHarnessError("The WML compiler did not run (exit code " + std::to_string(exit_code) + ")");
    }
    result.accepted = exit_code == kAccepted;
    platform::ReadWholeFile(output, &result.wbxml);
    for (const auto& [key, value] : ReadReport(output + ".report")) {
      if (key == "compiler") result.messages.push_back(value);
    }
  } catch (...) {
    platform::DeleteTree(directory);
    throw;
  }
  platform::DeleteTree(directory);
  return result;
}

}  // namespace qv::testing
