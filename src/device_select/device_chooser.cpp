#include "device_select/device_chooser.h"

#include <algorithm>
#include <array>
#include <system_error>

#include "device_select/chip_history.h"
#include "platform/ascii_case.h"
#include "platform/utf8_path.h"
#include "ui_text/language.h"
#include "ui_text/program_paths.h"
#include "ui_text/ui_texts.h"

namespace vx3::device_select {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kSeriesSuffix = " Series";
constexpr std::string_view kDriverPrefix = "VX";

struct FamilyMask {
  DriverFamily family;
  std::string_view prefix;  // the mask is prefix + "*.DRV"
};
constexpr std::array<FamilyMask, 3> kMakerFamilies = {{
    {DriverFamily::Vx3, "VX3"},
    {DriverFamily::Vxn, "VXN"},
    {DriverFamily::Vxm, "VXM"},
}};

// One naming rule: the 4th character is one of `fourth`, and (when `position` is not 0) the
// character at `position` is `letter`. The series is the first `take` characters, then `fill`,
// then " Series"; a file is of an existing series when its first `key` characters agree.
struct NamingRule {
  DriverFamily family;
  std::string_view fourth;
  std::size_t position;
  char letter;
  std::size_t take;
  std::string_view fill;
  std::size_t key;
};

// Tried top to bottom within a family. The letters "N" and "C" of the "VX3" row before last and
// the "VXN" row with "P" alone name the kit's VX3N, VX3C and VXNP parts.
constexpr std::array<NamingRule, 8> kNamingRules = {{
    {DriverFamily::Vx3, "F", 7, 'E', 7, "00", 7},
    {DriverFamily::Vx3, "P", 5, 'C', 5, "00", 5},
    {DriverFamily::Vx3, "D", 5, 'W', 5, "00", 5},
    {DriverFamily::Vx3, "P", 7, 'L', 7, "00", 7},
    {DriverFamily::Vx3, "PFEMNC", 0, 0, 7, "0", 7},
    {DriverFamily::Vxn, "P", 5, 'C', 5, "00", 5},
    {DriverFamily::Vxn, "P", 0, 0, 5, "00", 5},
    {DriverFamily::Vxm, "C", 0, 0, 4, "00", 5},
}};

using platform::AsciiUpper;
using platform::EndsWithIgnoringCase;
using platform::EqualsIgnoringCase;
using platform::StartsWithIgnoringCase;

// The first `n` characters of both agree (a shorter text takes part whole).
bool FirstAgree(std::string_view a, std::string_view b, std::size_t n) {
  return EqualsIgnoringCase(a.substr(0, n), b.substr(0, n));
}

// The character at 1-based `position`, upper-cased; NUL past the end.
char At(std::string_view s, std::size_t position) { return position <= s.size() ? AsciiUpper(s[position - 1]) : '\0'; }

std::string SingleSeriesName(std::string_view fileName) { return TypeName(fileName) + std::string(kSeriesSuffix); }

}  // namespace

std::vector<DriverFile> ListDriverFiles(const fs::path& driverFolder) {
  std::vector<DriverFile> found;
  std::error_code ec;
  for (fs::directory_iterator it(driverFolder, ec), end; !ec && it != end; it.increment(ec)) {
    if (!it->is_regular_file(ec)) continue;
    std::string name = platform::PathToUtf8(it->path().filename());
    if (!StartsWithIgnoringCase(name, kDriverPrefix) || !EndsWithIgnoringCase(name, kDriverExtension)) continue;
    DriverFamily family = DriverFamily::Single;
    for (const FamilyMask& mask : kMakerFamilies) {
      if (StartsWithIgnoringCase(name, mask.prefix)) family = mask.family;
    }
    found.push_back({family, std::move(name)});
  }
  std::sort(found.begin(), found.end(), [](const DriverFile& a, const DriverFile& b) {
    return a.family != b.family ? a.family < b.family : a.fileName < b.fileName;
  });
  return found;
}

std::string TypeName(std::string_view fileName) {
  return std::string(fileName.substr(0, fileName.size() - std::min(fileName.size(), kDriverExtension.size())));
}

std::optional<SeriesKey> SeriesOf(const DriverFile& file) {
  const std::string_view s = file.fileName;
  if (file.family == DriverFamily::Single) return SeriesKey{SingleSeriesName(s), 0};
  for (const NamingRule& rule : kNamingRules) {
    if (rule.family != file.family) continue;
    const char fourth = At(s, 4);
    if (fourth == '\0' || rule.fourth.find(fourth) == std::string_view::npos) continue;
    if (rule.position != 0 && At(s, rule.position) != rule.letter) continue;
    std::string name(s.substr(0, rule.take));
    name += rule.fill;
    name += kSeriesSuffix;
    return SeriesKey{std::move(name), rule.key};
  }
  return std::nullopt;
}

bool BelongsToSeries(const DriverFile& file, std::string_view series) {
  const std::string_view s = file.fileName;
  switch (file.family) {
    case DriverFamily::Vx3:
      if (StartsWithIgnoringCase(s, "VX3PC") && StartsWithIgnoringCase(series, "VX3PC")) return true;
      if (StartsWithIgnoringCase(s, "VX3DW") && StartsWithIgnoringCase(series, "VX3DW")) return true;
      return !EndsWithIgnoringCase(s, "OTP.INC") && FirstAgree(s, series, 7);
    case DriverFamily::Vxn:
      return FirstAgree(s, series, 5);
    case DriverFamily::Vxm:
      return StartsWithIgnoringCase(s, "VXM") && At(s, 4) == 'C' && FirstAgree(s, series, 4);
    case DriverFamily::Single:
      return EqualsIgnoringCase(SingleSeriesName(s), series);
  }
  return false;
}

std::vector<std::string> SeriesList(const std::vector<DriverFile>& files, bool historyExists) {
  std::vector<std::string> series;
  if (files.empty()) return series;
  if (historyExists) series.emplace_back(kHistorySeries);
  for (const DriverFile& file : files) {
    if (series.size() >= kMaxSeriesNames) break;
    std::optional<SeriesKey> key = SeriesOf(file);
    if (!key) continue;
    // Two entries of the same text could not be told apart, whatever their key characters say.
    const bool known = std::any_of(series.begin(), series.end(), [&](const std::string& existing) {
      return EqualsIgnoringCase(existing, key->name) ||
             (key->keyLength != 0 && FirstAgree(existing, file.fileName, key->keyLength));
    });
    if (!known) series.push_back(std::move(key->name));
  }
  return series;
}

std::vector<std::string> TypesOfSeries(const std::vector<DriverFile>& files, std::string_view series) {
  std::vector<std::string> types;
  for (const DriverFile& file : files) {
    if (BelongsToSeries(file, series)) types.push_back(TypeName(file.fileName));
  }
  return types;
}

ChooserTexts LoadChooserTexts(const text::Language& language) {
  return {language.Text(text::IDS_CHIP_LIST), language.Text(text::IDS_CHIP_TYPE), language.Text(text::IDS_CHIP),
          language.Text(text::IDS_OK), language.Text(text::IDS_CANCEL)};
}

void DeviceChooser::Open(const text::Language& language) {
  texts_ = LoadChooserTexts(language);
  confirmed_ = false;
  chosen_.clear();
  files_ = ListDriverFiles(text::ComposeProgramPath(programDir_, {}, kDriverFolder));
  const fs::path historyFile = HistoryPath(dataDir_);
  historyExists_ = text::FileExists(historyFile);
  history_ = historyExists_ ? ReadChipHistory(historyFile) : std::vector<std::string>{};
  series_ = SeriesList(files_, historyExists_);
  types_.clear();
  selectedSeries_ = -1;
  selectedType_ = -1;
  SelectSeries(0);
}

void DeviceChooser::SelectSeries(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= series_.size()) return;
  selectedSeries_ = index;
  FillTypes();
  selectedType_ = types_.empty() ? -1 : 0;
}

void DeviceChooser::SelectType(int index) {
  if (index < 0 || static_cast<std::size_t>(index) >= types_.size()) return;
  selectedType_ = index;
}

const std::string& DeviceChooser::Confirm() {
  if (selectedType_ >= 0 && static_cast<std::size_t>(selectedType_) < types_.size()) {
    chosen_ = types_[static_cast<std::size_t>(selectedType_)];
  } else {
    chosen_ = types_.empty() ? std::string() : types_.front();
  }
  confirmed_ = true;
  return chosen_;
}

void DeviceChooser::FillTypes() {
  if (historyExists_ && selectedSeries_ == 0) {
    types_ = history_;
  } else {
    types_ = TypesOfSeries(files_, series_[static_cast<std::size_t>(selectedSeries_)]);
  }
}

}  // namespace vx3::device_select
