#include "gui/main_window.h"

#include <QAbstractButton>
#include <QApplication>
#include <QButtonGroup>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QFrame>
#include <QGroupBox>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPalette>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QShortcut>
#include <QTextCursor>
#include <QTextOption>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <iterator>
#include <mutex>

#include "app/control_ids.h"
#include "app/main_presenter.h"
#include "gui/about_dialog.h"
#include "gui/choose_device_dialog.h"
#include "gui/controls/elided_label.h"
#include "gui/controls/hover_bitmap_button.h"
#include "gui/export_dialog.h"
#include "gui/program_resources.h"
#include "gui/progress_dialog.h"
#include "gui/qt_text.h"
#include "gui/rolling_code_dialog.h"
#include "platform/utf8_path.h"
#include "ui_text/message_box.h"

namespace vx3::gui {

namespace {

enum class Kind {
  GroupBox, PushButton, ReadOnlyEdit, Radio, Label, PathLabel, StatusBox, IconButton, LanguageButton, Icon
};

struct ControlLayout {
  int id;
  Kind kind;
  const char* caption;  // the layout's own caption, replaced by the language texts at start
  int x, y, width, height;  // dialog units
  bool initiallyHidden;
};

// The window layout: 501 x 308 dialog units, and below it the production record's band (the
// Reset counters button here, the result panel and counters in kRecordBand). Group boxes come
// first so that the controls inside them are stacked above their frames.
constexpr ControlLayout kLayout[] = {
    {app::ctl::kDeviceGroup, Kind::GroupBox, "Device", 10, 11, 130, 59, false},
    {app::ctl::kOfflineGroup, Kind::GroupBox, "Off-line Operation Mode", 10, 76, 130, 45, false},
    {app::ctl::kOnlineGroup, Kind::GroupBox, "On-line Operation Mode", 10, 128, 130, 149, false},
    {app::ctl::kDeviceLoad, Kind::PushButton, "Device / Load VX3", 24, 24, 99, 14, false},
    {app::ctl::kDeviceName, Kind::ReadOnlyEdit, "", 24, 46, 100, 14, false},
    {app::ctl::kFunction0, Kind::Radio, "Fun 0 (B+P+V)", 25, 88, 100, 10, false},
    {app::ctl::kFunction6, Kind::Radio, "Fun 6 (P+V)", 25, 103, 100, 10, false},
    {app::ctl::kAutoProgram, Kind::PushButton, "Auto Program", 25, 143, 97, 14, false},
    {app::ctl::kBlankCheck, Kind::PushButton, "Blank Check", 25, 169, 98, 14, false},
    {app::ctl::kProgram, Kind::PushButton, "Program", 25, 198, 97, 14, false},
    {app::ctl::kVerify, Kind::PushButton, "Verify", 25, 228, 97, 14, false},
    {app::ctl::kRead, Kind::PushButton, "Read", 25, 255, 98, 14, false},
    {app::ctl::kRollingCode, Kind::PushButton, "Rolling Code", 25, 282, 98, 14, false},
    {app::ctl::kFileNameCaption, Kind::Label, "File name :", 153, 17, 39, 8, false},
    {app::ctl::kFileName, Kind::PathLabel, "-----", 197, 17, 257, 8, false},
    {app::ctl::kChecksumCaption, Kind::Label, "EPROM Check Sum :", 153, 33, 70, 8, false},
    {app::ctl::kChecksum, Kind::Label, "", 224, 33, 168, 8, false},
    {app::ctl::kDriverVersionCaption, Kind::Label, "DRV Ver :", 399, 33, 36, 9, false},
    {app::ctl::kDriverVersion, Kind::Label, "", 436, 33, 23, 9, false},
    {app::ctl::kStatusCaption, Kind::Label, "Status :", 154, 48, 28, 8, false},
    {app::ctl::kStatusValue, Kind::Label, "------", 185, 48, 170, 8, false},
    {app::ctl::kStatusBox, Kind::StatusBox, "", 153, 63, 340, 231, false},
    {app::ctl::kOneKeyLoad, Kind::IconButton, "OneKeyLoadVX3", 469, 35, 22, 23, false},
    {app::ctl::kChinese, Kind::LanguageButton, "", 362, 43, 47, 16, false},
    {app::ctl::kEnglish, Kind::LanguageButton, "", 415, 43, 47, 16, false},
    {app::ctl::kLoadOtp, Kind::PushButton, "Load OTP", 341, 0, 52, 16, false},
    {app::ctl::kProgramMcu, Kind::Radio, "Program MCU", 9, 0, 62, 10, false},
    {app::ctl::kOperateEeprom, Kind::Radio, "Operate EEPROM", 223, 0, 73, 10, false},
    {app::ctl::kChooseDevice, Kind::Radio, "Choose Device", 135, 1, 100, 10, true},
    {app::ctl::kLoadVx3, Kind::Radio, "Load VX3", 95, 0, 100, 10, true},
    {app::ctl::kAbout, Kind::PushButton, "About", 398, 1, 50, 14, true},
    {app::ctl::kIcon, Kind::Icon, "", 468, 4, 20, 20, true},
    {app::ctl::kResetCounters, Kind::PushButton, "Reset counters", 413, 360, 80, 14, false},
};

struct UnitRect {
  int x, y, width, height;  // dialog units
};

// The production record's band under the historic layout, which it leaves as it was: the last
// chip's result across the window, large enough to be read at arm's length, and the two counter
// lines under it, beside Reset counters.
struct RecordBand {
  UnitRect result;
  UnitRect jobCounters;
  UnitRect todayCounters;
  UnitRect series;
};
constexpr RecordBand kRecordBand = {
    {10, 302, 483, 50},
    {10, 358, 398, 10},
    {10, 370, 398, 10},
    {10, 382, 483, 10},
};
// The verdict's letters fill this share of the panel's height; the detail line is bold.
constexpr double kVerdictHeightShare = 0.56;
// Green for a chip that passed; red for a failed chip and for one whose outcome is unknown, which
// must be handled as a failure. White letters on both.
constexpr QRgb kPassColour = qRgb(0x1E, 0x8C, 0x32);
constexpr QRgb kFailColour = qRgb(0xC8, 0x1E, 0x1E);
constexpr QRgb kVerdictTextColour = qRgb(0xFF, 0xFF, 0xFF);
// Amber for a job whose serial numbers cannot be made: a warning, neither a pass nor a chip's
// failure; dark letters, which white would not stand out from.
constexpr QRgb kNoSerialColour = qRgb(0xFF, 0xB0, 0x00);
constexpr QRgb kNoSerialTextColour = qRgb(0x20, 0x20, 0x20);
// A chip command under way: a neutral grey, neither a result's colour nor the amber of a warning.
constexpr QRgb kRunningColour = qRgb(0xC8, 0xCC, 0xD2);
// A text too wide for the band is set smaller, down to this many pixels, then cut in its middle.
constexpr int kSmallestFittedPixels = 9;

// Sets `text` into `label` in `font`, or in the largest smaller size that fits its width; what
// does not fit even so is elided in the middle (a path keeps its start and its file name).
void SetFittedText(QLabel* label, const QFont& font, const QString& text) {
  QFont fitted = font;
  const int width = label->width();
  int pixels = QFontInfo(font).pixelSize();
  while (QFontMetrics(fitted).horizontalAdvance(text) > width && pixels > kSmallestFittedPixels) {
    fitted.setPixelSize(--pixels);
  }
  label->setFont(fitted);
  label->setText(QFontMetrics(fitted).elidedText(text, Qt::ElideMiddle, width));
}

// The record's controls look disabled while a Writer job runs, as the Writer command buttons do:
// the job is writing the record they act on.
constexpr int kRecordControls[] = {app::ctl::kResetCounters, app::ctl::kExportRecord};

bool LooksDisabledWhileBusy(int id) {
  const auto inList = [id](const auto& list) { return std::find(std::begin(list), std::end(list), id) != std::end(list); };
  return inList(app::ctl::kWriterCommandButtons) || inList(kRecordControls);
}

QString FromUtf8(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

// The image file-open dialog lists .VX3 files first; .BIN images and any other file can be
// listed too, and a typed name is taken as it is.
constexpr const char* kImageFileFilters[] = {"VX3 File(*.VX3)", "BIN File(*.BIN)", "All files (*)"};
// The export's file: a typed name without an extension gets this one.
constexpr const char* kCsvSuffix = "csv";
// How often the status line of a running Writer job shows the time again.
constexpr int kBusyRefreshMs = 200;

constexpr int kWindowWidth = 501;
// The historic 308 units, and the production record's band under them (its last line, the
// shared series, is shown only at a station of a series).
constexpr int kWindowHeight = 388;
constexpr int kSeriesLineHeight = 12;
constexpr qint64 kStatusRepaintIntervalMs = 30;
constexpr int kStatusLinesShownAtOnce = 4;

// The platform's fixed-pitch system font, so that listings line up in columns.
QFont FixedPitchFont() {
  QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  font.setStyleHint(QFont::TypeWriter);
  font.setFixedPitch(true);
  return font;
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QDialog(parent) {
  setObjectName(QStringLiteral("MainWindow"));
  // A fixed frame with caption and system menu, no minimise or maximise box.
  setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                 Qt::WindowCloseButtonHint);
  QFont font(QStringLiteral("MS Sans Serif"), 8);
  font.setStyleHint(QFont::SansSerif);
  setFont(font);
  // The dialog base units of the window font, measured as the layout's platform measures them.
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  baseUnitX_ = std::max(1, (letters / 26 + 1) / 2);
  baseUnitY_ = std::max(1, metrics.height());
  setWindowIcon(ProgramIcon());
  // The progress window exists, hidden, for the whole run.
  progress_ = new ProgressDialog(this);
  CreateControls();
  setFixedSize(DialogUnitsToPixels(0, 0, kWindowWidth, kWindowHeight).size());
  statusWindow_.start();
  busyTimer_ = new QTimer(this);
  busyTimer_->setInterval(kBusyRefreshMs);
  connect(busyTimer_, &QTimer::timeout, this, [this] { ShowBusyLine(); });
}

MainWindow::~MainWindow() = default;

QRect MainWindow::DialogUnitsToPixels(int x, int y, int width, int height) const {
  const auto mapX = [this](int units) { return (units * baseUnitX_ + 2) / 4; };
  const auto mapY = [this](int units) { return (units * baseUnitY_ + 4) / 8; };
  return {mapX(x), mapY(y), mapX(width), mapY(height)};
}

void MainWindow::CreateControls() {
  functionGroup_ = new QButtonGroup(this);
  for (const ControlLayout& layout : kLayout) {
    const QString caption = QString::fromUtf8(layout.caption);
    QWidget* widget = nullptr;
    switch (layout.kind) {
      case Kind::GroupBox:
        widget = new QGroupBox(caption, this);
        break;
      case Kind::PushButton: {
        auto* button = new QPushButton(caption, this);
        // Enter closes the window unless a push button has the focus; no button is a default.
        button->setAutoDefault(false);
        widget = button;
        break;
      }
      case Kind::ReadOnlyEdit: {
        auto* edit = new QLineEdit(caption, this);
        edit->setReadOnly(true);
        widget = edit;
        break;
      }
      case Kind::Radio: {
        auto* radio = new QRadioButton(caption, this);
        radio->setAutoExclusive(false);
        if (layout.id == app::ctl::kFunction0 || layout.id == app::ctl::kFunction6) {
          functionGroup_->addButton(radio, layout.id);
        }
        widget = radio;
        break;
      }
      case Kind::Label:
        widget = new QLabel(caption, this);
        break;
      case Kind::PathLabel:
        // A long path keeps its end, the file name, in view.
        widget = new ElidedLabel(caption, this);
        break;
      case Kind::StatusBox: {
        statusBox_ = new QPlainTextEdit(this);
        statusBox_->setReadOnly(true);
        // Long lines wrap at the box's width, between words where they can and anywhere in a long
        // path, so that nothing needs a sideways scroll. Wrapping is display only: the text read
        // back is the text given.
        statusBox_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        statusBox_->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        statusBox_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        statusBox_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        statusBox_->setFont(FixedPitchFont());
        // The status box keeps its own Copy and Select All, and offers the window's own items
        // (the record's export, About) below them.
        statusBox_->setContextMenuPolicy(Qt::CustomContextMenu);
        connect(statusBox_, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
          QMenu* menu = statusBox_->createStandardContextMenu();
          menu->addSeparator();
          menu->addAction(exportAction_);
          if (aboutAction_ != nullptr) {
            menu->addSeparator();
            menu->addAction(aboutAction_);
          }
          menu->exec(statusBox_->viewport()->mapToGlobal(at));
          delete menu;
        });
        widget = statusBox_;
        break;
      }
      case Kind::IconButton: {
        auto* button = new QPushButton(this);
        button->setAutoDefault(false);
        button->setIcon(ProgramIcon());
        const QRect pixels = DialogUnitsToPixels(0, 0, layout.width, layout.height);
        const int side = std::min(pixels.width(), pixels.height()) - 6;
        button->setIconSize(QSize(side, side));
        button->setToolTip(caption);
        widget = button;
        break;
      }
      case Kind::LanguageButton: {
        auto* button = new HoverBitmapButton(this);
        button->setBorderOnHover(true, false);
        button->setStandardEdges(true, false);
        const int bitmap = layout.id == app::ctl::kChinese ? app::kChineseBitmap : app::kEnglishBitmap;
        button->setBitmapFromResource(bitmap, kLanguageBitmapTransparent);
        widget = button;
        break;
      }
      case Kind::Icon: {
        auto* label = new QLabel(this);
        label->setPixmap(ProgramIcon().pixmap(DialogUnitsToPixels(0, 0, layout.width, layout.height).size()));
        widget = label;
        break;
      }
    }
    widget->setObjectName(QStringLiteral("control%1").arg(layout.id));
    enabled_.insert(layout.id, !layout.initiallyHidden);
    widget->setGeometry(DialogUnitsToPixels(layout.x, layout.y, layout.width, layout.height));
    if (layout.initiallyHidden) {
      widget->setVisible(false);
      widget->setEnabled(false);
    }
    controls_.insert(layout.id, widget);
  }
  // The export of the production record is an item of the window's own menu, named like a control
  // so that its text comes with the others.
  windowMenu_ = new QMenu(this);
  exportAction_ = windowMenu_->addAction(QStringLiteral("Export production record..."));
  exportAction_->setObjectName(QStringLiteral("exportRecordAction"));
  enabled_.insert(app::ctl::kExportRecord, true);
  CreateRecordDisplay();
}

void MainWindow::CreateRecordDisplay() {
  const auto place = [this](QWidget* widget, const UnitRect& at) {
    widget->setGeometry(DialogUnitsToPixels(at.x, at.y, at.width, at.height));
  };
  resultPanel_ = new QFrame(this);
  resultPanel_->setObjectName(QStringLiteral("chipResult"));
  resultPanel_->setFrameShape(QFrame::StyledPanel);
  place(resultPanel_, kRecordBand.result);
  verdictLabel_ = new QLabel(resultPanel_);
  detailLabel_ = new QLabel(resultPanel_);
  verdictLabel_->setObjectName(QStringLiteral("chipVerdict"));
  detailLabel_->setObjectName(QStringLiteral("chipDetail"));
  QFont verdictFont = font();
  verdictFont.setBold(true);
  verdictFont.setPixelSize(std::max(1, static_cast<int>(resultPanel_->height() * kVerdictHeightShare)));
  verdictLabel_->setFont(verdictFont);
  QFont detailFont = font();
  detailFont.setBold(true);
  detailLabel_->setFont(detailFont);
  verdictFont_ = verdictFont;
  detailFont_ = detailFont;
  // The verdict fills the panel's upper part, the detail line the rest, both centred.
  const int verdictHeight = QFontMetrics(verdictFont).height();
  const int frame = resultPanel_->frameWidth();
  const int inner = resultPanel_->width() - 2 * frame;
  verdictLabel_->setGeometry(frame, frame, inner, verdictHeight);
  detailLabel_->setGeometry(frame, frame + verdictHeight, inner,
                            std::max(1, resultPanel_->height() - 2 * frame - verdictHeight));
  for (QLabel* label : {verdictLabel_, detailLabel_}) label->setAlignment(Qt::AlignCenter);

  jobCounters_ = new QLabel(this);
  todayCounters_ = new QLabel(this);
  jobCounters_->setObjectName(QStringLiteral("jobCounters"));
  todayCounters_->setObjectName(QStringLiteral("todayCounters"));
  place(jobCounters_, kRecordBand.jobCounters);
  place(todayCounters_, kRecordBand.todayCounters);
  countersFont_ = jobCounters_->font();
  seriesLine_ = new QLabel(this);
  seriesLine_->setObjectName(QStringLiteral("seriesLine"));
  place(seriesLine_, kRecordBand.series);
  seriesLine_->hide();
}

void MainWindow::ConnectPresenter(app::MainPresenter& presenter) {
  app::MainPresenter* target = &presenter;
  const auto onClick = [this](int id, auto handler) {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) {
      connect(button, &QAbstractButton::clicked, this, handler);
    }
  };
  onClick(app::ctl::kFunction0, [target] { target->OnFunction0Clicked(); });
  onClick(app::ctl::kFunction6, [target] { target->OnFunction6Clicked(); });
  onClick(app::ctl::kChinese, [target] { target->SwitchToChinese(); });
  onClick(app::ctl::kEnglish, [target] { target->SwitchToEnglish(); });
  onClick(app::ctl::kDeviceLoad, [target] { target->OnDeviceLoad(); });
  onClick(app::ctl::kOneKeyLoad, [target] { target->OnOneKeyLoad(); });
  onClick(app::ctl::kAutoProgram, [target] { target->OnAutoProgram(); });
  onClick(app::ctl::kBlankCheck, [target] { target->OnBlankCheck(); });
  onClick(app::ctl::kProgram, [target] { target->OnProgram(); });
  onClick(app::ctl::kVerify, [target] { target->OnVerify(); });
  onClick(app::ctl::kRead, [target] { target->OnRead(); });
  onClick(app::ctl::kRollingCode, [target] { target->OnRollingCode(); });
  onClick(app::ctl::kLoadOtp, [target] { target->OnLoadOtp(); });
  onClick(app::ctl::kResetCounters, [target] { target->OnResetCounters(); });
  connect(exportAction_, &QAction::triggered, this, [target] { target->OnExportRecord(); });
  connect(this, &MainWindow::AboutRequested, this, [target] { target->OnAbout(); });
  closeGuard_ = [target] { return target->OnCloseRequested(); };
}

void MainWindow::OnGuiThread(const std::function<void()>& work) const {
  if (QThread::currentThread() == thread()) {
    work();
  } else {
    // Only the window's own pointer travels through Qt's queue; the work itself is handed over
    // through an atomic, so that thread checkers, which do not see Qt's wait, see the order
    // that the blocking call gives: what the caller prepared, then the work, then the caller again.
    const std::lock_guard lock(handOverMutex_);
    handedOver_.store(&work, std::memory_order_release);
    QMetaObject::invokeMethod(const_cast<MainWindow*>(this), "RunHandedOverWork", Qt::BlockingQueuedConnection);
    (void)handedOver_.load(std::memory_order_acquire);
  }
}

void MainWindow::RunHandedOverWork() {
  const std::function<void()>* work = handedOver_.load(std::memory_order_acquire);
  if (work != nullptr) (*work)();
  handedOver_.store(nullptr, std::memory_order_release);
}

void MainWindow::FlushStatusText() {
  flushQueued_ = false;
  if (pendingStatus_.isEmpty()) return;
  QTextCursor cursor(statusBox_->document());
  cursor.movePosition(QTextCursor::End);
  cursor.insertText(pendingStatus_);
  pendingStatus_.clear();
  QScrollBar* bar = statusBox_->verticalScrollBar();
  bar->setValue(bar->maximum());
  // Painted now, not when the event loop next runs: the thread may stay busy with the Writer.
  statusBox_->viewport()->repaint();
}

void MainWindow::AppendStatusText(std::string_view text) {
  const QString lines = FromStatusText(text);
  OnGuiThread([this, &lines] {
    pendingStatus_ += lines;
    if (statusWindow_.elapsed() >= kStatusRepaintIntervalMs) {
      statusWindow_.restart();
      linesInStatusWindow_ = 0;
    }
    // The first few lines of each interval show at once, as the operator expects; a burst beyond
    // them (a listing of thousands of lines) is inserted and painted once per interval, or as
    // soon as the event loop runs, because one insertion and repaint per line costs seconds.
    if (++linesInStatusWindow_ <= kStatusLinesShownAtOnce) {
      FlushStatusText();
    } else if (!flushQueued_) {
      flushQueued_ = true;
      QTimer::singleShot(0, this, [this] { FlushStatusText(); });
    }
  });
}

void MainWindow::SetStatusText(std::string_view text) {
  const QString all = FromStatusText(text);
  OnGuiThread([this, &all] {
    pendingStatus_.clear();
    statusBox_->setPlainText(all);
    statusBox_->viewport()->repaint();
  });
}

std::string MainWindow::StatusText() const {
  std::string result;
  OnGuiThread([this, &result] {
    const_cast<MainWindow*>(this)->FlushStatusText();
    result = ToStatusText(statusBox_->toPlainText());
  });
  return result;
}

int MainWindow::ShowMessageBox(std::string_view text, std::string_view caption, int type) {
  const QString message = FromStatusText(text);
  const QString title = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  int answer = text::answer::kOk;
  OnGuiThread([&] {
    FlushStatusText();
    // The control that had the focus gets it back, so that the next Enter means what it meant.
    const QPointer<QWidget> hadFocus =
        QApplication::focusWidget() != nullptr ? QApplication::focusWidget() : focusWidget();
    QWidget* owner = hadFocus != nullptr ? hadFocus->window() : this;
    QMessageBox box(owner);
    box.setWindowTitle(title);
    box.setText(message);
    switch (type & text::box::kIconMask) {
      case text::box::kIconError: box.setIcon(QMessageBox::Critical); break;
      case text::box::kIconQuestion: box.setIcon(QMessageBox::Question); break;
      case text::box::kIconExclamation: box.setIcon(QMessageBox::Warning); break;
      case text::box::kIconInformation: box.setIcon(QMessageBox::Information); break;
      default: box.setIcon(QMessageBox::NoIcon); break;
    }
    switch (type & text::box::kButtonMask) {
      case text::box::kOkCancel: box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel); break;
      case text::box::kYesNo: box.setStandardButtons(QMessageBox::Yes | QMessageBox::No); break;
      default: box.setStandardButtons(QMessageBox::Ok); break;
    }
    if ((type & text::box::kDefaultMask) == text::box::kDefaultSecond) {
      const QList<QAbstractButton*> buttons = box.buttons();
      for (QAbstractButton* button : buttons) {
        const QMessageBox::StandardButton which = box.standardButton(button);
        if (which == QMessageBox::No || which == QMessageBox::Cancel) {
          box.setDefaultButton(qobject_cast<QPushButton*>(button));
          box.setEscapeButton(button);
        }
      }
    }
    const auto pressed = static_cast<QMessageBox::StandardButton>(box.exec());
    switch (pressed) {
      case QMessageBox::Cancel: answer = text::answer::kCancel; break;
      case QMessageBox::Yes: answer = text::answer::kYes; break;
      case QMessageBox::No: answer = text::answer::kNo; break;
      default: answer = text::answer::kOk; break;
    }
    if (hadFocus != nullptr) {
      hadFocus->setFocus();
    } else {
      owner->setFocus();
    }
  });
  return answer;
}

bool MainWindow::RunRollingCodeDialog(rolling::RollingDialog& dialog) {
  bool accepted = false;
  // The worker opens the dialog too: it runs modally on the window's thread while the worker waits.
  OnGuiThread([&] {
    FlushStatusText();
    RollingCodeDialog box(dialog, this);
    accepted = box.exec() == QDialog::Accepted;
  });
  return accepted;
}

void MainWindow::SetWindowCaption(std::string_view caption) {
  const QString title = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  OnGuiThread([this, &title] { setWindowTitle(title); });
}

void MainWindow::SetControlText(int id, std::string_view text) {
  const QString value = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  OnGuiThread([this, id, &value] {
    QWidget* widget = Control(id);
    if (id == app::ctl::kStatusValue) {
      statusValue_ = value;
      if (writerJobs_ > 0) {
        // A running job's own progress, shown with the time it has run.
        jobProgress_ = value;
        ShowBusyLine();
        return;
      }
    }
    if (id == app::ctl::kOneKeyLoad) {
      // The button shows the program icon; its caption becomes the tool tip.
      widget->setToolTip(value);
    } else if (id == app::ctl::kExportRecord) {
      exportAction_->setText(value);
    } else if (!SetCaption(widget, value) && widget == statusBox_) {
      statusBox_->setPlainText(value);
    }
  });
}

std::string MainWindow::ControlText(int id) const {
  std::string result;
  OnGuiThread([this, id, &result] {
    QWidget* widget = Control(id);
    QString value;
    if (id == app::ctl::kStatusValue && writerJobs_ > 0) {
      value = statusValue_;
    } else if (id == app::ctl::kOneKeyLoad) {
      value = widget->toolTip();
    } else if (id == app::ctl::kExportRecord) {
      value = exportAction_->text();
    } else if (const std::optional<QString> caption = Caption(widget)) {
      value = *caption;
    } else if (widget == statusBox_) {
      value = statusBox_->toPlainText();
    }
    result = value.toStdString();
  });
  return result;
}

void MainWindow::EnableControl(int id, bool enabled) {
  OnGuiThread([this, id, enabled] {
    enabled_.insert(id, enabled);
    ApplyEnabled(id);
  });
}

void MainWindow::ApplyEnabled(int id) {
  const bool enabled = enabled_.value(id, true) && !(LooksDisabledWhileBusy(id) && writerJobs_ > 0);
  if (id == app::ctl::kExportRecord) {
    exportAction_->setEnabled(enabled);
  } else if (QWidget* widget = Control(id)) {
    widget->setEnabled(enabled);
  }
}

void MainWindow::ApplyBusyLook() {
  for (const int id : app::ctl::kWriterCommandButtons) ApplyEnabled(id);
  for (const int id : kRecordControls) ApplyEnabled(id);
}

void MainWindow::WriterJobStarted(BusyText busyText) {
  OnGuiThread([this, &busyText] {
    // The job that started last names the line; a job started by another (the worker after Load
    // OTP) takes it over.
    busyText_ = std::move(busyText);
    busyClock_.start();
    jobProgress_.clear();
    if (writerJobs_++ == 0) {
      // Buttons pressed while the Writer works are not taken: they show it.
      ApplyBusyLook();
      busyTimer_->start();
    }
    ShowBusyLine();
  });
}

void MainWindow::WriterJobEnded() {
  // Queued: the job's thread must not wait for a window that may be closing. By name, so that
  // nothing of the job's travels through Qt's queue (see OnGuiThread).
  QMetaObject::invokeMethod(this, "EndWriterJob", Qt::QueuedConnection);
}

void MainWindow::EndWriterJob() {
  if (writerJobs_ > 0 && --writerJobs_ == 0) {
    busyTimer_->stop();
    busyText_ = nullptr;
    SetCaption(Control(app::ctl::kStatusValue), statusValue_);
    ApplyBusyLook();
  }
  if (writerJobs_ == 0 && closeRefused_) close();
}

void MainWindow::ShowBusyLine() {
  if (writerJobs_ == 0 || !busyText_) return;
  const QByteArray progress = jobProgress_.toUtf8();
  const std::string line = busyText_(std::string_view(progress.constData(), static_cast<std::size_t>(progress.size())),
                                     static_cast<int>(busyClock_.elapsed() / 1000));
  SetCaption(Control(app::ctl::kStatusValue), QString::fromUtf8(line.data(), static_cast<qsizetype>(line.size())));
}

void MainWindow::ShowControl(int id, bool shown) {
  OnGuiThread([this, id, shown] {
    if (QWidget* widget = Control(id)) widget->setVisible(shown);
  });
}

void MainWindow::SetChecked(int id, bool checked) {
  OnGuiThread([this, id, checked] {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(id))) button->setChecked(checked);
  });
}

void MainWindow::AddAboutMenuItem(std::string_view text) {
  const QString label = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  OnGuiThread([this, &label] {
    // There is no system menu to extend on every platform: the item lives in the window's own
    // menu, opened by the right mouse button or the menu key anywhere on the window (in the
    // status box below its Copy and Select All), and F1 opens the box at once.
    if (aboutAction_ != nullptr) return;
    windowMenu_->addSeparator();
    aboutAction_ = windowMenu_->addAction(label);
    aboutAction_->setObjectName(QStringLiteral("aboutAction"));
    connect(aboutAction_, &QAction::triggered, this, &MainWindow::AboutRequested);
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_F1), this);
    connect(shortcut, &QShortcut::activated, this, &MainWindow::AboutRequested);
  });
}

void MainWindow::ShowAboutBox(bool chinese) {
  OnGuiThread([this, chinese] {
    AboutDialog about(chinese, this);
    about.exec();
  });
}

void MainWindow::SetWaitCursor(bool waiting) {
  OnGuiThread([this, waiting] {
    if (waiting) {
      ++waitCursorDepth_;
      QApplication::setOverrideCursor(Qt::WaitCursor);
    } else if (waitCursorDepth_ > 0) {
      --waitCursorDepth_;
      QApplication::restoreOverrideCursor();
    }
  });
}

void MainWindow::ShowProgressWindow(std::string_view caption, std::string_view label) {
  const QString title = QString::fromUtf8(caption.data(), static_cast<qsizetype>(caption.size()));
  const QString line = QString::fromUtf8(label.data(), static_cast<qsizetype>(label.size()));
  OnGuiThread([this, &title, &line] { progress_->Start(title, line); });
}

void MainWindow::SetProgress(int percent, std::string_view text) {
  const QString line = QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
  OnGuiThread([this, percent, &line] { progress_->Step(percent, line); });
}

void MainWindow::HideProgressWindow() {
  OnGuiThread([this] { progress_->hide(); });
}

void MainWindow::ShowPendingStatus() {
  // Only the window's own thread can paint; another thread's wait leaves the event loop running.
  if (QThread::currentThread() == thread() && !pendingStatus_.isEmpty()) FlushStatusText();
}

void MainWindow::closeEvent(QCloseEvent* event) {
  if (closeGuard_ && !closeGuard_()) {
    closeRefused_ = true;
    event->ignore();
    return;
  }
  QDialog::closeEvent(event);
}

std::filesystem::path MainWindow::ChooseImageFile(const std::filesystem::path& folder) {
  const std::string start = platform::PathToUtf8(folder);
  std::filesystem::path chosen;
  OnGuiThread([&] {
    FlushStatusText();
    // Qt's own dialog on every platform: it accepts a typed name that the filter does not list.
    QFileDialog dialog(this, QString(), QString::fromUtf8(start.data(), static_cast<qsizetype>(start.size())));
    QStringList filters;
    for (const char* filter : kImageFileFilters) filters << QString::fromUtf8(filter);
    dialog.setNameFilters(filters);
    dialog.setObjectName(QStringLiteral("ImageFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty()) {
      // The dialog answers with '/' on every platform; the file-name label shows the platform's own.
      const QByteArray path = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toUtf8();
      chosen = platform::PathFromUtf8(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
    }
  });
  return chosen;
}

bool MainWindow::RunDeviceChooser(device_select::DeviceChooser& chooser) {
  bool confirmed = false;
  OnGuiThread([&] {
    FlushStatusText();
    ChooseDeviceDialog dialog(chooser, this);
    confirmed = dialog.exec() == QDialog::Accepted;
  });
  return confirmed;
}

void MainWindow::keyPressEvent(QKeyEvent* event) {
  if (event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier) {
    switch (event->key()) {
      case Qt::Key_Escape:
        close();
        return;
      case Qt::Key_Return:
      case Qt::Key_Enter:
        // Enter presses the push button that has the focus, the language buttons included;
        // anywhere else it closes the window.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
          button->click();
        } else if (auto* hover = qobject_cast<HoverBitmapButton*>(focusWidget())) {
          hover->click();
        } else {
          close();
        }
        return;
      default:
        break;
    }
  }
  QDialog::keyPressEvent(event);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* event) {
  windowMenu_->exec(event->globalPos());
}

void MainWindow::ShowChipResult(Verdict verdict, std::string_view verdictText, std::string_view detail) {
  const QString large = FromUtf8(verdictText);
  const QString small = FromUtf8(detail);
  OnGuiThread([this, verdict, &large, &small] {
    const bool shown = verdict != Verdict::None;
    // A cleared display is the window's own face: no colour that could be taken for a result.
    QPalette look = palette();
    if (shown) {
      QRgb back = kFailColour;
      QRgb fore = kVerdictTextColour;
      switch (verdict) {
        case Verdict::Pass: back = kPassColour; break;
        case Verdict::Running:
          back = kRunningColour;
          fore = kNoSerialTextColour;
          break;
        case Verdict::NoSerial:
        case Verdict::NotRun:
        case Verdict::NoChip:
          back = kNoSerialColour;
          fore = kNoSerialTextColour;
          break;
        case Verdict::Fail:
        case Verdict::Unknown:
        case Verdict::None: break;
      }
      look.setColor(QPalette::Window, QColor(back));
      look.setColor(QPalette::WindowText, QColor(fore));
    }
    resultPanel_->setPalette(look);
    resultPanel_->setAutoFillBackground(shown);
    SetFittedText(verdictLabel_, verdictFont_, shown ? large : QString());
    SetFittedText(detailLabel_, detailFont_, shown ? small : QString());
  });
}

void MainWindow::ShowCounters(std::string_view jobLine, std::string_view todayLine) {
  const QString job = FromUtf8(jobLine);
  const QString today = FromUtf8(todayLine);
  OnGuiThread([this, &job, &today] {
    // A long shift's figures are set smaller rather than cut; the whole line is the tooltip.
    SetFittedText(jobCounters_, countersFont_, job);
    SetFittedText(todayCounters_, countersFont_, today);
    jobCounters_->setToolTip(job);
    todayCounters_->setToolTip(today);
  });
}

void MainWindow::ShowSeries(std::string_view line) {
  const QString text = FromUtf8(line);
  OnGuiThread([this, &text] {
    const bool shown = !text.isEmpty();
    seriesLine_->setText(text);
    seriesLine_->setToolTip(text);
    if (shown == !seriesLine_->isHidden()) return;
    seriesLine_->setVisible(shown);
    // The window grows by the line at a station of a series and is as it was elsewhere.
    setFixedSize(DialogUnitsToPixels(0, 0, kWindowWidth, kWindowHeight + (shown ? kSeriesLineHeight : 0)).size());
  });
}

bool MainWindow::ChooseExport(const std::filesystem::path& folder, std::string_view suggestedName, bool jobLoaded,
                              const ExportTexts& texts, ExportChoice& choice) {
  const std::string start = platform::PathToUtf8(folder);
  const QString suggested = FromUtf8(suggestedName);
  bool chosen = false;
  OnGuiThread([&] {
    FlushStatusText();
    ExportScopeDialog scopeDialog(texts, jobLoaded, this);
    if (scopeDialog.exec() != QDialog::Accepted) return;
    // Qt's own dialog on every platform, as for the image; it asks before it replaces a file.
    QFileDialog dialog(this, FromStatusText(texts.caption));
    dialog.setObjectName(QStringLiteral("ExportFileDialog"));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(FromStatusText(texts.csvFilter));
    dialog.setDefaultSuffix(QString::fromLatin1(kCsvSuffix));
    // The record's folder is made with the record; before that the dialog opens where it can.
    const QString startFolder = FromUtf8(start);
    if (QFileInfo(startFolder).isDir()) dialog.setDirectory(startFolder);
    dialog.selectFile(suggested);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    const QByteArray path = QDir::toNativeSeparators(dialog.selectedFiles().constFirst()).toUtf8();
    choice.scope = scopeDialog.scope();
    choice.file = platform::PathFromUtf8(std::string_view(path.constData(), static_cast<std::size_t>(path.size())));
    chosen = true;
  });
  return chosen;
}

}  // namespace vx3::gui
