#pragma once
// An HTTP (or, given a certificate and key, HTTPS) server that a test starts on 127.0.0.1 at an
// ephemeral port. Register the routes on server(), then start(); the destructor stops the server and
// waits for it. Tests that use it link PkgConfig::HTTPLIB.

#include <httplib.h>

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

}  // namespace chengling::testing
