// vx3wt-cli: the VX3WT program without its window.
#ifdef VX3WT_HAS_LEDGER
#include "ledger/sqlite_ledger.h"
#endif

#ifdef VX3WT_HAS_SERIES
#include "ledger/series_server.h"
#endif

#include "app/writer_access.h"
#include "cli/cli_app.h"
#include "platform/program_path.h"

int main(int argc, char** argv) {
  vx3::cli::CliHost host;
  host.programPath = vx3::platform::ExecutablePath();
#ifdef VX3WT_HAS_LEDGER
  host.ledgerOpener = [](const std::filesystem::path& dataDir, vx3::platform::Clock& clock) {
    // The values are issued under the lock of the Writer this process talks to.
    vx3::platform::SystemEnvironment environment;
    vx3::ledger::LedgerOptions options;
    options.owner = vx3::app::WriterLockName(environment);
    options.ownerHeld = vx3::app::OwnerHeldElsewhere(dataDir);
    return vx3::ledger::OpenSqliteLedger(dataDir, clock, options);
  };
  host.recordInBuild = true;
#endif
#ifdef VX3WT_HAS_SERIES
  host.seriesOpener = [](const std::string& connection) { return vx3::ledger::OpenSeriesServer(connection); };
#endif
  vx3::cli::InstallInterruptHandler();
  return vx3::cli::RunCli(argc, argv, host);
}
