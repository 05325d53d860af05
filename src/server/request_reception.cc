// The end-of-request test of the request thread.
#include <string>

#include "logging/event_ids.h"
#include "logging/service_event_log.h"
#include "logging/trace_writer.h"
#include "server/request_errors.h"
#include "server/request_thread.h"
#include "support/text_helpers.h"

namespace qv {

namespace {

constexpr char kStartMarker[] = "GET /";
constexpr size_t kStartMarkerLength = sizeof(kStartMarker) - 1;
// While no start marker is present, the last bytes that may be the start of one split across reads.
constexpr size_t kKeptWithoutMarker = kStartMarkerLength - 1;
// Bytes from the start marker on that may wait for the end of the header; more are flushed.
constexpr size_t kFlushThreshold = 5000;
// The trailing line ends of a header are looked for in this many last positions.
constexpr size_t kTrailingLineEndPositions = 5;

}  // namespace

// Runs over all of sInData on each call. The header ends at the second of two line feeds between
// which stand only carriage returns (CR LF CR LF, LF LF, CR LF LF, LF CR LF, CR CR LF after a LF).
bool TSrvThread::ExtractHeader(std::string& sInData, std::string& sHeader) {
  int32_t iSTXPos = 0;  // 1-based, 0 when absent
  bool boSTX = false;
  bool boETX = false;
  int32_t iLFCount = 0;
  try {
    const size_t marker = sInData.find(kStartMarker);
    iSTXPos = marker == std::string::npos ? 0 : static_cast<int32_t>(marker) + 1;
    if (iSTXPos == 0) {
      if (sInData.size() > kKeptWithoutMarker) sInData.erase(0, sInData.size() - kKeptWithoutMarker);
      return false;
    }
    if (iSTXPos > 1) sInData.erase(0, static_cast<size_t>(iSTXPos) - 1);
    boSTX = true;

    size_t end = 0;  // the line feed that ends the header
    for (size_t i = 0; i < sInData.size(); ++i) {
      const char c = sInData[i];
      if (c == '\n') {
        if (++iLFCount > 1) {
          boETX = true;
          end = i;
          break;
        }
      } else if (c != '\r') {
        iLFCount = 0;
      }
    }

    if (boETX) {
      sHeader = sInData.substr(0, end + 1);
      sInData.erase(0, end + 1);
      // Positions are examined from the last backwards; a deletion moves only the ones already seen.
      const size_t length = sHeader.size();
      for (size_t k = 1; k <= kTrailingLineEndPositions && k <= length; ++k) {
        const size_t position = length - k;
        if (sHeader[position] == '\r' || sHeader[position] == '\n') sHeader.erase(position, 1);
      }
      return true;
    }

    if (sInData.size() > kFlushThreshold) {
      TraceWriter->Trace("Warning - Maybe a HACKER ATTACK! Flushing Buffer!\r\n\tBufferData: " + sInData, 1);
      EventLog->WriteEvent(eltWarning, 0, QV_MSG_NO_END_PATTERN);
      sInData.clear();
    }
    return false;
  } catch (...) {
    ReportAndRaiseAsWCException([&] {
      return "sInData: " + sInData + " sHeader: " + sHeader + " iSTXPos: " + std::to_string(iSTXPos) +
             " boSTX: " + BoolToText(boSTX) + " boETX: " + BoolToText(boETX) +
             " iLFCount: " + std::to_string(iLFCount);
    });
  }
}

}  // namespace qv
