// Rolling values as the production record keeps them: the shown digits and the comparable
// form, the Writer's step with carry, and the choice of a job's first value.
#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <optional>
#include <string>

#include "ledger/ledger_texts.h"
#include "ledger/serial_value.h"
#include "ui_text/language.h"

namespace vx3::ledger {
namespace {

using rolling::RollingWords;

constexpr RollingShape kTwoWords{2, true, false};
constexpr RollingShape kTwoWordsHighFirst{2, false, false};
constexpr RollingShape kFourBytes{4, true, true};

RollingWords Words(std::initializer_list<std::uint32_t> entries) {
  RollingWords words{};
  std::size_t i = 0;
  for (const std::uint32_t entry : entries) words[i++] = entry;
  return words;
}

struct ValueCase {
  const char* name;
  RollingWords entries;
  RollingShape shape;
  const char* digits;
};

TEST(SerialValue, DigitsAreTheShownValueWithoutSpacesAndTheKeySortsAsTheNumber) {
  const ValueCase cases[] = {
      {"low word first", Words({0x1234, 0x00AB}), kTwoWords, "00AB1234"},
      {"high word first", Words({0x00AB, 0x1234}), kTwoWordsHighFirst, "00AB1234"},
      {"bytes, low first", Words({0x34, 0x12, 0xCD, 0xAB}), kFourBytes, "ABCD1234"},
      {"entries are cut to their width", Words({0x12345, 0x1FF}), RollingShape{2, true, true}, "FF45"},
      {"sixteen words", Words({1}), RollingShape{16, true, false},
       "000000000000000000000000000000000000000000000000000000000000" "0001"},
  };
  for (const ValueCase& c : cases) {
    SCOPED_TRACE(c.name);
    const SerialValue value = MakeSerialValue(c.entries, c.shape);
    EXPECT_EQ(value.digits, c.digits);
    ASSERT_EQ(value.key.size(), kValueKeyDigits);
    EXPECT_EQ(value.key, std::string(kValueKeyDigits - value.digits.size(), '0') + c.digits);
    // The digits read back give the same value.
    const std::optional<RollingWords> back = EntriesOf(value.digits, c.shape);
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(MakeSerialValue(*back, c.shape), value);
  }
  // The key orders by number where the shown digits would not: a longer code sorts higher.
  EXPECT_LT(CompareValues(MakeSerialValue(Words({0xFFFF}), RollingShape{1, true, false}),
                          MakeSerialValue(Words({0x0000, 0x0001}), kTwoWords)),
            0);
}

TEST(SerialValue, EntriesOfRefusesWhatIsNoValueOfTheShape) {
  EXPECT_EQ(EntriesOf("00AB1234", kTwoWords), std::optional<RollingWords>(Words({0x1234, 0x00AB})));
  EXPECT_EQ(EntriesOf("00AB1234", kTwoWordsHighFirst), std::optional<RollingWords>(Words({0x00AB, 0x1234})));
  EXPECT_EQ(EntriesOf("12 34", kTwoWords), std::nullopt);
  EXPECT_EQ(EntriesOf("1000000", RollingShape{1, true, false}), std::nullopt);  // above FFFF
  EXPECT_EQ(EntriesOf("0000FFFF", RollingShape{1, true, false}), std::optional<RollingWords>(Words({0xFFFF})));
}

struct NumberCase {
  const char* name;
  RollingShape shape;
  RollingWords entries;
  std::int64_t number;
  const char* digits;  // the same value as the status box shows it
};

// A value and its number are the same thing in both directions, whatever the shape.
TEST(SeriesNumber, EntriesAndTheirNumberGoBothWays) {
  const NumberCase cases[] = {
      {"one word", RollingShape{1, true, false}, Words({0xABCD}), 0xABCD, "ABCD"},
      {"two words, low first", kTwoWords, Words({0x5678, 0x1234}), 0x12345678, "12345678"},
      {"two words, low last", kTwoWordsHighFirst, Words({0x1234, 0x5678}), 0x12345678, "12345678"},
      {"four words, low first", RollingShape{4, true, false}, Words({0x4444, 0x3333, 0x2222, 0x1111}),
       0x1111222233334444, "1111222233334444"},
      {"four words, low last", RollingShape{4, false, false}, Words({0x1111, 0x2222, 0x3333, 0x4444}),
       0x1111222233334444, "1111222233334444"},
      {"five words, the top one zero, low first", RollingShape{5, true, false}, Words({1, 2, 3, 0x7004, 0}),
       0x7004000300020001, "00007004000300020001"},
      {"five words, the top one zero, low last", RollingShape{5, false, false}, Words({0, 0x7004, 3, 2, 1}),
       0x7004000300020001, "00007004000300020001"},
      {"bytes, low first", kFourBytes, Words({0x44, 0x33, 0x22, 0x11}), 0x11223344, "11223344"},
      {"bytes, low last", RollingShape{4, false, true}, Words({0x11, 0x22, 0x33, 0x44}), 0x11223344, "11223344"},
      {"zero", RollingShape{3, true, false}, Words({}), 0, "000000000000"},
      {"the largest number, four words", RollingShape{4, true, false}, Words({0xFFFF, 0xFFFF, 0xFFFF, 0x7FFF}),
       INT64_MAX, "7FFFFFFFFFFFFFFF"},
      {"the largest number, eight bytes, low last", RollingShape{8, false, true},
       Words({0x7F, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), INT64_MAX, "7FFFFFFFFFFFFFFF"},
  };
  for (const NumberCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NumberOf(c.entries, c.shape), std::optional<std::int64_t>(c.number));
    EXPECT_EQ(EntriesOfNumber(c.number, c.shape), std::optional<RollingWords>(c.entries));
    EXPECT_EQ(MakeSerialValue(c.entries, c.shape).digits, c.digits);
  }
}

struct TooBigCase {
  const char* name;
  RollingShape shape;
  RollingWords entries;
};

TEST(SeriesNumber, AValueAboveTheLargestNumberHasNone) {
  const TooBigCase cases[] = {
      {"four words, the top bit set", RollingShape{4, true, false}, Words({0, 0, 0, 0x8000})},
      {"four words, all ones", RollingShape{4, false, false}, Words({0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF})},
      {"five words, the fifth from the bottom", RollingShape{5, true, false}, Words({0, 0, 0, 0, 1})},
      {"five words, low last", RollingShape{5, false, false}, Words({1, 0, 0, 0, 0})},
      {"eight bytes, the top bit set", RollingShape{8, true, true}, Words({0, 0, 0, 0, 0, 0, 0, 0x80})},
      {"sixteen words, a high word", RollingShape{16, true, false},
       Words({1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x0001})},
  };
  for (const TooBigCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(NumberOf(c.entries, c.shape), std::nullopt);
  }
}

struct HighestCase {
  const char* name;
  RollingShape shape;
  std::int64_t highest;
};

TEST(SeriesNumber, TheHighestNumberOfAShapeFitsAndOneMoreDoesNot) {
  const HighestCase cases[] = {
      {"one word", RollingShape{1, true, false}, 0xFFFF},
      {"two words", kTwoWords, 0xFFFFFFFF},
      {"two words, low last", kTwoWordsHighFirst, 0xFFFFFFFF},
      {"three words", RollingShape{3, false, false}, 0xFFFFFFFFFFFF},
      {"four words: capped", RollingShape{4, true, false}, INT64_MAX},
      {"five words: capped", RollingShape{5, false, false}, INT64_MAX},
      {"one byte", RollingShape{1, true, true}, 0xFF},
      {"four bytes", kFourBytes, 0xFFFFFFFF},
      {"seven bytes", RollingShape{7, false, true}, 0xFFFFFFFFFFFFFF},
      {"eight bytes: capped", RollingShape{8, true, true}, INT64_MAX},
      {"sixteen words: capped", RollingShape{16, true, false}, INT64_MAX},
  };
  for (const HighestCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(HighestNumber(c.shape), c.highest);
    const std::optional<RollingWords> top = EntriesOfNumber(c.highest, c.shape);
    ASSERT_TRUE(top.has_value());
    EXPECT_EQ(NumberOf(*top, c.shape), std::optional<std::int64_t>(c.highest));
    if (c.highest < INT64_MAX) {
      // Every part is full: the next number would need one more part.
      EXPECT_EQ(AddStep(*top, *EntriesOfNumber(1, c.shape), c.shape), std::nullopt);
      EXPECT_EQ(EntriesOfNumber(c.highest + 1, c.shape), std::nullopt);
    }
  }
}

TEST(SeriesNumber, ANegativeNumberIsNoValue) {
  for (const std::int64_t number : {std::int64_t{-1}, std::int64_t{-0x10000}, std::int64_t{INT64_MIN}}) {
    SCOPED_TRACE(number);
    EXPECT_EQ(EntriesOfNumber(number, kTwoWords), std::nullopt);
    EXPECT_EQ(EntriesOfNumber(number, RollingShape{16, true, false}), std::nullopt);
  }
}

struct StepCase {
  const char* name;
  RollingWords value;
  RollingWords step;
  RollingShape shape;
  std::optional<RollingWords> sum;
};

TEST(AddStep, AddsPartByPartWithCarryAndRefusesToWrap) {
  const StepCase cases[] = {
      {"plain", Words({0x1000, 0}), Words({1, 0}), kTwoWords, Words({0x1001, 0})},
      {"carry into the next word", Words({0xFFFF, 0x0001}), Words({2, 0}), kTwoWords, Words({0x0001, 0x0002})},
      {"carry towards entry 0 when high first", Words({0x0001, 0xFFFF}), Words({0, 1}), kTwoWordsHighFirst,
       Words({0x0002, 0x0000})},
      {"byte carry", Words({0xFF, 0x00, 0, 0}), Words({1, 0, 0, 0}), kFourBytes, Words({0x00, 0x01, 0, 0})},
      {"the top wraps: no value", Words({0xFFFF, 0xFFFF}), Words({1, 0}), kTwoWords, std::nullopt},
      {"bytes wrap", Words({0xFF, 0xFF, 0xFF, 0xFF}), Words({1, 0, 0, 0}), kFourBytes, std::nullopt},
  };
  for (const StepCase& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(AddStep(c.value, c.step, c.shape), c.sum);
  }
  EXPECT_TRUE(IsZeroStep(Words({0, 0}), kTwoWords));
  EXPECT_TRUE(IsZeroStep(Words({0, 0, 0x100, 0x100}), kFourBytes));  // beyond the byte width
  EXPECT_FALSE(IsZeroStep(Words({0, 1}), kTwoWords));
}

struct StartCase {
  const char* name;
  RollingWords ini;
  std::optional<RollingWords> writer;
  std::optional<const char*> highest;
  RollingWords step;
  StartReason reason;
  const char* to;
};

TEST(ChooseStartValue, NeverGoesBelowWhatTheIniTheWriterOrTheRecordHasUsed) {
  const RollingShape shape{1, true, false};
  const StartCase cases[] = {
      {"nothing used beyond the INI", Words({0x1000}), std::nullopt, std::nullopt, Words({1}), StartReason::IniValue,
       "1000"},
      {"the Writer below the INI", Words({0x1000}), Words({0x0FF0}), std::nullopt, Words({1}), StartReason::IniValue,
       "1000"},
      {"the Writer ran off-line", Words({0x1000}), Words({0x1005}), std::nullopt, Words({1}), StartReason::WriterAhead,
       "1005"},
      {"killed before Count was written", Words({0x1001}), std::nullopt, "1001", Words({1}), StartReason::LedgerAhead,
       "1002"},
      {"the record's next value by the step", Words({0x1000}), std::nullopt, "1010", Words({0x10}),
       StartReason::LedgerAhead, "1020"},
      {"the Writer beyond the record", Words({0x1000}), Words({0x1030}), "1010", Words({1}), StartReason::WriterAhead,
       "1030"},
      {"the record beyond the Writer", Words({0x1000}), Words({0x1005}), "1010", Words({1}), StartReason::LedgerAhead,
       "1011"},
      {"a tie keeps the INI", Words({0x1011}), Words({0x1011}), "1010", Words({1}), StartReason::IniValue, "1011"},
      {"the record's top value used", Words({0x1000}), std::nullopt, "FFFF", Words({1}), StartReason::UsedUp, "1000"},
      {"the Writer above a used-up record", Words({0x1000}), Words({0xFFFF}), "FFFE", Words({2}),
       StartReason::WriterAhead, "FFFF"},
      {"zero step: the same value again", Words({0x1000}), std::nullopt, "1000", Words({0}), StartReason::IniValue,
       "1000"},
  };
  for (const StartCase& c : cases) {
    SCOPED_TRACE(c.name);
    std::optional<SerialValue> highest;
    if (c.highest) highest = MakeSerialValue(*EntriesOf(*c.highest, shape), shape);
    const StartChoice choice = ChooseStartValue(c.ini, c.writer, highest, c.step, shape);
    EXPECT_EQ(choice.reason, c.reason);
    EXPECT_EQ(choice.from.digits, MakeSerialValue(c.ini, shape).digits);
    EXPECT_EQ(choice.to.digits, c.to);
    EXPECT_EQ(MakeSerialValue(choice.value, shape).digits, c.to);
  }
}

TEST(ChooseStartValue, SaysFromWhatToWhatAndWhy) {
  const RollingShape shape{2, true, false};
  const text::Language english;  // no file: the built-in texts
  const SerialValue highest = MakeSerialValue(Words({0x1001, 0}), shape);
  EXPECT_EQ(StartChoiceText(english, ChooseStartValue(Words({0x1001, 0}), std::nullopt, highest, Words({1, 0}), shape)),
            "Rolling value raised from 00001001 to 00001002: the production record has issued values up to 00001001.");
  EXPECT_EQ(StartChoiceText(english, ChooseStartValue(Words({0x1001, 0}), Words({0x1005, 0}), std::nullopt,
                                                      Words({1, 0}), shape)),
            "Rolling value raised from 00001001 to 00001005: the Writer programmed chips on its own (off-line).");
  EXPECT_EQ(StartChoiceText(english, ChooseStartValue(Words({0x1005, 0}), Words({0x1001, 0}), highest, Words({1, 0}), shape)),
            "");
  const SerialValue top = MakeSerialValue(Words({0xFFFF, 0xFFFF}), shape);
  EXPECT_EQ(StartChoiceText(english, ChooseStartValue(Words({0x1005, 0}), std::nullopt, top, Words({1, 0}), shape)),
            "No rolling value is left: the production record has issued values up to FFFFFFFF.");
}

TEST(LedgerTexts, RefusalNamesTheReasonAndTheAction) {
  const text::Language english;
  EXPECT_EQ(CannotRecordText(english, "the disk is full (/p/Writer_Log/production.db)", "Auto Program"),
            "Serial numbers cannot be recorded: the disk is full (/p/Writer_Log/production.db). Auto Program is "
            "stopped so that no value is used twice.");
  EXPECT_EQ(SkippedText(english, MakeSerialValue(Words({0x1001}), RollingShape{1, true, false}),
                        MakeSerialValue(Words({0x1002}), RollingShape{1, true, false})),
            "Rolling value 1001 is skipped (its chip's result is unknown or it is in use); this chip gets 1002.");
}

}  // namespace
}  // namespace vx3::ledger
