// Loading in the real window, offscreen: the load buttons open Choose Device and the image
// file-open dialog, which are answered as the operator would, and the window shows the file name
// and the checksum line. The program folder is a copy of the built one, simulated Writer included.
#include <QFontMetrics>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <gtest/gtest.h>

#include "app/control_ids.h"
#include "gui/choose_device_dialog.h"
#include "program_window_test.h"

namespace vx3::gui {
namespace {

namespace fs = std::filesystem;
namespace ctl = app::ctl;
namespace ids = app::chooser_ctl;

class LoadDialogsTest : public ProgramWindowTest {
 protected:
  void ExpectImageShown(const fs::path& file) {
    EXPECT_EQ(Text(ctl::kFileName), Shown(file));
    EXPECT_EQ(Text(ctl::kChecksumCaption), QStringLiteral("VX3 Check Sum : "));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^ [0-9A-F]{4} ")).match(Text(ctl::kChecksum)).hasMatch())
        << Text(ctl::kChecksum).toStdString();
    EXPECT_EQ(Text(ctl::kChecksum).toStdString(), context_.image.checksumText);
  }
};

TEST_F(LoadDialogsTest, ChooserFirstThenFileFirst) {
  const fs::path samples = programDir_ / "samples";
  QStringList seen;
  AnswerNext<ChooseDeviceDialog>(&window_, [&seen](ChooseDeviceDialog* dialog) {
    auto* series = qobject_cast<QListWidget*>(dialog->Control(ids::kSeriesList));
    auto* types = qobject_cast<QListWidget*>(dialog->Control(ids::kTypeList));
    ASSERT_NE(series, nullptr);
    ASSERT_NE(types, nullptr);
    seen << dialog->windowTitle() << qobject_cast<QLabel*>(dialog->Control(ids::kSeriesCaption))->text()
         << qobject_cast<QLabel*>(dialog->Control(ids::kTypeCaption))->text();
    const auto found = series->findItems(QStringLiteral("VXLARK (BIN) Series"), Qt::MatchExactly);
    ASSERT_EQ(found.size(), 1);
    series->setCurrentItem(found.front());
    ASSERT_EQ(types->count(), 1);
    EXPECT_EQ(types->item(0)->text(), QStringLiteral("VXLARK (BIN)"));
    qobject_cast<QPushButton*>(dialog->Control(ids::kOk))->click();
  });
  AnswerNext<QFileDialog>(&window_, [&seen, samples](QFileDialog* dialog) {
    seen << dialog->nameFilters().join(QStringLiteral("|"));
    EXPECT_TRUE(SameFolder(dialog->directory().absolutePath(), samples));
    TypeFileName(dialog, samples / "VXLARK.BIN");
  });
  Click(ctl::kDeviceLoad);

  EXPECT_EQ(seen, (QStringList{"CHIP LIST", "Chip Series :", "Chip Type:",
                          "VX3 File(*.VX3)|BIN File(*.BIN)|All files (*)"}));
  EXPECT_EQ(context_.image.deviceName, "VXLARK (BIN)");
  ExpectImageShown(samples / "VXLARK.BIN");

  // The one-key button: the file first.
  AnswerNext<QFileDialog>(&window_, [samples](QFileDialog* dialog) {
    EXPECT_TRUE(SameFolder(dialog->directory().absolutePath(), samples));
    TypeFileName(dialog, samples / "VXHERON.VX3");
  });
  Click(ctl::kOneKeyLoad);
  EXPECT_EQ(context_.image.deviceName, "VXHERON");
  ExpectImageShown(samples / "VXHERON.VX3");
}

TEST_F(LoadDialogsTest, ChooserInChineseDoubleClickChoosesAndNothingIsClipped) {
  qobject_cast<QAbstractButton*>(window_.Control(ctl::kChinese))->click();
  const fs::path file = programDir_ / "samples" / "VX3E1610.VX3";
  QString caption;
  AnswerNext<ChooseDeviceDialog>(&window_, [&caption](ChooseDeviceDialog* dialog) {
    caption = dialog->windowTitle();
    for (const int id : {ids::kSeriesCaption, ids::kTypeCaption}) {
      auto* label = qobject_cast<QLabel*>(dialog->Control(id));
      EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width()) << id;
    }
    for (const int id : {ids::kOk, ids::kCancel}) {
      auto* button = qobject_cast<QPushButton*>(dialog->Control(id));
      EXPECT_LE(QFontMetrics(button->font()).horizontalAdvance(button->text()) + 8, button->width()) << id;
    }
    auto* series = qobject_cast<QListWidget*>(dialog->Control(ids::kSeriesList));
    auto* types = qobject_cast<QListWidget*>(dialog->Control(ids::kTypeList));
    for (QListWidget* list : {series, types}) {
      for (int row = 0; row < list->count(); ++row) {
        EXPECT_LE(QFontMetrics(list->font()).horizontalAdvance(list->item(row)->text()), list->viewport()->width())
            << list->item(row)->text().toStdString();
      }
    }
    series->setCurrentItem(series->findItems(QStringLiteral("VX3E1610 Series"), Qt::MatchExactly).front());
    emit types->itemDoubleClicked(types->item(0));
  });
  AnswerNext<QFileDialog>(&window_, [file](QFileDialog* dialog) { TypeFileName(dialog, file); });
  Click(ctl::kDeviceLoad);
  EXPECT_EQ(caption, QStringLiteral("芯片列表"));
  EXPECT_EQ(context_.image.deviceName, "VX3E1610");
  EXPECT_EQ(Text(ctl::kFileName), Shown(file));
  EXPECT_EQ(Text(ctl::kChecksumCaption), QStringLiteral("VX3 校验和: "));
}

TEST_F(LoadDialogsTest, CancelInTheChooserOpensNoFileDialog) {
  bool fileDialogShown = false;
  AnswerNext<ChooseDeviceDialog>(&window_, [](ChooseDeviceDialog* dialog) {
    qobject_cast<QPushButton*>(dialog->Control(ids::kCancel))->click();
  });
  // A file dialog after the cancel would be answered here, and the flag would tell.
  AnswerNext<QFileDialog>(&window_, [&fileDialogShown](QFileDialog* dialog) {
    fileDialogShown = true;
    dialog->reject();
  });
  Click(ctl::kDeviceLoad);
  QApplication::processEvents(QEventLoop::AllEvents, 5 * kPollMs);
  EXPECT_FALSE(fileDialogShown);
  EXPECT_EQ(context_.image.deviceName, "");
  EXPECT_EQ(Text(ctl::kFileName), QStringLiteral("-----"));
}

}  // namespace
}  // namespace vx3::gui
