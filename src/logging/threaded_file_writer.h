// TThreadedFileWriter: appends texts to one file from a worker thread of its own, so that the threads
// that produce log and trace lines never wait for the disk. A text travels as an ITC message to the
// worker, which opens the file, appends the text and closes the file again. Failures on the worker
// travel back as error reports through a second endpoint, whose window belongs to the thread that
// created the writer; OnError receives them there while that thread dispatches its messages.
//
// Every failed open is tried again every 10 ms for 5000 ms, whatever the reason (a file another
// writer holds, a directory removed under the running service), then the text is lost with an error
// report. So a missing directory costs the worker 5 s a text; the callers never wait for it. Stopping
// while another writer holds the file takes about 5 s.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "itc/itc_endpoint.h"
#include "itc/itc_worker_thread.h"
#include "platform/files/shared_file.h"

namespace qv {

class TThreadedFileWriter;

// Receives an error report of the worker: the exception's message and class name.
using TFileWriterErrorEvent = std::function<void(TThreadedFileWriter& sender, const std::string& message,
                                                 const std::string& class_name)>;

class TThreadedFileWriter : public TVeskItcThread {
 public:
  static constexpr uint32_t kOpenRetryIntervalMs = 10;
  static constexpr uint32_t kOpenTimeoutMs = 5000;

  // Creates the worker and both endpoints (the error endpoint connected on this thread) and starts
  // the worker, waiting up to 5000 ms until its endpoint is connected.
  explicit TThreadedFileWriter(const std::string& path);
  // Stops the worker (see StopWriter), then releases the error endpoint, whose window the creating
  // thread owns.
  ~TThreadedFileWriter() override;

  // Queues a text for the worker; an empty text is ignored. With add_time the text is preceded by the
  // local time with milliseconds and ": "; with add_line_end it is followed by CR LF. Raises
  // eItcException when the worker's endpoint is not connected.
  void WriteText(const std::string& text, bool add_time, bool add_line_end);

  const std::string FileName;

  // Set on the creating thread; called there with each error report.
  TFileWriterErrorEvent OnError;

 protected:
  // For a derived class that adds state of its own: the worker is created suspended and the most
  // derived constructor starts it as its last step (StartWriter); its destructor stops the worker
  // first (StopWriter), before any of the object is taken down under the running worker.
  struct DeferredStart {};
  TThreadedFileWriter(const std::string& path, DeferredStart);
  void StartWriter();
  // Stops a running worker: the stop mark goes behind the texts sent so far, and the worker has 5000
  // ms to write them and end; then it is told to terminate, which ends its loop after the current text
  // (whose attempts to open a held file stop at once), and has another 5000 ms before it is given up
  // (Kill). Does nothing for a worker that never started or has ended.
  void StopWriter();

  // On the worker, for each text: open the file, write the text in one write, close the file. Any
  // failure goes to HandleException; the text is then lost and the next one is handled normally. The
  // stop mark (an empty message from the worker's own endpoint) ends the worker.
  void DoMessage(const std::string& sender_name, const void* data, uint32_t size) override;
  // On the worker while an exception is being handled: a system exception goes as an error report to
  // the creating thread; anything else is dropped.
  void HandleException() override;
  // Called with the file name before each open; may change it. Leaves it alone here.
  virtual void AdjustFileName(std::string& file_name);

 private:
  void OpenFile();
  void CloseFile();
  void ReceiveErrorReport(const void* data, uint32_t size);

  platform::SharedFile Stream;  // open only while one text is being appended; the worker's alone
  std::unique_ptr<TVeskItc> ErrorItc;
};

// One attempt to open a file for appending, as the writer makes it: an existing file is opened for
// writing with others allowed to read, a missing one is created shared with nobody (owner-only). The
// choice follows the file's state found before the first attempt (existed), but a file is never
// replaced: one that has appeared since is opened and appended to, and one that has gone since is
// created anew. False with the thread's last error set when the file cannot be had now.
bool OpenFileForAppending(platform::SharedFile& file, const std::string& path, bool existed);

}  // namespace qv
