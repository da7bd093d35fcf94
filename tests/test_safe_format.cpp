// Tests for the safe formatter: the language texts and Writer messages it formats, and every
// text it must refuse rather than format.
#include "ui_text/safe_format.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

namespace vx3::text {
namespace {

using namespace std::literals;

struct Case {
  std::string_view format;
  std::vector<FormatArg> args;
  std::optional<std::string> expected;  // nullopt: the text must be refused.
};

// Shows the format with its control characters spelled out, so a failing case is easy to find.
void PrintTo(const Case& c, std::ostream* os) {
  *os << '"';
  for (char ch : c.format) {
    if (ch == '\r') {
      *os << "\\r";
    } else if (ch == '\n') {
      *os << "\\n";
    } else {
      *os << ch;
    }
  }
  *os << "\" with " << c.args.size() << " argument(s)";
}

// The Writer sends its messages with fifteen byte arguments, whether or not the text uses them.
std::vector<FormatArg> WriterBytes(unsigned first) {
  std::vector<FormatArg> bytes;
  for (unsigned i = 0; i < 15; ++i) bytes.emplace_back((first + i * 0x11) & 0xFFu);
  return bytes;
}

constexpr std::int64_t kInt64Min = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t kInt64Max = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kInt32Min = std::numeric_limits<std::int32_t>::min();

std::vector<Case> Cases() {
  // Sixteen conversions: one more than the Writer's arguments.
  static const std::string kSixteen =
      "%02X %02X %02X %02X %02X %02X %02X %02X "
      "%02X %02X %02X %02X %02X %02X %02X %02X";
  return {
      // Language texts.
      {"%s Check Sum : ", {"ROM"}, "ROM Check Sum : "},
      {" %04X %s", {0x1A2B, "OK"}, " 1A2B OK"},
      {" %04X %s", {0x2F, "NG"}, " 002F NG"},
      {"The EPROM check sum is %04X", {0xBEEF}, "The EPROM check sum is BEEF"},
      {"Rolling Code address %X, Length %d words", {0x7FF0, 16},
       "Rolling Code address 7FF0, Length 16 words"},

      // Every allowed type, with flags, width and precision.
      {"%d", {-42}, "-42"},
      {"%i", {-7}, "-7"},
      {"%u", {7u}, "7"},
      {"%x", {0xABCD}, "abcd"},
      {"%X", {0xABCD}, "ABCD"},
      {"%o", {8}, "10"},
      {"%04X", {0xAB}, "00AB"},
      {"%-5d|", {42}, "42   |"},
      {"%5d|", {42}, "   42|"},
      {"%+d", {5}, "+5"},
      {"%+d", {-5}, "-5"},
      {"% d", {5}, " 5"},
      {"%+ d", {5}, "+5"},
      {"%#x", {255}, "0xff"},
      {"%#X", {255}, "0XFF"},
      {"%#x", {0}, "0"},
      {"%#o", {8}, "010"},
      {"%05d", {-42}, "-0042"},
      {"%-05d|", {-42}, "-42  |"},
      {"%5.3d", {7}, "  007"},
      {"%08.3X", {255}, "     0FF"},  // A precision turns the '0' flag off, as in C.
      {"%.0d", {0}, ""},
      {"%.d|", {0}, "|"},
      {"%5.0d|", {0}, "     |"},
      {"%+.0d", {0}, "+"},
      {"%#.0o", {0}, "0"},
      {"%.0d", {3}, "3"},
      {"%+x", {255}, "ff"},  // C drops the sign of an unsigned conversion.
      {"% u", {5}, "5"},
      {"%99d", {1}, std::string(98, ' ') + "1"},
      {"%.99d", {1}, std::string(98, '0') + "1"},
      {"%0-0-5d|", {1}, "1    |"},  // Flags may repeat.
      {"%c", {'A'}, "A"},
      {"%c", {0x141}, "A"},  // Only the byte is written.
      {"%3c|", {'B'}, "  B|"},
      {"%-3c|", {'B'}, "B  |"},
      {"[%c]", {0}, "[\0]"s},
      {"%s", {"text"}, "text"},
      {"%.3s", {"abcdef"}, "abc"},
      {"%5.2s", {"abcdef"}, "   ab"},
      {"%-5s|", {"ab"}, "ab   |"},
      {"%.s|", {"abc"}, "|"},
      {"%.9s", {"abc"}, "abc"},
      {"%s", {""}, ""},
      // Width and precision count bytes, as printf does; the text need not be UTF-8.
      {"%.2s", {"\xe3\x81\x82"}, "\xe3\x81"},
      {"%4s", {"\xe3\x81\x82"}, " \xe3\x81\x82"},
      {"%.1s", {"\x82\xa0\x82\xa2"}, "\x82"},
      {"%s|", {std::string_view("a\0b", 3)}, "a\0b|"s},

      // Length modifiers are accepted; the argument's own type decides.
      {"%hhX", {0x1FF}, "1FF"},
      {"%hd", {70000}, "70000"},
      {"%ld %lld %lu", {1, 2, 3u}, "1 2 3"},
      {"%ls", {"wide"}, "wide"},

      // Percent signs and texts without conversions.
      {"%%", {}, "%"},
      {"100%% done", {}, "100% done"},
      {"%d%%", {50}, "50%"},
      {"%%d", {}, "%d"},
      {"plain", {}, "plain"},
      {"", {}, ""},
      {"a\0%d"sv, {1}, std::string("a\0" "1", 3)},

      // Fewer conversions than arguments.
      {"%d", {1, 2, 3}, "1"},
      {"no conversions", {5, "x"}, "no conversions"},

      // Negative numbers and values beyond 32 bits.
      {"%X", {-1}, "FFFFFFFF"},
      {"%x", {-256}, "ffffff00"},
      {"%u", {-1}, "4294967295"},
      {"%o", {-1}, "37777777777"},
      {"%X", {std::int64_t{0xFFFFFFFF}}, "FFFFFFFF"},
      {"%u", {std::int64_t{0xFFFFFFFF}}, "4294967295"},
      {"%u", {std::int64_t{3000000000}}, "3000000000"},
      {"%d", {std::int64_t{3000000000}}, "3000000000"},
      {"%d", {kInt32Min}, "-2147483648"},
      {"%X", {std::int64_t{0x123456789A}}, "123456789A"},
      {"%d", {kInt64Min}, "-9223372036854775808"},
      {"%X", {kInt64Min}, "8000000000000000"},
      {"%X", {kInt64Max}, "7FFFFFFFFFFFFFFF"},
      {"%d", {kInt64Max}, "9223372036854775807"},

      // Writer messages: fifteen unsigned byte arguments and CR LF in the text.
      {"Blank check fail at %04X\r\n", WriterBytes(0x12), "Blank check fail at 0012\r\n"},
      {"%02X %02X %02X %02X %02X %02X %02X %02X "
       "%02X %02X %02X %02X %02X %02X %02X\r\n",
       WriterBytes(0x00), "00 11 22 33 44 55 66 77 88 99 AA BB CC DD EE\r\n"},
      {"Verify error %02X%02X: read %02X, expected %02X\r\n", WriterBytes(0xF0),
       "Verify error F001: read 12, expected 23\r\n"},

      // Refusals.
      {"%n", {1}, std::nullopt},
      {"%hhn", {1}, std::nullopt},
      {"%p", {1}, std::nullopt},
      {"%f", {1}, std::nullopt},
      {"%lf", {1}, std::nullopt},
      {"%e", {1}, std::nullopt},
      {"%g", {1}, std::nullopt},
      {"%a", {1}, std::nullopt},
      {"%y", {1}, std::nullopt},
      {"%D", {1}, std::nullopt},
      {"%zu", {1}, std::nullopt},
      {"%I64d", {1}, std::nullopt},
      {"%s", {5}, std::nullopt},
      {"%d", {"text"}, std::nullopt},
      {"%c", {"x"}, std::nullopt},
      {"%d %s", {"a", "b"}, std::nullopt},
      {"%100d", {1}, std::nullopt},
      {"%.100d", {1}, std::nullopt},
      {"%.99999999d", {1}, std::nullopt},
      {"%.99999999s", {"x"}, std::nullopt},
      {"%*d", {5, 1}, std::nullopt},
      {"%.*d", {5, 1}, std::nullopt},
      {"%1$d", {1}, std::nullopt},
      {"%5%", {1}, std::nullopt},
      {"%", {}, std::nullopt},
      {"50%", {1}, std::nullopt},
      {"%-", {1}, std::nullopt},
      {"%5", {1}, std::nullopt},
      {"%.", {1}, std::nullopt},
      {"%ll", {1}, std::nullopt},
      {"%d", {}, std::nullopt},
      {"%d %d", {1}, std::nullopt},
      {kSixteen, WriterBytes(0), std::nullopt},
  };
}

class SafeFormatTest : public ::testing::TestWithParam<Case> {};

TEST_P(SafeFormatTest, FormatsOrRefuses) {
  const Case& c = GetParam();
  EXPECT_EQ(SafeFormat(c.format, std::span<const FormatArg>(c.args)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, SafeFormatTest, ::testing::ValuesIn(Cases()));

// A language text is usually formatted with a std::string that lives only for the call.
TEST(SafeFormat, TakesTemporaryTextsInABracedList) {
  EXPECT_EQ(SafeFormat("%s-%d", {std::string("abc"), 7}), "abc-7");
}

}  // namespace
}  // namespace vx3::text
