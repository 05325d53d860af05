#include "phone/phone_options.h"

#include <charconv>

#include "phone/phone_error.h"
#include "phone/service_url.h"
#include "tools/tool_arguments.h"

namespace qv::phone {

namespace {

// A whole decimal number from minimum to maximum, nothing else; none otherwise.
std::optional<int64_t> Number(std::string_view text, int64_t minimum, int64_t maximum) {
  int64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < minimum ||
      value > maximum)
    return std::nullopt;
  return value;
}

bool IsDottedAddress(std::string_view text) {
  for (int part = 0; part < 4; ++part) {
    const size_t dot = part < 3 ? text.find('.') : text.size();
    if (dot == std::string_view::npos || !Number(text.substr(0, dot), 0, 255)) return false;
    text.remove_prefix(std::min(dot + 1, text.size()));
  }
  return true;
}

void ReadListen(const std::string& value, PhoneOptions& options) {
  const size_t colon = value.rfind(':');
  const std::optional<int64_t> port =
      colon == std::string::npos ? std::nullopt : Number(value.substr(colon + 1), 0, 65535);
  if (!port || !IsDottedAddress(std::string_view(value).substr(0, colon)))
    throw tools::EUsageError("--listen takes a dotted IPv4 address and a port, such as 127.0.0.1:8081");
  options.listen_address = value.substr(0, colon);
  options.listen_port = static_cast<uint16_t>(*port);
}

}  // namespace

PhoneOptions ReadPhoneOptions(const std::vector<std::string>& args) {
  const tools::ToolArguments arguments(
      args, tools::ToolOptions{{"--version"}, {"--listen", "--service", "--max-pdu"}},
      tools::OptionSpelling::kDashes);
  PhoneOptions options;
  options.help = arguments.HelpAsked();
  options.version = arguments.Has("--version");
  if (options.help || options.version) return options;
  arguments.Positional(0, 0, "quorvane-phone takes options only");
  if (const auto listen = arguments.Value("--listen")) ReadListen(*listen, options);
  if (const auto service = arguments.Value("--service")) {
    try {
      options.service = ServiceUrl(*service).Text();
    } catch (const EServiceUrlError& error) {
      throw tools::EUsageError(error.Message());
    }
  }
  if (const auto max_pdu = arguments.Value("--max-pdu")) {
    const std::optional<int64_t> value = Number(*max_pdu, 1, INT32_MAX);
    if (!value) throw tools::EUsageError("--max-pdu takes a whole number of bytes from 1 to 2147483647");
    options.max_pdu = static_cast<int32_t>(*value);
  }
  return options;
}

}  // namespace qv::phone
