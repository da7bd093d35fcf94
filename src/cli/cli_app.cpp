#include "cli/cli_app.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <io.h>
#else
#include <poll.h>
#include <unistd.h>
#endif

#include <CLI/CLI.hpp>
#include <fmt/format.h>

#include "app/load_image_flow.h"
#include "app/main_presenter.h"
#include "app/startup.h"
#include "cli/cli_output.h"
#include "cli/cli_session.h"
#include "cli/console_view.h"
#include "cli/exit_codes.h"
#include "image/image_header.h"
#include "image/image_reader.h"
#include "image/side_files.h"
#include "platform/clock.h"
#include "platform/ini_profile.h"
#include "platform/thread_locale.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_value.h"

namespace vx3::cli {

namespace {

namespace fs = std::filesystem;
using app::CommandResult;
using text::UiText;

std::atomic<bool> gInterrupted{false};

// The name --out takes for standard output.
constexpr std::string_view kStandardOutput = "-";

struct ChipCommandName {
  std::string_view name;
  std::string_view description;
};
constexpr ChipCommandName kChipCommands[] = {
    {"auto-program", "Auto Program (blank check, program, verify) of the chip in the socket, N chips in a row"},
    {"blank-check", "Blank Check (Erase for erasable chips) of the chip in the socket, N chips in a row"},
    {"program", "Program the chip in the socket, N chips in a row"},
    {"verify", "Verify the chip in the socket against the image, N chips in a row"},
};
// The rolling methods by their names on the command line and in the JSON events.
constexpr std::string_view kMethodAutoInc = "auto-inc";
constexpr std::string_view kMethodRunExe = "run-exe";
constexpr std::string_view kMethodCustom = "custom";
constexpr std::string_view kMethodNotUsed = "not-used";
constexpr std::string_view kSwitchOn = "on";
constexpr std::string_view kSwitchOff = "off";
constexpr int kFunctionZero = 0;
constexpr int kFunctionSix = 6;
constexpr std::string_view kLanguageChinese = "zh";
constexpr std::string_view kLanguageEnglish = "en";
constexpr int kChecksumDigits = 4;
constexpr int kInterruptPollMs = 50;
constexpr std::string_view kNoSuchFile = "there is no such file";

bool IsTerminal(std::FILE* stream) {
#if defined(_WIN32)
  return _isatty(_fileno(stream)) != 0;
#else
  return isatty(fileno(stream)) != 0;
#endif
}

// Waits until `in` has something to read (or its end); false when Ctrl-C came first. A Ctrl-C
// just before the wait is seen too: the wait looks at the flag between short polls.
bool InputReady(std::FILE* in) {
#if defined(_WIN32)
  (void)in;
  return !InterruptRequested();
#else
  pollfd input{fileno(in), POLLIN, 0};
  while (!InterruptRequested()) {
    if (poll(&input, 1, kInterruptPollMs) != 0) return !InterruptRequested();
  }
  return false;
#endif
}

std::string Hex4(std::uint32_t value) { return fmt::format("{:0{}X}", value, kChecksumDigits); }

struct Options {
  std::string command;
  std::string image;
  std::string device;
  std::optional<int> function;
  std::optional<std::string> rollingMethod;
  std::optional<std::string> rollingVerify;
  int count = 1;
  bool untilFail = false;
  bool noWait = false;
  bool noSerial = false;  // program without the serial numbers that the rolling INI cannot give
  std::string out;
  std::string ledgerCommand;
  std::string csv;
  std::optional<std::int64_t> job;
  bool today = false;
  bool all = false;
  bool json = false;
  std::string lang = std::string(kLanguageEnglish);
  std::string series;  // a series settings file instead of the one beside the rolling INI
  std::string station;  // ledger adopt: the new station's name
};

// The commands that talk to the Writer: each takes the Writer's lock.
bool UsesWriter(std::string_view command) { return command != "info" && command != "ledger"; }

ChipCommand ChipCommandOf(std::string_view name) {
  if (name == "auto-program") return ChipCommand::AutoProgram;
  if (name == "blank-check") return ChipCommand::BlankCheck;
  if (name == "program") return ChipCommand::Program;
  if (name == "verify") return ChipCommand::Verify;
  if (name == "read") return ChipCommand::Read;
  return ChipCommand::None;
}

// The device named by the image or given, as the window's two load buttons take them.
void PrepareLoadFlow(app::AppContext& context, ConsoleView& view, const fs::path& image, const std::string& device) {
  view.AnswerImage(image);
  view.AnswerDevice(device);
  context.state.useChooser = !device.empty();
  context.state.directLoad = device.empty();
}

// The outcome of a load flow run without the Writer, judged as Device / Load judges it.
bool ImageLoaded(const app::AppContext& context) {
  const image::LoadedImage& image = context.image;
  return !image.fileMissing && !image.deviceFilesMissing && image.loadOk && !image.deviceName.empty() &&
         !image.imagePath.empty();
}

class CliRun final : public app::StartupHost {
 public:
  CliRun(const Options& options, const CliHost& host, CliOutput& output)
      : options_(options), host_(host), output_(output) {}

  void ShowStartupMessage(std::string_view text, std::string_view caption) override {
    output_.Error(std::string(caption) + ": " + std::string(text));
    code_ = ExitCode::Internal;
  }

  void RunMainWindow(app::AppContext& context) override {
    // A command that talks to the Writer holds it for its whole run, taken before the record
    // opens; another program holding it refuses the command before anything reaches the Writer.
    // Reading the record and an image's information take no lock.
    const bool writerRefused =
        UsesWriter(options_.command) && !context.writerAccess.Take(context.state.DataDir(), *context.environment);
    ConsoleView view(output_);
    app::MainPresenter presenter(context, view);
    // The window's start state is no news on the command line: only what the record's opening
    // found is said.
    view.SetMuted(true);
    presenter.OnInitWindow();
    if (options_.lang == kLanguageChinese) presenter.SwitchToChinese();
    view.SetMuted(false);
    // A language file with lines that cannot be read is said all the same: its texts are English.
    if (const std::string line = text::UnreadableTextLine(context.language); !line.empty()) {
      output_.EventOrLine({{"event", "status"}, {"text", line}}, line);
    }
    // A series settings file named but not there, or not readable: the series meant is not
    // joined, and no chip may get a value the local INI would give instead.
    if (!options_.series.empty()) {
      const app::SeriesFileCheck check = app::CheckSeriesFile(platform::PathFromUtf8(options_.series));
      if (check.state != app::SeriesFileCheck::State::Readable) {
        const std::string_view reason =
            check.state == app::SeriesFileCheck::State::Missing ? kNoSuchFile : std::string_view(check.reason);
        output_.Error(Language(context).Format(text::IDS_Cli_SeriesFileUnreadable, {options_.series, reason}));
        code_ = ExitCode::ImageError;
        return;
      }
    }
    if (writerRefused) {
      output_.Error(context.writerAccess.RefusalText(context.language));
      code_ = ExitCode::WriterInUse;
      return;
    }
    ReportRecordOpening(context);
    code_ = Dispatch(context, view, presenter);
    presenter.WaitForWriterJobs();
  }

  ExitCode code() const { return code_; }

 private:
  const text::Language& Language(const app::AppContext& context) const { return context.language; }

  void ReportRecordOpening(app::AppContext& context) {
    for (const std::string& note : context.record.Notes(context.language)) {
      output_.EventOrLine({{"event", "status"}, {"text", note}}, note);
    }
  }

  ExitCode Dispatch(app::AppContext& context, ConsoleView& view, app::MainPresenter& presenter) {
    const std::string& command = options_.command;
    if (command == "info") return Info(context, view);
    if (command == "load") return Load(context, view, presenter);
    if (command == "read") return Read(context, view, presenter);
    if (command == "ledger") return Ledger(context, view);
    return ChipBatch(context, view, presenter);
  }

  // ---- info ----

  ExitCode Info(app::AppContext& context, ConsoleView& view) {
    PrepareLoadFlow(context, view, platform::PathFromUtf8(options_.image), options_.device);
    context.image.loadOk = true;
    app::LoadImageFlow(context, view);
    if (!ImageLoaded(context)) return LoadRefused(context, view);
    const image::LoadedImage& image = context.image;
    rolling::RollingSettings& rolling = context.rolling;
    const bool rollingOn = rolling.method != rolling::RollingMethod::NotUsed && rolling.address != 0;
    nlohmann::ordered_json event = {{"event", "image"},
                            {"device", image.deviceName},
                            {"file", platform::PathToUtf8(image.imagePath)},
                            {"checksum", Hex4(image.checksum)},
                            {"secured_checksum", Hex4(image.securedChecksum)},
                            {"security", image.securityEnabled},
                            {"rom_words", image.romWords}};
    const std::optional<std::uint32_t> version = FormatVersion(image);
    event["format_version"] = version ? nlohmann::ordered_json(*version) : nlohmann::ordered_json(nullptr);
    nlohmann::ordered_json rollingEvent = {{"on", rollingOn}};
    std::string rollingText = "off";
    if (rollingOn) {
      const bool byteWords = rolling::IsByteWordDevice(image.deviceName);
      const std::string value = rolling::FormatRollingDisplay(rolling.value, rolling, byteWords);
      const std::string step = rolling::FormatRollingDisplay(rolling.step, rolling, byteWords);
      rollingEvent.update({{"method", MethodName(rolling.method)},
                           {"address", fmt::format("0x{:X}", rolling.address)},
                           {"word_length", rolling.wordLength},
                           {"order", rolling.lowWordFirst ? rolling::kOrderLowFirst : rolling::kOrderHighFirst},
                           {"value", value},
                           {"step", step},
                           {"verify_without_rolling", rolling.verifyWithoutRolling},
                           {"ini", platform::PathToUtf8(rolling.iniPath)}});
      rollingText = fmt::format("{} at 0x{:X}, {} words, {}, value {}, step {}", MethodName(rolling.method),
                                rolling.address, rolling.wordLength,
                                rolling.lowWordFirst ? rolling::kOrderLowFirst : rolling::kOrderHighFirst, value, step);
    }
    event["rolling"] = rollingEvent;
    if (output_.json()) {
      output_.Event(event);
    } else {
      output_.Line(fmt::format("Device           : {}", image.deviceName));
      output_.Line(fmt::format("File             : {}", platform::PathToUtf8(image.imagePath)));
      output_.Line(fmt::format("Checksum         : {}", Hex4(image.checksum)));
      output_.Line(fmt::format("Secured checksum : {}", Hex4(image.securedChecksum)));
      output_.Line(fmt::format("Security         : {}", image.securityEnabled ? "enabled" : "disabled"));
      output_.Line(fmt::format("Format version   : {}", version ? std::to_string(*version) : std::string("-")));
      output_.Line(fmt::format("Rolling code     : {}", rollingText));
    }
    return ExitCode::Success;
  }

  static std::string_view MethodName(rolling::RollingMethod method) {
    switch (method) {
      case rolling::RollingMethod::AutoInc:
      case rolling::RollingMethod::AutoIncDefault: return kMethodAutoInc;
      case rolling::RollingMethod::RunExe: return kMethodRunExe;
      case rolling::RollingMethod::Custom: return kMethodCustom;
      case rolling::RollingMethod::NotUsed: break;
    }
    return kMethodNotUsed;
  }

  // The format version of a .VX3 header; none for a raw image.
  static std::optional<std::uint32_t> FormatVersion(const image::LoadedImage& image) {
    if (!image.hasHeader) return std::nullopt;
    std::array<std::uint8_t, image::kHeaderBytes> bytes{};
    std::ifstream file(image.imagePath, std::ios::binary);
    const std::streamoff offset = image.wrappedLayout ? static_cast<std::streamoff>(image::kWrapPrefixBytes) : 0;
    if (!file || !file.seekg(offset) || !file.read(reinterpret_cast<char*>(bytes.data()), bytes.size())) {
      return std::nullopt;
    }
    return image::ParseImageHeader(bytes).formatVersion;
  }

  // A load that ended before the Writer: the device given was not offered, or the image failed.
  ExitCode LoadRefused(const app::AppContext& context, const ConsoleView& view) {
    if (view.DeviceMissed()) {
      const std::string text = Language(context).Format(text::IDS_Cli_DeviceNotOffered, {options_.device});
      output_.EventOrLine({{"event", "status"}, {"text", text}}, text);
    }
    return ExitCode::ImageError;
  }

  // ---- load ----

  ExitCode Load(app::AppContext& context, ConsoleView& view, app::MainPresenter& presenter) {
    if (options_.function == kFunctionZero) presenter.OnFunction0Clicked();
    if (options_.function == kFunctionSix) presenter.OnFunction6Clicked();
    PrepareLoadFlow(context, view, platform::PathFromUtf8(options_.image), options_.device);
    RollingChoice choice;
    if (options_.rollingMethod == kMethodAutoInc) choice.method = rolling::RollingMethod::AutoInc;
    if (options_.rollingMethod == kMethodRunExe) choice.method = rolling::RollingMethod::RunExe;
    if (options_.rollingMethod == kMethodNotUsed) choice.method = rolling::RollingMethod::NotUsed;
    if (options_.rollingVerify) choice.verify = *options_.rollingVerify == kSwitchOn;
    view.AnswerRolling(choice);
    if (options_.device.empty()) {
      presenter.OnOneKeyLoad();
    } else {
      presenter.OnDeviceLoad();
    }
    presenter.WaitForWriterJobs();
    const CommandResult result = context.state.lastResult.load();
    const fs::path dataDir = context.state.DataDir();
    if (result != CommandResult::Ok || !ImageLoaded(context)) {
      // The Writer may hold a half-made job now: no later command may take the one before as loaded.
      if (result != CommandResult::ImageError && result != CommandResult::NoWriter) ForgetSession(dataDir);
      if (result == CommandResult::Ok) return LoadRefused(context, view);
      if (result == CommandResult::ImageError && view.DeviceMissed()) return LoadRefused(context, view);
      return ExitCodeOf(result, ChipCommand::None);
    }
    CliSession session;
    session.image = fs::absolute(context.image.imagePath);
    session.device = options_.device;
    session.offlineFunction = context.state.offlineFunction.load();
    session.checksum = context.image.checksum;
    session.job = context.record.job.load();
    session.erasable = context.state.erasableChip.load();
    if (!SaveSession(dataDir, session)) {
      const std::string text = Language(context).Format(
          text::IDS_Cli_FileNotWritten, {platform::PathToUtf8(SessionFile(dataDir)), std::string_view("I/O error")});
      output_.Error(text);
      return ExitCode::Internal;
    }
    return InterruptRequested() ? ExitCode::Interrupted : ExitCode::Success;
  }

  // ---- The commands after a load: the loaded image again, without touching the Writer ----

  std::optional<ExitCode> RestoreLoad(app::AppContext& context, ConsoleView& view) {
    const std::optional<CliSession> session = LoadSession(context.state.DataDir());
    if (!session) {
      output_.Error(Language(context).Text(text::IDS_Cli_NothingLoaded));
      return ExitCode::NotLoaded;
    }
    view.SetMuted(true);
    PrepareLoadFlow(context, view, session->image, session->device);
    context.image.loadOk = true;
    app::LoadImageFlow(context, view);
    view.SetMuted(false);
    if (!ImageLoaded(context) || context.image.checksum != session->checksum) {
      output_.Error(Language(context).Format(text::IDS_Cli_ImageChanged, {platform::PathToUtf8(session->image)}));
      return ExitCode::ImageError;
    }
    context.state.offlineFunction = session->offlineFunction;
    context.state.erasableChip = session->erasable;
    context.state.loadAttempted = true;
    context.record.job = session->job;
    // The shared series of the job again, with the block the record holds.
    if (std::string refusal; !context.series.ResumeJob(context, refusal)) context.record.SetJobRefusal(refusal);
    return std::nullopt;
  }

  // ---- auto-program, blank-check, program, verify ----

  void StartChipCommand(app::MainPresenter& presenter, ChipCommand command) {
    switch (command) {
      case ChipCommand::AutoProgram: presenter.OnAutoProgram(); break;
      case ChipCommand::BlankCheck: presenter.OnBlankCheck(); break;
      case ChipCommand::Program: presenter.OnProgram(); break;
      case ChipCommand::Verify: presenter.OnVerify(); break;
      case ChipCommand::Read: presenter.OnRead(); break;
      case ChipCommand::None: break;
    }
    presenter.WaitForWriterJobs();
  }

  // Failures after which the next chip cannot fare better.
  static bool StopsBatch(CommandResult result) {
    return result == CommandResult::NoWriter || result == CommandResult::SerialRefused ||
           result == CommandResult::NotReady || result == CommandResult::ImageError ||
           result == CommandResult::FirmwareFailed || result == CommandResult::JobFailed;
  }

  // Waits for the operator to put the next chip in; false when the batch ends here.
  bool WaitForNextChip(const app::AppContext& context, int next) {
    if (options_.noWait) return !InterruptRequested();
    const std::string prompt = Language(context).Format(text::IDS_Cli_NextChip, {next, options_.count});
    if (output_.json()) {
      output_.Event({{"event", "prompt"}, {"text", prompt}, {"chip", next}});
    } else {
      std::fprintf(host_.err, "%s\n", prompt.c_str());
      std::fflush(host_.err);
    }
    // The end of the input ends the batch, as does Ctrl-C while waiting.
    for (;;) {
      if (!InputReady(host_.in)) return false;
      const int c = std::fgetc(host_.in);
      if (c == EOF || InterruptRequested()) return false;
      if (c == '\n') return true;
    }
  }

  ExitCode ChipBatch(app::AppContext& context, ConsoleView& view, app::MainPresenter& presenter) {
    if (const std::optional<ExitCode> refused = RestoreLoad(context, view)) return *refused;
    const ChipCommand command = ChipCommandOf(options_.command);
    view.AllowNoSerial(options_.noSerial ? Language(context).Text(text::IDS_NoSerial_Question) : std::string());
    // Unbuffered, so that the wait for Enter sees on the descriptor what has not been read yet.
    if (!options_.noWait) std::setvbuf(host_.in, nullptr, _IONBF, 0);
    std::optional<ExitCode> firstFailure;
    Counts counts;
    bool interrupted = false;
    for (int chip = 1; chip <= options_.count; ++chip) {
      if (chip > 1 && !WaitForNextChip(context, chip)) {
        interrupted = true;
        break;
      }
      view.ClearChipResult();
      StartChipCommand(presenter, command);
      const CommandResult result = context.state.lastResult.load();
      const ExitCode code = ExitCodeOf(result, command);
      const ConsoleView::ChipResult shown = view.LastChipResult();
      counts.Add(context.record.lastChip());
      ReportChip(context, chip, shown, code);
      if (code != ExitCode::Success && !firstFailure) firstFailure = code;
      if (code != ExitCode::Success && (options_.untilFail || StopsBatch(result))) break;
      if (InterruptRequested()) {
        interrupted = chip < options_.count;
        break;
      }
    }
    // The record's counters as they stand now, even when no command reached a chip.
    app::ShowCounters(context, view);
    const std::string counters[] = {view.JobCounters(), view.TodayCounters(), view.SeriesLine()};
    if (output_.json()) {
      nlohmann::ordered_json event = {{"event", "counters"}, {"job", counters[0]}, {"today", counters[1]}};
      if (!counters[2].empty()) event["series"] = counters[2];
      output_.Event(event);
    } else {
      for (const std::string& line : counters) {
        if (!line.empty()) output_.Line(line);
      }
    }
    const std::string summary = Language(context).Format(
        text::IDS_Cli_ChipSummary,
        {options_.command, counts.done, counts.passed, counts.failed, counts.unknown, counts.notRun, counts.noChip});
    summaryCounts_ = counts;
    if (!output_.json()) output_.Line(summary);
    if (firstFailure) return *firstFailure;
    if (interrupted) {
      output_.EventOrLine({{"event", "status"}, {"text", Language(context).Text(text::IDS_Cli_Interrupted)}},
                          Language(context).Text(text::IDS_Cli_Interrupted));
      return ExitCode::Interrupted;
    }
    return ExitCode::Success;
  }

  void ReportChip(const app::AppContext& context, int chip, const ConsoleView::ChipResult& shown, ExitCode code) {
    const std::optional<app::ProductionRecord::LastChip> last = context.record.lastChip();
    const bool shownAny = shown.verdict != app::MainView::Verdict::None;
    // Only a chip that was reached got its value; the value of one that was not stays free.
    const bool reached = last && !last->running && ledger::ReachedChip(last->outcome);
    nlohmann::ordered_json event = {{"event", "chip"},
                            {"command", options_.command},
                            {"index", chip},
                            {"count", options_.count},
                            {"result", VerdictNameOf(shown.verdict)},
                            {"exit_code", ToInt(code)},
                            {"code_name", ExitCodeName(code)}};
    event["serial"] = reached && last && !last->value.empty() ? nlohmann::ordered_json(last->value) : nlohmann::ordered_json(nullptr);
    const std::string text = Language(context).Format(
        text::IDS_Cli_ChipLine, {chip, options_.count, shownAny ? shown.verdictText : std::string(ExitCodeName(code)),
                                 shown.detail});
    output_.EventOrLine(event, text);
  }

  // ---- read ----

  ExitCode Read(app::AppContext& context, ConsoleView& view, app::MainPresenter& presenter) {
    if (const std::optional<ExitCode> refused = RestoreLoad(context, view)) return *refused;
    view.CaptureListing(true);
    StartChipCommand(presenter, ChipCommand::Read);
    view.CaptureListing(false);
    const ExitCode code = ExitCodeOf(context.state.lastResult.load(), ChipCommand::Read);
    const std::string listing = view.TakeListing();
    if (code != ExitCode::Success) return code;
    if (options_.out == kStandardOutput) {
      // "-": the listing goes to standard output as it is.
      const bool written = std::fwrite(listing.data(), 1, listing.size(), host_.out) == listing.size() &&
                           std::fflush(host_.out) == 0;
      if (!written) {
        output_.Error(Language(context).Format(text::IDS_Cli_FileNotWritten,
                                               {options_.out, std::string_view(std::strerror(errno))}));
        return ExitCode::ReadFailed;
      }
      return InterruptRequested() ? ExitCode::Interrupted : ExitCode::Success;
    }
    // The listing is written whole or not at all: a file that is there is complete; a device or
    // a pipe named by --out gets the bytes, and is never swapped for a file.
    const fs::path out = platform::PathFromUtf8(options_.out);
    if (std::string why; !platform::ReplaceFileAtomically(out, listing, &why)) {
      output_.Error(Language(context).Format(text::IDS_Cli_FileNotWritten, {options_.out, why}));
      return ExitCode::ReadFailed;
    }
    const std::string written = Language(context).Format(text::IDS_Cli_ListingWritten, {options_.out});
    output_.EventOrLine({{"event", "status"}, {"text", written}}, written);
    return InterruptRequested() ? ExitCode::Interrupted : ExitCode::Success;
  }

  // ---- ledger stats | export ----

  ExitCode Ledger(app::AppContext& context, ConsoleView& view) {
    if (!host_.recordInBuild) {
      output_.Error(Language(context).Text(text::IDS_Cli_NoRecord));
      return ExitCode::NoRecord;
    }
    ledger::ProductionLedger* record = context.record.ledger();
    if (record == nullptr) {
      output_.Error(Language(context).Format(text::IDS_Ledger_NotOpen, {context.record.error()}));
      return ExitCode::SerialRefused;
    }
    ledger::JobId job = options_.job.value_or(0);
    if (!options_.job) {
      if (const std::optional<CliSession> session = LoadSession(context.state.DataDir())) job = session->job;
    }
    context.record.job = job;
    if (options_.ledgerCommand == "stats") return Stats(context, view, *record, job);
    if (options_.ledgerCommand == "sync") return Sync(context, view, *record);
    if (options_.ledgerCommand == "adopt") return Adopt(context);
    ledger::ExportScope scope = ledger::ExportScope::Job;
    if (options_.today) scope = ledger::ExportScope::Today;
    if (options_.all) scope = ledger::ExportScope::All;
    if (scope == ledger::ExportScope::Job && job == 0) {
      output_.Error(Language(context).Text(text::IDS_Cli_NoJob));
      return ExitCode::Usage;
    }
    const ledger::LedgerStatus status = record->ExportCsv(scope, job, platform::PathFromUtf8(options_.csv));
    if (!status) {
      output_.Error(Language(context).Format(text::IDS_Ledger_ExportFailed, {status.error}));
      return ExitCode::SerialRefused;
    }
    const std::string done = Language(context).Format(text::IDS_Ledger_Exported, {options_.csv});
    output_.EventOrLine({{"event", "status"}, {"text", done}}, done);
    return ExitCode::Success;
  }

  // The rows the record holds for the serial server are sent now (the loaded job's series, or
  // the one --series names); what stays queued is said.
  ExitCode Sync(app::AppContext& context, ConsoleView& view, ledger::ProductionLedger& record) {
    // A copy's rows are the original station's: it sends nothing (the note at start says why).
    if (!context.record.CopiedFrom().empty()) return ExitCode::SerialRefused;
    if (const std::optional<ExitCode> refused = RestoreLoad(context, view)) return *refused;
    context.series.Close(context, true);
    std::int64_t queued = 0;
    if (ledger::LedgerOutbox* outbox = record.Outbox()) {
      if (const ledger::LedgerStatus status = outbox->QueuedCount(queued); !status) {
        output_.Error(Language(context).Format(text::IDS_Ledger_NotOpen, {status.error}));
        return ExitCode::SerialRefused;
      }
    }
    const std::string text = Language(context).Format(text::IDS_Cli_SeriesQueued, {queued});
    output_.EventOrLine({{"event", "sync"}, {"queued_rows", queued}, {"text", text}}, text);
    return queued == 0 ? ExitCode::Success : ExitCode::SerialRefused;
  }

  // A record copied from another PC or folder becomes a new station here; one made here is left
  // as it is.
  ExitCode Adopt(app::AppContext& context) {
    if (context.record.CopiedFrom().empty()) {
      const std::string text = Language(context).Text(text::IDS_Cli_NotACopy);
      output_.EventOrLine({{"event", "adopt"}, {"adopted", false}, {"text", text}}, text);
      return ExitCode::Success;
    }
    if (const ledger::LedgerStatus adopted = context.record.Adopt(options_.station); !adopted) {
      output_.Error(Language(context).Format(text::IDS_Ledger_NotAdopted, {adopted.error}));
      return ExitCode::SerialRefused;
    }
    const std::string text = Language(context).Text(text::IDS_Ledger_Adopted);
    output_.EventOrLine({{"event", "adopt"}, {"adopted", true}, {"text", text}}, text);
    if (!options_.station.empty()) {
      const std::string named = Language(context).Format(text::IDS_Cli_StationNamed, {options_.station});
      output_.EventOrLine({{"event", "status"}, {"text", named}}, named);
    }
    return ExitCode::Success;
  }

  ExitCode Stats(app::AppContext& context, ConsoleView& view, ledger::ProductionLedger& record, ledger::JobId job) {
    // A job asked for by its id must be one the record holds: zeros for a mistyped id would read
    // as a job that made no chip.
    if (options_.job) {
      bool exists = false;
      if (const ledger::LedgerStatus status = record.HasJob(job, exists); !status) {
        output_.Error(Language(context).Format(text::IDS_Ledger_NotOpen, {status.error}));
        return ExitCode::SerialRefused;
      }
      if (!exists) {
        output_.Error(Language(context).Format(text::IDS_Cli_NoSuchJob, {job}));
        return ExitCode::Usage;
      }
    }
    ledger::CounterSet counters;
    if (const ledger::LedgerStatus status = record.ReadCounters(job, counters); !status) {
      output_.Error(Language(context).Format(text::IDS_Ledger_NotOpen, {status.error}));
      return ExitCode::SerialRefused;
    }
    const auto json = [](const ledger::Counters& c) {
      return nlohmann::ordered_json{{"done", c.done},
                            {"passed", c.passed},
                            {"failed", c.failed},
                            {"unknown", c.unknown},
                            {"yield_percent", c.yieldPercent},
                            {"last_serial", c.lastSerial},
                            {"standalone", c.standalone}};
    };
    // Values this station's Writer used on its own that the serial server found on another
    // station's blocks: duplicates on the line.
    std::int64_t conflicts = 0;
    if (record.Blocks() != nullptr) record.Blocks()->ConflictCount({}, conflicts);
    app::ShowCounters(context, view);
    if (output_.json()) {
      output_.Event({{"event", "stats"},
                     {"job_id", job},
                     {"job", json(counters.job)},
                     {"today", json(counters.today)},
                     {"conflicts", conflicts}});
    } else {
      output_.Line(view.JobCounters());
      output_.Line(view.TodayCounters() +
                   (conflicts > 0 ? Language(context).Format(text::IDS_Ledger_SeriesConflicts, {conflicts}) : ""));
    }
    return ExitCode::Success;
  }

  const Options& options_;
  const CliHost& host_;
  CliOutput& output_;
  ExitCode code_ = ExitCode::Internal;

 public:
  // What the commands of a batch came to: `done` counts the chips reached (passed, failed or of
  // unknown outcome), as the record's counters do; a command that reached no chip counts apart.
  struct Counts {
    int done = 0;
    int passed = 0;
    int failed = 0;
    int unknown = 0;
    int notRun = 0;
    int noChip = 0;
    void Add(const std::optional<app::ProductionRecord::LastChip>& chip) {
      if (!chip || chip->running || chip->outcome == ledger::Outcome::NotRun) {
        ++notRun;
        return;
      }
      switch (chip->outcome) {
        case ledger::Outcome::Pass: ++passed; break;
        case ledger::Outcome::Fail: ++failed; break;
        case ledger::Outcome::Unknown: ++unknown; break;
        case ledger::Outcome::NoChip: ++noChip; return;
        case ledger::Outcome::NotRun: return;
      }
      ++done;
    }
  };
  std::optional<Counts> summaryCounts_;
};

#if !defined(_WIN32)
void OnInterrupt(int /*signal*/) {
  // A second Ctrl-C ends the process at once: the record's values of unknown outcome are kept
  // as such at the next start.
  if (gInterrupted.exchange(true)) std::_Exit(ToInt(ExitCode::Interrupted));
}
#else
void OnInterrupt(int signal) {
  if (gInterrupted.exchange(true)) std::_Exit(ToInt(ExitCode::Interrupted));
  std::signal(signal, OnInterrupt);
}
#endif

void AddCommonOptions(CLI::App& command, Options& options) {
  command.add_flag("--json", options.json, "One JSON object per line on standard output for every event");
  command.add_option("--lang", options.lang, "Language of the texts")
      ->check(CLI::IsMember({std::string(kLanguageEnglish), std::string(kLanguageChinese)}));
  command.add_option("--series", options.series,
                     "A shared series' settings file, used instead of the one beside the rolling INI");
}

}  // namespace

void InstallInterruptHandler() {
#if defined(_WIN32)
  std::signal(SIGINT, OnInterrupt);
#else
  struct sigaction action = {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  // No SA_RESTART: a wait for Enter between chips ends at Ctrl-C.
  action.sa_flags = 0;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
#endif
}

bool InterruptRequested() { return gInterrupted.load(); }

int RunCli(int argc, const char* const* argv, const CliHost& host) {
  Options options;
  CLI::App cli{"VX3WT command line: load an image into the Writer and program chips, for scripts and test stations",
               std::string(kCliProgramName)};
  cli.require_subcommand(1);
  cli.set_help_all_flag("--help-all", "Help of every command");
  cli.set_version_flag("--version", std::string(kCliProgramName) + " " + VX3WT_VERSION_TEXT, "The program's version");
  AddCommonOptions(cli, options);

  CLI::App* info = cli.add_subcommand("info", "Load IMAGE as the window does and print what it holds (no Writer)");
  info->add_option("IMAGE", options.image, "The image file (.VX3 or .BIN)")->required();
  info->add_option("--device", options.device, "The device, as Choose Device lists it (needed for a .BIN image)");

  CLI::App* load = cli.add_subcommand("load", "Load IMAGE into the Writer: firmware, EEPROM job, rolling code");
  load->add_option("IMAGE", options.image, "The image file (.VX3 or .BIN)")->required();
  load->add_option("--device", options.device, "The device, as Choose Device lists it (needed for a .BIN image)");
  load->add_option("--function", options.function, "Off-line function: 0 (blank check, program, verify) or 6 (program, verify)")
      ->check(CLI::IsMember({kFunctionZero, kFunctionSix}));
  load->add_option("--rolling-method", options.rollingMethod, "Rolling code method instead of the INI's")
      ->check(CLI::IsMember({std::string(kMethodAutoInc), std::string(kMethodRunExe), std::string(kMethodNotUsed)}));
  load->add_option("--rolling-verify", options.rollingVerify, "Verify the ROM without the rolling code")
      ->check(CLI::IsMember({std::string(kSwitchOn), std::string(kSwitchOff)}));

  for (const ChipCommandName& command : kChipCommands) {
    CLI::App* chip = cli.add_subcommand(std::string(command.name), std::string(command.description));
    chip->add_option("--count", options.count, "How many chips, one after the other")->check(CLI::PositiveNumber);
    chip->add_flag("--until-fail", options.untilFail, "Stop at the first chip that fails");
    chip->add_flag("--no-wait", options.noWait, "Do not wait for Enter between chips");
    // Taken by every chip command, so that a script can give it to all; only the two that
    // program chips ask the question it answers.
    chip->add_flag("--no-serial", options.noSerial,
                   "Program chips without serial numbers when the rolling INI asks for ones that cannot be made");
  }

  CLI::App* read = cli.add_subcommand("read", "Read the chip back: its listing to FILE, its checksum printed");
  read->add_option("--out", options.out, "The listing file")->required();

  CLI::App* ledger = cli.add_subcommand("ledger", "The production record");
  ledger->require_subcommand(1);
  CLI::App* stats = ledger->add_subcommand("stats", "The counters of the job and of today");
  stats->add_option("--job", options.job, "The job's id (default: the loaded job)");
  CLI::App* sync = ledger->add_subcommand("sync", "Send the rows waiting for the serial server now");
  CLI::App* adopt = ledger->add_subcommand(
      "adopt", "Make a record copied from another PC or folder a new station here (its values are never given again)");
  adopt->add_option("--station", options.station, "The new station's name on the serial server (Writer_Log/production.ini)");
  CLI::App* exportCommand = ledger->add_subcommand("export", "Write the record as CSV");
  exportCommand->add_option("--csv", options.csv, "The CSV file")->required();
  CLI::Option* jobOption = exportCommand->add_option("--job", options.job, "The job's id (default: the loaded job)");
  CLI::Option* todayOption = exportCommand->add_flag("--today", options.today, "Today's actions");
  CLI::Option* allOption = exportCommand->add_flag("--all", options.all, "The whole record");
  jobOption->excludes(todayOption)->excludes(allOption);
  todayOption->excludes(allOption);
  for (CLI::App* command : {info, load, read, stats, sync, adopt, exportCommand}) AddCommonOptions(*command, options);
  for (CLI::App* command : cli.get_subcommands({})) {
    if (command != info && command != load && command != read && command != ledger) AddCommonOptions(*command, options);
  }

  try {
    cli.parse(argc, argv);
  } catch (const CLI::CallForVersion& version) {
    // --version: one line, "vx3wt-cli 1.2.0", whatever else was given.
    std::fprintf(host.out, "%s\n", version.what());
    return ToInt(ExitCode::Success);
  } catch (const CLI::ParseError& error) {
    if (error.get_exit_code() == 0) {
      // --help: the help of the command it follows.
      std::fputs(cli.help().c_str(), host.out);
      return ToInt(ExitCode::Success);
    }
    std::fprintf(host.err, "%s: %s\n", std::string(kCliProgramName).c_str(), error.what());
    std::fprintf(host.err, "Run with --help for more information.\n");
    return ToInt(ExitCode::Usage);
  }
  const CLI::App* chosen = cli.get_subcommands().front();
  options.command = chosen->get_name();
  if (chosen == ledger) options.ledgerCommand = ledger->get_subcommands().front()->get_name();

  CliOutput output(host.out, host.err, options.json, IsTerminal(host.err));
  platform::SystemThreadLocale locale(platform::RefusedLocalesFromEnvironment());
  platform::SystemClock clock;
  app::AppContext context(locale, clock);
  context.ledgerOpener = host.ledgerOpener;
  context.seriesOpener = host.seriesOpener;
  if (!options.series.empty()) context.series.SetSettingsFile(platform::PathFromUtf8(options.series));
  CliRun run(options, host, output);
  ExitCode code = ExitCode::Internal;
  try {
    app::RunApplication(run, context, host.programPath);
    code = run.code();
    // The job goes on in the next command: the block stays held; the rows go to the server now.
    context.series.Close(context, true);
  } catch (const std::exception& error) {
    output.Error(fmt::format("{}: {}", kCliProgramName, error.what()));
    code = ExitCode::Internal;
  }
  nlohmann::ordered_json summary = {{"event", "summary"},
                            {"command", options.ledgerCommand.empty() ? options.command
                                                                      : options.command + " " + options.ledgerCommand},
                            {"exit_code", ToInt(code)},
                            {"result", ExitCodeName(code)}};
  if (run.summaryCounts_) {
    summary["chips"] = run.summaryCounts_->done;
    summary["passed"] = run.summaryCounts_->passed;
    summary["failed"] = run.summaryCounts_->failed;
    summary["unknown"] = run.summaryCounts_->unknown;
    summary["not_run"] = run.summaryCounts_->notRun;
    summary["no_chip"] = run.summaryCounts_->noChip;
  }
  output.Event(summary);
  return ToInt(code);
}

}  // namespace vx3::cli
