// Choose Device: series and types from the driver file names, the history pseudo-series, the
// limit of the series list, selections, OK and the dialog's texts; and the shipped kit.
#include <algorithm>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "device_select/chip_history.h"
#include "device_select/device_chooser.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"

namespace vx3::device_select {
namespace {

namespace fs = std::filesystem;
using Names = std::vector<std::string>;

// A program folder with the given driver files (and history file, when not null).
class ChooserFolder {
 public:
  ChooserFolder(std::initializer_list<std::string> drivers, const char* history = nullptr) {
    for (const std::string& name : drivers) dir_.WriteFile(fs::path("USE_DRV") / name, "driver");
    if (history != nullptr) dir_.WriteFile("Writer_Log/History Chip.log", history);
  }
  DeviceChooser Opened() const {
    DeviceChooser chooser(dir_.path());
    chooser.Open(language_);
    return chooser;
  }
  const fs::path& path() const { return dir_.path(); }

 private:
  testing::TempDir dir_;
  text::Language language_{dir_.path() / "language" / "UIEng.ini"};
};

struct NamingCase {
  const char* file;
  const char* series;  // nullptr: the file starts no series and its type is never listed
};

class DriverNamingTest : public ::testing::TestWithParam<NamingCase> {};

TEST_P(DriverNamingTest, SeriesAndType) {
  const NamingCase& c = GetParam();
  const ChooserFolder folder({c.file});
  DeviceChooser chooser = folder.Opened();
  const std::string type = TypeName(c.file);
  if (c.series == nullptr) {
    EXPECT_TRUE(chooser.seriesList().empty()) << c.file;
    return;
  }
  EXPECT_EQ(chooser.seriesList(), Names{c.series}) << c.file;
  EXPECT_EQ(chooser.selectedSeries(), 0);
  EXPECT_EQ(chooser.typeList(), Names{type}) << c.file;
  EXPECT_EQ(chooser.selectedType(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Rules, DriverNamingTest,
    ::testing::Values(
        // "VX3*.DRV", top to bottom.
        NamingCase{"VX3F12E4.DRV", "VX3F12E00 Series"},  // 4th F, 7th E
        NamingCase{"VX3PC123.DRV", "VX3PC00 Series"},    // 4th P, 5th C
        NamingCase{"VX3DW123.DRV", "VX3DW00 Series"},    // 4th D, 5th W
        NamingCase{"VX3P12L4.DRV", "VX3P12L00 Series"},  // 4th P, 7th L
        NamingCase{"VX3P1024.DRV", "VX3P1020 Series"},   // otherwise P, F, E or M
        NamingCase{"VX3F2044.DRV", "VX3F2040 Series"}, NamingCase{"VX3E1614.DRV", "VX3E1610 Series"},
        NamingCase{"VX3M1234.DRV", "VX3M1230 Series"},
        NamingCase{"vx3p1024.drv", "vx3p1020 Series"},  // letters without regard to case
        // The kit's VX3N and VX3C parts.
        NamingCase{"VX3N2264.DRV", "VX3N2260 Series"}, NamingCase{"VX3C44.DRV", "VX3C44.0 Series"},
        // A fourth character of none of the letters: no series, the type is never listed.
        NamingCase{"VX3Z0001.DRV", nullptr}, NamingCase{"VX3D1234.DRV", nullptr},
        // "VXN*.DRV"
        NamingCase{"VXNPC123.DRV", "VXNPC00 Series"}, NamingCase{"VXNP08A.DRV", "VXNP000 Series"},
        NamingCase{"VXNA1234.DRV", nullptr},
        // "VXM*.DRV"
        NamingCase{"VXMC1234.DRV", "VXMC00 Series"}, NamingCase{"VXMA1234.DRV", nullptr},
        // Other "VX*.DRV" files: the BIN-only series and single parts are series of their own.
        NamingCase{"VXLARK (BIN).DRV", "VXLARK (BIN) Series"}, NamingCase{"VXWREN (BIN).DRV", "VXWREN (BIN) Series"},
        NamingCase{"VXHERON.DRV", "VXHERON Series"},
        // Not a driver file of the Writer.
        NamingCase{"ABC.DRV", nullptr}, NamingCase{"VX3P1024.INC", nullptr}));

TEST(DeviceChooserTest, TwoFilesOfOneSeriesGiveOneEntryWithBothTypes) {
  const ChooserFolder folder({"VX3P1024.DRV", "VX3P1021.DRV", "VX3PCR16.DRV", "VX3PC208.DRV", "VXMC0012.DRV",
                              "VXMC0034.DRV"});
  DeviceChooser chooser = folder.Opened();
  EXPECT_EQ(chooser.seriesList(), (Names{"VX3P1020 Series", "VX3PC00 Series", "VXMC00 Series"}));
  EXPECT_EQ(chooser.typeList(), (Names{"VX3P1021", "VX3P1024"}));
  chooser.SelectSeries(1);
  EXPECT_EQ(chooser.typeList(), (Names{"VX3PC208", "VX3PCR16"}));
  chooser.SelectSeries(2);
  EXPECT_EQ(chooser.typeList(), (Names{"VXMC0012", "VXMC0034"}));
}

TEST(DeviceChooserTest, AnEntryOfTheSameTextIsNotAddedTwice) {
  // The VXM key compares five characters but the series name keeps four: both files would
  // otherwise add "VXMC00 Series".
  const ChooserFolder folder({"VXMC1234.DRV", "VXMC5678.DRV"});
  DeviceChooser chooser = folder.Opened();
  EXPECT_EQ(chooser.seriesList(), Names{"VXMC00 Series"});
  EXPECT_EQ(chooser.typeList(), (Names{"VXMC1234", "VXMC5678"}));
}

TEST(DeviceChooserTest, FamiliesComeInMaskOrder) {
  const ChooserFolder folder({"VXHERON.DRV", "VXMC1234.DRV", "VXNPC123.DRV", "VX3P1024.DRV"});
  EXPECT_EQ(folder.Opened().seriesList(),
            (Names{"VX3P1020 Series", "VXNPC00 Series", "VXMC00 Series", "VXHERON Series"}));
}

TEST(DeviceChooserTest, HistoryChipIsSelectedFirstAndOffersTheHistory) {
  const ChooserFolder folder({"VX3P1024.DRV", "VX3F2044.DRV"}, "VX3F2044\r\nVXOLD\r\n");
  DeviceChooser chooser = folder.Opened();
  EXPECT_EQ(chooser.seriesList(), (Names{"History Chip", "VX3F2040 Series", "VX3P1020 Series"}));
  EXPECT_EQ(chooser.selectedSeries(), 0);
  EXPECT_EQ(chooser.typeList(), (Names{"VX3F2044", "VXOLD"}));
  EXPECT_EQ(chooser.selectedType(), 0);

  chooser.SelectSeries(2);
  EXPECT_EQ(chooser.typeList(), Names{"VX3P1024"});
  chooser.SelectSeries(0);
  chooser.SelectType(1);
  EXPECT_EQ(chooser.Confirm(), "VXOLD");
  EXPECT_TRUE(chooser.confirmed());
}

TEST(DeviceChooserTest, NoDriverFilesLeavesBothListsEmptyAndOkChoosesNothing) {
  const ChooserFolder folder({}, "VX3F2044\r\n");
  DeviceChooser chooser = folder.Opened();
  EXPECT_TRUE(chooser.seriesList().empty());
  EXPECT_TRUE(chooser.typeList().empty());
  EXPECT_EQ(chooser.Confirm(), "");
}

TEST(DeviceChooserTest, SelectionsOutOfRangeChangeNothing) {
  const ChooserFolder folder({"VX3P1024.DRV", "VX3P1021.DRV", "VX3F2044.DRV"});
  DeviceChooser chooser = folder.Opened();
  chooser.SelectSeries(1);
  chooser.SelectType(1);
  for (const int index : {-1, 2, 99}) {
    chooser.SelectSeries(index);
    chooser.SelectType(index);
  }
  EXPECT_EQ(chooser.selectedSeries(), 1);
  EXPECT_EQ(chooser.selectedType(), 1);
  EXPECT_EQ(chooser.Confirm(), "VX3P1024");
}

TEST(DeviceChooserTest, TheSeriesListStopsAtTwoHundredEntries) {
  testing::TempDir dir;
  for (int i = 0; i < 250; ++i) dir.WriteFile(fs::path("USE_DRV") / fmt::format("VX3P{:03d}1.DRV", i), "d");
  dir.WriteFile("Writer_Log/History Chip.log", "VX3P0001\r\n");
  DeviceChooser chooser(dir.path());
  chooser.Open(text::Language(dir.path() / "language" / "UIEng.ini"));
  ASSERT_EQ(chooser.seriesList().size(), kMaxSeriesNames);
  EXPECT_EQ(chooser.seriesList().front(), "History Chip");
  EXPECT_EQ(chooser.seriesList().back(), "VX3P1980 Series");
  chooser.SelectSeries(199);
  EXPECT_EQ(chooser.typeList(), Names{"VX3P1981"});
}

TEST(DeviceChooserTest, TextsComeFromTheLanguageFileOrTheBuiltInTable) {
  testing::TempDir dir;
  DeviceChooser chooser(dir.path());
  chooser.Open(text::Language(dir.path() / "language" / "UIEng.ini"));
  EXPECT_EQ(chooser.texts().caption, "CHIP LIST");
  EXPECT_EQ(chooser.texts().seriesLabel, "Chip Series :");
  EXPECT_EQ(chooser.texts().typeLabel, "Chip Type:");
  EXPECT_EQ(chooser.texts().ok, "OK");
  EXPECT_EQ(chooser.texts().cancel, "CANCEL");

  const fs::path chinese = dir.WriteFile("language/UIChina.ini",
                                         "[STRING TABLE]\r\nIDS_CHIP_LIST=芯片列表\r\nIDS_CHIP_TYPE=芯片系列 :\r\n"
                                         "IDS_CHIP=芯片型号:\r\nIDS_OK=确定\r\nIDS_CANCEL=取消\r\n");
  chooser.Open(text::Language(chinese));
  EXPECT_EQ(chooser.texts().caption, "芯片列表");
  EXPECT_EQ(chooser.texts().seriesLabel, "芯片系列 :");
  EXPECT_EQ(chooser.texts().typeLabel, "芯片型号:");
  EXPECT_EQ(chooser.texts().ok, "确定");
  EXPECT_EQ(chooser.texts().cancel, "取消");
}

// Every driver file the program folder ships is offered under exactly one series, the BIN-only
// series included.
TEST(DeviceChooserTest, EveryShippedDriverIsListedOnce) {
  const std::vector<DriverFile> files = ListDriverFiles(fs::path(VX3WT_PROGRAM_DIR) / "USE_DRV");
  ASSERT_FALSE(files.empty());
  const Names series = SeriesList(files, false);
  Names offered;
  for (const std::string& entry : series) {
    const Names types = TypesOfSeries(files, entry);
    offered.insert(offered.end(), types.begin(), types.end());
  }
  std::sort(offered.begin(), offered.end());
  Names shipped;
  for (const DriverFile& file : files) shipped.push_back(TypeName(file.fileName));
  std::sort(shipped.begin(), shipped.end());
  EXPECT_EQ(offered, shipped);
  EXPECT_NE(std::find(offered.begin(), offered.end(), "VXLARK (BIN)"), offered.end());
  EXPECT_NE(std::find(offered.begin(), offered.end(), "VXWREN (BIN)"), offered.end());
}

}  // namespace
}  // namespace vx3::device_select
