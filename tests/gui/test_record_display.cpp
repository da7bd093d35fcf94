// The production record in the real window against the simulated Writer, in both languages: the
// last chip's verdict large on green or red with the action and the serial, the counters of the
// job and of today, Reset counters, and the export through its two dialogs into a CSV file.
#include <QAbstractButton>
#include <QAction>
#include <QContextMenuEvent>
#include <QFrame>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStringList>
#include <QList>
#include <cstdint>
#include <cstdlib>
#include <fmt/format.h>
#include <gtest/gtest.h>
#include <string>
#include <vector>

#include "app/control_ids.h"
#include "app/production_record.h"
#include "gui/export_dialog.h"
#include "gui/rolling_code_dialog.h"
#include "program_window_test.h"
#include "rolling/rolling_dialog.h"
#include "support/code_page_text.h"
#include "support/image_builder.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;
using Scope = app::MainView::ExportScope;

// The sample with a rolling INI: two words at 0x101, so each chip gets its own serial.
constexpr const char* kImageName = "VX3P1020.VX3";
// A chip whose cell there never takes what was programmed: it fails verify.
constexpr const char* kFailingChip = "[Chip]\nVerifyFailAt=0x0010\n";
constexpr const char* kGoodChip = "[Chip]\nVerifyFailAt=\n";
// The export's header row, and the columns the tests read.
constexpr const char* kCsvHeader =
    "action_id,time_local,time_utc,station,job_id,device,image_path,action,result,rolling_value,duration_ms,message";
constexpr int kJobColumn = 4;
constexpr int kActionColumn = 7;
constexpr int kResultColumn = 8;
constexpr int kValueColumn = 9;
// The test clock's day, in the name the export suggests.
constexpr const char* kSuggestedName = "production-2026-12-05.csv";

// What the operator reads, as the shipped language files write it.
struct LanguageCase {
  const char* name;
  bool chinese;
  const char* pass;
  const char* fail;
  const char* detail;  // {action} {serial}
  const char* autoProgram;
  const char* jobCounters;  // {done} {passed} {failed} {unknown} {yield} {serial}
  const char* todayCounters;
  const char* exportItem;
  const char* exportCaption;
  const char* scopes[3];  // job, today, all
  const char* csvFilter;
  const char* countersWereReset;
  const char* resetQuestion;
  const char* resetShot;  // the question's picture, saved when VX3WT_SHOT_DIR names a folder
};

const LanguageCase kLanguages[] = {
    {"English", false, "PASS", "FAIL", "{}   Serial {}", "Auto Program",
     "This job: {} done: {} passed, {} failed, {} unknown, yield {} %, last serial {}",
     "Today: {} done: {} passed, {} failed, {} unknown, yield {} %, last serial {}", "Export production record...",
     "Export production record", {"The loaded job", "Today", "The whole record"}, "CSV file (*.csv)",
     "Counters reset: the production record keeps every chip.",
     "Reset the counters of this job and of today? The record keeps every chip.", "reset_question_en.png"},
    {"Chinese", true, "合格", "不合格", "{}   序列号 {}", "自动烧录",
     "本任务: 已烧 {}: 合格 {}, 不合格 {}, 结果未知 {}, 良率 {} %, 最后序列号 {}",
     "今天: 已烧 {}: 合格 {}, 不合格 {}, 结果未知 {}, 良率 {} %, 最后序列号 {}", "导出生产记录...", "导出生产记录",
     {"当前载入的任务", "今天", "全部记录"}, "CSV 文件 (*.csv)", "计数已清零: 生产记录仍保留每一个芯片。",
     "清零本作业和今天的计数吗？生产记录仍保留每个芯片。", "reset_question_zh.png"},
};

// The counters line; the chips of unknown outcome are those done that neither passed nor failed.
std::string Counters(const char* format, int done, int passed, int failed, const char* yield, const std::string& serial) {
  return fmt::format(fmt::runtime(format), done, passed, failed, done - passed - failed, yield, serial);
}

// The fields of one CSV line (RFC 4180: quoted fields may hold commas, quotes and line ends).
std::vector<std::string> CsvFields(const std::string& text, std::size_t& at) {
  std::vector<std::string> fields(1);
  bool quoted = false;
  for (; at < text.size(); ++at) {
    const char c = text[at];
    if (quoted) {
      if (c == '"' && at + 1 < text.size() && text[at + 1] == '"') {
        fields.back() += '"';
        ++at;
      } else if (c == '"') {
        quoted = false;
      } else {
        fields.back() += c;
      }
    } else if (c == '"') {
      quoted = true;
    } else if (c == ',') {
      fields.emplace_back();
    } else if (c == '\r' && at + 1 < text.size() && text[at + 1] == '\n') {
      at += 2;
      return fields;
    } else {
      fields.back() += c;
    }
  }
  return fields;
}

std::vector<std::vector<std::string>> CsvRows(const std::string& text) {
  std::vector<std::vector<std::string>> rows;
  for (std::size_t at = 0; at < text.size();) rows.push_back(CsvFields(text, at));
  return rows;
}

class RecordWindowTest : public ProgramWindowTest {
 protected:
  void SetUp() override {
    context_.reporter.SetProgramDir(programDir_);
    ASSERT_TRUE(testing::kBuildKeepsRecord);
  }

  void SimSettings(const std::string& text) { testing::WriteFileBytes(dir_.path() / "VX3USBOV3Wt.ini", text); }

  // The one-click load of the sample; the Rolling Code dialog the worker opens is answered with OK.
  void LoadSample() {
    const fs::path image = programDir_ / "samples" / kImageName;
    AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
    AnswerNext<RollingCodeDialog>(&window_, [](RollingCodeDialog* dialog) {
      qobject_cast<QPushButton*>(dialog->Control(rolling::dlg::kOk))->click();
    });
    Click(ctl::kOneKeyLoad);
    ASSERT_TRUE(context_.image.loadOk) << window_.StatusText();
    ASSERT_TRUE(Button(ctl::kAutoProgram)->isEnabled()) << window_.StatusText();
  }

  // The rolling value the last chip received, as the Writer noted it (eight hex digits, as the
  // display writes it). The Writer advances its value after a failed chip too.
  std::string LastChipSerial() {
    const std::string chips = testing::ReadFileBytes(dir_.path() / "VX3USBOV3Wt.chips");
    const QStringList lines = QString::fromStdString(chips).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    if (lines.isEmpty()) return {};
    const QStringList fields = lines.back().split(QLatin1Char('\t'));
    return fields.size() > 2 ? fields[2].toStdString() : std::string();
  }
  // Auto Program of the chip in the socket; the value it received.
  std::string AutoProgram() {
    Click(ctl::kAutoProgram);
    return LastChipSerial();
  }

  QFrame* Panel() { return window_.findChild<QFrame*>(QStringLiteral("chipResult")); }
  QString Label(const char* name) { return window_.findChild<QLabel*>(QString::fromLatin1(name))->text(); }
  std::string Verdict() { return Label("chipVerdict").toStdString(); }
  std::string Detail() { return Label("chipDetail").toStdString(); }
  std::string JobCounters() { return Label("jobCounters").toStdString(); }
  std::string TodayCounters() { return Label("todayCounters").toStdString(); }
  QAction* ExportAction() { return window_.findChild<QAction*>(QStringLiteral("exportRecordAction")); }

  // The colour the panel shows beside its text, as it is painted.
  QColor PanelColour() {
    QFrame* panel = Panel();
    return panel->grab().toImage().pixelColor(panel->width() / 20, panel->height() / 2);
  }

  // The export as the operator makes it: the scope, then the file, typed into the save dialog.
  // The dialogs' texts are noted for the test to check.
  void Export(Scope scope, const fs::path& file) {
    AnswerNext<ExportScopeDialog>(&window_, [this, scope](ExportScopeDialog* dialog) {
      scopeTitle_ = dialog->windowTitle();
      scopeTexts_.clear();
      for (const Scope each : {Scope::Job, Scope::Today, Scope::All}) {
        scopeTexts_ << dialog->ScopeButton(each)->text();
      }
      dialog->ScopeButton(scope)->click();
      dialog->findChild<QPushButton*>(QStringLiteral("exportOk"))->click();
    });
    AnswerNext<QFileDialog>(&window_, [this, file](QFileDialog* dialog) {
      EXPECT_EQ(dialog->objectName(), QStringLiteral("ExportFileDialog"));
      EXPECT_EQ(dialog->acceptMode(), QFileDialog::AcceptSave);
      fileFilters_ = dialog->nameFilters();
      fileFolder_ = dialog->directory().absolutePath();
      suggested_ = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->text();
      TypeFileName(dialog, file);
    });
    ExportAction()->trigger();
  }

  // The rows of the exported file below its header row.
  std::vector<std::vector<std::string>> Exported(const fs::path& file) {
    const std::string csv = testing::ReadFileBytes(file);
    EXPECT_EQ(csv.substr(0, csv.find("\r\n")), kCsvHeader);
    std::vector<std::vector<std::string>> rows = CsvRows(csv);
    if (!rows.empty()) rows.erase(rows.begin());
    return rows;
  }

  // The Auto Program rows: the result and the rolling value of each, in their order.
  static std::vector<std::pair<std::string, std::string>> Chips(const std::vector<std::vector<std::string>>& rows) {
    std::vector<std::pair<std::string, std::string>> chips;
    for (const auto& row : rows) {
      if (row.size() > kValueColumn && row[kActionColumn] == "Auto Program") {
        chips.emplace_back(row[kResultColumn], row[kValueColumn]);
      }
    }
    return chips;
  }

  // What the Reset counters question showed: its text, whether No is its default, and whether
  // its text fits inside the box.
  struct ResetQuestion {
    bool asked = false;
    std::string text;
    bool defaultIsNo = false;
    bool fits = false;
  };
  // Answers the next message box with `button` after noting it (and saving its picture as `shot`
  // when VX3WT_SHOT_DIR names a folder).
  void AnswerResetQuestion(QMessageBox::StandardButton button, ResetQuestion& seen, const char* shot) {
    AnswerNext<QMessageBox>(&window_, [button, &seen, shot](QMessageBox* box) {
      seen.asked = true;
      seen.text = box->text().toStdString();
      seen.defaultIsNo = static_cast<QAbstractButton*>(box->defaultButton()) == box->button(QMessageBox::No);
      seen.fits = true;
      for (const QLabel* label : box->findChildren<QLabel*>()) {
        if (label->text() != box->text()) continue;
        seen.fits = box->rect().contains(QRect(label->mapTo(box, QPoint(0, 0)), label->size()));
      }
      if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty() && shot != nullptr) {
        EXPECT_TRUE(box->grab().save(QString::fromUtf8(shots) + "/" + shot));
      }
      box->button(button)->click();
    });
  }

  QString scopeTitle_;
  QStringList scopeTexts_;
  QStringList fileFilters_;
  QString fileFolder_;
  QString suggested_;
};

class RecordDisplayTest : public RecordWindowTest, public ::testing::WithParamInterface<LanguageCase> {};

TEST_P(RecordDisplayTest, PassOnGreenFailOnRedCountersAndReset) {
  const LanguageCase& lang = GetParam();
  LoadSample();
  if (lang.chinese) Click(ctl::kChinese);
  // Nothing is shown before the first chip: no colour that could be read as a result.
  EXPECT_EQ(Verdict(), "");
  EXPECT_EQ(Detail(), "");
  EXPECT_FALSE(Panel()->autoFillBackground());
  EXPECT_EQ(JobCounters(), Counters(lang.jobCounters, 0, 0, 0, "0.0", "-"));
  EXPECT_EQ(window_.ControlText(ctl::kResetCounters), Button(ctl::kResetCounters)->text().toStdString());

  const std::string first = AutoProgram();
  EXPECT_EQ(Verdict(), lang.pass) << window_.StatusText();
  EXPECT_EQ(Detail(), fmt::format(fmt::runtime(lang.detail), lang.autoProgram, first));
  const QColor pass = PanelColour();
  EXPECT_GT(pass.green(), pass.red() + 64) << pass.name().toStdString();
  EXPECT_GT(pass.green(), pass.blue() + 64) << pass.name().toStdString();
  EXPECT_EQ(JobCounters(), Counters(lang.jobCounters, 1, 1, 0, "100.0", first));
  EXPECT_EQ(TodayCounters(), Counters(lang.todayCounters, 1, 1, 0, "100.0", first));

  SimSettings(kFailingChip);
  const std::string second = AutoProgram();
  ASSERT_NE(second, first);
  EXPECT_EQ(Verdict(), lang.fail) << window_.StatusText();
  EXPECT_EQ(Detail(), fmt::format(fmt::runtime(lang.detail), lang.autoProgram, second));
  const QColor fail = PanelColour();
  EXPECT_GT(fail.red(), fail.green() + 64) << fail.name().toStdString();
  EXPECT_GT(fail.red(), fail.blue() + 64) << fail.name().toStdString();
  // The last serial is the last chip's, passed or not.
  EXPECT_EQ(JobCounters(), Counters(lang.jobCounters, 2, 1, 1, "50.0", second));
  EXPECT_EQ(TodayCounters(), Counters(lang.todayCounters, 2, 1, 1, "50.0", second));

  // The other language shows the same result in its own words at once.
  Click(lang.chinese ? ctl::kEnglish : ctl::kChinese);
  const LanguageCase& other = kLanguages[lang.chinese ? 0 : 1];
  EXPECT_EQ(Verdict(), other.fail);
  EXPECT_EQ(JobCounters(), Counters(other.jobCounters, 2, 1, 1, "50.0", second));
  Click(lang.chinese ? ctl::kChinese : ctl::kEnglish);

  // Reset counters asks first, No by default: No leaves the counters and the status box alone.
  window_.SetStatusText("");
  ResetQuestion no;
  AnswerResetQuestion(QMessageBox::No, no, nullptr);
  Click(ctl::kResetCounters);
  ASSERT_TRUE(no.asked);
  EXPECT_EQ(no.text, lang.resetQuestion);
  EXPECT_TRUE(no.defaultIsNo);
  EXPECT_TRUE(no.fits) << no.text;
  EXPECT_EQ(JobCounters(), Counters(lang.jobCounters, 2, 1, 1, "50.0", second));
  EXPECT_EQ(TodayCounters(), Counters(lang.todayCounters, 2, 1, 1, "50.0", second));
  EXPECT_EQ(window_.StatusText(), "");

  // Yes starts them again and keeps the last result on show.
  ResetQuestion yes;
  AnswerResetQuestion(QMessageBox::Yes, yes, lang.resetShot);
  Click(ctl::kResetCounters);
  ASSERT_TRUE(yes.asked);
  EXPECT_EQ(JobCounters(), Counters(lang.jobCounters, 0, 0, 0, "0.0", "-"));
  EXPECT_EQ(TodayCounters(), Counters(lang.todayCounters, 0, 0, 0, "0.0", "-"));
  EXPECT_EQ(Verdict(), lang.fail);
  EXPECT_EQ(window_.StatusText(), std::string(lang.countersWereReset) + "\r\n");

  // Counting goes on from zero.
  SimSettings(kGoodChip);
  const std::string third = AutoProgram();
  EXPECT_EQ(Verdict(), lang.pass) << window_.StatusText();
  EXPECT_EQ(Detail(), fmt::format(fmt::runtime(lang.detail), lang.autoProgram, third));
  EXPECT_EQ(JobCounters(), Counters(lang.jobCounters, 1, 1, 0, "100.0", third));
}

TEST_P(RecordDisplayTest, ExportDialogsInTheLanguageWriteTheChipsOfTheJob) {
  const LanguageCase& lang = GetParam();
  LoadSample();
  if (lang.chinese) Click(ctl::kChinese);
  const std::string first = AutoProgram();
  SimSettings(kFailingChip);
  const std::string second = AutoProgram();
  EXPECT_EQ(window_.ControlText(ctl::kExportRecord), lang.exportItem);
  EXPECT_EQ(ExportAction()->text().toStdString(), lang.exportItem);

  const fs::path file = dir_.path() / platform::PathFromUtf8("导出 export.csv");
  window_.SetStatusText("");
  Export(Scope::Job, file);

  EXPECT_EQ(scopeTitle_.toStdString(), lang.exportCaption);
  EXPECT_EQ(scopeTexts_, (QStringList{QString::fromUtf8(lang.scopes[0]), QString::fromUtf8(lang.scopes[1]),
                                      QString::fromUtf8(lang.scopes[2])}));
  EXPECT_EQ(fileFilters_, QStringList{QString::fromUtf8(lang.csvFilter)});
  EXPECT_TRUE(SameFolder(fileFolder_, programDir_ / "Writer_Log")) << fileFolder_.toStdString();
  EXPECT_EQ(suggested_.toStdString(), kSuggestedName);

  const auto rows = Exported(file);
  EXPECT_EQ(Chips(rows), (std::vector<std::pair<std::string, std::string>>{{"pass", first}, {"fail", second}}));
  EXPECT_EQ(window_.StatusText().find(platform::PathToUtf8(file)) != std::string::npos, true) << window_.StatusText();
}

// The shipped Chinese file saved again in GBK, as Chinese editors save it: the band reads as it
// does from the UTF-8 file, without a warning. Damaged in the FAIL text, that one text is the
// built-in one, the rest stays Chinese and one line says so.
TEST_F(RecordWindowTest, TheBandSpeaksChineseFromAGbkLanguageFile) {
  const fs::path file = programDir_ / "language" / "UIChina.ini";
  const std::optional<std::string> gbk =
      testing::Utf8ToCodePage(testing::ReadFileBytes(file), platform::LegacyCodePage::Gbk);
  ASSERT_TRUE(gbk.has_value());
  testing::WriteFileBytes(file, *gbk);
  const LanguageCase& chinese = kLanguages[1];
  LoadSample();
  window_.SetStatusText("");
  Click(ctl::kChinese);
  EXPECT_EQ(window_.StatusText(), "");
  EXPECT_EQ(window_.ControlText(ctl::kAutoProgram), chinese.autoProgram);

  const std::string first = AutoProgram();
  EXPECT_EQ(Verdict(), chinese.pass) << window_.StatusText();
  EXPECT_EQ(Detail(), fmt::format(fmt::runtime(chinese.detail), chinese.autoProgram, first));
  SimSettings(kFailingChip);
  const std::string second = AutoProgram();
  EXPECT_EQ(Verdict(), chinese.fail) << window_.StatusText();
  EXPECT_EQ(JobCounters(), Counters(chinese.jobCounters, 2, 1, 1, "50.0", second));

  testing::WriteFileBytes(file, testing::InsertAfter(*gbk, "\nIDS_Ledger_Fail=", "\xFF"));
  Click(ctl::kEnglish);
  window_.SetStatusText("");
  Click(ctl::kChinese);
  EXPECT_EQ(window_.StatusText(),
            "语言文件 UIChina.ini 中有些行既不是 UTF-8 也不是 GBK：这些行的文字以英文显示。\r\n");
  EXPECT_EQ(Verdict(), "FAIL");
  EXPECT_EQ(Detail(), fmt::format(fmt::runtime(chinese.detail), chinese.autoProgram, second));
  EXPECT_EQ(JobCounters(), Counters(chinese.jobCounters, 2, 1, 1, "50.0", second));
}

INSTANTIATE_TEST_SUITE_P(Languages, RecordDisplayTest, ::testing::ValuesIn(kLanguages),
                         [](const ::testing::TestParamInfo<LanguageCase>& info) { return info.param.name; });

TEST_F(RecordWindowTest, ExportScopeChoosesTheJobOrTheWholeRecord) {
  LoadSample();
  const std::string first = AutoProgram();
  // A second load starts a second job.
  LoadSample();
  const std::string second = AutoProgram();

  struct ScopeCase {
    Scope scope;
    const char* file;
    std::vector<std::pair<std::string, std::string>> chips;
  };
  const ScopeCase cases[] = {
      {Scope::Job, "job.csv", {{"pass", second}}},
      {Scope::Today, "today.csv", {{"pass", first}, {"pass", second}}},
      {Scope::All, "all.csv", {{"pass", first}, {"pass", second}}},
  };
  for (const ScopeCase& each : cases) {
    const fs::path file = dir_.path() / each.file;
    Export(each.scope, file);
    const auto rows = Exported(file);
    EXPECT_EQ(Chips(rows), each.chips) << each.file;
    if (each.scope == Scope::Job) {
      for (const auto& row : rows) EXPECT_EQ(row.at(kJobColumn), rows.front().at(kJobColumn)) << each.file;
    }
  }
}

TEST_F(RecordWindowTest, WithoutAJobTheExportOffersTodayAndCancelWritesNothing) {
  const std::string before = window_.StatusText();
  bool jobEnabled = true;
  bool todayChecked = false;
  bool fileDialogOpened = false;
  AnswerNext<ExportScopeDialog>(&window_, [&](ExportScopeDialog* dialog) {
    jobEnabled = dialog->ScopeButton(Scope::Job)->isEnabled();
    todayChecked = dialog->ScopeButton(Scope::Today)->isChecked();
    dialog->findChild<QPushButton*>(QStringLiteral("exportCancel"))->click();
  });
  AnswerNext<QFileDialog>(&window_, [&](QFileDialog* dialog) {
    fileDialogOpened = true;
    dialog->reject();
  });
  ExportAction()->trigger();
  QApplication::processEvents(QEventLoop::AllEvents, kPollMs);

  EXPECT_FALSE(jobEnabled);
  EXPECT_TRUE(todayChecked);
  EXPECT_FALSE(fileDialogOpened);
  EXPECT_EQ(window_.StatusText(), before);

  // A cancelled save dialog writes nothing either.
  AnswerNext<ExportScopeDialog>(&window_, [](ExportScopeDialog* dialog) {
    dialog->findChild<QPushButton*>(QStringLiteral("exportOk"))->click();
  });
  AnswerNext<QFileDialog>(&window_, [](QFileDialog* dialog) { dialog->reject(); });
  ExportAction()->trigger();
  EXPECT_EQ(window_.StatusText(), before);
}

TEST_F(RecordWindowTest, ExportIsInTheWindowMenuAndTheStatusBoxMenu) {
  // Opens a menu, notes its items and closes it.
  const auto itemsOf = [this](const std::function<void()>& open) {
    QStringList items;
    auto* timer = new QTimer(&window_);
    timer->setInterval(kPollMs);
    QObject::connect(timer, &QTimer::timeout, [timer, &items] {
      auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
      if (menu == nullptr) return;
      timer->stop();
      timer->deleteLater();
      for (QAction* action : menu->actions()) {
        if (!action->isSeparator()) items << action->text();
      }
      menu->close();
    });
    timer->start();
    open();
    return items;
  };
  const QString exportItem = QStringLiteral("Export production record...");
  const QString about = QStringLiteral("About Quill_Wt(&A)...");

  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(5, 5), window_.mapToGlobal(QPoint(5, 5)));
  const QStringList windowItems = itemsOf([&] { QApplication::sendEvent(&window_, &click); });
  EXPECT_EQ(windowItems, (QStringList{exportItem, about}));

  auto* statusBox = qobject_cast<QPlainTextEdit*>(window_.Control(ctl::kStatusBox));
  const QStringList boxItems = itemsOf([statusBox] { emit statusBox->customContextMenuRequested(QPoint(5, 5)); });
  ASSERT_GE(boxItems.size(), 2);
  EXPECT_EQ(boxItems.mid(boxItems.size() - 2), (QStringList{exportItem, about}));
}

// The band in each state the operator bins by, in both languages: a command running (neutral),
// one that never reached the chip and an empty socket (amber), then a chip's own verdict; no
// green unless this chip passed.
struct BandLanguage {
  const char* name;
  bool chinese;
  const char* running;
  const char* notRun;
  const char* notRunDetail;
  const char* noChip;
  const char* noChipDetail;  // {serial}
  const char* pass;
};

const BandLanguage kBandLanguages[] = {
    {"en", false, "AUTO PROGRAM ...", "NOT RUN", "Auto Program: USB not detected !!!", "NO CHIP",
     "Auto Program: no chip in the socket, serial {} stays free", "PASS"},
    {"zh", true, "正在自动烧录 ...", "未执行", "自动烧录：未检测到 USB 烧录器！", "无芯片",
     "自动烧录：烧录座中没有芯片，序列号 {} 留给下一颗芯片", "合格"},
};

class RecordBandTest : public RecordWindowTest, public ::testing::WithParamInterface<BandLanguage> {
 protected:
  // The band's two lines are whole, within their labels and the band.
  void ExpectWhole(const std::string& verdict, const std::string& detail) {
    EXPECT_EQ(Verdict(), verdict);
    EXPECT_EQ(Detail(), detail);
    for (const char* name : {"chipVerdict", "chipDetail"}) {
      auto* label = window_.findChild<QLabel*>(QString::fromLatin1(name));
      const QFontMetrics metrics(label->font());
      EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << name;
      EXPECT_LE(metrics.height(), label->height()) << name;
      EXPECT_TRUE(Panel()->contentsRect().contains(label->geometry())) << name;
    }
  }
  void Shot(const char* state) {
    if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty()) {
      EXPECT_TRUE(window_.grab().save(QString::fromUtf8(shots) + "/band_" + state + "_" + GetParam().name + ".png"));
    }
  }
  static bool IsAmber(const QColor& colour) {
    return colour.red() > 200 && colour.green() > 120 && colour.green() < colour.red() && colour.blue() < 80;
  }
  static bool IsNeutral(const QColor& colour) {
    return std::abs(colour.red() - colour.green()) < 24 && std::abs(colour.green() - colour.blue()) < 24;
  }
};

TEST_P(RecordBandTest, EachStateInItsColourAndNoGreenButForAPass) {
  const BandLanguage& lang = GetParam();
  LoadSample();
  if (lang.chinese) Click(ctl::kChinese);
  const std::string first = AutoProgram();
  ASSERT_EQ(Verdict(), lang.pass) << window_.StatusText();
  Shot("pass");

  // A chip command under way: the command, neutral.
  app::BeginChipCommand(context_, window_, ledger::ActionKind::AutoProgram);
  ExpectWhole(lang.running, "");
  EXPECT_TRUE(IsNeutral(PanelColour())) << PanelColour().name().toStdString();
  Shot("running");

  // No Writer: the command never reached the chip.
  SimSettings("[Writer]\nPresent=0\n");
  AutoProgram();
  ExpectWhole(lang.notRun, lang.notRunDetail);
  EXPECT_TRUE(IsAmber(PanelColour())) << PanelColour().name().toStdString();
  Shot("not_run");

  // An empty socket: no chip, and its value waits for the next.
  SimSettings("[Chip]\nInSocket=0\n");
  AutoProgram();
  const std::string next = fmt::format("{:08X}", std::stoul(first, nullptr, 16) + 1);
  ExpectWhole(lang.noChip, fmt::format(fmt::runtime(lang.noChipDetail), next));
  EXPECT_TRUE(IsAmber(PanelColour())) << PanelColour().name().toStdString();
  Shot("no_chip");

  SimSettings(kGoodChip);
  EXPECT_EQ(AutoProgram(), next);
  EXPECT_EQ(Verdict(), lang.pass);
}

INSTANTIATE_TEST_SUITE_P(Languages, RecordBandTest, ::testing::ValuesIn(kBandLanguages),
                         [](const ::testing::TestParamInfo<BandLanguage>& info) { return std::string(info.param.name); });

TEST_F(RecordWindowTest, LongCountersFitAndTheBandLeavesTheOldLayoutAlone) {
  const QList<QWidget*> band = {Panel(), window_.Control(ctl::kResetCounters),
                                 window_.findChild<QLabel*>(QStringLiteral("jobCounters")),
                                 window_.findChild<QLabel*>(QStringLiteral("todayCounters"))};
  for (QWidget* widget : band) {
    EXPECT_TRUE(window_.rect().contains(widget->geometry())) << widget->objectName().toStdString();
    // Below every control of the old layout, overlapping none of them nor each other.
    for (QWidget* other : window_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (other == widget || !other->isVisible() || other->isWindow()) continue;
      EXPECT_FALSE(widget->geometry().intersects(other->geometry()))
          << widget->objectName().toStdString() << " " << other->objectName().toStdString();
    }
  }
  // A long shift: six-digit counts and an eight-digit serial, in both languages.
  for (const LanguageCase& lang : kLanguages) {
    window_.ShowCounters(Counters(lang.jobCounters, 999999, 333333, 333333, "33.3", "FFFFFFFF"),
                         Counters(lang.todayCounters, 999999, 333333, 333333, "33.3", "FFFFFFFF"));
    for (const char* name : {"jobCounters", "todayCounters"}) {
      auto* label = window_.findChild<QLabel*>(QString::fromLatin1(name));
      EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width()) << lang.name << name;
    }
    window_.ShowChipResult(app::MainView::Verdict::Unknown, lang.chinese ? "结果未知" : "UNKNOWN",
                           fmt::format(fmt::runtime(lang.detail), lang.autoProgram, "FFFFFFFF"));
    for (const char* name : {"chipVerdict", "chipDetail"}) {
      auto* label = window_.findChild<QLabel*>(QString::fromLatin1(name));
      const QFontMetrics metrics(label->font());
      EXPECT_LE(metrics.horizontalAdvance(label->text()), label->width()) << lang.name << name;
      EXPECT_LE(metrics.height(), label->height()) << lang.name << name;
    }
  }
  // A shift with chips the Writer programmed on its own: the stand-alone figure ends the line.
  const char* const standalone[][2] = {
      {"This job: 99999 done: 99998 passed, 1 failed, 0 unknown, yield 100.0 %, last serial FFFFFFFF, 9999 stand-alone "
       "(outcome unknown)",
       "Today: 99999 done: 99998 passed, 1 failed, 0 unknown, yield 100.0 %, last serial FFFFFFFF, 9999 stand-alone (outcome "
       "unknown)"},
      {"本任务: 已烧 99999: 合格 99998, 不合格 1, 结果未知 0, 良率 100.0 %, 最后序列号 FFFFFFFF，脱机 9999 颗（结果未知）",
       "今天: 已烧 99999: 合格 99998, 不合格 1, 结果未知 0, 良率 100.0 %, 最后序列号 FFFFFFFF，脱机 9999 颗（结果未知）"},
  };
  for (std::size_t at = 0; at < std::size(standalone); ++at) {
    const auto& lines = standalone[at];
    window_.ShowCounters(lines[0], lines[1]);
    for (const char* name : {"jobCounters", "todayCounters"}) {
      auto* label = window_.findChild<QLabel*>(QString::fromLatin1(name));
      EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width()) << lines[0] << name;
    }
    if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty()) {
      EXPECT_TRUE(window_.grab().save(QString::fromUtf8(shots) + "/standalone-" + (at == 0 ? "en" : "zh") +
                                      ".png"));
    }
  }
  // The unknown outcome is shown as a failure.
  const QColor unknown = PanelColour();
  EXPECT_GT(unknown.red(), unknown.green() + 64) << unknown.name().toStdString();
  window_.ShowChipResult(app::MainView::Verdict::None, "", "");
  EXPECT_FALSE(Panel()->autoFillBackground());
  EXPECT_EQ(Verdict(), "");
}

TEST_F(RecordWindowTest, TheSeriesLineShowsOnlyAtAStationOfASeriesAndFitsUnderTheCounters) {
  auto* line = window_.findChild<QLabel*>(QStringLiteral("seriesLine"));
  ASSERT_NE(line, nullptr);
  const QSize plain = window_.size();
  EXPECT_TRUE(line->isHidden());
  struct SeriesCase {
    const char* name;
    const char* line;
  };
  // The longest the line gets: a series name of twenty letters, eight-digit values, a full block.
  const SeriesCase cases[] = {
      {"en", "Series LINE-3-REMOTE-433-A: block 7FFFF000 to 7FFFFFFF, 1000000 values left"},
      {"zh", "序列 LINE-3-REMOTE-433-A: 号段 7FFFF000 至 7FFFFFFF，剩余 1000000 个值"},
      // Stand-alone values of this station found on other stations' blocks.
      {"en-conflicts",
       "Series LINE-3-REMOTE-433-A: block 7FFFF000 to 7FFFFFFF, 1000000 values left, 999 conflicts with other "
       "stations"},
      {"zh-conflicts", "序列 LINE-3-REMOTE-433-A: 号段 7FFFF000 至 7FFFFFFF，剩余 1000000 个值，与其他站点冲突 999 处"},
  };
  for (const SeriesCase& c : cases) {
    window_.ShowCounters("This job: 999999 done: 999998 passed, 1 failed, 0 unknown, yield 100.0 %, last serial FFFFFFFF",
                         "Today: 999999 done: 999998 passed, 1 failed, 0 unknown, yield 100.0 %, last serial FFFFFFFF");
    window_.ShowSeries(c.line);
    EXPECT_FALSE(line->isHidden()) << c.name;
    EXPECT_GT(window_.height(), plain.height()) << c.name;
    EXPECT_EQ(window_.width(), plain.width()) << c.name;
    EXPECT_TRUE(window_.rect().contains(line->geometry())) << c.name;
    EXPECT_LE(QFontMetrics(line->font()).horizontalAdvance(line->text()), line->width()) << c.name;
    for (QWidget* other : window_.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (other == line || other->isHidden() || other->isWindow()) continue;
      EXPECT_FALSE(line->geometry().intersects(other->geometry())) << c.name << other->objectName().toStdString();
    }
    if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty()) {
      EXPECT_TRUE(window_.grab().save(QString::fromUtf8(shots) + "/series-" + c.name + ".png"));
    }
  }
  // Outside a series the window is as it was.
  window_.ShowSeries("");
  EXPECT_TRUE(line->isHidden());
  EXPECT_EQ(window_.size(), plain);
}

}  // namespace
}  // namespace vx3::gui
