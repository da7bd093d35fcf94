// HoverBitmapButton: the owner-drawn button with a bitmap face that the main window uses for its
// two language buttons; flat at rest, a thin raised edge while hovered, a sunken one while pressed.
#pragma once

#include <QAbstractButton>
#include <QColor>
#include <QPixmap>
#include <QString>

#include <array>
#include <optional>

class QPainter;

namespace vx3::gui {

// The edge drawn around the face.
enum class ButtonEdge {
  None,
  ThinRaised,     // 1 px: light top and left, dark bottom and right
  ThinSunken,     // 1 px: dark top and left, light bottom and right
  ClassicRaised,  // 2 px raised edge of a classic push button
  ShadowFrame,    // 1 px frame in the shadow colour
  BlackFrame,     // black outer frame and an inner frame in the window colour
};

// Which of the three face colour pairs a paint uses.
enum class FaceState { HoverOrPressed = 0, Focused = 1, Rest = 2 };

// The edge for a state. With standard edges a button at rest (not pressed) is raised: the classic
// edge in non-flat look, the thin one in flat look only while hovered with borderOnHover. Every
// other case - pressed, or standard edges off - is sunken-looking: flat look draws the thin
// sunken edge when borderOnHover, non-flat look a frame. So the language buttons (flat, standard
// edges, border on hover) show nothing at rest, thin raised when hovered, thin sunken when pressed.
ButtonEdge EdgeFor(bool flat, bool standardEdges, bool borderOnHover, bool hover, bool pressed);

// Hovered or pressed wins over focused, focused over rest.
FaceState FaceStateFor(bool hover, bool pressed, bool focused);

// Results of the setters that can fail.
inline constexpr int kButtonOk = 0;
inline constexpr int kButtonInvalidResource = 1;  // the bitmap cannot be loaded or measured
inline constexpr int kButtonFailedMask = 2;       // the transparency mask cannot be built
inline constexpr int kButtonInvalidAlignment = 6;

// The colour the language bitmaps use for "no pixel here": red 236, green 233, blue 216
// (0xD8E9EC when written as a 0x00BBGGRR value).
inline constexpr QRgb kLanguageBitmapTransparent = 0xFFECE9D8u;

// Longest link target kept, in UTF-16 code units (the old path buffer's size).
inline constexpr int kLinkTargetMaxChars = 260;

class HoverBitmapButton : public QAbstractButton {
  Q_OBJECT

 public:
  // The look is fixed at construction; the language buttons use the flat one.
  explicit HoverBitmapButton(QWidget* parent = nullptr, bool flat = true);
  ~HoverBitmapButton() override;

  void setBorderOnHover(bool on, bool repaint);
  void setStandardEdges(bool on, bool repaint);

  // Loads ":/bitmap<id>.png" (and the second one, shown while hovered or pressed, when
  // secondBitmapId is not 0) and makes every pixel of transparentColour (alpha ignored) show the
  // face. Returns kButtonOk, kButtonInvalidResource or kButtonFailedMask; on failure the button
  // is left without an image. An id of 0 just removes the image.
  int setBitmapFromResource(int bitmapId, QRgb transparentColour, int secondBitmapId = 0);

  // Layout 0: image left of the text; layout 1: image above the text. Anything else returns
  // kButtonInvalidAlignment and changes nothing.
  int setImageAlignment(int layout, bool repaint);

  // A check-mode button toggles on every click and looks pressed while checked.
  void setCheckMode(bool on);
  void setCheckState(bool checked);  // ignored outside check mode
  bool getCheckState() const;        // false outside check mode

  // Custom face colours for one state; resetColours goes back to the palette's button colours,
  // which then follow every palette change.
  void setFaceColours(FaceState state, const QColor& background, const QColor& text, bool repaint);
  void resetColours(bool repaint);
  QColor faceBackground(FaceState state) const;
  QColor faceText(FaceState state) const;

  // Opened with the desktop's handler on every click; an empty text removes it.
  void setLinkTarget(const QString& target);
  QString linkTarget() const { return linkTarget_; }

  void setAlwaysTrack(bool on);

  bool hover() const { return hover_; }
  bool isFlat() const { return flat_; }
  bool borderOnHover() const { return borderOnHover_; }
  bool standardEdges() const { return standardEdges_; }
  bool alwaysTrack() const { return alwaysTrack_; }
  bool checkMode() const { return isCheckable(); }
  int imageAlignment() const { return imageAlignment_; }
  bool hasImage() const { return !image_.isNull(); }
  QSize imageSize() const { return image_.size(); }

  // The state the next paint draws, from the button's current state.
  bool pressedLook() const;
  ButtonEdge currentEdge() const;

  QSize sizeHint() const override;
  QSize minimumSizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void enterEvent(QEnterEvent* event) override;
  void leaveEvent(QEvent* event) override;
  void focusOutEvent(QFocusEvent* event) override;
  void changeEvent(QEvent* event) override;
  bool event(QEvent* event) override;

 private:
  struct FaceColours {
    std::optional<QColor> background;  // nullopt: the palette's button face
    std::optional<QColor> text;        // nullopt: the palette's button text
  };

  void TrackHover(bool pointerOnButton, bool leftButtonHeld);
  void CancelHover();
  void OnClicked();
  void DrawEdge(QPainter& painter, QRect& rect, ButtonEdge edge) const;

  bool flat_;
  bool borderOnHover_ = true;
  bool standardEdges_ = false;
  bool hover_ = false;
  bool alwaysTrack_ = true;
  int imageAlignment_ = 0;
  std::array<FaceColours, 3> faces_{};
  QPixmap image_;        // with the transparent colour already made transparent
  QPixmap secondImage_;  // shown while hovered or pressed; null when there is none
  QString linkTarget_;
};

}  // namespace vx3::gui
