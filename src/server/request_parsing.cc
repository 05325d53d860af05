// The request thread's parsing: query parameters of the GET line and header field values.
#include <string>

#include "exchange/request_handler.h"
#include "platform/text/ascii_text.h"
#include "server/request_errors.h"
#include "server/request_thread.h"
#include "support/convert.h"
#include "support/percent_encoding.h"

namespace qv {

namespace {

constexpr char kMaxPduField[] = "x-up-devcap-max-pdu:";

}  // namespace

// The first "?" of the GET line becomes "&", so the first parameter of the query is found like the
// others; a GET line without "?" still yields a parameter that stands in it as "&" + name + "=".
// Values are taken byte for byte (no percent-decoding, no plus-to-blank).
std::string TSrvThread::GetParam(const std::string& sHeader, const std::string& name) {
  std::string value;
  std::string sParamPattern;
  std::string sGETLine;
  int32_t iPatternStart = 0;  // 1-based, 0 when absent
  int32_t iEqualPos = 0;      // 1-based position of the value's first byte
  try {
    sGETLine = GetFirstLine(sHeader);  // ends in a carriage return when the line ended in CR LF
    const size_t question = sGETLine.find('?');
    if (question != std::string::npos) {
      sGETLine.erase(0, question);
      sGETLine[0] = '&';
    }
    sParamPattern = "&" + name + "=";
    size_t start = sGETLine.find(sParamPattern);
    if (start == std::string::npos) {
      sParamPattern = "&" + AsciiLowerCase(name) + "=";
      start = sGETLine.find(sParamPattern);
    }
    if (start == std::string::npos) return value;
    iPatternStart = static_cast<int32_t>(start) + 1;
    iEqualPos = iPatternStart + static_cast<int32_t>(name.size()) + 2;
    const size_t first = static_cast<size_t>(iEqualPos) - 1;
    // A value ends at the next parameter, at the blank before the protocol version or at the line
    // end; one that runs to the end of a line without either (no protocol version, no carriage
    // return) is taken to that end.
    const size_t stop = sGETLine.find_first_of("\r &", first);
    value = sGETLine.substr(first, stop == std::string::npos ? std::string::npos : stop - first);
    return value;
  } catch (...) {
    ReportAndRaiseAsWCException([&] {
      return "sHeader: " + sHeader + " sParamPattern: \t" + name + " sGETLine: " + sGETLine +
             " iPatternStart: " + std::to_string(iPatternStart) + " iEqualPos: " + std::to_string(iEqualPos);
    });
  }
}

std::string TSrvThread::GetParamValue(const std::string& sHeader, const std::string& name) {
  return PercentDecode(GetParam(sHeader, name));
}

void TSrvThread::SetRequestValues(const std::string& sHeader, TWCExchange& exchange) {
  exchange.Mailbox = GetParamValue(sHeader, "U");
  exchange.Password = GetParamValue(sHeader, "P");
  exchange.PageKind = GetParamValue(sHeader, "E");
  exchange.Position = GetParamValue(sHeader, "X");
  exchange.MaxPdu = GetMaxPdu(sHeader);
}

// Lines end at CR LF, LF or CR. A value starts after the name and the blank that follows it; a value
// written right after the colon keeps all of its bytes.
std::string TSrvThread::GetHeaderValue(const std::string& sHeader, const std::string& name) {
  size_t line_start = 0;
  while (line_start < sHeader.size()) {
    size_t line_end = sHeader.find_first_of("\r\n", line_start);
    if (line_end == std::string::npos) line_end = sHeader.size();
    if (line_end - line_start >= name.size() && sHeader.compare(line_start, name.size(), name) == 0) {
      size_t value_start = line_start + name.size();
      if (value_start < line_end && sHeader[value_start] == ' ') ++value_start;
      return sHeader.substr(value_start, line_end - value_start);
    }
    line_start = line_end + 1;
    if (line_end < sHeader.size() && sHeader[line_end] == '\r' && line_start < sHeader.size() &&
        sHeader[line_start] == '\n')
      ++line_start;
  }
  return std::string();
}

int32_t TSrvThread::GetMaxPdu(const std::string& sHeader) {
  return StrToIntDef(GetHeaderValue(sHeader, kMaxPduField), kDefaultMaxPdu);
}

std::string TSrvThread::GetFirstLine(const std::string& text) {
  return text.substr(0, text.find('\n'));
}

}  // namespace qv
