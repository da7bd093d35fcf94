// Message-box types and answers, with the values of the platform flags the program was made for.
#pragma once

namespace vx3::text {

// Buttons (low nibble) and icon (next nibble) of a message box, combined with |.
namespace box {
inline constexpr int kOk = 0x00;
inline constexpr int kOkCancel = 0x01;
inline constexpr int kYesNo = 0x04;
inline constexpr int kIconError = 0x10;
inline constexpr int kIconQuestion = 0x20;
inline constexpr int kIconExclamation = 0x30;
inline constexpr int kIconInformation = 0x40;
// The second button (No, Cancel) is the default: Enter, and a box nobody answers, mean it.
inline constexpr int kDefaultSecond = 0x100;
inline constexpr int kButtonMask = 0x0F;
inline constexpr int kIconMask = 0xF0;
}  // namespace box

// The button that closed a message box.
namespace answer {
inline constexpr int kOk = 1;
inline constexpr int kCancel = 2;
inline constexpr int kYes = 6;
inline constexpr int kNo = 7;
}  // namespace answer

}  // namespace vx3::text
