// The operator's whole job in the real window, offscreen, against a fresh simulated Writer:
// Device / Load of an image with a rolling INI (the worker updates the Writer's driver, programs
// and verifies the EEPROM and asks for the rolling code, whose dialog opens on the window's
// thread), then Auto Program chip after chip, Load OTP and Read.
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QStringList>
#include <chrono>
#include <cstdint>
#include <gtest/gtest.h>
#include <optional>
#include <string>

#include "app/control_ids.h"
#include "gui/choose_device_dialog.h"
#include "gui/rolling_code_dialog.h"
#include "platform/ini_profile.h"
#include "program_window_test.h"
#include "rolling/rolling_dialog.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;
namespace ids = app::chooser_ctl;

constexpr const char* kDevice = "VX3P1020";
constexpr const char* kImageName = "VX3P1020.VX3";
constexpr const char* kIniName = "VX3P1020.INI";
constexpr const char* kRollingSection = "Rolling Code";
// The driver file's version word, big-endian, where the Writer's firmware files keep it.
constexpr std::size_t kDriverVersionOffset = 0x1000;
constexpr std::chrono::seconds kDriverRestartWait{30};
constexpr int kChips = 3;
// The listing's rows, and where the sample's INI puts the rolling value.
constexpr qsizetype kWordsPerRow = 8;
constexpr qsizetype kRollingAddress = 0x101;

// Count and Step of the rolling INI, read as the hexadecimal numbers they are.
std::uint64_t IniNumber(const fs::path& ini, const char* key) {
  const std::optional<std::string> text = platform::ReadProfileString(ini, kRollingSection, key);
  EXPECT_TRUE(text.has_value()) << key;
  return text ? std::stoull(*text, nullptr, 16) : 0;
}

// The lines of the status box, without the empty one after the last line end.
QStringList Lines(const std::string& status) {
  return QString::fromStdString(status).split(QRegularExpression(QStringLiteral("\r?\n")), Qt::SkipEmptyParts);
}

// A two-word rolling value as the status box shows it, high word first.
QString RollingLine(const char* head, std::uint64_t value) {
  return QString::asprintf("%s%04X %04X", head, static_cast<unsigned>((value >> 16) & 0xFFFF),
                           static_cast<unsigned>(value & 0xFFFF));
}

class WorkflowTest : public ProgramWindowTest {
 protected:
  fs::path Samples() const { return programDir_ / "samples"; }

  // Device / Load through Choose Device and the file dialog; the Rolling Code dialog the worker
  // opens is answered with OK. Returns the status box as it was when that dialog opened.
  std::string LoadWithRollingCode() {
    AnswerNext<ChooseDeviceDialog>(&window_, [](ChooseDeviceDialog* dialog) {
      auto* series = qobject_cast<QListWidget*>(dialog->Control(ids::kSeriesList));
      const auto found = series->findItems(QStringLiteral("%1 Series").arg(kDevice), Qt::MatchExactly);
      ASSERT_EQ(found.size(), 1);
      series->setCurrentItem(found.front());
      qobject_cast<QPushButton*>(dialog->Control(ids::kOk))->click();
    });
    const fs::path image = Samples() / kImageName;
    AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
    std::string statusAtDialog;
    AnswerRollingDialog(statusAtDialog);
    Click(ctl::kDeviceLoad);
    return statusAtDialog;
  }

  // Answers the next Rolling Code dialog with OK, noting the status box as it was then and that
  // the dialog ran on the window's thread, modal over the window.
  void AnswerRollingDialog(std::string& statusAtDialog) {
    ++rollingDialogsExpected_;
    AnswerNext<RollingCodeDialog>(&window_, [this, &statusAtDialog](RollingCodeDialog* dialog) {
      ++rollingDialogsAnswered_;
      EXPECT_EQ(dialog->thread(), window_.thread());
      EXPECT_TRUE(dialog->isModal());
      statusAtDialog = window_.StatusText();
      qobject_cast<QPushButton*>(dialog->Control(rolling::dlg::kOk))->click();
    });
  }

  void TearDown() override { EXPECT_EQ(rollingDialogsAnswered_, rollingDialogsExpected_); }

  std::string Status() { return window_.StatusText(); }

  int rollingDialogsExpected_ = 0;
  int rollingDialogsAnswered_ = 0;
};

TEST_F(WorkflowTest, LoadUpdatesTheDriverProgramsTheEepromAndDownloadsTheRollingCode) {
  const std::string atDialog = LoadWithRollingCode();

  EXPECT_EQ(context_.image.deviceName, kDevice);
  EXPECT_EQ(Text(ctl::kDeviceName), QString::fromLatin1(kDevice));
  EXPECT_EQ(Text(ctl::kFileName), Shown(Samples() / kImageName));
  // A fresh Writer has an older driver: the update restarted it, and the program waited for that
  // (through the test's clock, which does not wait).
  EXPECT_GE(clock_.slept, kDriverRestartWait);
  const std::string driver = testing::ReadFileBytes(programDir_ / "USE_DRV" / (std::string(kDevice) + ".DRV"));
  ASSERT_GT(driver.size(), kDriverVersionOffset + 1);
  const auto high = static_cast<unsigned char>(driver[kDriverVersionOffset]);
  const auto low = static_cast<unsigned char>(driver[kDriverVersionOffset + 1]);
  EXPECT_EQ(Text(ctl::kDriverVersion), QString::asprintf(" %x.%02x", high, low));

  // Before the dialog: the load's line and the EEPROM job with its verify.
  const QStringList before = Lines(atDialog);
  EXPECT_EQ(before.first(), QStringLiteral("USB Connect O.K")) << atDialog;
  EXPECT_EQ(before.filter(QRegularExpression(QStringLiteral("^EEPROM program O\\.K$"))).size(), 1) << atDialog;
  EXPECT_EQ(before.filter(QRegularExpression(QStringLiteral("^EEPROM verify O\\.K$"))).size(), 1) << atDialog;
  EXPECT_LT(before.indexOf(QStringLiteral("EEPROM program O.K")), before.indexOf(QStringLiteral("EEPROM verify O.K")));

  // After it: the box was emptied for the rolling summary, and the second download's two lines.
  const QStringList after = Lines(Status());
  ASSERT_GE(after.size(), 2) << Status();
  EXPECT_FALSE(after.contains(QStringLiteral("EEPROM program O.K"))) << Status();
  EXPECT_EQ(after.mid(after.size() - 2),
            (QStringList{QStringLiteral("Rolling Code Program O.K"), QStringLiteral("Rolling Code verify O.K")}))
      << Status();

  // The buttons a loaded image with a usable rolling INI and a Load-OTP copy file gives.
  for (const int id : {ctl::kAutoProgram, ctl::kBlankCheck, ctl::kProgram, ctl::kVerify, ctl::kRead,
                       ctl::kRollingCode, ctl::kLoadOtp}) {
    EXPECT_TRUE(Button(id)->isEnabled()) << id;
  }
  EXPECT_FALSE(Button(ctl::kLoadOtp)->isHidden());
  EXPECT_EQ(Button(ctl::kBlankCheck)->text(), QStringLiteral("Blank Check"));
}

TEST_F(WorkflowTest, EachAutoProgramProgramsAChipAndAdvancesTheRollingCount) {
  LoadWithRollingCode();
  const fs::path ini = Samples() / kIniName;
  const std::uint64_t count = IniNumber(ini, "Count");
  const std::uint64_t step = IniNumber(ini, "Step");
  ASSERT_NE(step, 0u);

  for (int chip = 0; chip < kChips; ++chip) {
    Click(ctl::kAutoProgram);
    const std::uint64_t programmed = count + chip * step;
    EXPECT_EQ(IniNumber(ini, "Count"), programmed + step) << "chip " << chip << "\n" << Status();
    // The Writer's lines for this chip, then the summary of the value the next chip gets.
    const QStringList lines = Lines(Status());
    ASSERT_GE(lines.size(), 4) << Status();
    EXPECT_EQ(lines.mid(0, 2), (QStringList{QStringLiteral("Auto Program OK"), RollingLine("Rolling Code : ", programmed)}))
        << Status();
    // The summary shows each word with the space after it.
    EXPECT_TRUE(lines.contains(RollingLine("Rolling Value : ", programmed + step) + QLatin1Char(' '))) << Status();
  }
  // The width of the value in the INI is kept.
  EXPECT_EQ(platform::ReadProfileString(ini, kRollingSection, "Count")->size(), 8u);
}

TEST_F(WorkflowTest, LoadOtpMakesTheChipTheImageAndPreparesTheWriterAgain) {
  LoadWithRollingCode();
  Click(ctl::kAutoProgram);
  const std::string imageChecksum = context_.image.checksumText;

  Click(ctl::kLoadOtp);

  EXPECT_TRUE(fs::is_directory(programDir_ / "Load_OTP"));
  EXPECT_EQ(Text(ctl::kChecksumCaption), QStringLiteral("VX3 Check Sum : "));
  EXPECT_TRUE(QRegularExpression(QStringLiteral("^ [0-9A-F]{4} $")).match(Text(ctl::kChecksum)).hasMatch())
      << Text(ctl::kChecksum).toStdString();
  EXPECT_EQ(Text(ctl::kChecksum).toStdString(), context_.image.checksumText);
  // The programmed chip carries its rolling value, which the file's image does not.
  EXPECT_NE(context_.image.checksumText, imageChecksum);
  EXPECT_EQ(Lines(Status()).filter(QRegularExpression(QStringLiteral("^EEPROM (program|verify) O\\.K$"))).size(), 2)
      << Status();
}

TEST_F(WorkflowTest, ReadListsTheChipWithTheRollingValueItWasProgrammedWith) {
  LoadWithRollingCode();
  const std::uint64_t count = IniNumber(Samples() / kIniName, "Count");
  Click(ctl::kAutoProgram);
  Click(ctl::kRead);

  const QStringList lines = Lines(Status());
  ASSERT_FALSE(lines.isEmpty());
  EXPECT_EQ(lines.first(), QStringLiteral("Check %1 for all datas").arg(Utf8(Samples() / "VX3P1020.BBB")));
  // Eight words a row, the row's word address first, every word of the ROM listed.
  const QStringList rows = lines.mid(1);
  EXPECT_EQ(static_cast<std::uint64_t>(rows.size()) * kWordsPerRow, context_.image.romWords);
  const QRegularExpression row(QStringLiteral("^([0-9A-F]{6}) : ((?:[0-9A-F]{4} ){4})- ((?:[0-9A-F]{4} ?){4})$"));
  QStringList wrong;
  for (qsizetype i = 0; i < rows.size(); ++i) {
    const QRegularExpressionMatch match = row.match(rows[i]);
    if (!match.hasMatch() || match.captured(1).toUInt(nullptr, 16) != i * kWordsPerRow) wrong << rows[i];
  }
  EXPECT_TRUE(wrong.isEmpty()) << wrong.mid(0, 5).join(QStringLiteral("\n")).toStdString();
  // The chip holds the value the INI had when it was programmed, low word first.
  const qsizetype rollingRow = kRollingAddress / kWordsPerRow;
  ASSERT_LT(rollingRow, rows.size());
  const QStringList words = rows[rollingRow].mid(9).remove(QStringLiteral("- ")).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  ASSERT_EQ(words.size(), kWordsPerRow);
  const qsizetype column = kRollingAddress % kWordsPerRow;
  EXPECT_EQ(words[column].toUInt(nullptr, 16), count & 0xFFFF) << rows[rollingRow].toStdString();
  EXPECT_EQ(words[column + 1].toUInt(nullptr, 16), (count >> 16) & 0xFFFF) << rows[rollingRow].toStdString();
  EXPECT_EQ(Text(ctl::kChecksumCaption), QStringLiteral("OTP Check Sum : "));
}

}  // namespace
}  // namespace vx3::gui
