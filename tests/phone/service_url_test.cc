// The service's URL, the targets of its links and the viewer's command line.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sstream>

#include "phone/phone_error.h"
#include "phone/phone_options.h"
#include "phone/phone_program.h"
#include "phone/service_url.h"
#include "platform/sockets/tcp_socket.h"
#include "tools/tool_arguments.h"

namespace qv::phone {
namespace {

using ::testing::HasSubstr;

std::string Mirrored(const ServiceUrl& service, const Query& page, std::string_view href) {
  const LinkTarget target = service.Resolve(page, href);
  return target.inside ? ViewerAddress(target.query) : "outside " + target.url;
}

TEST(ServiceUrl, LinksThatStayWithinTheServiceMapOntoTheViewersAddresses) {
  const ServiceUrl service("HTTP://LocalHost:8080/wap/deck");
  EXPECT_EQ(service.Text(), "http://LocalHost:8080/wap/deck");
  EXPECT_EQ(Mirrored(service, "a=1", "?U=x&P=y&"), "/?U=x&P=y&");
  EXPECT_EQ(Mirrored(service, "a=1", "?"), "/?");
  EXPECT_EQ(Mirrored(service, "a=1", "deck?b=2#card"), "/?b=2");
  EXPECT_EQ(Mirrored(service, "a=1", "http://LOCALHOST:8080/wap/deck"), "/");
  EXPECT_EQ(Mirrored(service, std::nullopt, "?q=a b\"<>"), "/?q=a%20b%22%3C%3E");
  EXPECT_EQ(Mirrored(service, "a=1", "other?b=2"), "outside http://LocalHost:8080/wap/other?b=2");
  EXPECT_EQ(Mirrored(service, "a=1", "https://localhost:8080/wap/deck"),
            "outside https://localhost:8080/wap/deck");
  EXPECT_EQ(Mirrored(service, "a=1", "http://localhost:8081/wap/deck"),
            "outside http://localhost:8081/wap/deck");
  EXPECT_EQ(Mirrored(service, "a=1", "javascript:alert(1)").substr(0, 8), "outside ");

  EXPECT_EQ(ServiceUrl("http://127.0.0.1:8080").WithQuery("U=%41 b"), "http://127.0.0.1:8080/?U=%41%20b");
  for (const char* wrong :
       {"ftp://host/", "127.0.0.1:8080", "http://host/?q=1", "http://host/#top", "http://"})
    EXPECT_THROW(ServiceUrl{wrong}, EServiceUrlError) << wrong;
}

TEST(PhoneOptions, DefaultsAndEachOptionAndWhatIsRefused) {
  const PhoneOptions defaults = ReadPhoneOptions({});
  EXPECT_EQ(defaults.listen_address + ":" + std::to_string(defaults.listen_port), "127.0.0.1:8081");
  EXPECT_EQ(defaults.service, "http://127.0.0.1:8080/");
  EXPECT_EQ(defaults.max_pdu, 1400);
  const PhoneOptions given =
      ReadPhoneOptions({"--listen", "0.0.0.0:0", "--service=https://example.org:8443", "--max-pdu", "600"});
  EXPECT_EQ(given.listen_address + ":" + std::to_string(given.listen_port), "0.0.0.0:0");
  EXPECT_EQ(given.service, "https://example.org:8443/");
  EXPECT_EQ(given.max_pdu, 600);
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"--listen", "localhost:8081"},
                                             {"--listen", "1.2.3.256:80"},
                                             {"--listen", "127.0.0.1:65536"},
                                             {"--max-pdu", "0"},
                                             {"--max-pdu", "12k"},
                                             {"--max-pdu", "2147483648"},
                                             {"--service", "gopher://x/"},
                                             {"--port", "1"},
                                             {"extra"}}) {
    EXPECT_THROW(ReadPhoneOptions(wrong), tools::EUsageError) << wrong.front();
  }
}

TEST(PhoneProgram, WrongArgumentsExitTwoAndAPortInUseOneEachWithOneLine) {
  std::ostringstream out;
  std::ostringstream err;
  EXPECT_EQ(RunPhoneProgram({"--max-pdu", "none"}, out, err), 2);
  EXPECT_EQ(err.str(),
            "quorvane-phone: --max-pdu takes a whole number of bytes from 1 to 2147483647 "
            "(try quorvane-phone --help)\n");
  platform::TcpSocket taken;
  ASSERT_TRUE(taken.Listen("127.0.0.1", 0, 1));
  err.str("");
  EXPECT_EQ(RunPhoneProgram({"--listen", "127.0.0.1:" + std::to_string(taken.LocalPort())}, out, err), 1);
  // The address and port, in the system's words.
  EXPECT_EQ(err.str(), "quorvane-phone: cannot listen on 127.0.0.1:" + std::to_string(taken.LocalPort()) +
                           ": Address already in use\n");
  EXPECT_EQ(RunPhoneProgram({"--help"}, out, err), 0);
  EXPECT_THAT(out.str(),
              HasSubstr("Usage: quorvane-phone [--listen ADDR:PORT] [--service URL] [--max-pdu N]"));
  out.str("");
  EXPECT_EQ(RunPhoneProgram({"--version"}, out, err), 0);
  EXPECT_EQ(out.str(), std::string("quorvane-phone (Quorvane) ") + QV_VERSION_TEXT + "\n");
}

}  // namespace
}  // namespace qv::phone
