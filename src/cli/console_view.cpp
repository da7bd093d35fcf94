#include "cli/console_view.h"

#include <array>
#include <string_view>

#include "app/control_ids.h"
#include "device_select/device_chooser.h"
#include "platform/ascii_case.h"
#include "platform/utf8_path.h"
#include "ui_text/message_box.h"

namespace vx3::cli {

namespace {

namespace ctl = app::ctl;

constexpr std::string_view kListingHeadStart = "Check ";
constexpr std::string_view kListingHeadEnd = " for all datas";

// The window's labels that a script wants to read, with the control of their caption.
struct Field {
  int id;
  int captionId;
  std::string_view name;
};
constexpr std::array kFields = {
    Field{ctl::kDeviceName, ctl::kDeviceGroup, "device"},
    Field{ctl::kFileName, ctl::kFileNameCaption, "file"},
    Field{ctl::kChecksum, ctl::kChecksumCaption, "checksum"},
    Field{ctl::kDriverVersion, ctl::kDriverVersionCaption, "driver_version"},
};

std::string_view VerdictName(app::MainView::Verdict verdict) {
  switch (verdict) {
    case app::MainView::Verdict::Pass: return "pass";
    case app::MainView::Verdict::Fail: return "fail";
    case app::MainView::Verdict::Unknown: return "unknown";
    case app::MainView::Verdict::NoSerial: return "no_serial";
    case app::MainView::Verdict::Running: return "running";
    case app::MainView::Verdict::NotRun: return "not_run";
    case app::MainView::Verdict::NoChip: return "no_chip";
    case app::MainView::Verdict::None: break;
  }
  return "none";
}

bool IsListingHead(std::string_view line) {
  return line.starts_with(kListingHeadStart) && line.ends_with(kListingHeadEnd);
}

}  // namespace

void ConsoleView::CaptureListing(bool capture) {
  const std::lock_guard lock(mutex_);
  captureListing_ = capture;
  capturing_ = false;
  // The listing taken stays until TakeListing; a new capture starts empty.
  if (capture) listing_.clear();
}

std::string ConsoleView::TakeListing() {
  const std::lock_guard lock(mutex_);
  return std::move(listing_);
}

ConsoleView::ChipResult ConsoleView::LastChipResult() const {
  const std::lock_guard lock(mutex_);
  return chip_;
}

void ConsoleView::ClearChipResult() {
  const std::lock_guard lock(mutex_);
  chip_ = {};
}

std::string ConsoleView::JobCounters() const {
  const std::lock_guard lock(mutex_);
  return jobCounters_;
}

std::string ConsoleView::TodayCounters() const {
  const std::lock_guard lock(mutex_);
  return todayCounters_;
}

std::string ConsoleView::SeriesLine() const {
  const std::lock_guard lock(mutex_);
  return seriesLine_;
}

void ConsoleView::StatusLines(std::string_view text) {
  std::vector<std::string> lines;
  {
    const std::lock_guard lock(mutex_);
    status_ += text;
    pendingLine_ += text;
    std::size_t start = 0;
    for (std::size_t end = pendingLine_.find('\n'); end != std::string::npos; end = pendingLine_.find('\n', start)) {
      std::string line = pendingLine_.substr(start, end - start);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      start = end + 1;
      if (capturing_) {
        listing_ += line;
        listing_ += '\n';
        continue;
      }
      if (captureListing_ && IsListingHead(line)) capturing_ = true;
      lines.push_back(std::move(line));
    }
    pendingLine_.erase(0, start);
  }
  if (muted_.load()) return;
  for (const std::string& line : lines) output_.EventOrLine({{"event", "status"}, {"text", line}}, line);
}

void ConsoleView::AppendStatusText(std::string_view text) { StatusLines(text); }

void ConsoleView::SetStatusText(std::string_view text) {
  {
    const std::lock_guard lock(mutex_);
    status_.clear();
    pendingLine_.clear();
  }
  StatusLines(text);
  // A text without a final line end is a whole line of the box all the same.
  std::string rest;
  {
    const std::lock_guard lock(mutex_);
    rest = std::move(pendingLine_);
    pendingLine_.clear();
  }
  if (!rest.empty() && !muted_.load()) output_.EventOrLine({{"event", "status"}, {"text", rest}}, rest);
}

std::string ConsoleView::StatusText() const {
  const std::lock_guard lock(mutex_);
  return status_;
}

int ConsoleView::ShowMessageBox(std::string_view text, std::string_view caption, int type) {
  // Nobody is there to answer: the box's default button, the first one unless the box names the
  // second. Of the boxes whose default is No, --no-serial answers Yes to the one question whether
  // chips are programmed without serial numbers, never to another (adopting a copied record).
  const bool yesNo = (type & text::box::kButtonMask) == text::box::kYesNo;
  const bool defaultNo = yesNo && (type & text::box::kDefaultMask) == text::box::kDefaultSecond;
  bool allowed = false;
  {
    std::lock_guard lock(answersMutex_);
    allowed = !noSerialQuestion_.empty() && text == noSerialQuestion_;
  }
  const bool yes = yesNo && (!defaultNo || allowed);
  const int answer = !yesNo ? text::answer::kOk : yes ? text::answer::kYes : text::answer::kNo;
  if (!muted_.load()) {
    output_.EventOrLine({{"event", "message"}, {"caption", std::string(caption)}, {"text", PlainLines(text)},
                         {"answer", !yesNo ? "ok" : yes ? "yes" : "no"}},
                        std::string(caption) + ": " + std::string(text));
  }
  return answer;
}

void ConsoleView::LogEntryWritten(int kind, std::uint32_t number, std::string_view text) {
  if (muted_.load()) return;
  nlohmann::ordered_json event = {{"event", "log"}, {"kind", kind}, {"text", PlainLines(text)}};
  if (number != 0) event["number"] = number;
  // The text mode shows the log through its status lines, as the window does.
  output_.Event(event);
}

void ConsoleView::SetControlText(int id, std::string_view text) {
  std::string caption;
  {
    const std::lock_guard lock(mutex_);
    std::string& held = controls_[id];
    if (held == text) return;
    held = text;
    for (const Field& field : kFields) {
      if (field.id == id) caption = controls_[field.captionId];
    }
  }
  if (muted_.load() || text.empty()) return;
  for (const Field& field : kFields) {
    if (field.id != id) continue;
    output_.EventOrLine({{"event", "field"}, {"name", field.name}, {"text", std::string(text)}},
                        caption + (caption.empty() || caption.back() == ' ' ? "" : " ") + std::string(text));
  }
}

std::string ConsoleView::ControlText(int id) const {
  const std::lock_guard lock(mutex_);
  const auto found = controls_.find(id);
  return found == controls_.end() ? std::string() : found->second;
}

void ConsoleView::ShowProgressWindow(std::string_view caption, std::string_view label) {
  {
    const std::lock_guard lock(mutex_);
    progressCaption_ = caption;
  }
  if (muted_.load()) return;
  output_.Event({{"event", "progress"}, {"caption", std::string(caption)}, {"percent", 0}, {"text", std::string(label)}});
  output_.Bar(caption, 0, label);
}

void ConsoleView::SetProgress(int percent, std::string_view text) {
  std::string caption;
  {
    const std::lock_guard lock(mutex_);
    caption = progressCaption_;
  }
  if (muted_.load()) return;
  output_.Event({{"event", "progress"}, {"caption", caption}, {"percent", percent}, {"text", std::string(text)}});
  output_.Bar(caption, percent, text);
}

void ConsoleView::HideProgressWindow() { output_.EndBar(); }

std::filesystem::path ConsoleView::ChooseImageFile(const std::filesystem::path&) { return image_; }

bool ConsoleView::RunDeviceChooser(device_select::DeviceChooser& chooser) {
  // The device given is looked for in every series, as the operator would scroll through them.
  const int seriesCount = static_cast<int>(chooser.seriesList().size());
  for (int series = 0; series < seriesCount; ++series) {
    chooser.SelectSeries(series);
    const std::vector<std::string>& types = chooser.typeList();
    for (std::size_t type = 0; type < types.size(); ++type) {
      if (!platform::EqualsIgnoringCase(types[type], device_)) continue;
      chooser.SelectType(static_cast<int>(type));
      chooser.Confirm();
      return true;
    }
  }
  deviceMissed_ = true;
  return false;
}

bool ConsoleView::RunRollingCodeDialog(rolling::RollingDialog& dialog) {
  // The dialog's own controls take the choices, so that OK applies them as a click would.
  class Controls final : public rolling::RollingDialogView {
   public:
    void SetText(int id, std::string_view text) override { texts[id] = text; }
    std::string Text(int id) const override {
      const auto found = texts.find(id);
      return found == texts.end() ? std::string() : found->second;
    }
    void Enable(int, bool) override {}
    void SetChecked(int id, bool checked) override { checks[id] = checked; }
    bool IsChecked(int id) const override {
      const auto found = checks.find(id);
      return found != checks.end() && found->second;
    }
    std::map<int, std::string> texts;
    std::map<int, bool> checks;
  } controls;
  dialog.Start(controls);
  if (rolling_.method) {
    int radio = rolling::dlg::kNotUsed;
    if (*rolling_.method == rolling::RollingMethod::AutoInc) radio = rolling::dlg::kAutoInc;
    if (*rolling_.method == rolling::RollingMethod::RunExe) radio = rolling::dlg::kRunExe;
    for (const int id : {rolling::dlg::kAutoInc, rolling::dlg::kRunExe, rolling::dlg::kNotUsed}) {
      controls.SetChecked(id, id == radio);
    }
    dialog.OnMethodRadio(controls, radio);
  }
  if (rolling_.verify) controls.SetChecked(rolling::dlg::kVerify, *rolling_.verify);
  dialog.OnOk(controls);
  return true;
}

void ConsoleView::ShowChipResult(Verdict verdict, std::string_view verdictText, std::string_view detail) {
  const std::lock_guard lock(mutex_);
  chip_ = {verdict, std::string(verdictText), std::string(detail)};
}

void ConsoleView::ShowCounters(std::string_view jobLine, std::string_view todayLine) {
  const std::lock_guard lock(mutex_);
  jobCounters_ = jobLine;
  todayCounters_ = todayLine;
}

void ConsoleView::ShowSeries(std::string_view line) {
  const std::lock_guard lock(mutex_);
  seriesLine_ = line;
}

bool ConsoleView::ChooseExport(const std::filesystem::path&, std::string_view, bool, const ExportTexts&, ExportChoice&) {
  // The command line exports through the record itself (ledger export).
  return false;
}

// The verdict's name in the JSON events.
std::string_view VerdictNameOf(app::MainView::Verdict verdict) { return VerdictName(verdict); }

}  // namespace vx3::cli
