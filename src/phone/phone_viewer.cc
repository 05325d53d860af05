#include "phone/phone_viewer.h"

#include "net/server_client_thread.h"
#include "net/socket_error.h"
#include "net/socket_stream.h"

namespace qv::phone {

namespace {

constexpr uint32_t kReadTimeoutMs = 10000;
constexpr size_t kMaxRequestHead = 16384;

class ViewerRequestThread final : public net::TServerClientThread {
 public:
  ViewerRequestThread(net::TServerClientWinSocket* socket, const ViewerSettings& settings)
      : TServerClientThread(socket), settings_(settings) {}

 protected:
  void ClientExecute() override {
    try {
      std::string head;
      if (ReadHead(head)) Send(AnswerViewerRequest(head, settings_));
    } catch (const net::ESocketError&) {
      // The browser went; nothing is left to answer.
    }
  }

 private:
  // False when the browser sent no complete head in time.
  bool ReadHead(std::string& head) {
    net::TWinSocketStream stream(*ClientSocket(), kReadTimeoutMs);
    char buffer[4096];
    while (head.find("\r\n\r\n") == std::string::npos) {
      // A head this long is no browser's: it is answered from what came (a bad request, at most).
      if (head.size() > kMaxRequestHead) return true;
      const int32_t count = stream.Read(buffer, static_cast<int32_t>(sizeof buffer));
      if (count <= 0) return false;
      head.append(buffer, static_cast<size_t>(count));
    }
    return true;
  }

  void Send(const std::string& response) {
    std::string_view rest = response;
    while (!rest.empty()) {
      const int32_t sent = ClientSocket()->SendText(std::string(rest));
      if (sent <= 0) return;
      rest.remove_prefix(static_cast<size_t>(sent));
    }
  }

  const ViewerSettings& settings_;
};

}  // namespace

PhoneViewer::PhoneViewer(const std::string& address, uint16_t port, ViewerSettings settings)
    : settings_(std::move(settings)), address_(address) {
  server_.SetAddress(address);
  server_.SetPort(port);
  server_.OnGetThread =
      [this](net::TServerSocket& server,
             net::TServerClientWinSocket& socket) -> std::unique_ptr<net::TServerClientThread> {
    if (server.ActiveThreads() >= kMaxConnections) return nullptr;
    return std::make_unique<ViewerRequestThread>(&socket, settings_);
  };
  server_.SetActive(true);
}

PhoneViewer::~PhoneViewer() {
  server_.SetActive(false);
}

std::string PhoneViewer::Address() const {
  const std::string host = address_.empty() || address_ == "0.0.0.0" ? "127.0.0.1" : address_;
  return "http://" + host + ":" + std::to_string(Port()) + "/";
}

}  // namespace qv::phone
