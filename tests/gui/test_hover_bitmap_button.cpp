// Tests of HoverBitmapButton: the edge and face choice, the drawn looks (rest, hovered, pressed,
// disabled), the transparent colour of the bitmaps, hover tracking and the small setters.
#include "gui/controls/hover_bitmap_button.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QEnterEvent>
#include <QFocusEvent>
#include <QImage>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPalette>

#include <memory>
#include <ostream>
#include <string>

namespace vx3::gui {

// Readable names in failure messages.
[[maybe_unused]] static void PrintTo(ButtonEdge edge, std::ostream* os) {
  static const char* const names[] = {"None", "ThinRaised", "ThinSunken", "ClassicRaised", "ShadowFrame",
                                      "BlackFrame"};
  *os << names[static_cast<int>(edge)];
}

[[maybe_unused]] static void PrintTo(FaceState state, std::ostream* os) {
  static const char* const names[] = {"HoverOrPressed", "Focused", "Rest"};
  *os << names[static_cast<int>(state)];
}

namespace {

// ---- Edge and face choice ----------------------------------------------------------------------

struct EdgeCase {
  bool flat;
  bool standardEdges;
  bool borderOnHover;
  bool hover;
  bool pressed;
  ButtonEdge expected;
};

TEST(HoverBitmapButtonEdge, FollowsTheLookAndState) {
  const EdgeCase cases[] = {
      // The language buttons: flat, standard edges, border on hover.
      {true, true, true, false, false, ButtonEdge::None},
      {true, true, true, true, false, ButtonEdge::ThinRaised},
      {true, true, true, false, true, ButtonEdge::ThinSunken},
      {true, true, true, true, true, ButtonEdge::ThinSunken},
      // Flat without border on hover never shows an edge.
      {true, true, false, false, false, ButtonEdge::None},
      {true, true, false, true, false, ButtonEdge::None},
      {true, true, false, true, true, ButtonEdge::None},
      {true, false, false, true, false, ButtonEdge::None},
      {true, false, false, false, true, ButtonEdge::None},
      // Flat with standard edges off: the sunken edge in every state, even at rest.
      {true, false, true, false, false, ButtonEdge::ThinSunken},
      {true, false, true, true, false, ButtonEdge::ThinSunken},
      {true, false, true, false, true, ButtonEdge::ThinSunken},
      // Non-flat with standard edges: classic raised unless pressed, then the shadow frame.
      {false, true, true, false, false, ButtonEdge::ClassicRaised},
      {false, true, false, true, false, ButtonEdge::ClassicRaised},
      {false, true, true, false, true, ButtonEdge::ShadowFrame},
      {false, true, false, true, true, ButtonEdge::ShadowFrame},
      // Non-flat without standard edges: black and window-coloured frames in every state.
      {false, false, true, false, false, ButtonEdge::BlackFrame},
      {false, false, false, false, true, ButtonEdge::BlackFrame},
      {false, false, true, true, true, ButtonEdge::BlackFrame},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "flat=" << c.flat << " standardEdges=" << c.standardEdges
                                    << " borderOnHover=" << c.borderOnHover << " hover=" << c.hover
                                    << " pressed=" << c.pressed);
    EXPECT_EQ(EdgeFor(c.flat, c.standardEdges, c.borderOnHover, c.hover, c.pressed), c.expected);
  }
}

TEST(HoverBitmapButtonEdge, FaceStatePrefersHoverOrPressedThenFocus) {
  struct Case {
    bool hover, pressed, focused;
    FaceState expected;
  };
  const Case cases[] = {
      {false, false, false, FaceState::Rest},           {false, false, true, FaceState::Focused},
      {true, false, false, FaceState::HoverOrPressed},  {false, true, false, FaceState::HoverOrPressed},
      {true, false, true, FaceState::HoverOrPressed},   {false, true, true, FaceState::HoverOrPressed},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "hover=" << c.hover << " pressed=" << c.pressed << " focused=" << c.focused);
    EXPECT_EQ(FaceStateFor(c.hover, c.pressed, c.focused), c.expected);
  }
}

// ---- Fixture: a language button as the main window configures it ----------------------------

constexpr QRgb kFace = 0xFF3C6E9Au;       // far from every colour of the bitmaps
constexpr QRgb kLight = 0xFFF0F00Au;
constexpr QRgb kMidlight = 0xFFA0A0F0u;
constexpr QRgb kDark = 0xFF142A3Cu;
constexpr QRgb kShadow = 0xFF050505u;
constexpr QRgb kBase = 0xFFFAFAFAu;
constexpr int kButtonWidth = 70;
constexpr int kButtonHeight = 26;

QPalette TestPalette(QRgb face) {
  QPalette pal;
  pal.setColor(QPalette::Button, QColor::fromRgb(face));
  pal.setColor(QPalette::ButtonText, Qt::black);
  pal.setColor(QPalette::Light, QColor::fromRgb(kLight));
  pal.setColor(QPalette::Midlight, QColor::fromRgb(kMidlight));
  pal.setColor(QPalette::Dark, QColor::fromRgb(kDark));
  pal.setColor(QPalette::Shadow, QColor::fromRgb(kShadow));
  pal.setColor(QPalette::Base, QColor::fromRgb(kBase));
  return pal;
}

QRgb PixelAt(const QImage& image, int x, int y) { return image.pixel(x, y) | 0xFF000000u; }

std::string Hex(QRgb c) { return QString::number(c & 0xFFFFFFu, 16).rightJustified(6, u'0').toStdString(); }

void SendMove(QWidget& w, QPoint pos, Qt::MouseButtons buttons) {
  QMouseEvent move(QEvent::MouseMove, QPointF(pos), w.mapToGlobal(QPointF(pos)), Qt::NoButton, buttons,
                   Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &move);
}

void SendButton(QWidget& w, QEvent::Type type, QPoint pos) {
  const Qt::MouseButtons held = type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton;
  QMouseEvent event(type, QPointF(pos), w.mapToGlobal(QPointF(pos)), Qt::LeftButton, held, Qt::NoModifier);
  QCoreApplication::sendEvent(&w, &event);
}

void SendEnter(QWidget& w) {
  const QPointF pos(5, 5);
  QEnterEvent enter(pos, pos, w.mapToGlobal(pos));
  QCoreApplication::sendEvent(&w, &enter);
}

// Counts the clicked() signals of a button for as long as it lives.
struct ClickCounter {
  explicit ClickCounter(QAbstractButton* button)
      : connection(QObject::connect(button, &QAbstractButton::clicked, button, [this] { ++count; })) {}
  ~ClickCounter() { QObject::disconnect(connection); }
  ClickCounter(const ClickCounter&) = delete;
  ClickCounter& operator=(const ClickCounter&) = delete;
  QMetaObject::Connection connection;
  int count = 0;
};

// Tests that need "no window of the program is active" make it so, whatever ran before.
void ClearActiveWindow() { QApplication::setActiveWindow(nullptr); }

void SendLeave(QWidget& w) {
  QEvent leave(QEvent::Leave);
  QCoreApplication::sendEvent(&w, &leave);
}

class LanguageButtonTest : public testing::Test {
 protected:
  void SetUp() override {
    button = std::make_unique<HoverBitmapButton>();
    button->setPalette(TestPalette(kFace));
    button->resize(kButtonWidth, kButtonHeight);
    button->setBorderOnHover(true, false);
    button->setStandardEdges(true, false);
    ASSERT_EQ(button->setBitmapFromResource(134, kLanguageBitmapTransparent), kButtonOk);
  }

  QImage Grab() const { return button->grab().toImage().convertToFormat(QImage::Format_RGB32); }

  // The top-left and bottom-right corners of the drawn button.
  void ExpectCorners(QRgb topLeft, QRgb bottomRight) const {
    const QImage shot = Grab();
    ASSERT_EQ(shot.size(), QSize(kButtonWidth, kButtonHeight));
    EXPECT_EQ(Hex(PixelAt(shot, 0, 0)), Hex(topLeft));
    EXPECT_EQ(Hex(PixelAt(shot, 0, kButtonHeight / 2)), Hex(topLeft)) << "left edge";
    EXPECT_EQ(Hex(PixelAt(shot, kButtonWidth / 2, 0)), Hex(topLeft)) << "top edge";
    EXPECT_EQ(Hex(PixelAt(shot, kButtonWidth - 1, kButtonHeight - 1)), Hex(bottomRight));
    EXPECT_EQ(Hex(PixelAt(shot, kButtonWidth - 1, kButtonHeight / 2)), Hex(bottomRight)) << "right edge";
    EXPECT_EQ(Hex(PixelAt(shot, kButtonWidth / 2, kButtonHeight - 1)), Hex(bottomRight)) << "bottom edge";
    // Inside the edge the face colour of the state shows.
    EXPECT_EQ(Hex(PixelAt(shot, 1, 1)), Hex(button->faceBackground(
                                            FaceStateFor(button->hover(), button->pressedLook(), false)).rgb()));
  }

  std::unique_ptr<HoverBitmapButton> button;
};

// ---- Looks ------------------------------------------------------------------------------------

TEST_F(LanguageButtonTest, StartsFlatWithoutHoverOrCheck) {
  HoverBitmapButton fresh;
  EXPECT_TRUE(fresh.isFlat());
  EXPECT_TRUE(fresh.borderOnHover());
  EXPECT_FALSE(fresh.standardEdges());
  EXPECT_FALSE(fresh.hover());
  EXPECT_TRUE(fresh.alwaysTrack());
  EXPECT_FALSE(fresh.checkMode());
  EXPECT_EQ(fresh.imageAlignment(), 0);
  EXPECT_FALSE(fresh.hasImage());
  EXPECT_TRUE(fresh.linkTarget().isEmpty());
  EXPECT_FALSE(fresh.isCheckable());
}

TEST_F(LanguageButtonTest, RestShowsNoEdge) {
  EXPECT_EQ(button->currentEdge(), ButtonEdge::None);
  ExpectCorners(kFace, kFace);
}

TEST_F(LanguageButtonTest, HoverShowsThinRaisedEdge) {
  SendEnter(*button);
  ASSERT_TRUE(button->hover());
  EXPECT_EQ(button->currentEdge(), ButtonEdge::ThinRaised);
  ExpectCorners(kLight, kDark);
  // The top-right corner belongs to the bottom-right colour of a 3D edge.
  EXPECT_EQ(Hex(PixelAt(Grab(), kButtonWidth - 1, 0)), Hex(kDark));
}

TEST_F(LanguageButtonTest, PressedShowsThinSunkenEdge) {
  button->setDown(true);
  EXPECT_EQ(button->currentEdge(), ButtonEdge::ThinSunken);
  ExpectCorners(kDark, kLight);
  // Still sunken when the mouse is over it too.
  SendMove(*button, QPoint(5, 5), Qt::NoButton);
  ASSERT_TRUE(button->hover());
  ExpectCorners(kDark, kLight);
}

TEST_F(LanguageButtonTest, TransparentColourShowsTheFace) {
  const QImage bitmap = QImage(QStringLiteral(":/bitmap134.png")).convertToFormat(QImage::Format_RGB32);
  ASSERT_FALSE(bitmap.isNull());
  ASSERT_EQ(button->imageSize(), bitmap.size());
  const QImage shot = Grab();
  const QPoint origin((kButtonWidth - bitmap.width()) / 2, (kButtonHeight - bitmap.height()) / 2);
  int transparentSeen = 0;
  int plateSeen = 0;
  for (int y = 0; y < bitmap.height(); ++y) {
    for (int x = 0; x < bitmap.width(); ++x) {
      const QRgb source = PixelAt(bitmap, x, y);
      const QRgb shown = PixelAt(shot, origin.x() + x, origin.y() + y);
      if (source == kLanguageBitmapTransparent) {
        ++transparentSeen;
        ASSERT_EQ(Hex(shown), Hex(kFace)) << "transparent pixel " << x << "," << y;
      } else {
        ++plateSeen;
        ASSERT_EQ(Hex(shown), Hex(source)) << "bitmap pixel " << x << "," << y;
      }
    }
  }
  // The bitmap has both: a surround of the transparent colour and the plate itself.
  EXPECT_GT(transparentSeen, 0);
  EXPECT_GT(plateSeen, 0);
}

TEST_F(LanguageButtonTest, TransparentColourMatchesWithoutAlpha) {
  // A colour given as plain 0xRRGGBB (alpha 0) names the same pixels.
  ASSERT_EQ(button->setBitmapFromResource(131, kLanguageBitmapTransparent & 0xFFFFFFu), kButtonOk);
  const QImage shot = Grab();
  const QPoint origin((kButtonWidth - 64) / 2, (kButtonHeight - 20) / 2);
  EXPECT_EQ(Hex(PixelAt(shot, origin.x(), origin.y())), Hex(kFace));
}

TEST_F(LanguageButtonTest, BothLanguageBitmapsHaveTheTransparentSurround) {
  for (int id : {131, 134}) {
    SCOPED_TRACE(id);
    const QImage bitmap = QImage(QStringLiteral(":/bitmap%1.png").arg(id)).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(bitmap.isNull());
    EXPECT_LE(bitmap.width(), kButtonWidth);
    EXPECT_LE(bitmap.height(), kButtonHeight);
    EXPECT_EQ(PixelAt(bitmap, 0, 0), kLanguageBitmapTransparent);
    EXPECT_EQ(PixelAt(bitmap, bitmap.width() - 1, bitmap.height() - 1), kLanguageBitmapTransparent);
    EXPECT_NE(PixelAt(bitmap, bitmap.width() / 2, bitmap.height() / 2), kLanguageBitmapTransparent);
  }
  EXPECT_FALSE(QImage(QStringLiteral(":/icon128.png")).isNull());
}

TEST_F(LanguageButtonTest, DisabledDrawsTheBitmapGreyedOnTheSameFace) {
  const QImage bitmap = QImage(QStringLiteral(":/bitmap134.png")).convertToFormat(QImage::Format_RGB32);
  const QPoint origin((kButtonWidth - bitmap.width()) / 2, (kButtonHeight - bitmap.height()) / 2);
  const QPoint plate(bitmap.width() / 2, 2);  // the plate's border line, well away from the text
  ASSERT_NE(PixelAt(bitmap, plate.x(), plate.y()), kLanguageBitmapTransparent);

  button->setEnabled(false);
  const QImage shot = Grab();
  EXPECT_EQ(Hex(PixelAt(shot, origin.x(), origin.y())), Hex(kFace));
  EXPECT_NE(Hex(PixelAt(shot, origin.x() + plate.x(), origin.y() + plate.y())),
            Hex(PixelAt(bitmap, plate.x(), plate.y())));
}

TEST_F(LanguageButtonTest, PaletteChangeRepaintsWithTheNewFace) {
  constexpr QRgb newFace = 0xFF7A2B5Cu;
  button->setPalette(TestPalette(newFace));
  ExpectCorners(newFace, newFace);
}

TEST_F(LanguageButtonTest, CustomFaceColoursPerStateAndReset) {
  constexpr QRgb restColour = 0xFF112233u;
  constexpr QRgb hoverColour = 0xFF445566u;
  button->setFaceColours(FaceState::Rest, QColor::fromRgb(restColour), Qt::black, true);
  button->setFaceColours(FaceState::HoverOrPressed, QColor::fromRgb(hoverColour), Qt::black, true);
  EXPECT_EQ(Hex(PixelAt(Grab(), 0, 0)), Hex(restColour));
  SendEnter(*button);
  EXPECT_EQ(Hex(PixelAt(Grab(), 1, 1)), Hex(hoverColour));

  button->resetColours(true);
  EXPECT_EQ(Hex(PixelAt(Grab(), 1, 1)), Hex(kFace));
  SendLeave(*button);
  EXPECT_EQ(Hex(PixelAt(Grab(), 0, 0)), Hex(kFace));
  // Back on the system colours, the face follows the palette again.
  button->setPalette(TestPalette(0xFF808000u));
  EXPECT_EQ(Hex(PixelAt(Grab(), 0, 0)), Hex(0xFF808000u));
}

TEST(HoverBitmapButtonLook, NonFlatButtonsDrawClassicAndFramedEdges) {
  struct Case {
    bool standardEdges;
    bool pressed;
    QRgb outerTopLeft, outerBottomRight, innerTopLeft, innerBottomRight;
  };
  const Case cases[] = {
      {true, false, kLight, kShadow, kMidlight, kDark},  // classic raised
      {true, true, kDark, kDark, kFace, kFace},          // shadow frame only
      {false, false, 0xFF000000u, 0xFF000000u, kBase, kBase},
      {false, true, 0xFF000000u, 0xFF000000u, kBase, kBase},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "standardEdges=" << c.standardEdges << " pressed=" << c.pressed);
    HoverBitmapButton button(nullptr, false);
    button.setPalette(TestPalette(kFace));
    button.resize(kButtonWidth, kButtonHeight);
    button.setStandardEdges(c.standardEdges, false);
    button.setDown(c.pressed);
    const QImage shot = button.grab().toImage().convertToFormat(QImage::Format_RGB32);
    EXPECT_EQ(Hex(PixelAt(shot, 0, 0)), Hex(c.outerTopLeft));
    EXPECT_EQ(Hex(PixelAt(shot, kButtonWidth - 1, kButtonHeight - 1)), Hex(c.outerBottomRight));
    EXPECT_EQ(Hex(PixelAt(shot, 1, 1)), Hex(c.innerTopLeft));
    EXPECT_EQ(Hex(PixelAt(shot, kButtonWidth - 2, kButtonHeight - 2)), Hex(c.innerBottomRight));
  }
}

// ---- Hover tracking ---------------------------------------------------------------------------

TEST_F(LanguageButtonTest, MoveOverSetsHoverAndLeavingClearsIt) {
  SendMove(*button, QPoint(10, 10), Qt::NoButton);
  EXPECT_TRUE(button->hover());
  SendLeave(*button);
  EXPECT_FALSE(button->hover());
  ExpectCorners(kFace, kFace);
}

TEST_F(LanguageButtonTest, MoveWithLeftButtonHeldDoesNotStartHover) {
  SendMove(*button, QPoint(10, 10), Qt::LeftButton);
  EXPECT_FALSE(button->hover());
  SendEnter(*button);  // the same move, now with the button released
  EXPECT_TRUE(button->hover());
}

TEST_F(LanguageButtonTest, FocusLossDeactivationAndDisablingClearHover) {
  struct Step {
    const char* name;
    void (*clear)(HoverBitmapButton&);
  };
  const Step steps[] = {
      {"focus out",
       [](HoverBitmapButton& b) {
         QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
         QCoreApplication::sendEvent(&b, &out);
       }},
      {"window deactivation",
       [](HoverBitmapButton& b) {
         QEvent deactivate(QEvent::WindowDeactivate);
         QCoreApplication::sendEvent(&b, &deactivate);
       }},
      {"disabled", [](HoverBitmapButton& b) { b.setEnabled(false); }},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(step.name);
    button->setEnabled(true);
    SendEnter(*button);
    ASSERT_TRUE(button->hover());
    step.clear(*button);
    EXPECT_FALSE(button->hover());
  }
}

TEST_F(LanguageButtonTest, PressedAndDraggedOffLosesBothLooksUntilReleasedReEntry) {
  ClickCounter clicks(button.get());
  SendMove(*button, QPoint(10, 10), Qt::NoButton);
  SendButton(*button, QEvent::MouseButtonPress, QPoint(10, 10));
  ASSERT_TRUE(button->pressedLook());
  EXPECT_EQ(button->currentEdge(), ButtonEdge::ThinSunken);

  // Dragged off with the button held: neither pressed nor hovered.
  SendMove(*button, QPoint(200, 10), Qt::LeftButton);
  EXPECT_FALSE(button->pressedLook());
  EXPECT_FALSE(button->hover());
  ExpectCorners(kFace, kFace);

  // Back over it, still held: the pressed look returns but no hover edge.
  SendMove(*button, QPoint(10, 10), Qt::LeftButton);
  EXPECT_FALSE(button->hover());
  SendMove(*button, QPoint(200, 10), Qt::LeftButton);
  SendButton(*button, QEvent::MouseButtonRelease, QPoint(200, 10));
  EXPECT_EQ(clicks.count, 0);
  EXPECT_EQ(button->currentEdge(), ButtonEdge::None);

  // Re-entering with the button released lights the edge again.
  SendMove(*button, QPoint(10, 10), Qt::NoButton);
  EXPECT_TRUE(button->hover());
  ExpectCorners(kLight, kDark);
}

TEST_F(LanguageButtonTest, NoActiveWindowStillHoversWhenAlwaysTracking) {
  ClearActiveWindow();
  ASSERT_EQ(QApplication::activeWindow(), nullptr);
  ASSERT_TRUE(button->alwaysTrack());
  SendEnter(*button);
  EXPECT_TRUE(button->hover());
}

TEST_F(LanguageButtonTest, WithoutAlwaysTrackNoActiveWindowMeansNoHover) {
  ClearActiveWindow();
  ASSERT_EQ(QApplication::activeWindow(), nullptr);
  button->setAlwaysTrack(false);
  SendEnter(*button);
  EXPECT_FALSE(button->hover());
  SendMove(*button, QPoint(10, 10), Qt::NoButton);
  EXPECT_FALSE(button->hover());
  ExpectCorners(kFace, kFace);
}

TEST_F(LanguageButtonTest, WithoutAlwaysTrackAnActiveWindowAllowsHover) {
  button->setAlwaysTrack(false);
  button->show();
  button->activateWindow();
  for (int i = 0; i < 50 && QApplication::activeWindow() == nullptr; ++i) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  if (QApplication::activeWindow() == nullptr) GTEST_SKIP() << "the platform gives no window activation";
  SendMove(*button, QPoint(10, 10), Qt::NoButton);
  EXPECT_TRUE(button->hover());
  button->hide();
  ClearActiveWindow();
}

TEST(HoverBitmapButtonTracking, NonFlatButtonNeverHovers) {
  HoverBitmapButton button(nullptr, false);
  button.resize(kButtonWidth, kButtonHeight);
  SendEnter(button);
  SendMove(button, QPoint(5, 5), Qt::NoButton);
  EXPECT_FALSE(button.hover());
}

// ---- Setters ----------------------------------------------------------------------------------

TEST_F(LanguageButtonTest, BitmapResults) {
  struct Case {
    const char* name;
    int bitmapId;
    int secondId;
    int expected;
    bool hasImage;
  };
  const Case cases[] = {
      {"Chinese plate", 131, 0, kButtonOk, true},
      {"English plate", 134, 0, kButtonOk, true},
      {"with a second image", 131, 134, kButtonOk, true},
      {"unknown id", 999, 0, kButtonInvalidResource, false},
      {"negative id", -131, 0, kButtonInvalidResource, false},
      {"the icon is not a bitmap resource", 128, 0, kButtonInvalidResource, false},
      {"unknown second id", 131, 999, kButtonInvalidResource, false},
      {"no image", 0, 0, kButtonOk, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    // Each load replaces a working image, so a failure visibly drops it.
    ASSERT_EQ(button->setBitmapFromResource(134, kLanguageBitmapTransparent), kButtonOk);
    EXPECT_EQ(button->setBitmapFromResource(c.bitmapId, kLanguageBitmapTransparent, c.secondId), c.expected);
    EXPECT_EQ(button->hasImage(), c.hasImage);
  }
}

TEST_F(LanguageButtonTest, FailedLoadLeavesABlankFace) {
  ASSERT_EQ(button->setBitmapFromResource(999, kLanguageBitmapTransparent), kButtonInvalidResource);
  const QImage shot = Grab();
  for (int y = 0; y < shot.height(); ++y) {
    for (int x = 0; x < shot.width(); ++x) ASSERT_EQ(Hex(PixelAt(shot, x, y)), Hex(kFace)) << x << "," << y;
  }
}

TEST_F(LanguageButtonTest, SecondImageShowsWhileHovered) {
  ASSERT_EQ(button->setBitmapFromResource(134, kLanguageBitmapTransparent, 131), kButtonOk);
  const QImage chinese = QImage(QStringLiteral(":/bitmap131.png")).convertToFormat(QImage::Format_RGB32);
  const QImage english = QImage(QStringLiteral(":/bitmap134.png")).convertToFormat(QImage::Format_RGB32);
  const QPoint origin((kButtonWidth - chinese.width()) / 2, (kButtonHeight - chinese.height()) / 2);
  ASSERT_NE(PixelAt(chinese, 2, 2), PixelAt(english, 2, 2));
  EXPECT_EQ(Hex(PixelAt(Grab(), origin.x() + 2, origin.y() + 2)), Hex(PixelAt(english, 2, 2)));
  SendEnter(*button);
  EXPECT_EQ(Hex(PixelAt(Grab(), origin.x() + 2, origin.y() + 2)), Hex(PixelAt(chinese, 2, 2)));
}

TEST_F(LanguageButtonTest, ImageAlignmentAcceptsOnlyTheTwoLayouts) {
  EXPECT_EQ(button->setImageAlignment(1, true), kButtonOk);
  EXPECT_EQ(button->imageAlignment(), 1);
  for (int bad : {2, -1, 6, 100}) {
    SCOPED_TRACE(bad);
    EXPECT_EQ(button->setImageAlignment(bad, true), kButtonInvalidAlignment);
    EXPECT_EQ(button->imageAlignment(), 1);
  }
  EXPECT_EQ(button->setImageAlignment(0, false), kButtonOk);
  EXPECT_EQ(button->imageAlignment(), 0);
}

TEST_F(LanguageButtonTest, CheckStateOnlyInCheckMode) {
  button->setCheckState(true);
  EXPECT_FALSE(button->getCheckState());
  EXPECT_FALSE(button->pressedLook());

  button->setCheckMode(true);
  button->setCheckState(true);
  EXPECT_TRUE(button->getCheckState());
  EXPECT_EQ(button->currentEdge(), ButtonEdge::ThinSunken) << "checked looks pressed";
  button->click();
  EXPECT_FALSE(button->getCheckState()) << "a click toggles";
  button->click();
  EXPECT_TRUE(button->getCheckState());

  button->setCheckMode(false);
  EXPECT_FALSE(button->getCheckState());
  EXPECT_EQ(button->currentEdge(), ButtonEdge::None);
}

TEST(HoverBitmapButtonSetters, LinkTargetKeepsAtMost260Characters) {
  HoverBitmapButton button;
  const QString address = QStringLiteral("https://example.org/");
  button.setLinkTarget(address);
  EXPECT_EQ(button.linkTarget(), address);

  const QString exact(kLinkTargetMaxChars, u'a');
  button.setLinkTarget(exact);
  EXPECT_EQ(button.linkTarget(), exact);

  button.setLinkTarget(exact + QStringLiteral("bcdef"));
  EXPECT_EQ(button.linkTarget(), exact);

  // A character outside the basic plane straddling the cut is dropped whole.
  const QString straddling = QString(kLinkTargetMaxChars - 1, u'a') + QString::fromUcs4(U"\U0001F600");
  button.setLinkTarget(straddling);
  EXPECT_EQ(button.linkTarget(), QString(kLinkTargetMaxChars - 1, u'a'));

  button.setLinkTarget(QString());
  EXPECT_TRUE(button.linkTarget().isEmpty());
}

TEST_F(LanguageButtonTest, EnterDoesNotClickButSpaceDoes) {
  ClickCounter clicks(button.get());
  for (int key : {int(Qt::Key_Return), int(Qt::Key_Enter)}) {
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier);
    QCoreApplication::sendEvent(button.get(), &press);
    QCoreApplication::sendEvent(button.get(), &release);
  }
  EXPECT_EQ(clicks.count, 0);

  QKeyEvent press(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  QKeyEvent release(QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, QStringLiteral(" "));
  QCoreApplication::sendEvent(button.get(), &press);
  QCoreApplication::sendEvent(button.get(), &release);
  EXPECT_EQ(clicks.count, 1);
}

TEST_F(LanguageButtonTest, ClickWithTheMouseIsReported) {
  ClickCounter clicks(button.get());
  SendButton(*button, QEvent::MouseButtonPress, QPoint(10, 10));
  SendButton(*button, QEvent::MouseButtonRelease, QPoint(10, 10));
  EXPECT_EQ(clicks.count, 1);
  EXPECT_FALSE(button->pressedLook());
}

}  // namespace
}  // namespace vx3::gui
