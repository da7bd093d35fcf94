// The one formatter for printf-style texts that come from files or from the Writer: language
// texts such as "The EPROM check sum is %04X" and the Writer's own messages. It never hands such
// a text to the C printf family and refuses any text that does not fit its arguments.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace vx3::text {

// One argument: a number (for %d %i %u %x %X %o %c) or a text (for %s).
class FormatArg {
 public:
  // NOLINTNEXTLINE(google-explicit-constructor): arguments read best as plain values.
  FormatArg(std::int64_t number) : isText_(false), number_(number) {}
  FormatArg(int number) : FormatArg(static_cast<std::int64_t>(number)) {}                // NOLINT
  FormatArg(unsigned number) : FormatArg(static_cast<std::int64_t>(number)) {}           // NOLINT
  FormatArg(std::string_view text) : isText_(true), text_(text) {}                       // NOLINT
  FormatArg(const std::string& text) : FormatArg(std::string_view(text)) {}              // NOLINT
  FormatArg(const char* text) : FormatArg(std::string_view(text)) {}                     // NOLINT

  bool isText() const { return isText_; }
  std::int64_t number() const { return number_; }
  std::string_view text() const { return text_; }

 private:
  bool isText_;
  std::int64_t number_ = 0;
  std::string_view text_;
};

// Formats `format` with `args`, or returns nullopt when the text does not fit them:
// - a conversion is % [flags -+ #0] [width] [.precision] [h|hh|l|ll] type, or %%;
// - the types allowed are d i u x X o c for a number argument and s for a text argument,
//   matched in order; %n, %p, %f and every other type are refused, as are * and n$;
// - width and precision have at most two digits;
// - there are at most as many conversions as arguments (fewer is fine, as with printf);
// - a lone % at the end is refused.
// The results are those of C printf for the same text: "%X" of -1 is FFFFFFFF, "%c" writes one
// byte, and the width and precision of %s count bytes, whatever the text's encoding.
std::optional<std::string> SafeFormat(std::string_view format, std::span<const FormatArg> args);

inline std::optional<std::string> SafeFormat(std::string_view format, std::initializer_list<FormatArg> args) {
  return SafeFormat(format, std::span<const FormatArg>(args.begin(), args.size()));
}

}  // namespace vx3::text
