#include "support/pg_test_server.h"

#include <cstdlib>
#include <memory>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#ifndef _WIN32
#include <pwd.h>
#include <unistd.h>
#endif

namespace vx3::testing {
namespace {

namespace fs = std::filesystem;

// The socket's number only names its file in our folder: no other server sees it.
constexpr int kSocketPort = 5432;
constexpr const char* kServerUser = "postgres";
constexpr const char* kPostgresLibDir = "/usr/lib/postgresql";

// The newest installed server's programs (Debian keeps each version in its own folder).
fs::path ServerPrograms() {
  std::error_code ec;
  fs::path best;
  int bestVersion = 0;
  for (const auto& entry : fs::directory_iterator(kPostgresLibDir, ec)) {
    const int version = std::atoi(entry.path().filename().string().c_str());
    if (version > bestVersion && fs::exists(entry.path() / "bin" / "initdb", ec)) {
      bestVersion = version;
      best = entry.path() / "bin";
    }
  }
  return best;
}

std::string Quoted(const fs::path& path) { return "'" + path.string() + "'"; }

}  // namespace

PgTestServer::PgTestServer(bool durable) : durable_(durable) {
#ifdef _WIN32
  unavailable_ = "the tests' PostgreSQL server runs on Linux only";
#else
  bin_ = ServerPrograms();
  if (bin_.empty()) {
    unavailable_ = fmt::format("PostgreSQL's server is not installed (no {}/*/bin/initdb)", kPostgresLibDir);
    return;
  }
  // initdb refuses root: the server then runs as the system user that the package makes.
  asRoot_ = geteuid() == 0;
  const passwd* user = asRoot_ ? getpwnam(kServerUser) : nullptr;
  if (asRoot_ && user == nullptr) {
    unavailable_ = fmt::format("running as root and there is no '{}' user to run the server", kServerUser);
    return;
  }
  std::string pattern = (fs::temp_directory_path() / "vx3wt-pg-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    unavailable_ = "no temporary folder for the server";
    return;
  }
  folder_ = pattern;
  if (asRoot_ && chown(folder_.c_str(), user->pw_uid, user->pw_gid) != 0) {
    unavailable_ = "the server's folder cannot be given to its user";
    return;
  }
  if (!Run(fmt::format("{} -D {} -U {} -A trust --no-sync -E UTF8 --locale=C > {} 2>&1", Quoted(bin_ / "initdb"),
                       Quoted(folder_ / "data"), kServerUser, Quoted(folder_ / "initdb.log")))) {
    unavailable_ = fmt::format("initdb failed (see {})", (folder_ / "initdb.log").string());
    return;
  }
  if (!Start()) unavailable_ = fmt::format("the server did not start (see {})", (folder_ / "server.log").string());
#endif
}

PgTestServer::~PgTestServer() {
  if (running_) Stop();
  if (!folder_.empty()) {
    std::error_code ec;
    fs::remove_all(folder_, ec);
  }
}

PgTestServer& PgTestServer::Shared() {
  static PgTestServer server;
  return server;
}

bool PgTestServer::Run(const std::string& command) const {
  const std::string line = asRoot_ ? fmt::format("runuser -u {} -- sh -c \"{}\"", kServerUser, command) : command;
  return std::system(line.c_str()) == 0;
}

bool PgTestServer::Start() {
  if (bin_.empty() || folder_.empty()) return false;
  const std::string settings =
      fmt::format("-c listen_addresses= -k {} -p {} -c max_connections=200{}", folder_.string(), kSocketPort,
                  durable_ ? "" : " -c fsync=off -c synchronous_commit=off -c full_page_writes=off");
  running_ = Run(fmt::format("{} -D {} -l {} -w -o '{}' start > /dev/null", Quoted(bin_ / "pg_ctl"),
                             Quoted(folder_ / "data"), Quoted(folder_ / "server.log"), settings));
  return running_;
}

bool PgTestServer::Stop() {
  if (!running_) return true;
  const bool stopped =
      Run(fmt::format("{} -D {} -m fast -w stop > /dev/null", Quoted(bin_ / "pg_ctl"), Quoted(folder_ / "data")));
  running_ = !stopped;
  return stopped;
}

std::string PgTestServer::Connection(const std::string& database) const {
  return fmt::format("host={} port={} user={} dbname={}", folder_.string(), kSocketPort, kServerUser, database);
}

std::string PgTestServer::NewDatabase(const std::string& name) {
  Run(fmt::format("{} -h {} -p {} -U {} --if-exists {} > /dev/null 2>&1", Quoted(bin_ / "dropdb"), folder_.string(),
                  kSocketPort, kServerUser, name));
  if (!Run(fmt::format("{} -h {} -p {} -U {} {}", Quoted(bin_ / "createdb"), folder_.string(), kSocketPort,
                       kServerUser, name))) {
    return {};
  }
  return Connection(name);
}

}  // namespace vx3::testing
