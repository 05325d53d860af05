#include "logging/trace_writer.h"

#include <exception>

#include "config/settings_snapshot.h"
#include "logging/password_mask.h"

namespace qv {

constinit ProcessWide<TWCTraceWriter> TraceWriter("TraceWriter");

TWCTraceWriter::TWCTraceWriter() : TWCTraceWriter(Config->TraceFile, Config->TraceDetailness) {}

TWCTraceWriter::TWCTraceWriter(const std::string& path) : TWCTraceWriter(path, Config->TraceDetailness) {}

TWCTraceWriter::TWCTraceWriter(const std::string& path, int32_t trace_detailness)
    : TLogWriter(path, DeferredStart{}), TraceDetailness(static_cast<uint8_t>(trace_detailness & 0xFF)) {
  StartWriter();
  if (Tightened) Trace(TightenedText(), 2);
}

TWCTraceWriter::~TWCTraceWriter() {
  StopWriter();
}

void TWCTraceWriter::WriteEntry(std::string_view text) {
  try {
    std::string line = LogTimeStamp();
    line += ' ';
    // Whatever a caller quotes (a request, a response with its links, a report's working values), no
    // password reaches the file.
    line += MaskPasswords(text);
    WriteLine(std::move(line));
  } catch (const std::exception&) {
    // Tracing never fails its caller; the line is lost.
  }
}

}  // namespace qv
