// HoverBitmapButton: hover tracking, the bitmap with its transparent colour, and the painting of
// the three looks (rest, hovered, pressed).
#include "gui/controls/hover_bitmap_button.h"

#include "gui/program_resources.h"

#include <QApplication>
#include <QDesktopServices>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QIcon>
#include <QImage>
#include <QMouseEvent>
#include <QPainter>
#include <QStyle>
#include <QStyleOption>
#include <QUrl>

#include <algorithm>

namespace vx3::gui {

ButtonEdge EdgeFor(bool flat, bool standardEdges, bool borderOnHover, bool hover, bool pressed) {
  if (standardEdges && !pressed) {
    if (!flat) return ButtonEdge::ClassicRaised;
    return (hover && borderOnHover) ? ButtonEdge::ThinRaised : ButtonEdge::None;
  }
  if (flat) return borderOnHover ? ButtonEdge::ThinSunken : ButtonEdge::None;
  return standardEdges ? ButtonEdge::ShadowFrame : ButtonEdge::BlackFrame;
}

FaceState FaceStateFor(bool hover, bool pressed, bool focused) {
  if (hover || pressed) return FaceState::HoverOrPressed;
  if (focused) return FaceState::Focused;
  return FaceState::Rest;
}

namespace {

// Spacing between image and text, and between the content and the edge.
constexpr int kContentGap = 3;
constexpr int kContentMargin = 4;

// The resource image with every pixel of `transparent` (alpha ignored) made fully transparent.
// Returns kButtonOk and fills `out`, or the error the setter reports.
int LoadMaskedBitmap(int bitmapId, QRgb transparent, QPixmap& out) {
  QImage source(BitmapResourcePath(bitmapId));
  if (source.isNull() || source.width() <= 0 || source.height() <= 0) return kButtonInvalidResource;

  QImage masked = source.convertToFormat(QImage::Format_ARGB32);
  if (masked.isNull()) return kButtonFailedMask;
  const QRgb key = transparent & 0x00FFFFFFu;
  for (int y = 0; y < masked.height(); ++y) {
    auto* line = reinterpret_cast<QRgb*>(masked.scanLine(y));
    for (int x = 0; x < masked.width(); ++x) {
      if ((line[x] & 0x00FFFFFFu) == key) line[x] = 0;
    }
  }
  out = QPixmap::fromImage(masked);
  return out.isNull() ? kButtonFailedMask : kButtonOk;
}

// A 1 px frame with one colour on top and left and another on bottom and right; the corners
// top-right and bottom-left belong to the bottom-right colour, as on a classic 3D edge.
void Frame3d(QPainter& painter, const QRect& r, const QColor& topLeft, const QColor& bottomRight) {
  if (r.width() <= 0 || r.height() <= 0) return;
  painter.fillRect(QRect(r.left(), r.top(), std::max(r.width() - 1, 1), 1), topLeft);
  painter.fillRect(QRect(r.left(), r.top(), 1, std::max(r.height() - 1, 1)), topLeft);
  painter.fillRect(QRect(r.right(), r.top(), 1, r.height()), bottomRight);
  painter.fillRect(QRect(r.left(), r.bottom(), r.width(), 1), bottomRight);
}

void Frame(QPainter& painter, const QRect& r, const QColor& colour) {
  Frame3d(painter, r, colour, colour);
}

}  // namespace

HoverBitmapButton::HoverBitmapButton(QWidget* parent, bool flat) : QAbstractButton(parent), flat_(flat) {
  EnsureProgramResources();
  // Hover follows plain mouse moves, not only moves with a button held.
  setMouseTracking(true);
  connect(this, &QAbstractButton::clicked, this, &HoverBitmapButton::OnClicked);
}

HoverBitmapButton::~HoverBitmapButton() = default;

void HoverBitmapButton::setBorderOnHover(bool on, bool repaint) {
  borderOnHover_ = on;
  if (repaint) update();
}

void HoverBitmapButton::setStandardEdges(bool on, bool repaint) {
  standardEdges_ = on;
  if (repaint) update();
}

int HoverBitmapButton::setBitmapFromResource(int bitmapId, QRgb transparentColour, int secondBitmapId) {
  // The old images go first, so that a failed load leaves a blank face rather than a stale one.
  image_ = QPixmap();
  secondImage_ = QPixmap();
  int result = kButtonOk;
  if (bitmapId != 0) {
    QPixmap first;
    QPixmap second;
    result = LoadMaskedBitmap(bitmapId, transparentColour, first);
    if (result == kButtonOk && secondBitmapId != 0) {
      result = LoadMaskedBitmap(secondBitmapId, transparentColour, second);
    }
    if (result == kButtonOk) {
      image_ = first;
      secondImage_ = second;
    }
  }
  updateGeometry();
  update();
  return result;
}

int HoverBitmapButton::setImageAlignment(int layout, bool repaint) {
  if (layout != 0 && layout != 1) return kButtonInvalidAlignment;
  imageAlignment_ = layout;
  updateGeometry();
  if (repaint) update();
  return kButtonOk;
}

void HoverBitmapButton::setCheckMode(bool on) {
  // QAbstractButton's checkable state toggles on each click and drops the check when switched off.
  setCheckable(on);
  update();
}

void HoverBitmapButton::setCheckState(bool checked) {
  if (!isCheckable()) return;
  setChecked(checked);
  update();
}

bool HoverBitmapButton::getCheckState() const { return isCheckable() && isChecked(); }

void HoverBitmapButton::setFaceColours(FaceState state, const QColor& background, const QColor& text,
                                       bool repaint) {
  auto& face = faces_[static_cast<std::size_t>(state)];
  face.background = background;
  face.text = text;
  if (repaint) update();
}

void HoverBitmapButton::resetColours(bool repaint) {
  faces_ = {};
  if (repaint) update();
}

QColor HoverBitmapButton::faceBackground(FaceState state) const {
  const auto& face = faces_[static_cast<std::size_t>(state)];
  return face.background ? *face.background : palette().color(QPalette::Button);
}

QColor HoverBitmapButton::faceText(FaceState state) const {
  const auto& face = faces_[static_cast<std::size_t>(state)];
  return face.text ? *face.text : palette().color(QPalette::ButtonText);
}

void HoverBitmapButton::setLinkTarget(const QString& target) {
  int length = std::min<int>(static_cast<int>(target.size()), kLinkTargetMaxChars);
  // Never keep half of a surrogate pair at the cut.
  if (length < target.size() && length > 0 && target.at(length - 1).isHighSurrogate()) --length;
  linkTarget_ = target.left(length);
}

void HoverBitmapButton::setAlwaysTrack(bool on) { alwaysTrack_ = on; }

bool HoverBitmapButton::pressedLook() const { return isDown() || (isCheckable() && isChecked()); }

ButtonEdge HoverBitmapButton::currentEdge() const {
  return EdgeFor(flat_, standardEdges_, borderOnHover_, hover_, pressedLook());
}

QSize HoverBitmapButton::sizeHint() const {
  const QSize imageSz = image_.size();
  QSize textSz;
  if (!text().isEmpty()) textSz = fontMetrics().size(Qt::TextShowMnemonic, text());
  const int gap = (!imageSz.isEmpty() && !textSz.isEmpty()) ? kContentGap : 0;
  QSize content;
  if (imageAlignment_ == 0) {
    content = QSize(imageSz.width() + gap + textSz.width(), std::max(imageSz.height(), textSz.height()));
  } else {
    content = QSize(std::max(imageSz.width(), textSz.width()), imageSz.height() + gap + textSz.height());
  }
  return content + QSize(2 * kContentMargin, 2 * kContentMargin);
}

QSize HoverBitmapButton::minimumSizeHint() const { return sizeHint(); }

void HoverBitmapButton::TrackHover(bool pointerOnButton, bool leftButtonHeld) {
  // A drag that started elsewhere (or left the button pressed) does not light the edge; it comes
  // back only with a move while the button is released.
  if (leftButtonHeld && !hover_) return;
  if (!flat_) return;
  const bool windowAllows = alwaysTrack_ || QApplication::activeWindow() != nullptr;
  if (pointerOnButton && windowAllows) {
    if (!hover_) {
      hover_ = true;
      update();
    }
  } else {
    CancelHover();
  }
}

void HoverBitmapButton::CancelHover() {
  if (flat_ && hover_) {
    hover_ = false;
    update();
  }
}

void HoverBitmapButton::OnClicked() {
  setFocus(Qt::MouseFocusReason);
  if (!linkTarget_.isEmpty()) QDesktopServices::openUrl(QUrl::fromUserInput(linkTarget_));
}

void HoverBitmapButton::mouseMoveEvent(QMouseEvent* event) {
  // The base class moves the pressed look off and on as a held press leaves and re-enters.
  QAbstractButton::mouseMoveEvent(event);
  const bool onButton = rect().contains(event->position().toPoint());
  TrackHover(onButton, (event->buttons() & Qt::LeftButton) != 0);
}

void HoverBitmapButton::enterEvent(QEnterEvent* event) {
  QAbstractButton::enterEvent(event);
  TrackHover(true, (QGuiApplication::mouseButtons() & Qt::LeftButton) != 0);
}

void HoverBitmapButton::leaveEvent(QEvent* event) {
  QAbstractButton::leaveEvent(event);
  CancelHover();
}

void HoverBitmapButton::focusOutEvent(QFocusEvent* event) {
  QAbstractButton::focusOutEvent(event);
  CancelHover();
}

void HoverBitmapButton::changeEvent(QEvent* event) {
  QAbstractButton::changeEvent(event);
  switch (event->type()) {
    case QEvent::EnabledChange:
      // Qt has already moved the focus on to the next widget of the window.
      if (!isEnabled()) CancelHover();
      update();
      break;
    case QEvent::PaletteChange:
      // The face follows the system colours unless custom ones were set.
      update();
      break;
    default:
      break;
  }
}

bool HoverBitmapButton::event(QEvent* event) {
  if (event->type() == QEvent::WindowDeactivate) CancelHover();
  return QAbstractButton::event(event);
}

void HoverBitmapButton::DrawEdge(QPainter& painter, QRect& rect, ButtonEdge edge) const {
  const QPalette& pal = palette();
  switch (edge) {
    case ButtonEdge::None:
      break;
    case ButtonEdge::ThinRaised:
      Frame3d(painter, rect, pal.color(QPalette::Light), pal.color(QPalette::Dark));
      rect.adjust(1, 1, -1, -1);
      break;
    case ButtonEdge::ThinSunken:
      Frame3d(painter, rect, pal.color(QPalette::Dark), pal.color(QPalette::Light));
      rect.adjust(1, 1, -1, -1);
      break;
    case ButtonEdge::ClassicRaised:
      Frame3d(painter, rect, pal.color(QPalette::Light), pal.color(QPalette::Shadow));
      rect.adjust(1, 1, -1, -1);
      Frame3d(painter, rect, pal.color(QPalette::Midlight), pal.color(QPalette::Dark));
      rect.adjust(1, 1, -1, -1);
      break;
    case ButtonEdge::ShadowFrame:
      Frame(painter, rect, pal.color(QPalette::Dark));
      rect.adjust(1, 1, -1, -1);
      break;
    case ButtonEdge::BlackFrame:
      Frame(painter, rect, Qt::black);
      rect.adjust(1, 1, -1, -1);
      Frame(painter, rect, pal.color(QPalette::Base));
      rect.adjust(1, 1, -1, -1);
      break;
  }
}

void HoverBitmapButton::paintEvent(QPaintEvent* /*event*/) {
  QPainter painter(this);
  const bool pressed = pressedLook();
  const bool focused = hasFocus();
  const bool disabled = !isEnabled();
  const FaceState state = FaceStateFor(hover_, pressed, focused);

  QRect r = rect();
  if (!flat_ && focused) {
    // The non-flat look marks the focused button with a black outline outside its edge.
    Frame(painter, r, Qt::black);
    r.adjust(1, 1, -1, -1);
  }
  painter.fillRect(r, faceBackground(state));

  DrawEdge(painter, r, EdgeFor(flat_, standardEdges_, borderOnHover_, hover_, pressed));

  // Image and text are centred in the whole face, laid out side by side or one above the other.
  QPixmap pixmap = ((hover_ || pressed) && !secondImage_.isNull()) ? secondImage_ : image_;
  if (disabled && !pixmap.isNull()) {
    QStyleOption option;
    option.initFrom(this);
    pixmap = style()->generatedIconPixmap(QIcon::Disabled, pixmap, &option);
  }
  const QString label = text();
  const QSize imageSz = pixmap.isNull() ? QSize() : pixmap.deviceIndependentSize().toSize();
  const QSize textSz = label.isEmpty() ? QSize() : fontMetrics().size(Qt::TextShowMnemonic, label);
  const int gap = (!imageSz.isEmpty() && !textSz.isEmpty()) ? kContentGap : 0;
  const QRect face = rect();
  QRect imageRect;
  QRect textRect;
  if (imageAlignment_ == 0) {
    const int total = imageSz.width() + gap + textSz.width();
    const int left = face.left() + (face.width() - total) / 2;
    imageRect = QRect(QPoint(left, face.top() + (face.height() - imageSz.height()) / 2), imageSz);
    textRect = QRect(QPoint(left + imageSz.width() + gap, face.top() + (face.height() - textSz.height()) / 2),
                     textSz);
  } else {
    const int total = imageSz.height() + gap + textSz.height();
    const int top = face.top() + (face.height() - total) / 2;
    imageRect = QRect(QPoint(face.left() + (face.width() - imageSz.width()) / 2, top), imageSz);
    textRect = QRect(QPoint(face.left() + (face.width() - textSz.width()) / 2, top + imageSz.height() + gap),
                     textSz);
  }
  if (!pixmap.isNull()) painter.drawPixmap(imageRect.topLeft(), pixmap);

  if (!label.isEmpty()) {
    painter.setPen(disabled ? palette().color(QPalette::Disabled, QPalette::ButtonText) : faceText(state));
    painter.drawText(textRect, Qt::AlignCenter | Qt::TextShowMnemonic, label);
  }

  if (focused && !flat_) {
    QStyleOptionFocusRect option;
    option.initFrom(this);
    option.rect = r.adjusted(2, 2, -2, -2);
    option.backgroundColor = faceBackground(state);
    style()->drawPrimitive(QStyle::PE_FrameFocusRect, &option, &painter, this);
  }
}

}  // namespace vx3::gui
