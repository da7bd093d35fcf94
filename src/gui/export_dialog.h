// The first of the export's two dialogs: which part of the production record goes into the CSV
// file (the loaded job, today, or all of it); the file itself is asked for after it.
#pragma once

#include <QDialog>

#include "app/main_view.h"

class QRadioButton;

namespace vx3::gui {

class ExportScopeDialog final : public QDialog {
  Q_OBJECT

 public:
  // `jobLoaded` false: no job is loaded, so its choice is offered disabled and Today is chosen.
  ExportScopeDialog(const app::MainView::ExportTexts& texts, bool jobLoaded, QWidget* parent);

  app::MainView::ExportScope scope() const;
  // The radio button of `scope`, for tests to read and click.
  QRadioButton* ScopeButton(app::MainView::ExportScope scope) const;

 private:
  QRadioButton* job_ = nullptr;
  QRadioButton* today_ = nullptr;
  QRadioButton* all_ = nullptr;
};

}  // namespace vx3::gui
