#include "app/series_station.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <fstream>
#include <limits>
#include <set>
#include <system_error>

#include <fmt/format.h>

#include "app/app_context.h"
#include "app/main_view.h"
#include "ledger/ledger_texts.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "ui_text/language.h"
#include "ui_text/ui_texts.h"

namespace vx3::app {

using text::Severity;

namespace {

constexpr std::string_view kNoRecordOutbox = "the production record cannot send its rows to a serial server";
constexpr std::string_view kNoServerInBuild = "this build of the program cannot reach a serial server";
constexpr std::string_view kMissingKey = "{} has no {} in its [{}] section";
constexpr std::string_view kUnreadableFile = "the series settings file {} cannot be read: {}";
constexpr std::string_view kIsFolder = "it is a folder";
constexpr std::string_view kCannotOpen = "it cannot be opened";
constexpr std::string_view kBadBlockSize = "BlockSize in {} must be a number from 1 to {}";
constexpr std::string_view kValueOutOfSeries = "the Writer's rolling value {} is beyond the numbers a series counts";
constexpr std::string_view kNoBlockYet = "none reserved yet";
constexpr std::string_view kReturnedAtJobEnd = "returned when the job ended";
constexpr std::string_view kReturnedAtClose = "returned when the station closed";
constexpr std::string_view kBeyondNote = "used by the Writer on its own past the station's block";
constexpr std::string_view kClaimRequestFormat = "{}:claim:{}";
constexpr std::string_view kRequestFormat = "{}:{}:{}";

// A whole decimal number, nothing else.
std::optional<std::int64_t> WholeNumber(std::string_view text) {
  if (text.empty() || text.size() > 18) return std::nullopt;
  std::int64_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value;
}

// A series number as the status box shows a rolling value of the job's shape.
std::string DigitsOf(std::int64_t number, const ledger::RollingShape& shape) {
  return ledger::MakeSerialValue(ledger::EntriesOfNumber(number, shape).value_or(rolling::RollingWords{}), shape).digits;
}

}  // namespace

std::filesystem::path SeriesSettingsPath(const std::filesystem::path& iniPath) {
  std::filesystem::path file = iniPath;
  file.replace_extension();
  return platform::PathFromUtf8(platform::PathToUtf8(file) + std::string(kSeriesFileSuffix));
}

SeriesFileCheck CheckSeriesFile(const std::filesystem::path& file) {
  SeriesFileCheck check;
  std::error_code ec;
  const std::filesystem::file_status status = std::filesystem::status(file, ec);
  if (status.type() == std::filesystem::file_type::not_found) return check;
  check.state = SeriesFileCheck::State::Unreadable;
  // A folder on the way that cannot be searched: whether the file is there cannot be told.
  if (ec) {
    check.reason = ec.message();
    return check;
  }
  if (std::filesystem::is_directory(status)) {
    check.reason = kIsFolder;
    return check;
  }
  errno = 0;
  const std::ifstream in(file, std::ios::binary);
  if (!in) {
    check.reason = errno != 0 ? std::generic_category().message(errno) : std::string(kCannotOpen);
    return check;
  }
  check.state = SeriesFileCheck::State::Readable;
  return check;
}

SeriesSettingsRead ReadSeriesSettings(const std::filesystem::path& file) {
  SeriesSettingsRead read;
  const std::string shown = platform::PathToUtf8(file);
  const SeriesFileCheck check = CheckSeriesFile(file);
  if (check.state == SeriesFileCheck::State::Missing) return read;
  if (check.state == SeriesFileCheck::State::Unreadable) {
    read.error = fmt::format(kUnreadableFile, shown, check.reason);
    return read;
  }
  SeriesSettings settings;
  settings.file = file;
  const std::optional<std::string> name = platform::ReadProfileString(file, kSeriesSection, kSeriesNameKey);
  const std::optional<std::string> server = platform::ReadProfileString(file, kSeriesSection, kSeriesServerKey);
  if (!name || name->empty()) {
    read.error = fmt::format(kMissingKey, shown, kSeriesNameKey, kSeriesSection);
    return read;
  }
  if (!server || server->empty()) {
    read.error = fmt::format(kMissingKey, shown, kSeriesServerKey, kSeriesSection);
    return read;
  }
  settings.name = *name;
  settings.connection = *server;
  if (const std::optional<std::string> size = platform::ReadProfileString(file, kSeriesSection, kSeriesBlockSizeKey);
      size && !size->empty()) {
    const std::optional<std::int64_t> blockSize = WholeNumber(*size);
    if (!blockSize || *blockSize < 1 || *blockSize > kMaxBlockSize) {
      read.error = fmt::format(kBadBlockSize, shown, kMaxBlockSize);
      return read;
    }
    settings.blockSize = *blockSize;
  }
  read.settings = std::move(settings);
  return read;
}

SeriesStation::~SeriesStation() {
  if (drainer_) drainer_->Stop();
}

ledger::RollingShape SeriesStation::Shape(const AppContext& context) const {
  return ledger::ShapeOf(context.rolling, context.image.deviceName);
}

bool SeriesStation::Active() const {
  std::lock_guard lock(mutex_);
  return settings_.has_value();
}

bool SeriesStation::Join(AppContext& context, std::string& refusal) {
  const std::filesystem::path file =
      forcedFile_.empty() ? SeriesSettingsPath(context.rolling.iniPath) : forcedFile_;
  SeriesSettingsRead read = ReadSeriesSettings(file);
  {
    std::lock_guard lock(mutex_);
    settings_ = read.settings;
    block_.reset();
    error_.clear();
  }
  if (!read.error.empty()) {
    // A series was meant: falling back to the INI's own values could give another station's.
    refusal = read.error;
    std::lock_guard lock(mutex_);
    settings_ = SeriesSettings{file, file.filename().string(), {}, kDefaultBlockSize};
    error_ = refusal;
    return false;
  }
  if (!read.settings) {
    if (drainer_) drainer_->Stop();
    return true;
  }
  const auto fail = [this, &refusal](std::string_view reason) {
    refusal = reason;
    std::lock_guard lock(mutex_);
    error_ = refusal;
    return false;
  };
  // A copied record's rows and token are the original station's: no claim, no sending.
  if (const std::string copied = context.record.CopiedFrom(); !copied.empty()) {
    return fail(ledger::CopyRefusalText(context.language, copied));
  }
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr) return fail(context.record.error());
  ledger::LedgerOutbox* outbox = record->Outbox();
  ledger::StationBlocks* blocks = record->Blocks();
  if (outbox == nullptr || blocks == nullptr) return fail(kNoRecordOutbox);
  if (!context.seriesOpener) return fail(kNoServerInBuild);

  if (!server_ || openedConnection_ != read.settings->connection) {
    if (drainer_) drainer_->Stop();
    drainer_.reset();
    server_ = context.seriesOpener(read.settings->connection);
    senderServer_ = context.seriesOpener(read.settings->connection);
    openedConnection_ = read.settings->connection;
    claimed_ = false;
    joined_ = false;
    pendingRequest_.clear();
  }
  if (!server_ || !senderServer_) return fail(kNoServerInBuild);
  if (const ledger::LedgerStatus queueing = outbox->StartQueueing(); !queueing) return fail(queueing.error);
  if (!drainer_) drainer_ = std::make_unique<ledger::OutboxDrainer>(*outbox, *senderServer_);
  drainer_->Start();

  std::optional<ledger::HeldBlock> latest;
  if (const ledger::LedgerStatus found = blocks->LatestBlock(read.settings->name, latest); !found) {
    return fail(found.error);
  }
  std::int64_t conflicts = 0;
  if (const ledger::LedgerStatus counted = blocks->ConflictCount(read.settings->name, conflicts); !counted) {
    return fail(counted.error);
  }
  std::lock_guard lock(mutex_);
  block_ = latest;
  next_ = latest ? latest->block.first + latest->used : 0;
  conflicts_ = conflicts;
  return true;
}

bool SeriesStation::Connected(AppContext& context, ledger::SeriesStatus& status) {
  ledger::StationBlocks* blocks = context.record.ledger()->Blocks();
  const std::string station = context.record.ledger()->Outbox()->Station();
  if (!claimed_) {
    std::string token;
    if (const ledger::LedgerStatus read = blocks->StationToken(token); !read) {
      status.status = read;
      return false;
    }
    if (status = server_->ClaimStation(station, token); !status) return false;
    claimed_ = true;
  }
  if (!joined_) {
    const ledger::RollingShape shape = Shape(context);
    if (status = server_->JoinSeries(settings_->name, joinNext_, ledger::HighestNumber(shape)); !status) return false;
    joined_ = true;
  }
  return true;
}

bool SeriesStation::Reserve(AppContext& context, ledger::SeriesStatus& status) {
  if (!Connected(context, status)) return false;
  ledger::ProductionLedger* record = context.record.ledger();
  if (pendingRequest_.empty()) {
    std::string token;
    record->Blocks()->StationToken(token);
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(context.clock.WallNow().time_since_epoch());
    pendingRequest_ = fmt::format(kRequestFormat, token, ms.count(), ++requests_);
  }
  ledger::ReservedBlock reserved;
  status = server_->ReserveBlock(settings_->name, record->Outbox()->Station(), pendingRequest_, settings_->blockSize,
                                 floor_, reserved);
  if (!status) return false;
  // The answer is here: the next reservation is a new request.
  pendingRequest_.clear();
  ledger::HeldBlock held;
  if (const ledger::LedgerStatus added = record->Blocks()->AddBlock(settings_->name, reserved, held); !added) {
    status.status = added;
    return false;
  }
  {
    std::lock_guard lock(mutex_);
    block_ = held;
    next_ = reserved.first;
    error_.clear();
  }
  const ledger::RollingShape shape = Shape(context);
  Say(context,
      context.language.Format(text::IDS_Ledger_SeriesBlock,
                              {settings_->name, DigitsOf(reserved.first, shape), DigitsOf(held.Last(), shape),
                               reserved.span}),
      false);
  return true;
}

void SeriesStation::GiveBack(AppContext& context, std::string_view why) {
  std::optional<ledger::HeldBlock> held;
  std::int64_t next = 0;
  {
    std::lock_guard lock(mutex_);
    held = block_;
    next = next_;
  }
  ledger::ProductionLedger* record = context.record.ledger();
  if (!held || held->state != ledger::BlockState::Open || record == nullptr || record->Blocks() == nullptr) return;
  const std::int64_t used = std::clamp<std::int64_t>(next - held->block.first, 0, held->block.span);
  if (!record->Blocks()->ReturnBlock(held->localId, used, why)) return;
  {
    std::lock_guard lock(mutex_);
    if (block_) block_->state = ledger::BlockState::Returned;
  }
  if (used < held->block.span) {
    const ledger::RollingShape shape = Shape(context);
    Say(context,
        context.language.Format(text::IDS_Ledger_SeriesReturned,
                                {held->series, DigitsOf(held->block.first + used, shape),
                                 DigitsOf(held->Last(), shape)}),
        false);
  }
}

void SeriesStation::Say(AppContext& context, const std::string& text, bool error) {
  context.reporter.ReportStatus(text, error ? Severity::ErrorLine : Severity::NoteLine);
  std::lock_guard lock(mutex_);
  if (loading_) loadNotes_.push_back({text, error});
}

std::vector<SeriesStation::Note> SeriesStation::LoadNotes() const {
  std::lock_guard lock(mutex_);
  return loadNotes_;
}

bool SeriesStation::StartJob(AppContext& context, rolling::RollingWords& value, std::string& refusal) {
  {
    std::lock_guard lock(mutex_);
    loadNotes_.clear();
    loading_ = true;
  }
  const bool started = StartJobSaying(context, value, refusal);
  // A series that cannot be used is said at once, with the series' name.
  if (!started) Say(context, Describe(context), true);
  std::lock_guard lock(mutex_);
  loading_ = false;
  return started;
}

bool SeriesStation::StartJobSaying(AppContext& context, rolling::RollingWords& value, std::string& refusal) {
  if (Active()) {
    AccountWriterUse(context);
    GiveBack(context, kReturnedAtJobEnd);
  }
  if (!Join(context, refusal)) return false;
  if (!Active()) return true;
  // What the Writer used on its own is used, never given back: the block's values up to the
  // Writer's value count as used before the rest is returned, and values past it are claimed.
  AccountWriterUse(context);
  // A block the record still holds open (a run before this one ended without giving it back:
  // the command line's last command, or a stop) ends with the job it belonged to.
  GiveBack(context, kReturnedAtJobEnd);
  const ledger::RollingShape shape = Shape(context);
  joinNext_ = ledger::NumberOf(value, shape).value_or(0);
  ledger::SeriesStatus status;
  if (!Reserve(context, status)) {
    std::lock_guard lock(mutex_);
    error_ = status.status.error;
    // A server that does not answer now is asked again before the first chip; one that refuses
    // (a name taken, a series used up) stops the job's serials.
    if (!status.unreachable) {
      refusal = error_;
      return false;
    }
    return true;
  }
  std::lock_guard lock(mutex_);
  value = ledger::EntriesOfNumber(block_->block.first, shape).value_or(value);
  return true;
}

void SeriesStation::EndJob(AppContext& context) {
  if (!Active()) return;
  GiveBack(context, kReturnedAtJobEnd);
  std::lock_guard lock(mutex_);
  settings_.reset();
  block_.reset();
}

bool SeriesStation::ResumeJob(AppContext& context, std::string& refusal) {
  if (!Join(context, refusal)) return false;
  if (Active()) joinNext_ = ledger::NumberOf(context.rolling.value, Shape(context)).value_or(0);
  return true;
}

bool SeriesStation::TargetFor(AppContext& context, const rolling::RollingWords& wanted, SeriesTarget& target,
                              std::string& refusal, bool& unreachable) {
  unreachable = false;
  target.value = wanted;
  target.limit.reset();
  if (!Active()) return true;
  if (!server_) {
    std::lock_guard lock(mutex_);
    refusal = error_.empty() ? std::string(kNoServerInBuild) : error_;
    return false;
  }
  const ledger::RollingShape shape = Shape(context);
  const std::optional<std::int64_t> asked = ledger::NumberOf(wanted, shape);
  if (!asked) {
    refusal = fmt::format(kValueOutOfSeries, ledger::MakeSerialValue(wanted, shape).digits);
    return false;
  }
  const std::int64_t number = *asked;
  const auto valueOf = [&shape](std::int64_t n) {
    return ledger::MakeSerialValue(ledger::EntriesOfNumber(n, shape).value_or(rolling::RollingWords{}), shape);
  };
  // What the Writer did on its own is settled with the server first: the block may be used
  // up by it, and values past it are claimed or found to be another station's.
  AccountWriterUse(context);
  std::optional<ledger::HeldBlock> held;
  {
    std::lock_guard lock(mutex_);
    held = block_;
  }
  if (held && held->state == ledger::BlockState::Open && held->Holds(number)) {
    target.limit = valueOf(held->Last());
    return true;
  }
  ledger::SeriesStatus status;
  if (!Reserve(context, status)) {
    std::lock_guard lock(mutex_);
    error_ = status.status.error;
    unreachable = status.unreachable;
    refusal = unreachable ? context.language.Text(text::IDS_Ledger_SeriesUnreachable) : error_;
    return false;
  }
  std::lock_guard lock(mutex_);
  target.value = ledger::EntriesOfNumber(block_->block.first, shape).value_or(wanted);
  target.limit = valueOf(block_->Last());
  return true;
}

void SeriesStation::Issued(AppContext& context, const ledger::SerialValue& value) {
  if (!Active()) return;
  const ledger::RollingShape shape = Shape(context);
  const std::optional<rolling::RollingWords> entries = ledger::EntriesOf(value.digits, shape);
  const std::optional<std::int64_t> issued = entries ? ledger::NumberOf(*entries, shape) : std::nullopt;
  if (!issued) return;
  const std::int64_t number = *issued;
  const std::int64_t step = ledger::NumberOf(context.rolling.step, shape).value_or(1);
  std::optional<ledger::HeldBlock> held;
  {
    std::lock_guard lock(mutex_);
    if (!block_ || !block_->Holds(number)) return;
    next_ = std::max(next_, number + std::max<std::int64_t>(step, 1));
    block_->used = std::min(block_->block.span, next_ - block_->block.first);
    held = block_;
  }
  // The count of used values is for the record's readers; the block's limits are what count.
  context.record.ledger()->Blocks()->MarkUsed(held->localId, held->used);
}

void SeriesStation::WriterSeen(AppContext& context, const ledger::WriterObservation& seen,
                               const rolling::RollingWords& held) {
  const ledger::RollingShape shape = Shape(context);
  const std::optional<std::int64_t> writer = ledger::NumberOf(held, shape);
  std::lock_guard lock(mutex_);
  if (writer) floor_ = *writer;
  if (seen.standaloneCount <= 0) return;
  const auto numberOf = [&shape](const ledger::SerialValue& value) -> std::optional<std::int64_t> {
    const std::optional<rolling::RollingWords> entries = ledger::EntriesOf(value.digits, shape);
    return entries ? ledger::NumberOf(*entries, shape) : std::nullopt;
  };
  const std::optional<std::int64_t> first = numberOf(seen.standaloneFirst);
  const std::optional<std::int64_t> last = numberOf(seen.standaloneLast);
  if (first && last && *last >= *first) usedRuns_.emplace_back(*first, *last);
}

void SeriesStation::AccountWriterUse(AppContext& context) {
  std::vector<std::pair<std::int64_t, std::int64_t>> runs;
  std::optional<ledger::HeldBlock> held;
  {
    std::lock_guard lock(mutex_);
    runs.swap(usedRuns_);
    held = block_;
  }
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr || record->Blocks() == nullptr || !settings_) return;
  ledger::StationBlocks* blocks = record->Blocks();
  const ledger::RollingShape shape = Shape(context);
  struct Recorded {
    std::int64_t id;
    std::int64_t first;
    std::int64_t last;
  };
  std::vector<Recorded> recorded;
  for (const auto& [first, last] : runs) {
    std::int64_t from = first;
    // Values of the held block the Writer used: the block goes on after them.
    if (held && held->state == ledger::BlockState::Open && last >= held->block.first && first <= held->Last()) {
      std::lock_guard lock(mutex_);
      next_ = std::max(next_, std::min(last, held->Last()) + 1);
      block_->used = std::min(block_->block.span, next_ - block_->block.first);
      blocks->MarkUsed(block_->localId, block_->used);
      if (next_ > block_->Last()) block_->state = ledger::BlockState::Used;
      held = block_;
    }
    if (held && first <= held->Last() && last >= held->block.first) from = held->Last() + 1;
    // Past the block (or with none held): the values go on record now and to the server as
    // soon as it answers.
    if (from <= last) {
      std::int64_t row = 0;
      if (blocks->RecordBeyond(settings_->name, from, last - from + 1, kBeyondNote, row)) {
        recorded.push_back({row, from, last});
      }
    }
  }
  const std::set<std::int64_t> unclaimed = ClaimBeyond(context);
  // What the server could not be told now is told at the next command that reaches it.
  for (const Recorded& row : recorded) {
    if (unclaimed.count(row.id) == 0) continue;
    Say(context,
        context.language.Format(text::IDS_Ledger_SeriesClaimLater,
                                {settings_->name, DigitsOf(row.first, shape), DigitsOf(row.last, shape)}),
        false);
  }
}

std::set<std::int64_t> SeriesStation::ClaimBeyond(AppContext& context) {
  std::set<std::int64_t> unclaimed;
  ledger::ProductionLedger* record = context.record.ledger();
  if (record == nullptr || record->Blocks() == nullptr || !settings_) return unclaimed;
  ledger::StationBlocks* blocks = record->Blocks();
  std::vector<ledger::HeldBlock> rows;
  if (!blocks->UnclaimedBeyond(settings_->name, rows) || rows.empty()) return unclaimed;
  for (const ledger::HeldBlock& row : rows) unclaimed.insert(row.localId);
  ledger::SeriesStatus status;
  if (!server_ || !Connected(context, status)) return unclaimed;
  const ledger::RollingShape shape = Shape(context);
  const std::string station = record->Outbox()->Station();
  std::string token;
  blocks->StationToken(token);
  for (const ledger::HeldBlock& row : rows) {
    // Named by the record and the row: asked again after a lost answer, it answers the same.
    const std::string request = fmt::format(kClaimRequestFormat, token, row.localId);
    ledger::ClaimedValues claimed;
    status = server_->ClaimUsedValues(settings_->name, station, request, row.block.first, row.Last(), claimed);
    if (!status) {
      std::lock_guard lock(mutex_);
      error_ = status.status.error;
      return unclaimed;
    }
    unclaimed.erase(row.localId);
    for (const ledger::ReservedBlock& block : claimed.claimed) {
      Say(context,
          context.language.Format(text::IDS_Ledger_SeriesClaimed,
                                  {settings_->name, DigitsOf(block.first, shape),
                                   DigitsOf(block.first + block.span - 1, shape)}),
          false);
    }
    for (const ledger::ValueConflict& conflict : claimed.conflicts) {
      blocks->RecordConflict(settings_->name, conflict.first, conflict.last, conflict.otherStation);
      Say(context,
          context.language.Format(text::IDS_Ledger_SeriesConflict,
                                  {DigitsOf(conflict.first, shape), DigitsOf(conflict.last, shape), station,
                                   conflict.otherStation}),
          true);
    }
    blocks->MarkBeyondClaimed(row.localId,
                              claimed.claimed.empty() ? ledger::kClaimedByOthers : claimed.claimed.front().id);
  }
  std::int64_t conflicts = 0;
  if (blocks->ConflictCount(settings_->name, conflicts)) {
    std::lock_guard lock(mutex_);
    conflicts_ = conflicts;
  }
  return unclaimed;
}

void SeriesStation::BlockUsedUp() {
  std::lock_guard lock(mutex_);
  if (block_ && block_->state == ledger::BlockState::Open) {
    block_->state = ledger::BlockState::Used;
    next_ = block_->Last() + 1;
  }
}

void SeriesStation::Close(AppContext& context, bool keepBlock) {
  if (!Active()) return;
  if (!keepBlock) GiveBack(context, kReturnedAtClose);
  if (drainer_) {
    drainer_->Stop();
    ledger::LedgerStatus status;
    bool unreachable = false;
    // What the record queued goes now if the server answers; else it waits in the record.
    drainer_->DrainNow(status, unreachable);
  }
}

std::string SeriesStation::Describe(const AppContext& context) const {
  std::lock_guard lock(mutex_);
  if (!settings_) return {};
  const text::Language& language = context.language;
  const std::int64_t left =
      block_ ? std::max<std::int64_t>(0, block_->Last() - std::max(next_, block_->block.first) + 1) : 0;
  // A block used up while the server failed is no block: the failure is what the operator needs.
  if (!block_ || block_->state != ledger::BlockState::Open || (left == 0 && !error_.empty())) {
    return language.Format(text::IDS_Ledger_SeriesNoBlock,
                           {settings_->name, error_.empty() ? std::string(kNoBlockYet) : error_}) +
           ConflictsText(language);
  }
  const ledger::RollingShape shape = Shape(context);
  return language.Format(text::IDS_Ledger_SeriesLine,
                         {settings_->name, DigitsOf(block_->block.first, shape),
                          DigitsOf(block_->Last(), shape), left}) +
         ConflictsText(language);
}

std::string SeriesStation::ConflictsText(const text::Language& language) const {
  return conflicts_ > 0 ? language.Format(text::IDS_Ledger_SeriesConflicts, {conflicts_}) : std::string();
}

std::int64_t SeriesStation::Conflicts() const {
  std::lock_guard lock(mutex_);
  return conflicts_;
}

void ShowSeries(AppContext& context, MainView& view) { view.ShowSeries(context.series.Describe(context)); }

}  // namespace vx3::app
