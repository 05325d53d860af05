#include "testing/stand_in_origin.h"

#include <gtest/gtest.h>

#include "platform/errors/last_error.h"
#include "platform/sockets/tcp_socket.h"

namespace qv::testing {
namespace {

// Sends the request in the pieces given and reads the answer to the end of the stream.
std::string Exchange(uint16_t port, std::initializer_list<std::string_view> pieces) {
  platform::TcpSocket client;
  EXPECT_TRUE(client.Connect("127.0.0.1", port, 2000)) << platform::GetLastError();
  for (const auto piece : pieces) EXPECT_TRUE(client.Send(piece));
  std::string answer;
  size_t received = 0;
  while (client.Receive(5000, 4096, &answer, &received) && received > 0) {
  }
  return answer;
}

TEST(StandInOrigin, AnswersOnceTheHeaderIsCompleteAndThenCloses) {
  StandInOrigin origin(WmlResponse("<wml/>"));
  EXPECT_EQ(origin.Url("/?U=a"), "http://127.0.0.1:" + std::to_string(origin.Port()) + "/?U=a");
  // The blank line comes in a later piece than the GET line; the answer must wait for it.
  EXPECT_EQ(Exchange(origin.Port(), {"GET /?U=a%20b&P=x HTTP/1.1\r\nConnection: keep-alive\r\n", "\r", "\n"}),
            "HTTP/1.0 200 OK\r\nContent-Type: text/vnd.wap.wml\r\n\r\n<wml/>");

  origin.SetResponse("HTTP/1.0 200 OK\r\n\r\nnext");
  EXPECT_EQ(Exchange(origin.Port(), {"GET / HTTP/1.0\r\n\r\nbody after the header"}),
            "HTTP/1.0 200 OK\r\n\r\nnext");

  EXPECT_EQ(origin.Requests(), (std::vector<std::string>{
                                   "GET /?U=a%20b&P=x HTTP/1.1\r\nConnection: keep-alive\r\n\r\n",
                                   "GET / HTTP/1.0\r\n\r\n",
                               }));
}

}  // namespace
}  // namespace qv::testing
