#include "gui/rolling_code_dialog.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/qt_text.h"

namespace vx3::gui {

namespace dlg = rolling::dlg;

RollingCodeDialog::RollingCodeDialog(rolling::RollingDialog& presenter, QWidget* parent)
    : QDialog(parent), presenter_(presenter) {
  setWindowTitle(FromStatusText(rolling::kRollingDialogCaption));
  setObjectName(QStringLiteral("RollingCodeDialog"));
  CreateControls();
  presenter_.Start(*this);
  adjustSize();
}

template <typename Widget>
Widget* RollingCodeDialog::Add(int id, Widget* widget) {
  widget->setObjectName(QStringLiteral("control%1").arg(id));
  controls_.insert(id, widget);
  return widget;
}

void RollingCodeDialog::CreateControls() {
  const QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  const auto readOnlyEdit = [this, &fixed](int id) {
    auto* edit = Add(id, new QLineEdit(this));
    edit->setReadOnly(true);
    edit->setFont(fixed);
    return edit;
  };

  // Where the code lies, its value and its step.
  auto* fields = new QGridLayout;
  fields->addWidget(Add(dlg::kStartAddressLabel, new QLabel(this)), 0, 0);
  fields->addWidget(readOnlyEdit(dlg::kStartAddress), 0, 1);
  fields->addWidget(Add(dlg::kWordLengthLabel, new QLabel(this)), 0, 2);
  fields->addWidget(readOnlyEdit(dlg::kWordLength), 0, 3);
  auto* value = Add(dlg::kValue, new QLineEdit(this));
  auto* step = Add(dlg::kStep, new QLineEdit(this));
  value->setFont(fixed);
  step->setFont(fixed);
  value->setMinimumWidth(QFontMetrics(fixed).horizontalAdvance(QString(40, QLatin1Char('0'))));
  fields->addWidget(Add(dlg::kValueLabel, new QLabel(this)), 1, 0);
  fields->addWidget(value, 1, 1, 1, 3);
  fields->addWidget(Add(dlg::kStepLabel, new QLabel(this)), 2, 0);
  fields->addWidget(step, 2, 1, 1, 3);

  // The method: one radio each, in the order of their numbers.
  auto* methodBox = Add(dlg::kMethodGroup, new QGroupBox(this));
  auto* methodLayout = new QVBoxLayout(methodBox);
  auto* methods = new QButtonGroup(this);
  for (const int id : {dlg::kAutoInc, dlg::kRunExe, dlg::kCustom, dlg::kNotUsed}) {
    auto* radio = Add(id, new QRadioButton(methodBox));
    methods->addButton(radio, id);
    if (id == dlg::kCustom) {
      auto* row = new QHBoxLayout;
      row->addWidget(radio);
      row->addWidget(readOnlyEdit(dlg::kCustomText), 1);
      methodLayout->addLayout(row);
    } else {
      methodLayout->addWidget(radio);
    }
  }
  connect(methods, &QButtonGroup::idClicked, this, [this](int id) { presenter_.OnMethodRadio(*this, id); });

  // The word order, and the addresses the value's words go to.
  auto* alignmentBox = Add(dlg::kAlignmentGroup, new QGroupBox(this));
  auto* alignmentLayout = new QVBoxLayout(alignmentBox);
  auto* alignments = new QButtonGroup(this);
  for (const int id : {dlg::kHighAtLowAddress, dlg::kLowAtLowAddress}) {
    auto* radio = Add(id, new QRadioButton(alignmentBox));
    alignments->addButton(radio, id);
    alignmentLayout->addWidget(radio);
  }
  auto* line = Add(dlg::kAlignmentLine, new QLabel(alignmentBox));
  line->setFont(fixed);
  line->setTextInteractionFlags(Qt::TextSelectableByMouse);
  alignmentLayout->addWidget(line);
  connect(alignments, &QButtonGroup::idClicked, this, [this](int id) { presenter_.OnAlignmentRadio(*this, id); });

  auto* verify = Add(dlg::kVerify, new QCheckBox(this));

  auto* howToBox = Add(dlg::kHowToGroup, new QGroupBox(this));
  auto* howToLayout = new QVBoxLayout(howToBox);
  auto* description = Add(dlg::kDescription, new QLabel(howToBox));
  description->setWordWrap(true);
  howToLayout->addWidget(description);

  auto* ok = Add(dlg::kOk, new QPushButton(this));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] {
    presenter_.OnOk(*this);
    accept();
  });
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);

  auto* middle = new QHBoxLayout;
  middle->addWidget(methodBox, 1);
  middle->addWidget(alignmentBox, 1);

  auto* layout = new QVBoxLayout(this);
  layout->addLayout(fields);
  layout->addLayout(middle);
  layout->addWidget(verify);
  layout->addWidget(howToBox);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetMinimumSize);
}

void RollingCodeDialog::SetText(int id, std::string_view text) { SetCaption(Control(id), FromStatusText(text)); }

std::string RollingCodeDialog::Text(int id) const { return Caption(Control(id)).value_or(QString()).toStdString(); }

void RollingCodeDialog::Enable(int id, bool enabled) {
  if (QWidget* widget = Control(id)) widget->setEnabled(enabled);
}

void RollingCodeDialog::SetChecked(int id, bool checked) {
  if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) button->setChecked(checked);
}

bool RollingCodeDialog::IsChecked(int id) const {
  const auto* button = qobject_cast<const QAbstractButton*>(Control(id));
  return button != nullptr && button->isChecked();
}

}  // namespace vx3::gui
