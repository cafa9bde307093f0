#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <lua.hpp>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "Network.h"
#include "script/LuaFuncs.h"
#include "TempDir.h"

extern char** environ;

// The web client against a real web server: lighttpd from Debian (scripts/install-deps installs
// it), started here on a free loopback port with a configuration of its own, serving a binary
// file full of zero bytes. The engine and the script's getPageFromWebServer must both get it
// byte for byte, with the status code.
namespace {

// The lighttpd program, or "" when it is not installed: searched in PATH and in the system
// folders that a user's PATH may leave out.
std::string lighttpdProgram() {
  const char* searchPath = std::getenv("PATH");
  std::string folders = std::string(searchPath != nullptr ? searchPath : "") + ":/usr/sbin:/usr/local/sbin";
  size_t start = 0;
  while (start <= folders.size()) {
    const size_t colon = std::min(folders.find(':', start), folders.size());
    const std::string candidate = folders.substr(start, colon - start) + "/lighttpd";
    if (colon > start && access(candidate.c_str(), X_OK) == 0) return candidate;
    start = colon + 1;
  }
  return "";
}

// A loopback port that nothing listens on now.
int freePort() {
  const int probe = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  EXPECT_EQ(bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof(address)), 0);
  socklen_t length = sizeof(address);
  getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length);
  close(probe);
  return ntohs(address.sin_port);
}

bool isAccepting(int port) {
  const int client = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<uint16_t>(port));
  const bool isConnected = connect(client, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0;
  close(client);
  return isConnected;
}

// lighttpd serving dir/www on 127.0.0.1, stopped with the object. `failure` says why it could
// not be started (empty once it accepts connections).
class Lighttpd {
 public:
  explicit Lighttpd(const TempDir& parDir) : dir(parDir) {
    const std::string program = lighttpdProgram();
    if (program.empty()) {
      failure = "lighttpd is not installed (scripts/install-deps installs it)";
      return;
    }
    // A port found free may be taken before the server binds it: a few tries.
    for (int attempt = 0; attempt < 3 && pid <= 0; ++attempt) start(program);
  }

  ~Lighttpd() { stop(); }

  std::string url(const std::string& path) const { return "http://127.0.0.1:" + std::to_string(port) + path; }

  std::string failure;

 private:
  void start(const std::string& program) {
    port = freePort();
    const std::string config = dir.write(
        "lighttpd.conf", "server.document-root = \"" + dir.file("www") + "\"\n" +
                             "server.bind = \"127.0.0.1\"\n" + "server.port = " + std::to_string(port) + "\n" +
                             "server.errorlog = \"" + dir.file("error.log") + "\"\n" +
                             "mimetype.assign = (\".bin\" => \"application/octet-stream\")\n");
    posix_spawn_file_actions_t files;
    posix_spawn_file_actions_init(&files);
    posix_spawn_file_actions_addopen(&files, STDOUT_FILENO, dir.file("output.log").c_str(),
                                     O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&files, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    const char* arguments[] = {program.c_str(), "-D", "-f", config.c_str(), nullptr};
    pid_t started = 0;
    const int error =
        posix_spawn(&started, program.c_str(), &files, nullptr, const_cast<char* const*>(arguments), environ);
    posix_spawn_file_actions_destroy(&files);
    if (error != 0) {
      failure = program + " could not be started: " + std::strerror(error);
      return;
    }
    pid = started;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (std::chrono::steady_clock::now() < giveUp) {
      if (isAccepting(port)) {
        failure.clear();
        return;
      }
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) break;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    failure = "lighttpd did not serve on port " + std::to_string(port) + ": " + readFile(dir.file("output.log")) +
              readFile(dir.file("error.log"));
    stop();
  }

  void stop() {
    if (pid <= 0) return;
    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    pid = -1;
  }

  const TempDir& dir;
  pid_t pid = -1;
  int port = 0;
};

class WebServerTest : public testing::Test {
 protected:
  void SetUp() override {
    // A megabyte of every byte value, with runs of zero bytes and line feeds between.
    uint32_t state = 12345;
    for (int i = 0; i < 1 << 20; ++i) {
      state = state * 1664525u + 1013904223u;
      const uint32_t kind = state >> 28;
      binary += kind < 3 ? '\0' : kind < 4 ? '\n' : static_cast<char>(state >> 16);
    }
    dir.write("www/data.bin", binary);
    server = std::make_unique<Lighttpd>(dir);
    // Not installed is a failure, not a skip: CI installs it.
    ASSERT_EQ(server->failure, "");
  }

  TempDir dir;
  std::string binary;
  std::unique_ptr<Lighttpd> server;
};

TEST_F(WebServerTest, EngineGetsTheBinaryFileByteForByteWithTheStatus) {
  int status = 0;
  const std::optional<std::string> page =
      Network::getPageFromWebServer(false, server->url("/data.bin"), 80, 20.0, &status);
  ASSERT_TRUE(page.has_value());
  EXPECT_EQ(status, 200);
  EXPECT_EQ(page->size(), binary.size());
  EXPECT_TRUE(*page == binary);

  // A file it does not have: its error page, with the status that says so.
  const std::optional<std::string> missing =
      Network::getPageFromWebServer(false, server->url("/absent.bin"), 80, 20.0, &status);
  ASSERT_TRUE(missing.has_value());
  EXPECT_EQ(status, 404);
  EXPECT_NE(missing->find("404"), std::string::npos) << *missing;
}

TEST_F(WebServerTest, ScriptGetsTheBinaryFileAndTheStatusAsSecondResult) {
  LuaFuncs host(dir.write("world.lua", "Game = {}\n"), nullptr, nullptr, nullptr);
  lua_State* lua = host.getLuaState();
  const std::string chunk =
      "local url = '" + server->url("/data.bin") + "'\n" +
      "page, status = getPageFromWebServer(url, false)\n" +
      "count = select('#', getPageFromWebServer(url, false))\n" +
      "only = getPageFromWebServer(url, false)\n" +
      "missingPage, missingStatus = getPageFromWebServer('" + server->url("/absent.bin") + "', false)\n";
  ASSERT_EQ(luaL_dostring(lua, chunk.c_str()), 0) << lua_tostring(lua, -1);
  const auto global = [lua](const char* name) {
    lua_getfield(lua, LUA_GLOBALSINDEX, name);
    size_t length = 0;
    const char* text = lua_tolstring(lua, -1, &length);
    std::string value = text != nullptr ? std::string(text, length) : std::string("(nil)");
    lua_pop(lua, 1);
    return value;
  };
  EXPECT_TRUE(global("page") == binary) << global("page").size() << " bytes";
  EXPECT_EQ(global("status"), "200");
  EXPECT_EQ(global("count"), "2");
  // A script that takes one result gets the page, as before.
  EXPECT_TRUE(global("only") == binary);
  EXPECT_EQ(global("missingStatus"), "404");
  EXPECT_NE(global("missingPage"), "");
}

}  // namespace
