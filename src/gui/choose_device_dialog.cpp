#include "gui/choose_device_dialog.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>

#include "app/control_ids.h"
#include "device_select/device_chooser.h"

namespace vx3::gui {

namespace {

namespace ids = app::chooser_ctl;

// Room for the longest series and type names of the kit without a horizontal scroll bar.
constexpr int kListMinWidth = 190;
constexpr int kListMinHeight = 260;

QString FromUtf8(const std::string& text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

QString ControlName(int id) { return QStringLiteral("control%1").arg(id); }

}  // namespace

ChooseDeviceDialog::ChooseDeviceDialog(device_select::DeviceChooser& chooser, QWidget* parent)
    : QDialog(parent), chooser_(chooser) {
  setObjectName(QStringLiteral("ChooseDeviceDialog"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  const device_select::ChooserTexts& texts = chooser.texts();
  setWindowTitle(FromUtf8(texts.caption));

  auto* seriesCaption = new QLabel(FromUtf8(texts.seriesLabel), this);
  auto* typeCaption = new QLabel(FromUtf8(texts.typeLabel), this);
  series_ = new QListWidget(this);
  types_ = new QListWidget(this);
  auto* ok = new QPushButton(FromUtf8(texts.ok), this);
  auto* cancel = new QPushButton(FromUtf8(texts.cancel), this);
  ok->setDefault(true);
  seriesCaption->setObjectName(ControlName(ids::kSeriesCaption));
  typeCaption->setObjectName(ControlName(ids::kTypeCaption));
  series_->setObjectName(ControlName(ids::kSeriesList));
  types_->setObjectName(ControlName(ids::kTypeList));
  ok->setObjectName(ControlName(ids::kOk));
  cancel->setObjectName(ControlName(ids::kCancel));
  for (QListWidget* list : {series_, types_}) {
    list->setMinimumSize(kListMinWidth, kListMinHeight);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
  }

  auto* grid = new QGridLayout(this);
  grid->addWidget(seriesCaption, 0, 0);
  grid->addWidget(typeCaption, 0, 1);
  grid->addWidget(series_, 1, 0);
  grid->addWidget(types_, 1, 1);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch();
  buttons->addWidget(ok);
  buttons->addWidget(cancel);
  grid->addLayout(buttons, 2, 0, 1, 2);

  for (const std::string& name : chooser.seriesList()) series_->addItem(FromUtf8(name));
  series_->setCurrentRow(chooser.selectedSeries());
  ShowTypes();

  connect(series_, &QListWidget::currentRowChanged, this, [this](int row) {
    if (row < 0) return;
    chooser_.SelectSeries(row);
    ShowTypes();
  });
  connect(types_, &QListWidget::currentRowChanged, this, [this](int row) { chooser_.SelectType(row); });
  connect(types_, &QListWidget::itemDoubleClicked, this, [this] { Confirm(); });
  connect(ok, &QPushButton::clicked, this, [this] { Confirm(); });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

QWidget* ChooseDeviceDialog::Control(int id) const { return findChild<QWidget*>(ControlName(id)); }

void ChooseDeviceDialog::ShowTypes() {
  const QSignalBlocker quiet(types_);
  types_->clear();
  for (const std::string& name : chooser_.typeList()) types_->addItem(FromUtf8(name));
  types_->setCurrentRow(chooser_.selectedType());
}

void ChooseDeviceDialog::Confirm() {
  chooser_.Confirm();
  accept();
}

}  // namespace vx3::gui
