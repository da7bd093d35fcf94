#include "gui/progress_dialog.h"

#include <QGuiApplication>
#include <algorithm>
#include <QLabel>
#include <QProgressBar>
#include <QScreen>
#include <QVBoxLayout>

namespace vx3::gui {

ProgressDialog::ProgressDialog(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("ProgressDialog"));
  setWindowTitle(QStringLiteral("Progress"));
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
  setAttribute(Qt::WA_ShowWithoutActivating);
  setModal(false);
  bar_ = new QProgressBar(this);
  bar_->setRange(0, 100);
  bar_->setValue(0);
  text_ = new QLabel(this);
  text_->setObjectName(QStringLiteral("progressText"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(bar_);
  layout->addWidget(text_);
  setFixedSize(320, sizeHint().height());
  if (const QScreen* screen = QGuiApplication::primaryScreen()) {
    move(screen->availableGeometry().center() - rect().center());
  }
}

void ProgressDialog::Start(const QString& caption, const QString& label) {
  setWindowTitle(caption);
  bar_->setValue(0);
  text_->setText(label);
  show();
  bar_->repaint();
  text_->repaint();
}

void ProgressDialog::Step(int percent, const QString& text) {
  bar_->setValue(std::clamp(percent, 0, 100));
  text_->setText(text);
  bar_->repaint();
  text_->repaint();
}

int ProgressDialog::percent() const { return bar_->value(); }

QString ProgressDialog::text() const { return text_->text(); }

}  // namespace vx3::gui
