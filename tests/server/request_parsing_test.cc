#include <gtest/gtest.h>

#include <string>

#include "server/request_thread.h"

namespace qv {
namespace {

std::string Param(const std::string& header, const std::string& name) {
  return TSrvThread::GetParam(header, name);
}

// The four parameters as the request handler gets them, joined by "|".
std::string AllParams(const std::string& header) {
  return Param(header, "U") + "|" + Param(header, "P") + "|" + Param(header, "E") + "|" + Param(header, "X");
}

TEST(GetParam, TakesTheFourParametersInAnyOrderAndLetterCaseOfTheirNames) {
  const std::string expected = "john|secret|CO|3";
  EXPECT_EQ(AllParams("GET /?U=john&P=secret&E=CO&X=3 HTTP/1.0\r\nHost: a"), expected);
  EXPECT_EQ(AllParams("GET /?X=3&E=CO&P=secret&U=john HTTP/1.0\r\nHost: a"), expected);
  EXPECT_EQ(AllParams("GET /?u=john&p=secret&e=CO&x=3 HTTP/1.0\r\nHost: a"), expected);
  // LF line ends: the value ends at the blank before the protocol version.
  EXPECT_EQ(AllParams("GET /wap?P=secret&u=john&X=3&E=CO HTTP/1.1\nHost: a"), expected);
}

TEST(GetParam, TheFirstParameterCountsThoughNoAmpersandPrecedesIt) {
  EXPECT_EQ(Param("GET /?U=john HTTP/1.0", "U"), "john");
  EXPECT_EQ(Param("GET /cal?U=john HTTP/1.0", "U"), "john");
  // Only the first "?" becomes "&"; a later one belongs to a value.
  EXPECT_EQ(Param("GET /?U=a?b&P=c?d HTTP/1.0", "P"), "c?d");
  EXPECT_EQ(Param("GET /?U=a?b&P=c?d HTTP/1.0", "U"), "a?b");
}

TEST(GetParam, TheFirstOccurrenceWinsAndTheUpperCaseNameBeforeTheLowerCaseOne) {
  EXPECT_EQ(Param("GET /?U=first&U=second HTTP/1.0", "U"), "first");
  EXPECT_EQ(Param("GET /?u=lower&U=upper HTTP/1.0", "U"), "upper");
  EXPECT_EQ(Param("GET /?u=lower&X=1 HTTP/1.0", "U"), "lower");
  // A name is matched whole: "UU=" and "XU=" do not give U.
  EXPECT_EQ(Param("GET /?UU=no&XU=no HTTP/1.0", "U"), "");
}

TEST(GetParam, AnAbsentOrEmptyParameterGivesEmptyText) {
  EXPECT_EQ(AllParams("GET / HTTP/1.0\r\n"), "|||");
  EXPECT_EQ(AllParams("GET /?U=&P=&E=&X= HTTP/1.0\r\n"), "|||");
  EXPECT_EQ(Param("GET /?U= HTTP/1.0", "U"), "");
  EXPECT_EQ(Param("GET /?U", "U"), "");
  EXPECT_EQ(Param("", "U"), "");
}

TEST(GetParam, AValueEndsAtTheLineEndAlsoWithoutProtocolOrCarriageReturn) {
  EXPECT_EQ(Param("GET /?U=john\r\nHost: x", "U"), "john");
  EXPECT_EQ(Param("GET /?U=john\nHost: x", "U"), "john");
  // The last parameter of a line without protocol version and without a carriage return.
  EXPECT_EQ(Param("GET /?P=pw&U=john", "U"), "john");
  EXPECT_EQ(Param("GET /?P=pw&U=john\nHost: x", "U"), "john");
}

TEST(GetParam, ValuesAreTakenByteForByte) {
  EXPECT_EQ(Param("GET /?U=j%20o+hn&P=s%26cret HTTP/1.0", "U"), "j%20o+hn");
  EXPECT_EQ(Param("GET /?U=j%20o+hn&P=s%26cret HTTP/1.0", "P"), "s%26cret");
  EXPECT_EQ(Param("GET /?U=M\xfcller HTTP/1.0", "U"), "M\xfcller");
}

TEST(GetParamValue, DecodesPercentEscapesOnceAndLeavesPlusSignsAndStrayPercentSigns) {
  const auto value = [](const std::string& query, const std::string& name = "P") {
    return TSrvThread::GetParamValue("GET /?" + query + " HTTP/1.1\r\nHost: gw", name);
  };
  // The password a phone escapes when it puts it into the logon form's link.
  EXPECT_EQ(value("U=demo&P=a%26b%20%25c%2Bd%23e%3Df&"), "a&b %c+d#e=f");
  EXPECT_EQ(value("U=demo&P=a%26b%20%25c%2Bd%23e%3Df&", "U"), "demo");
  EXPECT_EQ(value("P=%c3%a9%C3%A9"), "\xc3\xa9\xc3\xa9");
  EXPECT_EQ(value("P=a+b"), "a+b");
  // Once only: an escaped percent sign and what follows it stay text.
  EXPECT_EQ(value("P=%2541"), "%41");
  // A percent sign without two hexadecimal digits stays as it stands.
  EXPECT_EQ(value("P=100%"), "100%");
  EXPECT_EQ(value("P=%4"), "%4");
  EXPECT_EQ(value("P=%G1%4x%"), "%G1%4x%");
  // Escaped control characters stay escaped: a line break must not reach the trace or the logon.
  EXPECT_EQ(value("U=a%0D%0Ab%09c%7F%00", "U"), "a%0D%0Ab%09c%7F%00");
  EXPECT_EQ(value("X=%31%32", "X"), "12");
  EXPECT_EQ(value("E=%43O", "E"), "CO");
  EXPECT_EQ(value("U=x", "P"), "");
}

TEST(GetParam, OnlyTheGetLineIsSearched) {
  EXPECT_EQ(Param("GET /?E=CA HTTP/1.0\r\nReferer: http://a/?U=john&P=pw", "U"), "");
  // Without "?" a parameter is found where it stands as "&" + name + "=".
  EXPECT_EQ(Param("GET /cal&U=john&P=pw HTTP/1.0", "U"), "john");
  EXPECT_EQ(Param("GET /U=john HTTP/1.0", "U"), "");
}

TEST(GetHeaderValue, TakesTheFirstLineThatBeginsWithTheNameLetterCaseCounting) {
  const std::string header =
      "GET /?U=a HTTP/1.0\r\nAccept: text/vnd.wap.wml\r\nx-up-devcap-max-pdu: 1400\r\nx-up-devcap-max-pdu: "
      "2000";
  EXPECT_EQ(TSrvThread::GetHeaderValue(header, "x-up-devcap-max-pdu:"), "1400");
  EXPECT_EQ(TSrvThread::GetHeaderValue(header, "Accept:"), "text/vnd.wap.wml");
  EXPECT_EQ(TSrvThread::GetHeaderValue(header, "accept:"), "");
  EXPECT_EQ(TSrvThread::GetHeaderValue(header, "Host:"), "");
  // A field name must begin its line.
  EXPECT_EQ(TSrvThread::GetHeaderValue("GET / HTTP/1.0\r\nX-Accept: a", "Accept:"), "");
  // Lines may end in LF or CR alone; the last one needs no end.
  EXPECT_EQ(TSrvThread::GetHeaderValue("GET / HTTP/1.0\nA: 1\rB: 2\r\nC: 3", "B:"), "2");
  EXPECT_EQ(TSrvThread::GetHeaderValue("GET / HTTP/1.0\nA: 1\rB: 2\r\nC: 3", "C:"), "3");
  // Only the blank after the colon goes; further blanks belong to the value.
  EXPECT_EQ(TSrvThread::GetHeaderValue("GET /\r\nA:  two", "A:"), " two");
  EXPECT_EQ(TSrvThread::GetHeaderValue("GET /\r\nA:", "A:"), "");
}

TEST(GetMaxPdu, ReadsTheFieldWithOrWithoutItsBlankAndFallsBackTo1000) {
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu: 1400"), 1400);
  // Written right after the colon the value keeps its first digit.
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu:1400"), 1400);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu:  1400"), 1400);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nHost: a"), 1000);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu: "), 1000);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu: big"), 1000);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu: 14k"), 1000);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nx-up-devcap-max-pdu: 99999999999"), 1000);
  EXPECT_EQ(TSrvThread::GetMaxPdu("GET / HTTP/1.0\r\nX-Up-Devcap-Max-Pdu: 1400"), 1000);
}

TEST(GetFirstLine, EndsBeforeTheFirstLineFeed) {
  EXPECT_EQ(TSrvThread::GetFirstLine("GET /?U=a HTTP/1.0\r\nHost: b"), "GET /?U=a HTTP/1.0\r");
  EXPECT_EQ(TSrvThread::GetFirstLine("GET /?U=a HTTP/1.0\nHost: b"), "GET /?U=a HTTP/1.0");
  EXPECT_EQ(TSrvThread::GetFirstLine("GET /?U=a HTTP/1.0"), "GET /?U=a HTTP/1.0");
  EXPECT_EQ(TSrvThread::GetFirstLine("\nrest"), "");
  EXPECT_EQ(TSrvThread::GetFirstLine(""), "");
}

}  // namespace
}  // namespace qv
