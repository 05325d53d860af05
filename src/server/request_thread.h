// TSrvThread: the request thread that serves one accepted connection. It reads what the client sends
// in pieces of at most 10 bytes until it holds one request header that begins with "GET /", takes the
// request's values from it, has the request handler build the response, sends that in one piece and
// ends. One connection carries exactly one request, which must arrive whole within ServerTimeOut of
// the connection's accept.
#pragma once

#include <cstdint>
#include <string>

#include "net/server_client_thread.h"

namespace qv {

class TWCExchange;

class TSrvThread : public net::TServerClientThread {
 public:
  // Created suspended for the client socket, as the connection server's thread provider does.
  explicit TSrvThread(net::TServerClientWinSocket* client_socket);

  // The parsing operations are static: they use nothing of the thread, so they work without a
  // connection.

  // The end-of-request test. True when sInData holds a complete request header (from "GET /" to a
  // blank line): it is cut from the front of sInData into sHeader, without the line ends that
  // trailed it. False otherwise; bytes before a start marker are dropped (the last 4 are kept while
  // none is present), and a buffer of more than 5000 bytes without an end of header is flushed.
  // Unexpected errors are reported and raised again as WCException.
  static bool ExtractHeader(std::string& sInData, std::string& sHeader);

  // The complete response to a request header: its values go to a request handler, which answers.
  std::string HandleRequest(const std::string& sHeader);

  // The value of query parameter name ("U", "P", "E", "X") in the GET line: the upper-case name
  // first, else the lower-case one; the bytes after "=" up to a carriage return, a blank or "&".
  // Empty when the parameter is absent. Unexpected errors are reported and raised as WCException.
  static std::string GetParam(const std::string& sHeader, const std::string& name);

  // The parameter's value as the request handler takes it: GetParam's bytes percent-decoded once
  // (PercentDecode), since phones escape the values they put into a link ("a&b" arrives as "a%26b")
  // and the pages' own links carry mailbox and password escaped.
  static std::string GetParamValue(const std::string& sHeader, const std::string& name);

  // Sets the handler's Mailbox, Password, PageKind and Position (U, P, E, X, in this order, each by
  // GetParamValue) and its MaxPdu from the request header.
  static void SetRequestValues(const std::string& sHeader, TWCExchange& exchange);

  // The value of the first header field whose line begins with name (the colon included, letter
  // case counting); the blank after the colon is not part of the value. Empty when no line matches.
  static std::string GetHeaderValue(const std::string& sHeader, const std::string& name);

  // The device's largest message from the "x-up-devcap-max-pdu:" field; kDefaultMaxPdu when the
  // field is absent or its value is not an integer.
  static int32_t GetMaxPdu(const std::string& sHeader);

  // The text before its first line feed; the whole text when it has none.
  static std::string GetFirstLine(const std::string& text);

  // The largest message a device takes when it does not say (or says something that is no number).
  static constexpr int32_t kDefaultMaxPdu = 1000;

 protected:
  // Receives one request, answers it and ends; see request_thread.cc for the paths that end
  // without an answer.
  void ClientExecute() override;

 private:
  struct Reception;  // the working values of one run of the body

  void Receive(Reception& r);
  // What the loop does with an error of one read step; raising passes it to the outer handling.
  void HandleReadStepError(Reception& r);
  // The outer handling: traces, terminates, closes; never raises.
  void HandleOuterError(const Reception& r, std::exception_ptr error);
  void ReportException(const Reception& r, const std::string& message);
  void TraceTimeOut();
  void TerminateAndClose();
};

}  // namespace qv
