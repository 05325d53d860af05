#include "logging/threaded_file_writer.h"

#include <exception>
#include <string_view>

#include "logging/file_writer_error_report.h"
#include "platform/clock/clock.h"
#include "platform/errors/exception.h"
#include "platform/errors/last_error.h"
#include "platform/errors/win_error.h"
#include "platform/files/file_system.h"
#include "platform/threads/thread.h"
#include "support/date_time.h"
#include "support/general_functions.h"
#include "support/win_error_text.h"

namespace qv {

bool OpenFileForAppending(platform::SharedFile& file, const std::string& path, bool existed) {
  if (existed) {
    if (file.OpenForWriting(path)) return true;
    // Moved or deleted since it was looked at: it is made anew below.
    if (platform::GetLastError() != platform::ERROR_FILE_NOT_FOUND) return false;
  }
  if (file.CreateNew(path)) return true;
  // Made by someone else since it was looked at: it is appended to, never replaced.
  if (platform::GetLastError() != platform::ERROR_FILE_EXISTS) return false;
  return file.OpenForWriting(path);
}

TThreadedFileWriter::TThreadedFileWriter(const std::string& path)
    : TThreadedFileWriter(path, DeferredStart{}) {
  StartWriter();
}

TThreadedFileWriter::TThreadedFileWriter(const std::string& path, DeferredStart)
    : TVeskItcThread(CreateUniqueName(""), /*create_suspended=*/true), FileName(path) {
  SetFreeWhenEnded(true);
  ErrorItc = std::make_unique<TVeskItc>(CreateUniqueName(""));
  ErrorItc->OnMessage = [this](TVeskItc&, const std::string&, const void* data, uint32_t size) {
    ReceiveErrorReport(data, size);
  };
  ErrorItc->Connect();  // its window belongs to this, the creating, thread
}

TThreadedFileWriter::~TThreadedFileWriter() {
  // A report sent by a worker that is still ending always finds its endpoint.
  StopWriter();
  ErrorItc.reset();
}

void TThreadedFileWriter::StartWriter() {
  StartAndWait();  // a worker that has not connected in time shows itself in WriteText
}

void TThreadedFileWriter::StopWriter() {
  if (Suspended() || Finished() || ThreadID() == platform::GetCurrentThreadId()) return;
  if (!Terminated()) {
    // The stop mark queues behind the texts sent so far, so the worker writes them before it ends, as
    // far as the time allows.
    bool marked = true;
    try {
      SendToSelf(nullptr, 0);
    } catch (const Exception&) {
      marked = false;  // the worker cannot be reached; it is told directly
    }
    if (marked && WaitForTimeout(kStopTimeoutMs)) return;
    // The loop ends after the current text, whose attempts to open the file stop at once.
    Terminate();
  }
  if (!WaitForTimeout(kStopTimeoutMs)) Kill(false);
}

void TThreadedFileWriter::WriteText(const std::string& text, bool add_time, bool add_line_end) {
  if (text.empty()) return;
  std::string formatted;
  const std::string* message = &text;
  if (add_time || add_line_end) {
    formatted = add_time ? FormatTimeMs(Now()) + ": " + text : text;
    if (add_line_end) formatted += "\r\n";
    message = &formatted;
  }
  // An ITC block counts its payload in 32 bits, beside its 68-byte head.
  Assert(message->size() <= UINT32_MAX - 68, "Text too long for the file writer");
  SendToSelf(message->data(), static_cast<uint32_t>(message->size()));
}

void TThreadedFileWriter::DoMessage(const std::string& sender_name, const void* data, uint32_t size) {
  // WriteText never sends an empty text: an empty message from this endpoint is the stop mark.
  if (size == 0 && sender_name == Itc().Name()) {
    Terminate();
    return;
  }
  try {
    OpenFile();
    // Given up while it waited for the file: the owner may be gone, so nothing more is touched.
    if (platform::CurrentThreadAbandoned()) return;
    Stream.Write(std::string_view(static_cast<const char*>(data), size));  // the count is not looked at
    CloseFile();
  } catch (...) {
    if (platform::CurrentThreadAbandoned()) return;
    CloseFile();
    HandleException();
  }
}

void TThreadedFileWriter::OpenFile() {
  Stream.Close();
  const std::string file_name = FileName;
  std::string name = file_name;
  AdjustFileName(name);
  // Attempts go to a file of their own until one succeeds: the retries touch nothing of this object,
  // so a worker given up by its owner while it waits here can leave safely.
  platform::SharedFile file;
  const uint32_t first_attempt = platform::GetTickCount();
  // Each attempt opens the existing file and creates it only when it is missing: the choice that a
  // look for the file beforehand would make, without a look for every text.
  while (!OpenFileForAppending(file, name, /*existed=*/true)) {
    const uint32_t error = platform::GetLastError();
    // No regular file, or a link where nobody may be trusted to leave one: waiting changes nothing.
    if (error == platform::ERROR_NOT_SUPPORTED || error == platform::ERROR_BAD_PATHNAME)
      throw Exception("Cannot open trace file \"" + file_name + "\". " + LastErrorText(error));
    platform::Sleep(kOpenRetryIntervalMs);
    if (platform::CurrentThreadAbandoned()) return;
    // Told to stop while the file is held: the worker does not wait for it any longer.
    if (platform::GetTickCount() - first_attempt >= kOpenTimeoutMs || Terminated())  // tick modulo 2^32
      throw Exception("Cannot open trace file \"" + file_name + "\". " + LastErrorText(error));
  }
  platform::SetLastError(0);
  // Writing anywhere but at the end would overwrite what the file holds.
  if (!file.SeekToEnd())
    throw Exception("Cannot open trace file \"" + file_name + "\". " +
                    LastErrorText(platform::GetLastError()));
  Stream = std::move(file);
}

void TThreadedFileWriter::CloseFile() {
  Stream.Close();
  platform::SetLastError(0);
}

void TThreadedFileWriter::AdjustFileName(std::string&) {}

void TThreadedFileWriter::HandleException() {
  if (platform::CurrentThreadAbandoned()) return;
  const std::exception_ptr current = std::current_exception();
  if (!current) return;
  try {
    std::rethrow_exception(current);
  } catch (const Exception& exception) {
    const std::string report = BuildErrorReport(exception.ClassName(), exception.Message());
    try {
      ErrorItc->SendToSelf(report.data(), static_cast<uint32_t>(report.size()));
    } catch (...) {
      // The creating thread's endpoint cannot be reached (its thread has ended): nowhere to report.
    }
  } catch (...) {
    // Not one of the system's exceptions: nothing is reported.
  }
}

void TThreadedFileWriter::ReceiveErrorReport(const void* data, uint32_t size) {
  const auto handler = OnError;
  if (!handler) return;
  std::string class_name;
  std::string message;
  // The worker always builds reports of the right size.
  Assert(ReadErrorReport(data, size, &class_name, &message), "Malformed error report of a file writer");
  handler(*this, message, class_name);
}

}  // namespace qv
