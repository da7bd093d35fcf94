// Choose Device: the chip series and chip types offered to the operator, derived from the Writer
// driver files in the program's "USE_DRV" folder and from the chip history, and the choice made.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vx3::text {
class Language;
}

namespace vx3::device_select {

inline constexpr std::string_view kDriverFolder = "USE_DRV";
inline constexpr std::string_view kDriverExtension = ".DRV";
// The pseudo-series whose types are the names of the history file.
inline constexpr std::string_view kHistorySeries = "History Chip";
// The series list holds at most this many entries, "History Chip" included; further series are
// not added.
inline constexpr std::size_t kMaxSeriesNames = 200;

// The families of driver files, searched in this order. The first three are the maker's type
// naming ("VX3*.DRV", "VXN*.DRV", "VXM*.DRV"); `Single` holds the kit's other "VX*.DRV" files
// (the BIN-only series "VXLARK (BIN)", "VXWREN (BIN)" and the single-chip parts such as
// "VXHERON"), each of which is a series of its own.
enum class DriverFamily { Vx3, Vxn, Vxm, Single };

struct DriverFile {
  DriverFamily family;
  std::string fileName;  // as the folder lists it, ".DRV" included
};

// The driver files of `driverFolder`, family by family; within a family sorted by name, so that
// the lists do not depend on the order in which the file system happens to list a folder.
// Names are matched without regard to case. Empty when the folder is missing.
std::vector<DriverFile> ListDriverFiles(const std::filesystem::path& driverFolder);

// The chip type a driver file stands for: its name without the last four characters.
std::string TypeName(std::string_view fileName);

// The series a driver file starts, or nullopt when its name fits no naming rule.
struct SeriesKey {
  std::string name;        // the text shown in the series list
  std::size_t keyLength;   // the file is of an existing series when this many first characters agree
};
std::optional<SeriesKey> SeriesOf(const DriverFile& file);

// Whether the type of `file` is listed under the series entry `series`.
bool BelongsToSeries(const DriverFile& file, std::string_view series);

// The series list: "History Chip" first when `historyExists`, then each new series in file order,
// at most kMaxSeriesNames entries. Empty when there are no driver files.
std::vector<std::string> SeriesList(const std::vector<DriverFile>& files, bool historyExists);

// The types listed under `series`, in file order.
std::vector<std::string> TypesOfSeries(const std::vector<DriverFile>& files, std::string_view series);

// The dialog's texts in the language in force.
struct ChooserTexts {
  std::string caption;
  std::string seriesLabel;
  std::string typeLabel;
  std::string ok;
  std::string cancel;
};
ChooserTexts LoadChooserTexts(const text::Language& language);

// The dialog without its widgets: the two lists, their selections, and the choice on OK. A view
// shows the lists, forwards the operator's selections and calls Confirm on OK or on a double
// click in the type list; Cancel calls nothing.
class DeviceChooser {
 public:
  // The driver files are listed from `programDir`, the chip history read from `dataDir` (by
  // default the program folder too).
  explicit DeviceChooser(std::filesystem::path programDir) : programDir_(programDir), dataDir_(std::move(programDir)) {}
  DeviceChooser(std::filesystem::path programDir, std::filesystem::path dataDir)
      : programDir_(std::move(programDir)), dataDir_(std::move(dataDir)) {}

  // Fills the lists afresh from the driver folder and the history file, selects the first
  // series and its first type, and takes the texts from `language`.
  void Open(const text::Language& language);

  const ChooserTexts& texts() const { return texts_; }
  const std::vector<std::string>& seriesList() const { return series_; }
  const std::vector<std::string>& typeList() const { return types_; }
  int selectedSeries() const { return selectedSeries_; }
  int selectedType() const { return selectedType_; }

  // A change of series refills the type list and selects its first type. An index out of range
  // selects nothing.
  void SelectSeries(int index);
  void SelectType(int index);

  // OK: the selected type (the first when none is selected; empty when the list is empty) becomes
  // the choice. Returns it.
  const std::string& Confirm();
  bool confirmed() const { return confirmed_; }
  const std::string& chosenType() const { return chosen_; }

 private:
  void FillTypes();

  std::filesystem::path programDir_;
  std::filesystem::path dataDir_;
  ChooserTexts texts_;
  std::vector<DriverFile> files_;
  std::vector<std::string> history_;
  bool historyExists_ = false;
  std::vector<std::string> series_;
  std::vector<std::string> types_;
  int selectedSeries_ = -1;
  int selectedType_ = -1;
  bool confirmed_ = false;
  std::string chosen_;
};

}  // namespace vx3::device_select
