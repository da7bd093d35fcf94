// Serial numbers that the rolling INI asks for but that cannot be made, in the real window in
// both languages: the amber band with its reason, whole and within the band, the question before
// Auto Program with No as its default, and its two answers.
#include <QFontMetrics>
#include <QFrame>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <gtest/gtest.h>
#include <string>

#include "app/control_ids.h"
#include "program_window_test.h"
#include "support/chips_file.h"
#include "support/image_builder.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;

struct NoSerialLanguage {
  const char* name;
  bool chinese;
  const char* verdict;
  const char* reason;  // {ini}: the INI's path
  const char* question;
  const char* notRun;  // the band of a command the operator did not let run
};

const NoSerialLanguage kLanguages[] = {
    {"English", false, "No serial numbers", "Count of {ini} is not a number", "Program chips without serial numbers?", "NOT RUN"},
    {"Chinese", true, "无序列号", "Count 不是数字 ({ini})", "是否在没有序列号的情况下烧录芯片?", "未执行"},
};

class NoSerialBandTest : public ProgramWindowTest, public ::testing::WithParamInterface<NoSerialLanguage> {
 protected:
  void SetUp() override { context_.reporter.SetProgramDir(programDir_); }

  fs::path Ini() const { return programDir_ / "samples" / "VX3P1020.INI"; }
  std::string Reason() const {
    std::string reason = GetParam().reason;
    const std::string ini = platform::PathToUtf8(Ini());
    reason.replace(reason.find("{ini}"), 5, ini);
    return reason;
  }
  QLabel* Label(const char* name) { return window_.findChild<QLabel*>(QString::fromLatin1(name)); }
  QFrame* Panel() { return window_.findChild<QFrame*>(QStringLiteral("chipResult")); }
  QColor PanelColour() {
    QFrame* panel = Panel();
    return panel->grab().toImage().pixelColor(panel->width() / 20, panel->height() / 2);
  }
  // The label shows `text` whole, within its own width and height, inside the band.
  void ExpectFits(QLabel* label, const std::string& text) {
    EXPECT_EQ(label->text().toStdString(), text);
    const QFontMetrics metrics(label->font());
    EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << text;
    EXPECT_LE(metrics.height(), label->height()) << text;
    EXPECT_TRUE(Panel()->contentsRect().contains(label->geometry())) << text;
  }
  // Auto Program, the question answered with `button`; the question's text and default button.
  void AutoProgramAnswering(QMessageBox::StandardButton button) {
    AnswerNext<QMessageBox>(&window_, [this, button](QMessageBox* box) {
      question_ = box->text().toStdString();
      defaultButton_ = box->standardButton(box->defaultButton());
      box->button(button)->click();
    });
    Click(ctl::kAutoProgram);
  }
  std::string Chips() { return testing::ReadFileBytes(dir_.path() / "VX3USBOV3Wt.chips"); }

  std::string question_;
  QMessageBox::StandardButton defaultButton_ = QMessageBox::NoButton;
};

TEST_P(NoSerialBandTest, AmberBandWithTheReasonAndTheQuestionDefaultingToNo) {
  const NoSerialLanguage& lang = GetParam();
  testing::RollingIniFields ini;
  ini.way = "INI";
  ini.order = "L2H";
  ini.address = "0x101";
  ini.wordLength = "2";
  ini.count = "zz";
  testing::WriteRollingIni(Ini(), ini);
  if (lang.chinese) Click(ctl::kChinese);

  const fs::path image = programDir_ / "samples" / "VX3P1020.VX3";
  AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
  Click(ctl::kOneKeyLoad);
  ASSERT_TRUE(context_.image.loadOk) << window_.StatusText();

  ExpectFits(Label("chipVerdict"), lang.verdict);
  ExpectFits(Label("chipDetail"), Reason());
  EXPECT_TRUE(Panel()->autoFillBackground());
  const QColor amber = PanelColour();
  // Amber: much red, a good deal of green, little blue; neither the pass green nor the fail red.
  EXPECT_GT(amber.red(), 200) << amber.name().toStdString();
  EXPECT_GT(amber.green(), 120) << amber.name().toStdString();
  EXPECT_LT(amber.green(), amber.red()) << amber.name().toStdString();
  EXPECT_LT(amber.blue(), 80) << amber.name().toStdString();
  const std::string status = window_.StatusText();
  EXPECT_NE(status.rfind(lang.verdict), std::string::npos) << status;

  AutoProgramAnswering(QMessageBox::No);
  EXPECT_EQ(question_, lang.question);
  EXPECT_EQ(defaultButton_, QMessageBox::No);
  EXPECT_EQ(Chips(), "");
  // The command did not run, for the reason the load gave: still amber, never a chip's result.
  ExpectFits(Label("chipVerdict"), lang.notRun);
  EXPECT_TRUE(Label("chipDetail")->text().startsWith(QString::fromUtf8(lang.chinese ? "自动烧录：" : "Auto Program: ")))
      << Label("chipDetail")->text().toStdString();
  EXPECT_EQ(PanelColour(), amber);

  AutoProgramAnswering(QMessageBox::Yes);
  const std::vector<testing::ChipLine> chips = testing::ChipsFile(dir_.path());
  EXPECT_EQ(chips, (std::vector<testing::ChipLine>{{"0x84", "", "PASS"}})) << window_.StatusText();
}

INSTANTIATE_TEST_SUITE_P(Languages, NoSerialBandTest, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<NoSerialLanguage>& info) { return info.param.name; });

}  // namespace
}  // namespace vx3::gui
