// The real window after loads that must fail: an image whose program type is unknown, and a
// .VX3 cut by one byte. Neither may look loaded: the chip buttons stay off, no job goes to the
// simulated Writer, and the status box says why. And an image whose name has no extension: the
// Rolling Code dialog's OK never writes into it.
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>
#include <string>

#include "app/control_ids.h"
#include "gui/choose_device_dialog.h"
#include "gui/rolling_code_dialog.h"
#include "rolling/rolling_dialog.h"
#include "program_window_test.h"
#include "support/image_builder.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;

class FailedLoadTest : public ProgramWindowTest {
 protected:
  void SetUp() override {
    context_.reporter.SetProgramDir(programDir_);
    testing::WriteFileBytes(dir_.path() / "VX3USBOV3Wt.ini", "[Writer]\nTrace=1\n");
  }

  // The one-click load of `image`; a warning box on the way is answered with OK and kept.
  void LoadFileFirst(const fs::path& image) {
    AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
    AnswerNext<QMessageBox>(&window_, [this](QMessageBox* box) {
      warnings_ += box->text().toStdString();
      box->accept();
    });
    Click(ctl::kOneKeyLoad);
  }

  // Nothing of the load reached the Writer's EEPROM, and nothing shows it as loaded.
  void ExpectNotLoaded() {
    for (const int id : ctl::kChipButtons) EXPECT_FALSE(window_.Control(id)->isEnabled()) << id;
    const std::string status = window_.StatusText();
    EXPECT_EQ(status.find("EEPROM program O.K"), std::string::npos) << status;
    const fs::path trace = dir_.path() / "VX3USBOV3Wt.trace";
    const std::string wire = fs::exists(trace) ? testing::ReadFileBytes(trace) : std::string();
    EXPECT_EQ(wire.find("\nW 01 "), std::string::npos) << "an EEPROM job went to the Writer";
  }

  std::string warnings_;
};

TEST_F(FailedLoadTest, AnImageOfUnknownProgramTypeIsAFailedLoad) {
  // The device's description names no program type; the image is of a format that needs one.
  LoadFileFirst(testing::WriteSmallDeviceImage(programDir_, "VX3Q0042", ""));
  ExpectNotLoaded();
  EXPECT_FALSE(context_.image.loadOk);
  EXPECT_NE(testing::ReadFileBytes(context_.reporter.logPath()).find("The type of OTP is unknown !!"), std::string::npos);
}

TEST_F(FailedLoadTest, AVx3CutByOneByteIsADamagedFile) {
  const std::string whole = testing::ReadFileBytes(programDir_ / "samples" / "VX3N2210.VX3");
  ASSERT_EQ(whole.size() % 2, 0U);
  const fs::path image =
      testing::WriteFileBytes(programDir_ / "images" / "VX3N2210.VX3", std::string_view(whole).substr(0, whole.size() - 1));
  LoadFileFirst(image);
  ExpectNotLoaded();
  EXPECT_FALSE(context_.image.loadOk) << window_.StatusText();
  EXPECT_NE((warnings_ + window_.StatusText()).find("The .VX3 file format is unknown !!!"), std::string::npos)
      << window_.StatusText();
}

TEST_F(FailedLoadTest, TheRollingCodeNeverWritesIntoAnImageWithoutExtension) {
  const std::string raw = testing::ReadFileBytes(programDir_ / "samples" / "VXLARK.BIN");
  const fs::path image = testing::WriteFileBytes(programDir_ / "images" / "lark", raw);
  AnswerNext<ChooseDeviceDialog>(&window_, [](ChooseDeviceDialog* dialog) {
    auto* series = qobject_cast<QListWidget*>(dialog->Control(app::chooser_ctl::kSeriesList));
    const auto found = series->findItems(QStringLiteral("VXLARK (BIN) Series"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    series->setCurrentItem(found.front());
    qobject_cast<QPushButton*>(dialog->Control(app::chooser_ctl::kOk))->click();
  });
  AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
  Click(ctl::kDeviceLoad);
  ASSERT_TRUE(context_.image.loadOk) << window_.StatusText();
  EXPECT_NE(context_.rolling.iniPath, image);
  EXPECT_FALSE(window_.Control(ctl::kRollingCode)->isEnabled());

  // Even a Rolling Code that gets through, answered with OK: its keys go into an INI of their
  // own (whose settings the reload then finds of an older edition, and says so).
  AnswerNext<RollingCodeDialog>(&window_, [](RollingCodeDialog* dialog) {
    qobject_cast<QPushButton*>(dialog->Control(rolling::dlg::kOk))->click();
  });
  AnswerNext<QMessageBox>(&window_, [](QMessageBox* box) { box->accept(); });
  presenter_.OnRollingCode();
  WaitForWriterJobs();
  EXPECT_EQ(testing::ReadFileBytes(image), raw);
  EXPECT_TRUE(fs::exists(programDir_ / "images" / "lark.INI"));
}

}  // namespace
}  // namespace vx3::gui
