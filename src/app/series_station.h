// The station's part in a shared series of serial values: the settings file beside the rolling
// INI that names the series and its server, the block of values the station holds, a new block
// before the chip that would pass its end, values given back when a job ends or the station
// closes, values the Writer used on its own beyond the block, and the record's rows sent to the
// server in the background.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "ledger/outbox.h"
#include "ledger/production_ledger.h"
#include "ledger/serial_value.h"
#include "ledger/series_server.h"
#include "ledger/station_blocks.h"
#include "rolling/rolling_settings.h"

namespace vx3::text {
class Language;
}

namespace vx3::app {

struct AppContext;
class MainView;

// The settings file: [Series] Name=, Server= (the connection string), BlockSize= (values per
// block, default kDefaultBlockSize).
inline constexpr std::string_view kSeriesSection = "Series";
inline constexpr std::string_view kSeriesNameKey = "Name";
inline constexpr std::string_view kSeriesServerKey = "Server";
inline constexpr std::string_view kSeriesBlockSizeKey = "BlockSize";
inline constexpr std::int64_t kDefaultBlockSize = 100;
inline constexpr std::int64_t kMaxBlockSize = 1'000'000;
// The settings file beside a rolling INI: its name with ".SERIES.INI" for its extension.
inline constexpr std::string_view kSeriesFileSuffix = ".SERIES.INI";

struct SeriesSettings {
  std::filesystem::path file;
  std::string name;
  std::string connection;  // may hold a password: shown only through MaskConnectionPassword
  std::int64_t blockSize = kDefaultBlockSize;
};

std::filesystem::path SeriesSettingsPath(const std::filesystem::path& iniPath);

// Whether a series settings file is there and can be read: no file at all is no series; a file
// that is there but cannot be read (no permission, a folder of that name) means a series was
// meant, and `reason` says why it cannot be read.
struct SeriesFileCheck {
  enum class State { Missing, Readable, Unreadable } state = State::Missing;
  std::string reason;
};
SeriesFileCheck CheckSeriesFile(const std::filesystem::path& file);

struct SeriesSettingsRead {
  std::optional<SeriesSettings> settings;  // nullopt with an empty error: there is no file
  std::string error;                       // why the file cannot be used (cannot be read, bad contents)
};
SeriesSettingsRead ReadSeriesSettings(const std::filesystem::path& file);

// Opens a connection to the serial server of a connection string (none in a build without the
// server's client library).
using SeriesOpener = std::function<std::unique_ptr<ledger::SeriesServer>(const std::string& connection)>;

// What a chip command may issue: the value to ask the record for and the end of the block.
struct SeriesTarget {
  rolling::RollingWords value{};
  std::optional<ledger::SerialValue> limit;  // none: the station is in no series
};

class SeriesStation {
 public:
  SeriesStation() = default;
  ~SeriesStation();
  SeriesStation(const SeriesStation&) = delete;
  SeriesStation& operator=(const SeriesStation&) = delete;

  // The settings file to use instead of the one beside each rolling INI (the command line's).
  void SetSettingsFile(std::filesystem::path file) { forcedFile_ = std::move(file); }

  // At a load, before its EEPROM job (worker): the block of the job before is given back; with
  // a settings file the station joins the series and reserves a block, whose first value
  // becomes the job's rolling value (`value`, written to the INI's Count by the caller). False
  // with the reason when the series is named but cannot be used: the job must issue nothing.
  bool StartJob(AppContext& context, rolling::RollingWords& value, std::string& refusal);

  // A load without the rolling code: the block of the job before is given back; no series.
  void EndJob(AppContext& context);

  // A later run on the same job (the command line's next command): the series again, and the
  // block the record holds.
  bool ResumeJob(AppContext& context, std::string& refusal);

  // Before a chip command that writes a serial: `wanted` is what the Writer will give the chip.
  // Inside the held block it stands; past it (or with no block) a new block is reserved first and
  // its first value is the target. Values the Writer used on its own past the block are recorded
  // and said as possible duplicates. False with `refusal` (and `unreachable` when the server
  // could not be reached and the block has no value left).
  bool TargetFor(AppContext& context, const rolling::RollingWords& wanted, SeriesTarget& target, std::string& refusal,
                 bool& unreachable);
  // A read-back of the Writer's value (`held`) found what `seen` says: no block is ever reserved
  // at or below the Writer's value again, and the run of values it used on its own is settled
  // at the next load or chip command (AccountWriterUse).
  void WriterSeen(AppContext& context, const ledger::WriterObservation& seen, const rolling::RollingWords& held);
  // Conflicts of this station's stand-alone values with other stations' blocks, on record.
  std::int64_t Conflicts() const;

  // The record issued `value` from the held block.
  void Issued(AppContext& context, const ledger::SerialValue& value);
  // The record found no free value up to the block's end: the next target needs a new block.
  void BlockUsedUp();

  // The held block's unused values are given back (`why` is kept with them), the rows queued are
  // sent while the server answers, and the sending stops. With `keepBlock` (a command line run
  // whose job goes on) the block stays held.
  void Close(AppContext& context, bool keepBlock);

  // What the last load said of the series, said again when the status box is emptied before
  // the load ends (after the Rolling Code dialog).
  struct Note {
    std::string text;
    bool error = false;
  };
  std::vector<Note> LoadNotes() const;
  // Says `text` in the status box; during a load it is kept with the load's notes.
  void Say(AppContext& context, const std::string& text, bool error);

  bool Active() const;
  // The series, the block and the values left, as the window shows them; empty outside a series.
  std::string Describe(const AppContext& context) const;

 private:
  bool StartJobSaying(AppContext& context, rolling::RollingWords& value, std::string& refusal);
  bool Join(AppContext& context, std::string& refusal);
  bool Connected(AppContext& context, ledger::SeriesStatus& status);
  bool Reserve(AppContext& context, ledger::SeriesStatus& status);
  void GiveBack(AppContext& context, std::string_view why);
  // The runs of values the Writer used on its own: those of the held block are used; those past
  // it are recorded and claimed from the server (ClaimBeyond), now or when it answers.
  void AccountWriterUse(AppContext& context);
  // Claims every run of values the record holds for the server: the local ids of those it could
  // not (the server away or refusing).
  std::set<std::int64_t> ClaimBeyond(AppContext& context);
  std::string ConflictsText(const text::Language& language) const;
  ledger::RollingShape Shape(const AppContext& context) const;

  std::filesystem::path forcedFile_;
  std::optional<SeriesSettings> settings_;
  std::string openedConnection_;
  std::unique_ptr<ledger::SeriesServer> server_;  // the reservations' connection
  std::unique_ptr<ledger::SeriesServer> senderServer_;  // the outbox's own connection
  std::unique_ptr<ledger::OutboxDrainer> drainer_;
  bool claimed_ = false;
  bool joined_ = false;
  std::int64_t joinNext_ = 0;  // the series' first value when this station makes it
  std::string pendingRequest_;  // a reservation whose answer was lost: asked again by name
  std::int64_t requests_ = 0;

  mutable std::mutex mutex_;  // guards the display state below (the window reads it)
  std::optional<ledger::HeldBlock> block_;
  std::int64_t next_ = 0;  // the block's next value
  std::string error_;      // the last failure of the server, for the display
  bool loading_ = false;   // the notes said now are the load's
  std::vector<Note> loadNotes_;
  // The lowest value a new block may start at: the Writer's value at its last read-back.
  std::int64_t floor_ = 0;
  std::vector<std::pair<std::int64_t, std::int64_t>> usedRuns_;  // runs the Writer used on its own, not yet settled
  std::int64_t conflicts_ = 0;
};

// The series line in the window (hidden outside a series).
void ShowSeries(AppContext& context, MainView& view);

}  // namespace vx3::app
