// The production record the tests' program keeps: the SQLite store where the build has one;
// elsewhere none, and the commands that write a serial number refuse, as the program does.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

#include "app/writer_access.h"
#include "ledger/production_ledger.h"
#ifdef VX3WT_HAS_LEDGER
#include "ledger/sqlite_ledger.h"
#endif

namespace vx3::testing {

inline ledger::LedgerOpener LedgerOpenerForTests() {
#ifdef VX3WT_HAS_LEDGER
  // As the program opens it: values issued under this process's Writer lock, and a value left
  // open by another running program's lock kept open.
  return [](const std::filesystem::path& dataDir, platform::Clock& clock) {
    platform::SystemEnvironment environment;
    ledger::LedgerOptions options;
    options.owner = app::WriterLockName(environment);
    options.ownerHeld = app::OwnerHeldElsewhere(dataDir);
    return ledger::OpenSqliteLedger(dataDir, clock, options);
  };
#else
  return {};
#endif
}

// Whether this build keeps a production record: tests of serial numbers need one.
inline constexpr bool kBuildKeepsRecord =
#ifdef VX3WT_HAS_LEDGER
    true;
#else
    false;
#endif

// What the status box says at start in a build without a record, after the welcome text; empty
// where the build keeps one.
inline std::string NoRecordNote() {
  if (kBuildKeepsRecord) return {};
  return "\r\n\r\nErr: The production record cannot be used: this build of the program keeps no production "
         "record. Commands that write a serial number are stopped.\r\n";
}

// The status box without the lines that say the build keeps no record (none where it keeps one).
inline std::string WithoutNoRecordLines(std::string status) {
  constexpr std::string_view kLine = "Err: The production record cannot be used: ";
  for (std::size_t at = status.find(kLine); at != std::string::npos; at = status.find(kLine, at)) {
    const std::size_t end = status.find("\r\n", at);
    status.erase(at, end == std::string::npos ? std::string::npos : end + 2 - at);
  }
  return status;
}

}  // namespace vx3::testing
