// The production record the tests' program keeps: the SQLite store where the build has one;
// elsewhere none, and the commands that write a serial number refuse, as the program does.
#pragma once

#include <filesystem>

#include "ledger/production_ledger.h"
#ifdef VX3WT_HAS_LEDGER
#include "ledger/sqlite_ledger.h"
#endif

namespace vx3::testing {

inline ledger::LedgerOpener LedgerOpenerForTests() {
#ifdef VX3WT_HAS_LEDGER
  return [](const std::filesystem::path& dataDir, platform::Clock& clock) {
    return ledger::OpenSqliteLedger(dataDir, clock);
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

}  // namespace vx3::testing
