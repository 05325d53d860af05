// The command line of quorvane-phone: [--listen ADDR:PORT] [--service URL] [--max-pdu N].
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace qv::phone {

struct PhoneOptions {
  bool help = false;
  bool version = false;
  std::string listen_address = "127.0.0.1";
  uint16_t listen_port = 8081;
  std::string service = "http://127.0.0.1:8080/";
  int32_t max_pdu = 1400;
};

// Raises tools::EUsageError for an unknown option, a value that is no dotted IPv4 address and port,
// no http or https URL, or no whole number from 1 to 2147483647.
PhoneOptions ReadPhoneOptions(const std::vector<std::string>& args);

}  // namespace qv::phone
