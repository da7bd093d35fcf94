#include "gui/export_dialog.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "gui/qt_text.h"

namespace vx3::gui {

using Scope = app::MainView::ExportScope;

namespace {
// What the title bar's buttons and margins take beside the title, in pixels.
constexpr int kTitleBarButtonsWidth = 96;
}  // namespace

ExportScopeDialog::ExportScopeDialog(const app::MainView::ExportTexts& texts, bool jobLoaded, QWidget* parent)
    : QDialog(parent) {
  setObjectName(QStringLiteral("ExportScopeDialog"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setWindowTitle(FromStatusText(texts.caption));

  auto* scopes = new QGroupBox(this);
  // Wide enough for the title bar to show the whole title.
  scopes->setMinimumWidth(fontMetrics().horizontalAdvance(windowTitle()) + kTitleBarButtonsWidth);
  job_ = new QRadioButton(FromStatusText(texts.jobScope), scopes);
  today_ = new QRadioButton(FromStatusText(texts.todayScope), scopes);
  all_ = new QRadioButton(FromStatusText(texts.allScope), scopes);
  job_->setObjectName(QStringLiteral("exportJob"));
  today_->setObjectName(QStringLiteral("exportToday"));
  all_->setObjectName(QStringLiteral("exportAll"));
  auto* group = new QButtonGroup(this);
  auto* scopeLayout = new QVBoxLayout(scopes);
  for (QRadioButton* radio : {job_, today_, all_}) {
    group->addButton(radio);
    scopeLayout->addWidget(radio);
  }
  // Without a loaded job the record has no job to export: the choice shows, but cannot be made.
  job_->setEnabled(jobLoaded);
  (jobLoaded ? job_ : today_)->setChecked(true);

  auto* ok = new QPushButton(FromStatusText(texts.ok), this);
  auto* cancel = new QPushButton(FromStatusText(texts.cancel), this);
  ok->setObjectName(QStringLiteral("exportOk"));
  cancel->setObjectName(QStringLiteral("exportCancel"));
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
  auto* buttons = new QHBoxLayout;
  buttons->addStretch(1);
  buttons->addWidget(ok);
  buttons->addWidget(cancel);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(scopes);
  layout->addLayout(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

Scope ExportScopeDialog::scope() const {
  if (job_->isChecked()) return Scope::Job;
  if (today_->isChecked()) return Scope::Today;
  return Scope::All;
}

QRadioButton* ExportScopeDialog::ScopeButton(Scope scope) const {
  switch (scope) {
    case Scope::Job: return job_;
    case Scope::Today: return today_;
    case Scope::All: break;
  }
  return all_;
}

}  // namespace vx3::gui
