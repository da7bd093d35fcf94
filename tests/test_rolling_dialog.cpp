// The Rolling Code dialog through its opening command on a fake window: what the controls show
// at start, the alignment line, the method and alignment radios, the Auto-Inc defaults, what OK
// writes into the rolling INI and the header, the reload that follows, and the faults.
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/rolling_commands.h"
#include "app/rolling_dialog_command.h"
#include "platform/ini_profile.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_dialog.h"
#include "support/fake_bridge.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/image_builder.h"
#include "support/temp_dir.h"

namespace vx3::app {
namespace {

namespace fs = std::filesystem;
namespace dlg = rolling::dlg;
using rolling::RollingMethod;
using testing::FakeView;
using Controls = FakeView::RollingControls;

class RollingDialogTest : public ::testing::Test {
 protected:
  RollingDialogTest() : context_(locale_, clock_, std::make_unique<testing::FakeBridge>()) {
    context_.state.programDir = dir_.path();
    context_.reporter.SetProgramDir(dir_.path());
    context_.reporter.AttachView(&view_);
    context_.language.SetFile(dir_.path() / "language" / "UIEng.ini");
    UseImage("VX3P1020", 0x800);
  }

  void UseImage(std::string_view device, std::uint32_t romWords, std::uint32_t autoIncWord = 1) {
    image::LoadedImage& image = context_.image;
    image.deviceName = device;
    image.imagePath = dir_.path() / "CODE.VX3";
    image.romWords = romWords;
    image.romBytes = 2 * romWords;
    image.autoIncWord = autoIncWord;
    context_.rolling.iniPath = dir_.path() / "CODE.INI";
  }

  // Writes the rolling INI and loads it as an image load does.
  void LoadIni(const testing::RollingIniFields& fields) {
    testing::WriteRollingIni(context_.rolling.iniPath, fields);
    ReloadRollingSettings(context_, false);
  }

  std::string Ini(std::string_view key) const {
    return platform::ReadProfileString(context_.rolling.iniPath, rolling::kRollingSection, key).value_or("<absent>");
  }

  // Opens the dialog; the script clicks and answers OK (true) or Cancel (false).
  bool Open(FakeView::RollingScript script) {
    view_.rollingScript = std::move(script);
    return OpenRollingCodeDialog(context_, view_);
  }
  const Controls& Shown() const { return view_.rollingControls; }
  const testing::FakeControl& Control(int id) { return view_.rollingControls.controls[id]; }

  testing::TempDir dir_;
  testing::FakeClock clock_;
  platform::StandInThreadLocale locale_;
  FakeView view_;
  AppContext context_;
};

testing::RollingIniFields ValidIni(std::string address = "0x101", std::string length = "2",
                                   std::string count = "0002ABCD") {
  testing::RollingIniFields f;
  f.way = "INI";
  f.order = "L2H";
  f.address = std::move(address);
  f.wordLength = std::move(length);
  f.count = std::move(count);
  return f;
}

bool Cancel(rolling::RollingDialog&, Controls&) { return false; }
bool Ok(rolling::RollingDialog&, Controls&) { return true; }

TEST_F(RollingDialogTest, NoImageIsANoteAndNoDialog) {
  context_.image.imagePath.clear();
  EXPECT_FALSE(Open(Ok));
  EXPECT_EQ(view_.rollingDialogRuns, 0);
  EXPECT_EQ(view_.status, "Please select file at first !!!\r\n");
  EXPECT_TRUE(context_.rolling.confirmZeroStep);
}

TEST_F(RollingDialogTest, StartShowsTheSettings) {
  LoadIni(ValidIni());
  EXPECT_FALSE(Open(Cancel));
  EXPECT_EQ(view_.rollingDialogRuns, 1);
  EXPECT_EQ(locale_.Current(), platform::kLocaleEnglishUs);
  const std::pair<int, std::string_view> texts[] = {
      {dlg::kStartAddressLabel, "Start Address :"},
      {dlg::kWordLengthLabel, "Word Length :"},
      {dlg::kValueLabel, "Rolling Value :"},
      {dlg::kStepLabel, "Step Value :"},
      {dlg::kMethodGroup, "Rolling Method"},
      {dlg::kAutoInc, "Auto-Inc from filename.INI"},
      {dlg::kRunExe, "Run RollCode.exe"},
      {dlg::kCustom, "Custom Defined"},
      {dlg::kNotUsed, "No Use Rolling Code"},
      {dlg::kHowToGroup, "How to auto. generate filename.INI ?"},
      {dlg::kAlignmentGroup, "Word Alignment"},
      {dlg::kOk, "OK"},
      {dlg::kHighAtLowAddress, "Highest word is low address"},
      {dlg::kLowAtLowAddress, "Lowest word is low address"},
      {dlg::kVerify, "Verify ROM without RollingCode in Verify mode "},
      {dlg::kStartAddress, "0x101"},
      {dlg::kWordLength, "0x2"},
      {dlg::kValue, "0002 ABCD "},
      {dlg::kStep, "0000 0001 "},
      {dlg::kAlignmentLine, "Word Alignment : 0x102 0x101 "},
  };
  for (const auto& [id, text] : texts) EXPECT_EQ(Control(id).text, text) << id;
  EXPECT_EQ(Control(dlg::kDescription).text.substr(0, 13), "At Asm,  Add ");
  EXPECT_TRUE(Control(dlg::kAutoInc).enabled);
  EXPECT_TRUE(Control(dlg::kAutoInc).checked);
  EXPECT_FALSE(Control(dlg::kRunExe).enabled);  // no generator named
  EXPECT_FALSE(Control(dlg::kCustom).enabled);
  EXPECT_FALSE(Control(dlg::kNotUsed).checked);
  EXPECT_FALSE(Control(dlg::kHighAtLowAddress).enabled);
  EXPECT_TRUE(Control(dlg::kLowAtLowAddress).checked);
  EXPECT_FALSE(Control(dlg::kVerify).checked);
  // Cancel leaves the INI and the status box as they were.
  EXPECT_EQ(Ini("Count"), "0002ABCD");
  EXPECT_EQ(view_.status, "");
}

TEST_F(RollingDialogTest, ChineseTextsAndLocale) {
  context_.state.isEnglish = false;
  context_.language.SetFile(fs::path(VX3WT_PROGRAM_DIR) / "language" / "UIChina.ini");
  LoadIni(ValidIni());
  Open(Cancel);
  EXPECT_EQ(locale_.Current(), platform::kLocaleChineseSimplified);
  EXPECT_EQ(Control(dlg::kStartAddressLabel).text, "起始地址 :");
  EXPECT_EQ(Control(dlg::kAlignmentLine).text, "字序 : 0x102 0x101 ");
}

TEST_F(RollingDialogTest, AlignmentLineListsTheWordsAsTheValueShowsThem) {
  LoadIni(ValidIni("0x101", "3"));
  // The line as such: address 0x100, three words, lowest word at the low address.
  context_.rolling.address = 0x100;
  Open([](rolling::RollingDialog&, Controls& controls) {
    EXPECT_EQ(controls.Text(dlg::kAlignmentLine), "Word Alignment : 0x102 0x101 0x100 ");
    return false;
  });
  context_.rolling.lowWordFirst = false;
  Open([](rolling::RollingDialog& dialog, Controls& controls) {
    EXPECT_TRUE(controls.IsChecked(dlg::kHighAtLowAddress));
    EXPECT_EQ(controls.Text(dlg::kAlignmentLine), "Word Alignment : 0x100 0x101 0x102 ");
    dialog.OnAlignmentRadio(controls, dlg::kLowAtLowAddress);
    EXPECT_EQ(controls.Text(dlg::kAlignmentLine), "Word Alignment : 0x102 0x101 0x100 ");
    EXPECT_TRUE(dialog.dialogLowWordFirst());
    return false;
  });
  EXPECT_FALSE(context_.rolling.lowWordFirst);  // only OK hands the choice over
}

TEST_F(RollingDialogTest, ByteWordDeviceShowsLowBytes) {
  UseImage("VXTERN", 0x400);
  testing::RollingIniFields f = ValidIni("0x301", "4", "0012003400560078");
  LoadIni(f);
  Open(Cancel);
  EXPECT_EQ(Control(dlg::kValueLabel).text, "Rolling Value :  (Low Byte)");
  EXPECT_EQ(Control(dlg::kValue).text, "12 34 56 78 ");
  EXPECT_EQ(Control(dlg::kStep).text, "00 00 00 01 ");
}

TEST_F(RollingDialogTest, ByteWordValueEditedAndWrittenBack) {
  UseImage("VXTERN", 0x400);
  LoadIni(ValidIni("0x301", "4", "0012003400560078"));
  ASSERT_TRUE(Open([](rolling::RollingDialog&, Controls& controls) {
    controls.SetText(dlg::kValue, "12 34 56 79 ");
    return true;
  }));
  EXPECT_EQ(Ini("Count"), "0012003400560079");
  ReloadRollingSettings(context_, false);
  EXPECT_EQ(context_.rolling.value[0], 0x79U);
  EXPECT_EQ(context_.rolling.value[3], 0x12U);
}

TEST_F(RollingDialogTest, GeneratorRadio) {
  const fs::path generator = dir_.WriteFile("RollCode.exe", "stand-in");
  testing::RollingIniFields f = ValidIni();
  f.way = "EXE";
  f.exeFile = platform::PathToUtf8(generator);
  LoadIni(f);
  ASSERT_EQ(context_.rolling.method, RollingMethod::RunExe);
  Open(Cancel);
  EXPECT_TRUE(Control(dlg::kRunExe).enabled);
  EXPECT_TRUE(Control(dlg::kRunExe).checked);
  EXPECT_EQ(Control(dlg::kRunExe).text, "Run " + platform::PathToUtf8(generator));

  // The generator gone: the radio is off and keeps its language text.
  fs::remove(generator);
  Open(Cancel);
  EXPECT_FALSE(Control(dlg::kRunExe).enabled);
  EXPECT_EQ(Control(dlg::kRunExe).text, "Run RollCode.exe");
}

TEST_F(RollingDialogTest, AutoIncOfferedForAnAddressOrByTheToolChain) {
  struct Row {
    bool withIni;
    std::uint32_t autoIncWord;
    bool enabled;
  };
  for (const Row& row : {Row{true, 1, true}, Row{false, 1, false}, Row{false, 2, true}}) {
    fs::remove(context_.rolling.iniPath);
    UseImage("VX3P1020", 0x800, row.autoIncWord);
    if (row.withIni) LoadIni(ValidIni()); else ReloadRollingSettings(context_, false);
    Open(Cancel);
    EXPECT_EQ(Control(dlg::kAutoInc).enabled, row.enabled) << row.withIni << row.autoIncWord;
  }
}

// The Auto-Inc radio without a rolling code: defaults that pass the reload, written by OK; a
// cancelled dialog writes nothing, so that the next load does not switch the rolling code on.
struct DefaultsCase {
  const char* name;
  std::uint32_t romWords;
  std::string address;
  std::uint32_t addressValue;
  bool ok;
};

class RollingDialogDefaultsTest : public RollingDialogTest, public ::testing::WithParamInterface<DefaultsCase> {};

TEST_P(RollingDialogDefaultsTest, WrittenByOkAndPassTheReload) {
  const DefaultsCase& c = GetParam();
  UseImage("VX3P1020", c.romWords, 2);
  ReloadRollingSettings(context_, false);  // no INI
  const bool changed = Open([&c](rolling::RollingDialog& dialog, Controls& controls) {
    dialog.OnMethodRadio(controls, dlg::kAutoInc);
    EXPECT_EQ(controls.Text(dlg::kStartAddress), c.address);
    EXPECT_EQ(controls.Text(dlg::kWordLength), "2");
    EXPECT_EQ(controls.Text(dlg::kValue), "0000 0000 ");
    EXPECT_EQ(controls.Text(dlg::kStep), "0000 0001 ");
    EXPECT_TRUE(controls.IsChecked(dlg::kLowAtLowAddress));
    EXPECT_EQ(controls.Text(dlg::kAlignmentLine),
              fmt::format("Word Alignment : 0x{:X} 0x{:X} ", c.addressValue + 1, c.addressValue));
    return c.ok;
  });
  EXPECT_EQ(changed, c.ok);
  if (!c.ok) {
    EXPECT_EQ(Ini("Address"), "<absent>");
    EXPECT_EQ(Ini("Word_Length"), "<absent>");
    EXPECT_EQ(Ini("Order"), "<absent>");
    EXPECT_EQ(context_.rolling.address, 0U);
    ReloadRollingSettings(context_, false);
    EXPECT_EQ(context_.rolling.method, RollingMethod::NotUsed);
    return;
  }
  EXPECT_EQ(Ini("Address"), c.address);
  EXPECT_EQ(Ini("Word_Length"), "2");
  EXPECT_EQ(Ini("Order"), "L2H");

  ReloadRollingSettings(context_, true);
  EXPECT_TRUE(view_.messages.empty()) << view_.messages[0].text;
  EXPECT_EQ(context_.rolling.method, RollingMethod::AutoInc);
  EXPECT_EQ(context_.rolling.address, c.addressValue);
  EXPECT_EQ(context_.rolling.wordLength, 2U);
  EXPECT_EQ(context_.rolling.value[0], 0U);
  EXPECT_EQ(context_.rolling.value[1], 0U);
  EXPECT_EQ(context_.rolling.step[0], 1U);
  EXPECT_EQ(context_.rolling.step[1], 0U);
}

INSTANTIATE_TEST_SUITE_P(Cases, RollingDialogDefaultsTest,
                         ::testing::Values(DefaultsCase{"EvenRomOk", 0x1000, "0xFF5", 0xFF5, true},
                                           DefaultsCase{"EvenRomCancel", 0x1000, "0xFF5", 0xFF5, false},
                                           DefaultsCase{"OddRomOk", 0x7FF, "0x7F5", 0x7F5, true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(RollingDialogTest, AutoIncWithAnAddressKeepsTheSettings) {
  LoadIni(ValidIni());
  Open([](rolling::RollingDialog& dialog, Controls& controls) {
    dialog.OnMethodRadio(controls, dlg::kAutoInc);
    EXPECT_EQ(controls.Text(dlg::kStartAddress), "0x101");
    return false;
  });
  EXPECT_EQ(Ini("Address"), "0x101");
}

// OK: the method note and every key, by method.
struct OkCase {
  const char* name;
  int radio;
  const char* note;
  const char* way;
};

class RollingDialogOkTest : public RollingDialogTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(RollingDialogOkTest, WritesTheChoices) {
  const OkCase& c = GetParam();
  LoadIni(ValidIni());
  const int radio = c.radio;
  ASSERT_TRUE(Open([radio](rolling::RollingDialog& dialog, Controls& controls) {
    dialog.OnMethodRadio(controls, radio);
    controls.SetText(dlg::kValue, "0001 FFFF");
    controls.SetText(dlg::kStep, "2");
    return true;
  }));
  EXPECT_EQ(view_.status, std::string(c.note) + "\r\n");
  EXPECT_EQ(Ini("Way"), c.way);
  EXPECT_EQ(Ini("Order"), "L2H");
  EXPECT_EQ(Ini("Count"), "0001FFFF");
  EXPECT_EQ(Ini("Step"), "00000002");
  EXPECT_EQ(Ini("Verify"), "0");
  EXPECT_EQ(context_.rolling.value[0], 0xFFFFU);
  EXPECT_EQ(context_.rolling.value[1], 0x0001U);
  EXPECT_EQ(context_.rolling.step[0], 2U);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RollingDialogOkTest,
    ::testing::Values(OkCase{"AutoInc", dlg::kAutoInc, "Rolling Code generate from INI", "INI"},
                      OkCase{"NotUsed", dlg::kNotUsed, "Rolling Code disable", "DISABLE"},
                      OkCase{"Custom", dlg::kCustom, "Rolling Code generate from CUSTOM", "CUSTOM"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(RollingDialogTest, VerifyChoiceIntoFlagHeaderAndIni) {
  LoadIni(ValidIni());
  context_.eepromHeader.bytes[26] = 0;
  ASSERT_TRUE(Open([](rolling::RollingDialog&, Controls& controls) {
    controls.SetChecked(dlg::kVerify, true);
    return true;
  }));
  EXPECT_EQ(context_.eepromHeader.bytes[26], 1);
  EXPECT_TRUE(context_.rolling.verifyWithoutRolling);
  EXPECT_EQ(Ini("Verify"), "1");

  // The box starts unchecked each time; OK without it clears both.
  ASSERT_TRUE(Open(Ok));
  EXPECT_EQ(context_.eepromHeader.bytes[26], 0);
  EXPECT_FALSE(context_.rolling.verifyWithoutRolling);
  EXPECT_EQ(Ini("Verify"), "0");

  // Cancel changes neither.
  context_.eepromHeader.bytes[26] = 1;
  context_.rolling.verifyWithoutRolling = true;
  Open(Cancel);
  EXPECT_EQ(context_.eepromHeader.bytes[26], 1);
  EXPECT_TRUE(context_.rolling.verifyWithoutRolling);
}

TEST_F(RollingDialogTest, ZeroLengthWritesNoValue) {
  testing::RollingIniFields f = ValidIni("0x101", "0");
  f.count = "1234";
  LoadIni(f);  // "has some question": length 0
  ASSERT_TRUE(Open(Ok));
  EXPECT_EQ(Ini("Count"), "1234");
  EXPECT_EQ(Ini("Step"), "<absent>");
  EXPECT_EQ(Ini("Way"), "DISABLE");
  EXPECT_EQ(Ini("Verify"), "0");
}

TEST_F(RollingDialogTest, ZeroStepConfirmedOnceAfterOk) {
  LoadIni(ValidIni());
  ASSERT_TRUE(Open([](rolling::RollingDialog&, Controls& controls) {
    controls.SetText(dlg::kStep, "0000 0000");
    return true;
  }));
  ReloadRollingSettings(context_, true);
  ASSERT_EQ(view_.messages.size(), 1U);
  EXPECT_EQ(view_.messages[0].text, rolling::kMessageZeroStep);
  ReloadRollingSettings(context_, true);
  EXPECT_EQ(view_.messages.size(), 1U);
}

TEST_F(RollingDialogTest, FailedWriteIsReportedAndNothingMoves) {
  LoadIni(ValidIni());
  const rolling::RollingSettings before = context_.rolling;
  // The INI's folder is gone: no write can succeed.
  context_.rolling.iniPath = dir_.path() / "gone" / "CODE.INI";
  EXPECT_FALSE(Open([](rolling::RollingDialog& dialog, Controls& controls) {
    dialog.OnMethodRadio(controls, dlg::kNotUsed);
    controls.SetText(dlg::kValue, "0009 0009");
    return true;
  }));
  const std::string ini = platform::PathToUtf8(context_.rolling.iniPath);
  EXPECT_EQ(view_.status, "Rolling Code disable\r\nErr: Can't write Way of Rolling Code into " + ini + " !!!\r\n");
  EXPECT_EQ(context_.rolling.method, before.method);
  EXPECT_EQ(context_.rolling.value, before.value);
}

}  // namespace
}  // namespace vx3::app
