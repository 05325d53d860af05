// libcurl and libxml2 as Quorvane uses them (the CalDAV client here, the phone viewer above): set up
// once for the whole process before their first use (their set-up is not safe to run in several
// threads at once), and handles that free themselves.
#pragma once

#include <curl/curl.h>
#include <libxml/parser.h>
#include <libxml/tree.h>

#include <memory>

namespace qv {

// Sets both libraries up on the first call; they are cleaned up when the process ends. Every unit
// that calls them calls this first.
void UseWebLibraries();

struct CurlEasyFree {
  void operator()(CURL* handle) const { curl_easy_cleanup(handle); }
};
struct CurlUrlFree {
  void operator()(CURLU* handle) const { curl_url_cleanup(handle); }
};
struct CurlListFree {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlTextFree {
  void operator()(char* text) const { curl_free(text); }
};
struct XmlDocFree {
  void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct XmlParserFree {
  void operator()(xmlParserCtxt* context) const { xmlFreeParserCtxt(context); }
};
struct XmlTextFree {
  void operator()(xmlChar* text) const { xmlFree(text); }
};
struct XmlBufferFree {
  void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};

using CurlEasy = std::unique_ptr<CURL, CurlEasyFree>;
using CurlUrl = std::unique_ptr<CURLU, CurlUrlFree>;
using CurlList = std::unique_ptr<curl_slist, CurlListFree>;
using CurlText = std::unique_ptr<char, CurlTextFree>;
using XmlDoc = std::unique_ptr<xmlDoc, XmlDocFree>;
using XmlParser = std::unique_ptr<xmlParserCtxt, XmlParserFree>;
using XmlText = std::unique_ptr<xmlChar, XmlTextFree>;
using XmlBuffer = std::unique_ptr<xmlBuffer, XmlBufferFree>;

}  // namespace qv
