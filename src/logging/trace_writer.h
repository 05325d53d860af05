// TWCTraceWriter: the trace file. Each line carries a level (1 failures, 2 notable events, 3 details)
// and is written only when its level does not exceed TraceDetailness; a written entry is the time
// stamp, a blank, the caller's text (which may span several lines) with every P parameter's value
// masked as the request log masks it, and CR LF. The process-wide trace writer is TraceWriter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "logging/log_writer.h"
#include "support/process_wide.h"

namespace qv {

class TWCTraceWriter final : public TLogWriter {
 public:
  // The file and the level of the settings snapshot (TraceFile, TraceDetailness).
  TWCTraceWriter();
  // The given file with the snapshot's level.
  explicit TWCTraceWriter(const std::string& path);
  // The given file and level; only the lowest eight bits of the level count.
  TWCTraceWriter(const std::string& path, int32_t trace_detailness);
  ~TWCTraceWriter() override;

  // Writes the entry when level <= TraceDetailness; a suppressed line costs the comparison alone.
  // Never raises.
  void Trace(std::string_view text, uint8_t level) {
    if (level > TraceDetailness) return;
    WriteEntry(text);
  }

  // 0 writes nothing, 255 everything. Callers also read it to choose short or detailed reports.
  const uint8_t TraceDetailness;

 private:
  void WriteEntry(std::string_view text);
};

// The process-wide trace writer, installed by the program entry after the event log.
extern ProcessWide<TWCTraceWriter> TraceWriter;

}  // namespace qv
