#include "tools/qv/regedit/regedit_server.h"

#include <pthread.h>

#include <httplib.h>
#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "tools/qv/cli/cli.h"
#include "tools/qv/regedit/regedit_api.h"
#include "tools/qv/regedit/regedit_files.h"
#include "tools/qv/regedit/regedit_page.h"

namespace quorvane::qv {

namespace {

constexpr std::size_t kMostBody = 64u << 20;  // an upload of a large .reg file
constexpr const char* kTokenHeader = "X-Qv-Token";

// 128 random bits from the kernel, as 32 hex digits.
std::string NewToken() {
  std::ifstream random("/dev/urandom", std::ios::binary);
  std::string bytes(16, '\0');
  if (!random.read(bytes.data(), static_cast<std::streamsize>(bytes.size()))) {
    throw ToolFailure("regedit: no random numbers for the page's token (/dev/urandom)");
  }
  return RegeditApi::Hex(bytes);
}

// Compared in time that does not depend on where they differ.
bool SameSecret(const std::string& given, const std::string& secret) {
  if (given.size() != secret.size()) return false;
  unsigned char differs = 0;
  for (std::size_t i = 0; i < secret.size(); ++i) {
    differs |= static_cast<unsigned char>(given[i] ^ secret[i]);
  }
  return differs == 0;
}

void Refuse(httplib::Response& response, int status, const std::string& why) {
  response.status = status;
  response.set_content(nlohmann::json{{"error", why}}.dump(), "application/json");
}

void Headers(httplib::Response& response) {
  // Nothing of the page is kept, framed, sniffed or sent on as a referrer
  // (which would carry the token).
  response.set_header("Cache-Control", "no-store");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("X-Frame-Options", "DENY");
  response.set_header("Content-Security-Policy",
                      "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; "
                      "form-action 'none'; base-uri 'none'");
}

}  // namespace

int RegeditServer::Serve(const Options& options) {
  const std::string token = NewToken();
  httplib::Server server;
  // One request at a time: the registry's calls and the log in order, and a
  // bound on what a flood of requests can hold.
  server.new_task_queue = [] { return new httplib::ThreadPool(1); };
  server.set_payload_max_length(kMostBody);
  // A connection kept open would hold the one worker from the browser's
  // other connections until it timed out: one request a connection.
  server.set_keep_alive_max_count(1);
  server.set_read_timeout(10, 0);
  int port = 0;
  std::string host;    // what the Host header must be
  std::string origin;  // and the Origin, where one is sent

  server.set_logger([&token](const httplib::Request& request, const httplib::Response& response) {
    std::string path = request.path;
    for (std::size_t at; (at = path.find(token)) != std::string::npos;) {
      path.replace(at, token.size(), "TOKEN");  // never logged
    }
    std::fprintf(stderr, "qv regedit: %s %s %d\n", request.method.c_str(), path.c_str(),
                 response.status);
  });
  server.set_pre_routing_handler([&](const httplib::Request& request, httplib::Response& response) {
    Headers(response);
    const std::string& path = request.path;
    const std::string given_host = request.get_header_value("Host");
    if (given_host != host && given_host != "localhost:" + std::to_string(port)) {
      Refuse(response, 403, "this server answers only at " + host);
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.has_header("Origin")) {
      const std::string given = request.get_header_value("Origin");
      if (given != origin && given != "http://localhost:" + std::to_string(port)) {
        Refuse(response, 403, "a request from another site is refused");
        return httplib::Server::HandlerResponse::Handled;
      }
    }
    if (path.find("..") != std::string::npos) {
      Refuse(response, 400, "a path with .. is refused");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (path.size() < token.size() + 2 || path[0] != '/' ||
        !SameSecret(path.substr(1, token.size()), token) || path[token.size() + 1] != '/') {
      Refuse(response, 403, "this address needs the page's token");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.method == "POST" && !SameSecret(request.get_header_value(kTokenHeader), token)) {
      Refuse(response, 403, "a change needs the page's token in its header");
      return httplib::Server::HandlerResponse::Handled;
    }
    // Refused before a byte of the body is read.
    if (std::strtoull(request.get_header_value("Content-Length").c_str(), nullptr, 10) >
        kMostBody) {
      response.set_header("Connection", "close");
      Refuse(response, 413, "a request body over 64 MiB is refused");
      return httplib::Server::HandlerResponse::Handled;
    }
    if (request.method != "GET" && request.method != "POST") {
      Refuse(response, 405, "only GET and POST");
      return httplib::Server::HandlerResponse::Handled;
    }
    return httplib::Server::HandlerResponse::Unhandled;
  });

  const std::string base = "/" + token + "/";
  server.Get(base, [](const httplib::Request&, httplib::Response& response) {
    response.set_content(RegeditPage::Html(), "text/html; charset=utf-8");
  });
  server.Get(base + "page.js", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(RegeditPage::Script(), "text/javascript; charset=utf-8");
  });
  server.Get(base + "files.js", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(RegeditPage::FilesScript(), "text/javascript; charset=utf-8");
  });
  server.Get(base + "page.css", [](const httplib::Request&, httplib::Response& response) {
    response.set_content(RegeditPage::Style(), "text/css; charset=utf-8");
  });
  RegeditFiles files;
  const auto query = [](const httplib::Request& request, const char* name) {
    return request.has_param(name) ? request.get_param_value(name) : std::string();
  };
  const auto answer = [](httplib::Response& response, const std::string& json, bool failed) {
    response.set_content(json, "application/json");
    if (failed) response.status = 400;
  };
  server.Get(base + "api/find", [&](const httplib::Request& request, httplib::Response& response) {
    nlohmann::json asked = nlohmann::json::object();
    for (const auto& [name, value] : request.params) asked[name] = value;
    bool failed = false;
    const std::string found = files.Find(asked.dump(), &failed);
    answer(response, found, failed);
  });
  server.Get(
      base + "api/export", [&](const httplib::Request& request, httplib::Response& response) {
        const bool hive = query(request, "format") == "hive";
        bool failed = false;
        std::string bytes = files.Export(query(request, "path"), query(request, "view"),
                                         hive ? "hive" : "reg", &failed);
        if (failed) return answer(response, bytes, true);
        response.set_header("Content-Disposition", hive ? "attachment; filename=\"export.hiv\""
                                                        : "attachment; filename=\"export.reg\"");
        response.set_content(bytes, "application/octet-stream");
      });
  server.Post(
      base + "api/import", [&](const httplib::Request& request, httplib::Response& response) {
        bool failed = false;
        const std::string done = files.Import(query(request, "kind"), query(request, "path"),
                                              query(request, "view"), request.body, &failed);
        answer(response, done, failed);
      });
  server.Post(
      base + "api/compare", [&](const httplib::Request& request, httplib::Response& response) {
        bool failed = false;
        const std::string compared = files.Compare(query(request, "path"), query(request, "other"),
                                                   query(request, "view"), request.body, &failed);
        answer(response, compared, failed);
      });
  // Reads by GET (their query as the request), changes by POST alone.
  server.Get(
      base + R"(api/([a-z/]+))", [](const httplib::Request& request, httplib::Response& response) {
        const std::string action = request.matches[1];
        if (RegeditApi::Changes(action)) {
          Refuse(response, 405, "a change is made by POST alone");
          return;
        }
        nlohmann::json asked = nlohmann::json::object();
        for (const auto& [name, value] : request.params) asked[name] = value;
        bool failed = false;
        response.set_content(RegeditApi::Answer(action, asked.dump(), &failed), "application/json");
        if (failed) response.status = 400;
      });
  server.Post(base + "api/quit", [&server](const httplib::Request&, httplib::Response& response) {
    response.set_content("{\"done\":true}", "application/json");
    std::thread([&server] { server.stop(); }).detach();
  });
  server.Post(base + R"(api/([a-z/]+))",
              [](const httplib::Request& request, httplib::Response& response) {
                bool failed = false;
                response.set_content(RegeditApi::Answer(request.matches[1], request.body, &failed),
                                     "application/json");
                if (failed) response.status = 400;
              });

  port = options.port == 0 ? server.bind_to_any_port("127.0.0.1")
                           : (server.bind_to_port("127.0.0.1", options.port) ? options.port : -1);
  if (port <= 0) {
    throw ToolFailure("regedit: cannot listen on 127.0.0.1" +
                      (options.port == 0 ? std::string() : ":" + std::to_string(options.port)));
  }
  host = "127.0.0.1:" + std::to_string(port);
  origin = "http://" + host;

  // Ctrl-C and SIGTERM end the server: the signals wait for a thread of their
  // own (the server's threads inherit the mask), which stops it.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);
  std::atomic<bool> ended{false};
  std::thread stopper([&] {
    const timespec a_while{0, 200L * 1000 * 1000};
    bool asked = false;
    while (!ended) {
      if (!asked) {
        asked = sigtimedwait(&signals, nullptr, &a_while) > 0;
      } else {
        // Until it ends: a stop before the server runs would be lost.
        server.stop();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
      }
    }
  });
  if (options.listening) options.listening("http://" + host + base);
  server.listen_after_bind();
  ended = true;  // by the page's Quit, or by a signal
  stopper.join();
  return 0;
}

}  // namespace quorvane::qv
