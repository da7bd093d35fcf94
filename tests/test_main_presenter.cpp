// The main window's start state, texts, off-line function and language switch, on a fake view.
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/test_ledger.h"
#include "support/temp_dir.h"
#include "ui_text/message_box.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;
using testing::FakeControl;
using testing::FakeView;

const char* const kEnglishFile =
    "[STRING TABLE]\r\n"
    "IDS_EDIT_List=Welcome to the Writer !!!\r\n"
    "IDS_EDIT_List_Web=See the web.\r\n"
    "IDS_STR_PROMPT=Load image\r\n"
    "IDS_MESSAGE_Error=\"Err: \"\r\n";

const char* const kChineseFile =
    "\xEF\xBB\xBF[STRING TABLE]\r\n"
    "IDS_EDIT_List=欢迎使用烧录器 !!!\r\n"
    "IDS_EDIT_List_Web=请访问网站。\r\n"
    "IDS_STR_PROMPT=芯片/载入VX3\r\n"
    "IDS_BlankCheck=查空\r\n"
    "IDS_MESSAGE_Error=\"错误: \"\r\n";

class MainPresenterTest : public ::testing::Test {
 protected:
  MainPresenterTest() : context_(locale_, clock_), presenter_(context_, view_) {
    context_.ledgerOpener = testing::LedgerOpenerForTests();
    locale_.Set(platform::kLocaleEnglishUs);
    context_.state.programPath = dir_.path() / "vx3wt";
    context_.state.programDir = dir_.path();
    context_.reporter.SetProgramDir(dir_.path());
  }

  void WriteLanguageFiles() {
    dir_.WriteFile("language/UIEng.ini", kEnglishFile);
    dir_.WriteFile("language/UIChina.ini", kChineseFile);
  }

  const FakeControl& Control(int id) { return view_.controls[id]; }

  testing::TempDir dir_;
  platform::StandInThreadLocale locale_;
  testing::FakeClock clock_;
  AppContext context_;
  FakeView view_;
  MainPresenter presenter_;
};

TEST_F(MainPresenterTest, StartStateWithBuiltInTexts) {
  presenter_.OnInitWindow();

  EXPECT_EQ(view_.caption, "vx3wt");
  EXPECT_EQ(context_.language.File(), dir_.path() / "language" / "UIEng.ini");
  EXPECT_EQ(view_.aboutItems, std::vector<std::string>{"About Quill_Wt(&A)..."});
  EXPECT_EQ(view_.status, "This program can download VX3 file into the Orvel Writer !!!\r\n\r\n"
                          "Orvel Writer website: https://www.orvel.example/writer/download" +
                              testing::NoRecordNote());
  for (const int id : ctl::kOperationButtons) {
    EXPECT_FALSE(Control(id).enabled) << id;
    EXPECT_TRUE(Control(id).shown) << id;
  }
  for (const int id : {ctl::kLoadOtp, ctl::kProgramMcu, ctl::kOperateEeprom}) {
    EXPECT_FALSE(Control(id).enabled) << id;
    EXPECT_FALSE(Control(id).shown) << id;
  }
  for (const int id : {ctl::kFunction0, ctl::kFunction6}) {
    EXPECT_TRUE(Control(id).enabled && Control(id).shown) << id;
  }
  EXPECT_FALSE(Control(ctl::kFunction0).checked);
  EXPECT_TRUE(Control(ctl::kFunction6).checked);
  EXPECT_EQ(context_.state.offlineFunction, kOfflineFunction6);
  EXPECT_EQ(Control(ctl::kDeviceName).text, "");

  const std::pair<int, const char*> captions[] = {
      {ctl::kDeviceLoad, "Device / Load VX3"},    {ctl::kOneKeyLoad, "OneKeyLoadVX3"},
      {ctl::kOfflineGroup, "Off-line Default Mode"}, {ctl::kFunction0, "Fun0 (B+P+V)"},
      {ctl::kFunction6, "Fun6 (P+V)"},            {ctl::kOnlineGroup, "On-line Operation Mode"},
      {ctl::kAutoProgram, "Auto Program"},        {ctl::kBlankCheck, "Blank Check"},
      {ctl::kProgram, "Program"},                 {ctl::kVerify, "Verify"},
      {ctl::kRead, "Read"},                       {ctl::kRollingCode, "Rolling Code"},
      {ctl::kLoadOtp, "Load OTP"},                       {ctl::kFileNameCaption, "File name :"},
      {ctl::kStatusCaption, "Status :"},          {ctl::kDeviceGroup, "Device"},
      {ctl::kDriverVersionCaption, "DRV Ver : "}, {ctl::kAbout, "About"},
      {ctl::kChecksumCaption, "EPROM check sum :"},
  };
  for (const auto& [id, caption] : captions) EXPECT_EQ(Control(id).text, caption) << id;
}

TEST_F(MainPresenterTest, LanguageFileTextsReplaceTheBuiltInOnes) {
  WriteLanguageFiles();
  presenter_.OnInitWindow();
  EXPECT_EQ(Control(ctl::kDeviceLoad).text, "Load image");
  EXPECT_EQ(Control(ctl::kVerify).text, "Verify");  // not in the file: built-in
  EXPECT_EQ(view_.status, "Welcome to the Writer !!!\r\n\r\nSee the web." + testing::NoRecordNote());
}

TEST_F(MainPresenterTest, FunctionChoiceSurvivesALanguageSwitch) {
  WriteLanguageFiles();
  presenter_.OnInitWindow();
  view_.SetChecked(ctl::kFunction6, false);  // the operator clicks function 0
  view_.SetChecked(ctl::kFunction0, true);
  presenter_.OnFunction0Clicked();
  presenter_.SwitchToChinese();
  EXPECT_EQ(context_.state.offlineFunction, kOfflineFunction0);
  EXPECT_TRUE(Control(ctl::kFunction0).checked);
  EXPECT_FALSE(Control(ctl::kFunction6).checked);
  EXPECT_EQ(Control(ctl::kDeviceLoad).text, "芯片/载入VX3");
  EXPECT_FALSE(context_.state.isEnglish);
  presenter_.OnFunction6Clicked();
  EXPECT_EQ(context_.state.offlineFunction, kOfflineFunction6);
}

TEST_F(MainPresenterTest, WelcomeTextIsRewrittenOnlyBeforeTheFirstLoad) {
  WriteLanguageFiles();
  presenter_.OnInitWindow();
  presenter_.SwitchToChinese();
  EXPECT_EQ(view_.status, "欢迎使用烧录器 !!!\r\n\r\n请访问网站。");

  context_.state.loadAttempted = true;
  view_.status = "Load lines\r\n";
  presenter_.SwitchToEnglish();
  EXPECT_EQ(view_.status, "Load lines\r\n");
  EXPECT_EQ(Control(ctl::kDeviceLoad).text, "Load image");
  EXPECT_TRUE(context_.state.isEnglish);
}

TEST_F(MainPresenterTest, EnglishWhileEnglishChangesNothingVisible) {
  WriteLanguageFiles();
  presenter_.OnInitWindow();
  view_.status = "kept\r\n";
  view_.SetControlText(ctl::kVerify, "marker");
  presenter_.SwitchToEnglish();
  EXPECT_EQ(view_.status, "kept\r\n");
  EXPECT_EQ(Control(ctl::kVerify).text, "marker");
}

TEST_F(MainPresenterTest, ErrorLinesCarryThePrefixOfTheNewLanguage) {
  WriteLanguageFiles();
  presenter_.OnInitWindow();
  presenter_.SwitchToChinese();
  view_.status.clear();
  context_.reporter.ReportStatus("USB not detected !!!", text::Severity::ErrorLine);
  EXPECT_EQ(view_.status, "错误: USB not detected !!!\r\n");
}

TEST_F(MainPresenterTest, ARefusedLocaleShowsTheMessageAndKeepsTheCaptions) {
  platform::StandInThreadLocale refusing{platform::kLocaleChineseSimplified};
  refusing.Set(platform::kLocaleEnglishUs);
  AppContext context(refusing, clock_);
  context.state.programPath = dir_.path() / "vx3wt";
  FakeView view;
  MainPresenter presenter(context, view);
  WriteLanguageFiles();
  presenter.OnInitWindow();
  presenter.SwitchToChinese();

  ASSERT_EQ(view.messages.size(), 1u);
  EXPECT_EQ(view.messages[0].text, "No Chinese Simplified Character Set");
  EXPECT_EQ(view.messages[0].caption, "vx3wt");
  EXPECT_EQ(view.messages[0].type, text::box::kOk);
  EXPECT_EQ(view.controls[ctl::kDeviceLoad].text, "Load image");
  EXPECT_TRUE(context.state.isEnglish);
  // The language file was switched all the same.
  EXPECT_EQ(context.language.File(), dir_.path() / "language" / "UIChina.ini");
}

// Language files with lines in neither UTF-8 nor their code page: one line says so, after the
// welcome text, and those lines' texts are the built-in English ones.
TEST_F(MainPresenterTest, AnUnreadableLanguageFileIsSaidOnceAndItsTextsAreBuiltIn) {
  // The welcome line holds 0x81, which Windows-1252 leaves undefined.
  dir_.WriteFile("language/UIEng.ini",
                 "[STRING TABLE]\r\nIDS_EDIT_List=Welcome \x81 !!!\r\nIDS_EDIT_List_Web=See the web.\r\n"
                 "IDS_STR_PROMPT=Load image\r\n");
  // GBK, with 0xFF in the button's caption: neither GBK nor UTF-8.
  dir_.WriteFile("language/UIChina.ini",
                 "[STRING TABLE]\r\nIDS_EDIT_List=\xBB\xB6\xD3\xAD\r\nIDS_EDIT_List_Web=\xCD\xF8\xD5\xBE\r\n"
                 "IDS_STR_PROMPT=\xD4\xD8\xC8\xEB\xFF\r\n"
                 "IDS_MESSAGE_LanguageUnreadable=\xD3\xEF\xD1\xD4\xCE\xC4\xBC\xFE %s \xD3\xD0\xCE\xCA\xCC\xE2 (%s)\r\n");
  presenter_.OnInitWindow();
  EXPECT_EQ(view_.status,
            "This program can download VX3 file into the Orvel Writer !!!\r\n\r\nSee the web.\r\n\r\n"
            "The language file UIEng.ini holds lines in neither UTF-8 nor Windows-1252: their texts are shown in "
            "English.\r\n" +
                testing::NoRecordNote());
  EXPECT_EQ(Control(ctl::kDeviceLoad).text, "Load image");

  presenter_.SwitchToChinese();
  EXPECT_EQ(view_.status, "欢迎\r\n\r\n网站\r\n\r\n语言文件 UIChina.ini 有问题 (GBK)\r\n");
  EXPECT_EQ(Control(ctl::kDeviceLoad).text, "Device / Load VX3");

  // Once for each change of file: the same language again says nothing more.
  view_.status = "kept\r\n";
  presenter_.SwitchToChinese();
  EXPECT_EQ(view_.status, "kept\r\n");
  // Back to the English file, after a load: the line follows the lines there.
  context_.state.loadAttempted = true;
  presenter_.SwitchToEnglish();
  EXPECT_EQ(view_.status,
            "kept\r\nThe language file UIEng.ini holds lines in neither UTF-8 nor Windows-1252: their texts are "
            "shown in English.\r\n");
}

TEST_F(MainPresenterTest, LanguageFilesInTheirCodePagesReadWithoutAWarning) {
  dir_.WriteFile("language/UIEng.ini",
                 "[STRING TABLE]\r\nIDS_EDIT_List=Caf\xE9 !!!\r\nIDS_EDIT_List_Web=\xB1 web\r\n");
  dir_.WriteFile("language/UIChina.ini",
                 "[STRING TABLE]\r\nIDS_EDIT_List=\xBB\xB6\xD3\xAD\r\nIDS_EDIT_List_Web=\xCD\xF8\xD5\xBE\r\n"
                 "IDS_STR_PROMPT=\xD4\xD8\xC8\xEB\r\n");
  presenter_.OnInitWindow();
  EXPECT_EQ(view_.status, "Café !!!\r\n\r\n± web" + testing::NoRecordNote());
  presenter_.SwitchToChinese();
  EXPECT_EQ(view_.status, "欢迎\r\n\r\n网站");
  EXPECT_EQ(Control(ctl::kDeviceLoad).text, "载入");
}

TEST_F(MainPresenterTest, ErasableChipsGetTheEraseCaption) {
  presenter_.OnInitWindow();
  context_.state.erasableChip = true;
  presenter_.ApplyMainWindowTexts();
  EXPECT_EQ(Control(ctl::kBlankCheck).text, "Erase");
}

TEST_F(MainPresenterTest, AboutBoxFollowsTheLocale) {
  WriteLanguageFiles();
  presenter_.OnInitWindow();
  presenter_.OnAbout();
  presenter_.SwitchToChinese();
  presenter_.OnAbout();
  EXPECT_EQ(view_.aboutBoxes, (std::vector<bool>{false, true}));
  // The About item is added once, at start, and not relabelled.
  EXPECT_EQ(view_.aboutItems.size(), 1u);
}

#ifdef VX3WT_HAS_LEDGER
TEST_F(MainPresenterTest, ExportDialogsSpeakTheLanguageInForce) {
  // The window keeps no language: the presenter hands it the texts of both export dialogs.
  dir_.WriteFile("language/UIEng.ini", kEnglishFile);
  dir_.WriteFile("language/UIChina.ini", std::string(kChineseFile) +
                                             "IDS_Ledger_ExportCaption=导出生产记录\r\n"
                                             "IDS_Ledger_ExportJob=当前载入的任务\r\n"
                                             "IDS_Ledger_ExportToday=今天\r\n"
                                             "IDS_Ledger_ExportAll=全部记录\r\n"
                                             "IDS_Ledger_CsvFilter=CSV 文件 (*.csv)\r\n"
                                             "IDS_OK=确定\r\n"
                                             "IDS_CANCEL=取消\r\n");
  presenter_.OnInitWindow();
  presenter_.OnExportRecord();  // the fake view cancels
  const MainView::ExportTexts& english = view_.exportTexts;
  EXPECT_EQ(english.caption, "Export production record");
  EXPECT_EQ(english.jobScope, "The loaded job");
  EXPECT_EQ(english.todayScope, "Today");
  EXPECT_EQ(english.allScope, "The whole record");
  EXPECT_EQ(english.csvFilter, "CSV file (*.csv)");
  EXPECT_EQ(english.ok, "OK");
  EXPECT_EQ(english.cancel, "CANCEL");
  EXPECT_FALSE(view_.exportJobLoaded);

  presenter_.SwitchToChinese();
  presenter_.OnExportRecord();
  const MainView::ExportTexts& chinese = view_.exportTexts;
  EXPECT_EQ(chinese.caption, "导出生产记录");
  EXPECT_EQ(chinese.jobScope, "当前载入的任务");
  EXPECT_EQ(chinese.todayScope, "今天");
  EXPECT_EQ(chinese.allScope, "全部记录");
  EXPECT_EQ(chinese.csvFilter, "CSV 文件 (*.csv)");
  EXPECT_EQ(chinese.ok, "确定");
  EXPECT_EQ(chinese.cancel, "取消");
}
#endif

TEST_F(MainPresenterTest, NoReportsReachTheViewAfterThePresenterIsGone) {
  {
    FakeView view;
    MainPresenter presenter(context_, view);
    presenter.OnInitWindow();
  }
  context_.reporter.ReportStatus("late line", text::Severity::NoteLine);  // must not touch the dead view
}

}  // namespace
}  // namespace vx3::app
