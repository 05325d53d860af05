// What a client sends, through the request thread's reception and parsing: the bytes go to the
// end-of-request test in pieces whose sizes the first byte chooses (as reads of a socket would cut
// them), and the header it cuts off, as well as the raw bytes, go to the parameter and header field
// lookups. Checked on the way: the receive buffer stays bounded, a header found in pieces is the one
// found in one piece, the values the lookups give come from the GET line or the field's line, and
// decoding them brings in no line break.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_state_dir.h"
#include "server/request_thread.h"
#include "support/percent_encoding.h"
#include "testing/process_wide_objects.h"

namespace {

using qv::PercentDecode;
using qv::PercentEncode;
using qv::TSrvThread;

constexpr char kStartMarker[] = "GET /";
constexpr size_t kKeptWithoutMarker = 4;
constexpr size_t kFlushThreshold = 5000;

void Check(bool condition) {
  if (!condition) std::abort();
}

// The flush of an oversized buffer writes a trace line (dropped at the default level 0) and an event.
struct Environment {
  const std::string& state_directory = qv::fuzzing::FuzzStateDirectory();  // before the objects are made
  qv::testing::ProcessWideObjects objects{qv::testing::kEventLogObject | qv::testing::kTraceWriterObject};
};

// Runs the end-of-request test over the bytes in pieces of the sizes given (cycled), as the request
// thread does; the first header found, and how many bytes were consumed when it was found.
std::optional<std::string> FirstHeader(const std::string& bytes, const std::vector<size_t>& sizes,
                                       size_t* consumed) {
  std::string sIncomingData;
  std::string sIncomingHeader;
  size_t at = 0;
  for (size_t piece = 0; at < bytes.size(); ++piece) {
    const size_t size = sizes[piece % sizes.size()];
    sIncomingData += bytes.substr(at, size);
    at += size;
    if (at > bytes.size()) at = bytes.size();
    if (TSrvThread::ExtractHeader(sIncomingData, sIncomingHeader)) {
      *consumed = at - sIncomingData.size();
      return sIncomingHeader;
    }
    // Without a start marker only the bytes that may begin one are kept; with one, the buffer
    // begins with it and never holds more than the flush threshold.
    if (sIncomingData.find(kStartMarker) == std::string::npos) {
      Check(sIncomingData.size() <= kKeptWithoutMarker);
    } else {
      Check(sIncomingData.compare(0, 5, kStartMarker) == 0);
      Check(sIncomingData.size() <= kFlushThreshold);
    }
  }
  return std::nullopt;
}

void CheckLookups(const std::string& header) {
  const std::string first_line = TSrvThread::GetFirstLine(header);
  Check(first_line.find('\n') == std::string::npos);
  Check(header.compare(0, first_line.size(), first_line) == 0);
  for (const char* name : {"U", "P", "E", "X", "u", "Up"}) {
    const std::string value = TSrvThread::GetParam(header, name);
    // A value ends before a carriage return, a blank or "&", and stands in the GET line.
    Check(value.find_first_of("\r &\n") == std::string::npos);
    Check(value.empty() || first_line.find(value) != std::string::npos);
    // Decoded, it grows no line break, and the encoding of the pages' links decodes back to it.
    const std::string decoded = TSrvThread::GetParamValue(header, name);
    Check(decoded.size() <= value.size());
    Check(decoded.find_first_of("\r\n") == std::string::npos);
    const bool control = std::any_of(decoded.begin(), decoded.end(), [](char c) {
      return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    Check(control || PercentDecode(PercentEncode(decoded)) == decoded);
  }
  for (const char* field : {"x-up-devcap-max-pdu:", "Host:", ""}) {
    const std::string value = TSrvThread::GetHeaderValue(header, field);
    Check(value.find_first_of("\r\n") == std::string::npos);
    Check(value.empty() || header.find(std::string(field) + value) != std::string::npos ||
          header.find(std::string(field) + " " + value) != std::string::npos);
  }
  TSrvThread::GetMaxPdu(header);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static Environment* environment = new Environment;  // lives to the end of the process
  (void)environment;
  if (size == 0) return 0;
  // The first byte chooses the pieces: one size from 1 to 16, or sizes cycling 1, 2, 3 ... up to it.
  const unsigned choice = data[0];
  std::vector<size_t> sizes;
  if (choice < 128) {
    sizes.push_back(choice % 16 + 1);
  } else {
    for (size_t s = 1; s <= choice % 16 + 1; ++s) sizes.push_back(s);
  }
  const std::string bytes(reinterpret_cast<const char*>(data + 1), size - 1);

  size_t whole_consumed = 0;
  const std::optional<std::string> whole = FirstHeader(bytes, {bytes.size() + 1}, &whole_consumed);
  size_t pieces_consumed = 0;
  const std::optional<std::string> in_pieces = FirstHeader(bytes, sizes, &pieces_consumed);
  if (whole) {
    Check(whole->compare(0, 5, kStartMarker) == 0);
    // Unless the header was so long that the buffer would have been flushed on the way (more than
    // the threshold from its start marker), the pieces find the same header.
    const size_t marker = bytes.find(kStartMarker);
    if (whole_consumed - marker <= kFlushThreshold) {
      Check(in_pieces.has_value());
      Check(*in_pieces == *whole);
      Check(pieces_consumed == whole_consumed);
    }
    CheckLookups(*whole);
  }
  if (in_pieces) CheckLookups(*in_pieces);
  CheckLookups(bytes);
  return 0;
}
