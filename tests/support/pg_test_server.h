// A PostgreSQL server of the tests' own: made with initdb in a temporary folder, reached only by
// a Unix socket in that folder, stopped and removed at the end. Every test and benchmark of the
// shared series uses this one helper.
#pragma once

#include <filesystem>
#include <string>

namespace vx3::testing {

class PgTestServer {
 public:
  // `durable`: commits synced to the disk, as on a real server (the benchmarks); off for the
  // tests, which do not measure the disk.
  explicit PgTestServer(bool durable = false);
  ~PgTestServer();
  PgTestServer(const PgTestServer&) = delete;
  PgTestServer& operator=(const PgTestServer&) = delete;

  // The one server of this process, started when first asked for and stopped at its exit.
  static PgTestServer& Shared();

  // Why there is no server (PostgreSQL not installed, initdb failed); empty when it runs.
  const std::string& unavailable() const { return unavailable_; }
  bool running() const { return running_; }

  // A new, empty database on the server; its connection string (no password: the server
  // trusts its own socket).
  std::string NewDatabase(const std::string& name);
  std::string Connection(const std::string& database) const;

  // Stops the server (fast: connections are cut) and starts it again on the same folder.
  bool Stop();
  bool Start();

 private:
  bool Run(const std::string& command) const;

  std::filesystem::path folder_;
  std::filesystem::path bin_;
  std::string unavailable_;
  bool durable_ = false;
  bool running_ = false;
  bool asRoot_ = false;
};

}  // namespace vx3::testing
