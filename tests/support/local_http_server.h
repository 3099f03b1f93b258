#pragma once
// An HTTP (or, given a certificate and key, HTTPS) server that a test starts on 127.0.0.1 at an
// ephemeral port. Register the routes on server(), then start(); the destructor stops the server and
// waits for it. Tests that use it link PkgConfig::HTTPLIB.

#include <arpa/inet.h>
#include <httplib.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <string_view>
#include <thread>

namespace chengling::testing {

class LocalHttpServer {
 public:
  LocalHttpServer() : server_(std::make_unique<httplib::Server>()) {}
  LocalHttpServer(const std::string& certificateFile, const std::string& keyFile)
      : server_(std::make_unique<httplib::SSLServer>(certificateFile.c_str(), keyFile.c_str())),
        scheme_("https://") {}
  ~LocalHttpServer() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
  }
  LocalHttpServer(const LocalHttpServer&) = delete;
  LocalHttpServer& operator=(const LocalHttpServer&) = delete;

  httplib::Server& server() { return *server_; }

  // Binds and serves; false when no port could be bound.
  bool start() {
    port_ = server_->bind_to_any_port("127.0.0.1");
    if (port_ <= 0) return false;
    thread_ = std::thread([this] { server_->listen_after_bind(); });
    for (int i = 0; i < 500 && !server_->is_running(); ++i) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return server_->is_running();
  }

  int port() const { return port_; }
  // "127.0.0.1:port" + path, without a scheme.
  std::string hostAndPort(std::string_view path = "") const {
    return "127.0.0.1:" + std::to_string(port_) + std::string(path);
  }
  // "http://127.0.0.1:port" + path (https:// for a secure server).
  std::string url(std::string_view path = "") const { return scheme_ + hostAndPort(path); }

 private:
  std::unique_ptr<httplib::Server> server_;
  std::string scheme_ = "http://";
  std::thread thread_;
  int port_ = 0;
};

// An address on 127.0.0.1 that nothing listens on: its port was bound for a moment, then closed.
// Empty when no port could be had.
inline std::string closedLocalAddress(std::string_view path = "/x") {
  const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
  if (listener < 0) return {};
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  const bool bound = ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
                     ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) == 0;
  ::close(listener);
  return bound ? "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + std::string(path) : std::string();
}

}  // namespace chengling::testing
