// The one formatter for printf-style texts from language files and from the Writer: parses the
// text itself, checks every conversion against its argument, and formats numbers through fmt.
#include "ui_text/safe_format.h"

#include <fmt/printf.h>

#include <cstddef>
#include <exception>
#include <limits>

namespace vx3::text {
namespace {

// One parsed conversion. Width and precision are -1 when absent; both are at most 99, which
// is what bounds the output.
struct Conversion {
  bool leftAlign = false;  // '-'
  bool plusSign = false;   // '+'
  bool spaceSign = false;  // ' '
  bool alternate = false;  // '#'
  bool zeroPad = false;    // '0'
  int width = -1;
  int precision = -1;
  char type = 0;
};

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Reads at most two decimal digits at format[pos]. Returns -1 when there are none and -2 when
// there are three or more, so a huge width like "%.99999999d" is refused before it costs anything.
int ReadSmallNumber(std::string_view format, std::size_t& pos) {
  int value = 0;
  int digits = 0;
  while (pos < format.size() && IsDigit(format[pos])) {
    if (++digits > 2) return -2;
    value = value * 10 + (format[pos] - '0');
    ++pos;
  }
  return digits == 0 ? -1 : value;
}

// Parses the conversion whose '%' is at format[pos - 1]; on success pos is past its type.
// Refuses *, n$, three-digit widths and precisions, and a text that ends inside the conversion.
bool ParseConversion(std::string_view format, std::size_t& pos, Conversion& conv) {
  for (; pos < format.size(); ++pos) {
    const char c = format[pos];
    if (c == '-') {
      conv.leftAlign = true;
    } else if (c == '+') {
      conv.plusSign = true;
    } else if (c == ' ') {
      conv.spaceSign = true;
    } else if (c == '#') {
      conv.alternate = true;
    } else if (c == '0') {
      conv.zeroPad = true;
    } else {
      break;
    }
  }
  conv.width = ReadSmallNumber(format, pos);
  if (conv.width == -2) return false;
  if (pos < format.size() && (format[pos] == '*' || format[pos] == '$')) return false;
  if (pos < format.size() && format[pos] == '.') {
    ++pos;
    conv.precision = ReadSmallNumber(format, pos);
    if (conv.precision == -2) return false;
    if (conv.precision == -1) conv.precision = 0;  // "." alone means precision 0, as in C.
    if (pos < format.size() && format[pos] == '*') return false;
  }
  // Length modifiers are accepted for the texts written for C, but the argument's own type
  // decides how it is formatted.
  if (pos < format.size() && (format[pos] == 'h' || format[pos] == 'l')) {
    const char modifier = format[pos++];
    if (pos < format.size() && format[pos] == modifier) ++pos;
  }
  if (pos >= format.size()) return false;
  conv.type = format[pos++];
  return true;
}

bool IsNumberType(char type) {
  switch (type) {
    case 'd':
    case 'i':
    case 'u':
    case 'x':
    case 'X':
    case 'o':
    case 'c':
      return true;
    default:
      return false;
  }
}

// Writes `text` padded with spaces to `width` bytes, as printf pads %s and %c.
void AppendPadded(std::string& out, std::string_view text, int width, bool leftAlign) {
  const std::size_t pad = width > 0 && static_cast<std::size_t>(width) > text.size()
                              ? static_cast<std::size_t>(width) - text.size()
                              : 0;
  if (!leftAlign) out.append(pad, ' ');
  out.append(text);
  if (leftAlign) out.append(pad, ' ');
}

// %s counts bytes, as printf does: fmt would count code points and display columns, which
// differs for texts that are not plain ASCII (and language files need not be UTF-8).
void AppendText(std::string& out, const Conversion& conv, std::string_view text) {
  if (conv.precision >= 0 && text.size() > static_cast<std::size_t>(conv.precision)) {
    text = text.substr(0, static_cast<std::size_t>(conv.precision));
  }
  AppendPadded(out, text, conv.width, conv.leftAlign);
}

void AppendNumber(std::string& out, const Conversion& conv, std::int64_t value) {
  if (conv.type == 'c') {
    // %c writes the byte; C ignores the sign, '#' and precision here too.
    const char byte = static_cast<char>(static_cast<unsigned char>(value & 0xFF));
    AppendPadded(out, std::string_view(&byte, 1), conv.width, conv.leftAlign);
    return;
  }
  const bool isSigned = conv.type == 'd' || conv.type == 'i';
  // C prints no digits for a zero value with precision 0 (only "%#.0o" keeps its "0"); fmt
  // would print "0", so this one case is written here.
  if (value == 0 && conv.precision == 0 && !(conv.type == 'o' && conv.alternate)) {
    std::string_view sign;
    if (isSigned && conv.plusSign) {
      sign = "+";
    } else if (isSigned && conv.spaceSign) {
      sign = " ";
    }
    AppendPadded(out, sign, conv.width, conv.leftAlign);
    return;
  }

  // The per-conversion format holds only the flags C gives a meaning for this type: fmt would
  // print "+ff" for "%+x", where C drops the sign of an unsigned conversion.
  char conversion[16];
  std::size_t len = 0;
  conversion[len++] = '%';
  if (conv.leftAlign) conversion[len++] = '-';
  if (isSigned && conv.plusSign) conversion[len++] = '+';
  if (isSigned && conv.spaceSign && !conv.plusSign) conversion[len++] = ' ';
  if (conv.alternate && !isSigned && conv.type != 'u') conversion[len++] = '#';
  if (conv.zeroPad && !conv.leftAlign && conv.precision < 0) conversion[len++] = '0';
  if (conv.width >= 10) conversion[len++] = static_cast<char>('0' + conv.width / 10);
  if (conv.width >= 0) conversion[len++] = static_cast<char>('0' + conv.width % 10);
  if (conv.precision >= 0) {
    conversion[len++] = '.';
    if (conv.precision >= 10) conversion[len++] = static_cast<char>('0' + conv.precision / 10);
    conversion[len++] = static_cast<char>('0' + conv.precision % 10);
  }
  conversion[len++] = conv.type;
  const fmt::string_view specView(conversion, len);

  // The narrowest C type that holds the value, so "%X" of -1 gives FFFFFFFF as C does for an
  // int. %d and %i never take the unsigned step: fmt would reinterpret 3000000000 as negative.
  constexpr std::int64_t kIntMin = std::numeric_limits<std::int32_t>::min();
  constexpr std::int64_t kIntMax = std::numeric_limits<std::int32_t>::max();
  constexpr std::int64_t kUnsignedMax = std::numeric_limits<std::uint32_t>::max();
  if (value >= kIntMin && value <= kIntMax) {
    out += fmt::sprintf(specView, static_cast<int>(value));
  } else if (!isSigned && value > kIntMax && value <= kUnsignedMax) {
    out += fmt::sprintf(specView, static_cast<unsigned>(value));
  } else {
    out += fmt::sprintf(specView, static_cast<long long>(value));
  }
}

std::optional<std::string> Format(std::string_view format, std::span<const FormatArg> args) {
  std::size_t expected = format.size();
  for (const FormatArg& arg : args) expected += arg.isText() ? arg.text().size() : 8;
  std::string out;
  out.reserve(expected);

  std::size_t argIndex = 0;
  std::size_t pos = 0;
  while (pos < format.size()) {
    const std::size_t percent = format.find('%', pos);
    if (percent == std::string_view::npos) {
      out.append(format.substr(pos));
      break;
    }
    out.append(format.substr(pos, percent - pos));
    pos = percent + 1;
    if (pos >= format.size()) return std::nullopt;  // A lone '%' at the end.
    if (format[pos] == '%') {
      out += '%';
      ++pos;
      continue;
    }

    Conversion conv;
    if (!ParseConversion(format, pos, conv)) return std::nullopt;
    const bool wantsNumber = IsNumberType(conv.type);
    if (!wantsNumber && conv.type != 's') return std::nullopt;
    if (argIndex >= args.size()) return std::nullopt;
    const FormatArg& arg = args[argIndex++];
    if (arg.isText() == wantsNumber) return std::nullopt;

    if (wantsNumber) {
      AppendNumber(out, conv, arg.number());
    } else {
      AppendText(out, conv, arg.text());
    }
  }
  return out;
}

}  // namespace

std::optional<std::string> SafeFormat(std::string_view format, std::span<const FormatArg> args) {
  // The per-conversion formats are always valid for fmt, so only running out of memory can
  // throw; either way no exception leaves the formatter.
  try {
    return Format(format, args);
  } catch (const std::exception&) {
    return std::nullopt;
  }
}

}  // namespace vx3::text
