// The services and shared state of one run, handed to the start-up, the window's presenter and
// the Writer operations instead of process-wide globals, so that no test leaks into the next.
#pragma once

#include <memory>

#include "app/production_record.h"
#include "app/run_state.h"
#include "app/series_station.h"
#include "app/writer_access.h"
#include "image/loaded_image.h"
#include "link/bridge_library.h"
#include "link/writer_link.h"
#include "platform/clock.h"
#include "platform/command_processor.h"
#include "platform/environment.h"
#include "platform/thread_locale.h"
#include "rolling/rolling_settings.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"
#include "writer_ops/eeprom_header.h"
#include "writer_ops/firmware_update.h"
#include "writer_ops/progress_window.h"
#include "writer_ops/writer_services.h"

namespace vx3::app {

struct AppContext {
  // The Writer is reached through `bridge`: by default the bridge library of the program folder.
  AppContext(platform::ThreadLocale& threadLocale, platform::Clock& systemClock,
             std::unique_ptr<link::BridgeLibrary> bridge = std::make_unique<link::DynamicBridgeLibrary>())
      : locale(threadLocale), clock(systemClock), link(std::move(bridge), reporter, language) {}

  writer_ops::WriterServices writer() { return {link, reporter, language, &clock}; }

  platform::ThreadLocale& locale;
  platform::Clock& clock;
  RunState state;
  text::Language language;
  text::Reporter reporter{language, clock};
  writer_ops::ProgressWindow progress{clock};
  link::WriterLink link;
  image::LoadedImage image;
  rolling::RollingSettings rolling;
  writer_ops::EepromHeader eepromHeader;
  writer_ops::FirmwareState firmware;
  // Runs the rolling INI's generator program; tests put a scripted one in its place.
  std::unique_ptr<platform::CommandProcessor> commands = std::make_unique<platform::SystemCommandProcessor>();
  // Opens the production record at start (the program's store; none in a build without one).
  ledger::LedgerOpener ledgerOpener;
  ProductionRecord record;
  // Opens a connection to a shared series' server (none in a build without its client library);
  // the station's part in the series of the loaded job. After the record: it goes first.
  SeriesOpener seriesOpener;
  SeriesStation series;
  // Where start-up finds the user's data folder and whether the program folder may be written;
  // tests put a scripted one in its place.
  std::unique_ptr<platform::Environment> environment = std::make_unique<platform::SystemEnvironment>();
  // This program's hold on its Writer (the window takes it for the whole run, the command line
  // for each Writer command); none taken, nothing refused.
  WriterAccess writerAccess;
};

}  // namespace vx3::app
