#include "gui/about_dialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/program_resources.h"

namespace vx3::gui {

namespace {

struct AboutTexts {
  const char* caption;
  const char* purpose;
  const char* version;
};

constexpr AboutTexts kEnglish = {
    "About VX3WT",
    "This program downloads VX3 file to writer's EEPROM and MCU",
    "VX3WT " VX3WT_VERSION_TEXT " - control program of the Orvel Writer",
};

constexpr AboutTexts kChinese = {
    "关于 VX3WT",
    "本程序将 VX3 文件下载到烧录器的 EEPROM 和 MCU 中",
    "VX3WT " VX3WT_VERSION_TEXT " —— Orvel 烧录器控制程序",
};

}  // namespace

AboutDialog::AboutDialog(bool chinese, QWidget* parent) : QDialog(parent) {
  const AboutTexts& texts = chinese ? kChinese : kEnglish;
  setObjectName(QStringLiteral("AboutDialog"));
  setWindowTitle(QString::fromUtf8(texts.caption));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);

  auto* icon = new QLabel(this);
  icon->setPixmap(ProgramIcon().pixmap(32, 32));
  icon->setAlignment(Qt::AlignTop);
  auto* purpose = new QLabel(QString::fromUtf8(texts.purpose), this);
  purpose->setObjectName(QStringLiteral("purpose"));
  auto* version = new QLabel(QString::fromUtf8(texts.version), this);
  version->setObjectName(QStringLiteral("version"));
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* textColumn = new QVBoxLayout;
  textColumn->addWidget(purpose);
  textColumn->addWidget(version);
  auto* row = new QHBoxLayout;
  row->addWidget(icon);
  row->addLayout(textColumn, 1);
  row->addWidget(buttons, 0, Qt::AlignTop);
  setLayout(row);
  setFixedSize(sizeHint());
}

}  // namespace vx3::gui
