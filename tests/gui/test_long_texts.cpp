// A long image path and a long status line in the real window, in both languages: the file name
// label keeps the end of the path in view, the status box wraps. With VX3WT_SHOT_DIR set, each
// language's window is saved there as long_path_en.png and long_path_zh.png to look at.
#include <QLabel>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "program_window_test.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;

// A sample that loads by the icon button without a Rolling Code dialog.
constexpr const char* kImageName = "VX3N2210.VX3";

struct LongTextCase {
  const char* name;  // also the screenshot's language suffix
  bool chinese;
  const char* folders;  // the deep folder the image is copied into, below the test folder
  const char* listingWritten;  // the shipped text of IDS_Cli_ListingWritten, before its path
};

const LongTextCase kCases[] = {
    {"en", false,
     "production lines/line 3 remote 433 MHz/customer ACME/2026 December/firmware release candidates/approved",
     "Read-back listing written to "},
    {"zh", true, "生产线/三号线 遥控器 433 MHz/客户 ACME/2026 年 12 月/固件发布候选版本/已批准的版本",
     "读取的资料已写入 "},
};

class LongTextsTest : public ProgramWindowTest, public ::testing::WithParamInterface<LongTextCase> {};

TEST_P(LongTextsTest, TheFileNameStaysInViewAndStatusLinesWrap) {
  const LongTextCase& c = GetParam();
  if (c.chinese) Click(ctl::kChinese);
  const fs::path folder = dir_.path() / platform::PathFromUtf8(c.folders);
  fs::create_directories(folder);
  const fs::path image = folder / kImageName;
  fs::copy_file(programDir_ / "samples" / kImageName, image);
  AnswerNext<QFileDialog>(&window_, [image](QFileDialog* dialog) { TypeFileName(dialog, image); });
  Click(ctl::kOneKeyLoad);
  ASSERT_TRUE(context_.image.loadOk) << window_.StatusText();

  auto* label = qobject_cast<QLabel*>(window_.Control(ctl::kFileName));
  ASSERT_NE(label, nullptr);
  const QString whole = Shown(image);
  EXPECT_EQ(Text(ctl::kFileName), whole);
  EXPECT_EQ(label->toolTip(), whole);
  const QString shown = label->text();
  EXPECT_TRUE(shown.endsWith(QDir::separator() + QString::fromLatin1(kImageName))) << shown.toStdString();
  EXPECT_LT(shown.size(), whole.size());
  EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(shown), label->contentsRect().width());

  // The listing line of a read-back into that folder: longer than the box is wide.
  const std::string line =
      context_.language.Format(text::IDS_Cli_ListingWritten, {platform::PathToUtf8(folder / "VX3N2210.BBB")});
  ASSERT_EQ(line.rfind(c.listingWritten, 0), 0u) << line;
  context_.reporter.ReportStatus(line, text::Severity::NoteLine);
  QCoreApplication::processEvents();
  auto* box = qobject_cast<QPlainTextEdit*>(window_.Control(ctl::kStatusBox));
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(box->horizontalScrollBar()->maximum(), 0);
  EXPECT_FALSE(box->horizontalScrollBar()->isVisible());
  const std::string status = window_.StatusText();
  ASSERT_GE(status.size(), line.size() + 2);
  EXPECT_EQ(status.substr(status.size() - line.size() - 2), line + "\r\n");

  if (const QByteArray shots = qgetenv("VX3WT_SHOT_DIR"); !shots.isEmpty()) {
    EXPECT_TRUE(window_.grab().save(QString::fromUtf8(shots) + "/long_path_" + c.name + ".png"));
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, LongTextsTest, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LongTextCase>& info) { return info.param.name; });

}  // namespace
}  // namespace vx3::gui
