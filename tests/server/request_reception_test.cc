#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "server/request_thread.h"
#include "server_fixture.h"
#include "testing/platform_checks.h"

namespace qv {
namespace {

using testing::EventsWithId;
using testing::ServerEnvironment;

// What the request thread sees: the data arrives in chunks, and the end-of-request test runs after
// each one.
struct Fed {
  std::vector<std::string> headers;  // every header recognised, in order
  std::string rest;                  // what stays in the data afterwards
  size_t largest = 0;                // the most the data held after a test
};

Fed FeedInChunks(const std::string& data, size_t chunk) {
  Fed fed;
  std::string in_data;
  for (size_t at = 0; at < data.size(); at += chunk) {
    in_data += data.substr(at, chunk);
    std::string header;
    if (TSrvThread::ExtractHeader(in_data, header)) fed.headers.push_back(header);
    fed.largest = std::max(fed.largest, in_data.size());
  }
  fed.rest = in_data;
  return fed;
}

const std::string kRequest =
    "GET /?U=john&P=secret&E=CA&X=0 HTTP/1.0\r\nAccept: text/vnd.wap.wml\r\nx-up-devcap-max-pdu: "
    "1400\r\n\r\n";
const std::string kHeader =
    "GET /?U=john&P=secret&E=CA&X=0 HTTP/1.0\r\nAccept: text/vnd.wap.wml\r\nx-up-devcap-max-pdu: 1400";

TEST(ExtractHeader, GivesTheSameHeaderWhateverTheChunksTheRequestArrivesIn) {
  for (const size_t chunk : {kRequest.size(), size_t{10}, size_t{1}, size_t{3}, size_t{7}}) {
    const Fed fed = FeedInChunks(kRequest, chunk);
    ASSERT_EQ(fed.headers.size(), 1u) << "chunk " << chunk;
    EXPECT_EQ(fed.headers[0], kHeader) << "chunk " << chunk;
    EXPECT_EQ(fed.rest, "") << "chunk " << chunk;
  }
}

TEST(ExtractHeader, FindsAStartMarkerSplitAcrossChunksAndDropsWhatCameBefore) {
  // Every split of the marker between two 10-byte chunks.
  for (size_t junk = 5; junk <= 10; ++junk) {
    const Fed fed = FeedInChunks(std::string(junk, 'x') + kRequest, 10);
    ASSERT_EQ(fed.headers.size(), 1u) << junk;
    EXPECT_EQ(fed.headers[0], kHeader);
  }
  // A long run of other bytes before it: only the last 4 bytes are kept while no marker is there.
  const Fed fed = FeedInChunks(std::string(3000, 'G') + "GET /" + std::string(3000, 'z'), 10);
  EXPECT_TRUE(fed.headers.empty());
  EXPECT_EQ(fed.rest, "GET /" + std::string(3000, 'z'));

  std::string in_data = "0123456789";
  std::string header;
  EXPECT_FALSE(TSrvThread::ExtractHeader(in_data, header));
  EXPECT_EQ(in_data, "6789");
  in_data = "GET";
  EXPECT_FALSE(TSrvThread::ExtractHeader(in_data, header));
  EXPECT_EQ(in_data, "GET");
}

TEST(ExtractHeader, RecognisesOnlyTheUpperCaseGetMarker) {
  for (const std::string request : {"get /?U=a HTTP/1.0\r\n\r\n", "POST /?U=a HTTP/1.0\r\n\r\n",
                                    "GET  /?U=a HTTP/1.0\r\n\r\n", "GET/?U=a HTTP/1.0\r\n\r\n"}) {
    const Fed fed = FeedInChunks(request, 10);
    EXPECT_TRUE(fed.headers.empty()) << request;
    EXPECT_LE(fed.largest, 14u) << request;
  }
}

TEST(ExtractHeader, EndsTheHeaderAtTwoLineFeedsWithOnlyCarriageReturnsBetween) {
  struct Case {
    std::string data;
    std::string header;
  };
  const std::vector<Case> cases = {
      {"GET /?U=a HTTP/1.0\r\nHost: b\r\n\r\n", "GET /?U=a HTTP/1.0\r\nHost: b"},
      {"GET /?U=a HTTP/1.0\nHost: b\n\n", "GET /?U=a HTTP/1.0\nHost: b"},
      {"GET /?U=a HTTP/1.0\r\nHost: b\r\n\r\r\n", "GET /?U=a HTTP/1.0\r\nHost: b"},
      {"GET /?U=a HTTP/1.0\r\nHost: b\r\n\n", "GET /?U=a HTTP/1.0\r\nHost: b"},
      {"GET /?U=a HTTP/1.0\r\nHost: b\n\r\n", "GET /?U=a HTTP/1.0\r\nHost: b"},
      {"GET /?U=a\r\n\r\n", "GET /?U=a"},
  };
  for (const Case& c : cases) {
    for (const size_t chunk : {size_t{1}, size_t{10}, c.data.size()}) {
      const Fed fed = FeedInChunks(c.data, chunk);
      ASSERT_EQ(fed.headers.size(), 1u) << c.data;
      EXPECT_EQ(fed.headers[0], c.header);
    }
  }
  // A single line end, or one broken by another byte, is no end.
  for (const std::string open :
       {"GET /?U=a HTTP/1.0\r\n", "GET /?U=a HTTP/1.0\r\n\r", "GET /?U=a\r\n \r\n", "GET /?U=a\n\t\n"}) {
    EXPECT_TRUE(FeedInChunks(open, 10).headers.empty()) << open;
  }
}

TEST(ExtractHeader, LeavesWhatFollowsTheHeaderInTheData) {
  const Fed fed = FeedInChunks(kRequest + "body" + kRequest, 10);
  // The test runs once per chunk; a second header stays behind unless a later chunk comes.
  ASSERT_GE(fed.headers.size(), 1u);
  EXPECT_EQ(fed.headers[0], kHeader);
  std::string in_data = kRequest + "body";
  std::string header;
  ASSERT_TRUE(TSrvThread::ExtractHeader(in_data, header));
  EXPECT_EQ(in_data, "body");
}

TEST(ExtractHeader, FlushesMoreThan5000BytesWithoutAnEndOfHeader) {
  ServerEnvironment environment;
  const std::string line = "GET /?U=a HTTP/1.0\r\n";
  std::string in_data = line + std::string(5000 - line.size(), 'h');
  std::string header;
  EXPECT_FALSE(TSrvThread::ExtractHeader(in_data, header));
  EXPECT_EQ(in_data.size(), 5000u);  // exactly 5000 are kept
  EXPECT_TRUE(EventsWithId(101).empty());

  in_data += "h";
  const std::string flushed = in_data;
  EXPECT_FALSE(TSrvThread::ExtractHeader(in_data, header));
  EXPECT_EQ(in_data, "");
  EXPECT_EQ(header, "");
  if (!qv::testing::SkipUnderWine(qv::testing::kWineKeepsNoEvents)) {
    const auto events = EventsWithId(101);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].EventType, platform::EVENTLOG_WARNING_TYPE);
    EXPECT_TRUE(events[0].Strings.empty());
  }
  EXPECT_TRUE(environment.WaitForTrace(
      "Warning - Maybe a HACKER ATTACK! Flushing Buffer!\r\n\tBufferData: " + flushed + "\r\n"));

  // Fed in chunks, the data never holds more than 5000 bytes plus one chunk; after the flush a header
  // counts only when it begins with "GET /" again.
  const Fed fed = FeedInChunks(line + std::string(6000, 'h') + "\r\n\r\n" + kRequest, 10);
  EXPECT_LE(fed.largest, 5010u);
  ASSERT_EQ(fed.headers.size(), 1u);
  EXPECT_EQ(fed.headers[0], kHeader);
}

}  // namespace
}  // namespace qv
