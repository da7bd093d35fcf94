// A production record copied from another folder, as the window meets it at start: the question
// whether it is a new station here, No by default, and what each answer leaves.
#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <filesystem>
#include <gtest/gtest.h>
#include <memory>
#include <string>

#include "app/main_presenter.h"
#include "gui/main_window.h"
#include "gui/program_window_test.h"
#include "ledger/ledger_texts.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"
#include "support/test_ledger.h"
#include "ui_text/message_box.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;

constexpr std::string_view kQuestionStart = "This production record was made on another PC or in another folder (";
constexpr std::string_view kQuestionEnd =
    "). Use it as a new station here? Its rows stay as history; its serial values are never given again.";
constexpr std::string_view kCopyNote = "): it gives no serial numbers until it is adopted as a new station.";
constexpr std::string_view kAdopted =
    "The production record is now a new station here: its rows before stay as history, and its serial values "
    "are never given again.";

struct SeenQuestion {
  std::string text;
  bool defaultIsNo = false;
  bool asked = false;
};

class CopiedRecordWindowTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!testing::kBuildKeepsRecord) GTEST_SKIP() << "this build keeps no production record";
    // The record made in another folder, then copied with the program folder.
    const fs::path original = dir_.path() / "Original station";
    {
      ledger::OpenedLedger made = testing::LedgerOpenerForTests()(original, clock_);
      ASSERT_TRUE(made.ledger) << made.status.error;
    }
    programDir_ = dir_.path() / "Copied station";
    fs::create_directories(programDir_);
    for (const char* folder : {"language", "USE_DRV", "USE_INC2", "Symbol", "CPY", "USE_IAP", "DLL", "samples"}) {
      fs::copy(fs::path(VX3WT_PROGRAM_DIR) / folder, programDir_ / folder, fs::copy_options::recursive);
    }
    fs::copy(original / "Writer_Log", programDir_ / "Writer_Log", fs::copy_options::recursive);
    testing::SetSimFolder(dir_.path());
    locale_.Set(platform::kLocaleEnglishUs);
    context_ = std::make_unique<app::AppContext>(locale_, clock_);
    context_->ledgerOpener = testing::LedgerOpenerForTests();
    context_->state.programPath = programDir_ / "vx3wt";
    context_->state.programDir = programDir_;
    window_ = std::make_unique<MainWindow>();
    presenter_ = std::make_unique<app::MainPresenter>(*context_, *window_);
    window_->ConnectPresenter(*presenter_);
  }
  void TearDown() override {
    presenter_.reset();
    window_.reset();
    context_.reset();
    testing::SetSimFolder("");
  }

  // Answers the next message box with `button`, after noting what it asked (and saving its
  // picture as `shot` when VX3WT_SHOT_DIR names a folder).
  void AnswerQuestion(QMessageBox::StandardButton button, SeenQuestion& seen, const char* shot) {
    AnswerNext<QMessageBox>(window_.get(), [button, &seen, shot](QMessageBox* box) {
      seen.asked = true;
      seen.text = box->text().toStdString();
      seen.defaultIsNo = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
      if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty()) {
        EXPECT_TRUE(box->grab().save(QString::fromUtf8(shots) + "/" + shot));
      }
      box->button(button)->click();
    });
  }

  testing::TempDir dir_;
  fs::path programDir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  std::unique_ptr<app::AppContext> context_;
  std::unique_ptr<MainWindow> window_;
  std::unique_ptr<app::MainPresenter> presenter_;
};

TEST_P(CopiedRecordWindowTest, TheStartAsksWhetherItIsANewStationNoByDefault) {
  const bool yes = GetParam();
  SeenQuestion seen;
  AnswerQuestion(yes ? QMessageBox::Yes : QMessageBox::No, seen, "copied-record-en.png");
  presenter_->OnInitWindow();
  window_->show();
  ASSERT_TRUE(seen.asked);
  EXPECT_TRUE(seen.defaultIsNo);
  EXPECT_TRUE(seen.text.starts_with(kQuestionStart)) << seen.text;
  EXPECT_TRUE(seen.text.ends_with(kQuestionEnd)) << seen.text;
  EXPECT_NE(seen.text.find(" at " + fs::weakly_canonical(dir_.path() / "Original station").string()),
            std::string::npos)
      << seen.text;
  const std::string status = window_->StatusText();
  if (yes) {
    EXPECT_NE(status.find(kAdopted), std::string::npos) << status;
    EXPECT_EQ(status.find(kCopyNote), std::string::npos) << status;
    EXPECT_EQ(context_->record.CopiedFrom(), "");
  } else {
    EXPECT_NE(status.find(kCopyNote), std::string::npos) << status;
    EXPECT_EQ(status.find(kAdopted), std::string::npos) << status;
    EXPECT_FALSE(context_->record.CopiedFrom().empty());
  }

  // The same question in Chinese wraps inside its box as well.
  if (!yes) {
    presenter_->SwitchToChinese();
    SeenQuestion chinese;
    AnswerQuestion(QMessageBox::No, chinese, "copied-record-zh.png");
    const int answer = window_->ShowMessageBox(
        ledger::AdoptQuestionText(context_->language, context_->record.CopiedFrom()), context_->state.windowCaption,
        text::box::kYesNo | text::box::kIconQuestion | text::box::kDefaultSecond);
    EXPECT_EQ(answer, text::answer::kNo);
    EXPECT_TRUE(chinese.defaultIsNo);
    EXPECT_TRUE(chinese.text.starts_with("此生产记录是在另一台电脑或另一个文件夹中建立的 (")) << chinese.text;
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, CopiedRecordWindowTest, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Yes" : "No"; });

}  // namespace
}  // namespace vx3::gui
