// The main window's control ids, the same numbers the window layout has always used.
#pragma once

namespace vx3::app::ctl {

inline constexpr int kDeviceGroup = 1019;
inline constexpr int kDeviceLoad = 1000;
inline constexpr int kDeviceName = 1013;
inline constexpr int kOfflineGroup = 1044;
inline constexpr int kFunction0 = 1042;
inline constexpr int kFunction6 = 1041;
inline constexpr int kOnlineGroup = 1027;
inline constexpr int kAutoProgram = 1003;
inline constexpr int kBlankCheck = 1004;
inline constexpr int kProgram = 1005;
inline constexpr int kVerify = 1006;
inline constexpr int kRead = 1007;
inline constexpr int kRollingCode = 1014;
inline constexpr int kFileNameCaption = 1015;
inline constexpr int kFileName = 1016;
inline constexpr int kChecksumCaption = 1009;
inline constexpr int kChecksum = 1036;
inline constexpr int kDriverVersionCaption = 1012;
inline constexpr int kDriverVersion = 1037;
inline constexpr int kStatusCaption = 1018;
inline constexpr int kStatusValue = 1010;
inline constexpr int kStatusBox = 1017;
inline constexpr int kOneKeyLoad = 1020;
inline constexpr int kChinese = 1034;
inline constexpr int kEnglish = 1035;
inline constexpr int kLoadOtp = 1031;
inline constexpr int kProgramMcu = 1001;
inline constexpr int kOperateEeprom = 1002;
inline constexpr int kChooseDevice = 1043;
inline constexpr int kLoadVx3 = 1045;
inline constexpr int kAbout = 1008;
inline constexpr int kIcon = 1011;
// The production record's part of the window: the button that starts the counters again, and
// the right-click menu's item that exports the record (its text is set as a control's).
inline constexpr int kResetCounters = 1061;
inline constexpr int kExportRecord = 1062;

// The six operation buttons, enabled and disabled together by the commands.
inline constexpr int kOperationButtons[] = {kAutoProgram, kBlankCheck, kProgram, kVerify, kRead, kRollingCode};
// What a failed load or a Writer without a valid job turns off: the six, and Load OTP, which
// acts on the chip with them.
inline constexpr int kChipButtons[] = {kAutoProgram, kBlankCheck, kProgram, kVerify, kRead, kRollingCode, kLoadOtp};
// Every button that starts a Writer job: they look disabled while one runs.
inline constexpr int kWriterCommandButtons[] = {kDeviceLoad, kOneKeyLoad, kAutoProgram, kBlankCheck, kProgram,
                                                kVerify,     kRead,       kRollingCode, kLoadOtp};

}  // namespace vx3::app::ctl

// Choose Device's control ids.
namespace vx3::app::chooser_ctl {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kSeriesList = 1054;
inline constexpr int kSeriesCaption = 1055;
inline constexpr int kTypeCaption = 1056;
inline constexpr int kTypeList = 1057;
}  // namespace vx3::app::chooser_ctl

namespace vx3::app {
// The system-menu command of the About item.
inline constexpr int kAboutCommand = 0x0010;
// Resources drawn by the window: the program icon and the two language bitmaps.
inline constexpr int kIconResource = 128;
inline constexpr int kChineseBitmap = 131;
inline constexpr int kEnglishBitmap = 134;
}  // namespace vx3::app
