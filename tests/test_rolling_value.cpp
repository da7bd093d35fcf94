// Rolling values and the rolling record: value texts into entries and back, the shown form,
// the record bytes for ordinary chips and for the byte-per-word model, and records read back
// from a Writer whose fields are out of range.
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "rolling/rolling_record.h"
#include "rolling/rolling_value.h"

namespace vx3::rolling {
namespace {

using Bytes = std::vector<std::uint8_t>;

RollingWords Words(std::initializer_list<std::uint32_t> first) {
  RollingWords words{};
  std::copy(first.begin(), first.end(), words.begin());
  return words;
}

// --- ParseRollingValue -----------------------------------------------------------------------

struct ParseCase {
  const char* name;
  std::string_view text;
  std::uint32_t wordLength;
  bool lowWordFirst;
  bool byteWords;
  std::uint32_t parsedLength;
  std::vector<std::uint32_t> entries;
};

class RollingParseTest : public ::testing::TestWithParam<ParseCase> {};

TEST_P(RollingParseTest, GivesTheEntries) {
  const ParseCase& c = GetParam();
  RollingWords entries;
  entries.fill(0xBEEF);  // what the entries held before
  EXPECT_EQ(ParseRollingValue(c.text, c.wordLength, c.lowWordFirst, c.byteWords, entries), c.parsedLength);
  for (std::size_t i = 0; i < c.entries.size(); ++i) EXPECT_EQ(entries[i], c.entries[i]) << "entry " << i;
  // Entries beyond the parsed ones keep what they held.
  for (std::size_t i = std::min<std::size_t>(c.parsedLength, kRollingMaxWords); i < kRollingMaxWords; ++i) {
    EXPECT_EQ(entries[i], 0xBEEFU) << "entry " << i;
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RollingParseTest,
    ::testing::Values(
        // "12 34": the space goes, the text is padded to eight digits.
        ParseCase{"SpaceInsideLowFirst", "12 34", 2, true, false, 2, {0x1234, 0}},
        ParseCase{"SpaceInsideHighFirst", "12 34", 2, false, false, 2, {0, 0x1234}},
        ParseCase{"LongerTextLosesLeadingDigits", "ABCD12345678", 2, true, false, 2, {0x5678, 0x1234}},
        ParseCase{"FourWordsLowFirst", "0004000300020001", 4, true, false, 4, {1, 2, 3, 4}},
        ParseCase{"FourWordsHighFirst", "0004000300020001", 4, false, false, 4, {4, 3, 2, 1}},
        ParseCase{"EmptyIsZero", "", 2, true, false, 2, {0, 0}},
        ParseCase{"LowerCaseDigits", "beef", 1, true, false, 1, {0xBEEF}},
        ParseCase{"NonDigitEndsTheGroup", "12G4", 1, true, false, 1, {0x12}},
        ParseCase{"SignIsNoDigit", "-001", 1, true, false, 1, {0}},
        // More words than the entries hold: only the entries that exist are filled.
        ParseCase{"LengthBeyondEntries", "1", 100, true, false, 100, {1, 0}},
        ParseCase{"BytesLowFirst", "12345678", 4, true, true, 4, {0x78, 0x56, 0x34, 0x12}},
        ParseCase{"BytesSpacedAsShown", "12 34 56 78 ", 4, true, true, 4, {0x78, 0x56, 0x34, 0x12}},
        // Groups from the start: a short text reads as the zeros it was padded with.
        ParseCase{"BytesHighFirst", "1234567800000000", 4, false, true, 4, {0x34, 0x12, 0x78, 0x56}},
        ParseCase{"BytesHighFirstShortText", "12345678", 4, false, true, 4, {0, 0, 0, 0}},
        ParseCase{"BytesOddLengthLosesOne", "123456", 3, true, true, 2, {0x56, 0x34}},
        ParseCase{"BytesNineAreEight", "112233445566778899", 9, true, true, 8,
                  {0x99, 0x88, 0x77, 0x66, 0x55, 0x44, 0x33, 0x22}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RollingValueText, ByteWordTextIsReducedToTheLastTwoDigitsOfEachGroup) {
  EXPECT_EQ(ReduceByteWordText("0012003400560078", 4), "12345678");
  EXPECT_EQ(ReduceByteWordText("FF12FF34", 2), "1234");
  // More groups than the length: the leading ones are not taken.
  EXPECT_EQ(ReduceByteWordText("001100220033", 2), "2233");
  // A shorter text gives what it has.
  EXPECT_EQ(ReduceByteWordText("0078", 4), "78");
  EXPECT_EQ(ReduceByteWordText("", 4), "");
}

// --- the INI form and the shown form ---------------------------------------------------------

TEST(RollingValueText, IniFormIsFourDigitsPerEntryMostSignificantFirst) {
  const RollingWords words = Words({0x1234, 0xABCD, 0x0001});
  EXPECT_EQ(FormatRollingIniValue(words, 2, true, false), "ABCD1234");
  EXPECT_EQ(FormatRollingIniValue(words, 2, false, false), "1234ABCD");
  EXPECT_EQ(FormatRollingIniValue(words, 3, true, false), "0001ABCD1234");
  EXPECT_EQ(FormatRollingIniValue(Words({0x78, 0x56, 0x34, 0x12}), 4, true, true), "0012003400560078");
  EXPECT_EQ(FormatRollingIniValue(words, 0, true, false), "");
}

TEST(RollingValueText, SpaceCaseWrittenBackWithoutSpace) {
  RollingWords entries{};
  ParseRollingValue("12 34", 2, true, false, entries);
  EXPECT_EQ(FormatRollingIniValue(entries, 2, true, false), "00001234");
}

TEST(RollingValueText, ByteWordValueRoundTrip) {
  // Written by the program, reduced and parsed as the load does: the same bytes.
  const RollingWords written = Words({0x01, 0xFE, 0x80, 0x7F, 0x00, 0x10, 0x33, 0xCC});
  const std::string text = FormatRollingIniValue(written, 8, true, true);
  EXPECT_EQ(text, "00CC00330010000000" "7F008000FE0001");
  RollingWords read{};
  EXPECT_EQ(ParseRollingValue(ReduceByteWordText(text, 8), 8, true, true, read), 8U);
  EXPECT_EQ(read, written);
}

TEST(RollingValueText, ShownFormFollowsDeviceAndOneShotFlag) {
  RollingSettings s;
  s.wordLength = 2;
  s.lowWordFirst = true;
  const RollingWords words = Words({0x78, 0x56});
  EXPECT_EQ(FormatRollingDisplay(words, s, true), "56 78 ");
  s.forceWordDisplay = true;
  EXPECT_EQ(FormatRollingDisplay(words, s, true), "0056 0078 ");
  EXPECT_FALSE(s.forceWordDisplay);  // one shot
  EXPECT_EQ(FormatRollingDisplay(words, s, true), "56 78 ");
  s.forceWordDisplay = true;
  EXPECT_EQ(FormatRollingDisplay(Words({0x1234, 0xABCD}), s, false), "ABCD 1234 ");
  EXPECT_FALSE(s.forceWordDisplay);
  s.lowWordFirst = false;
  EXPECT_EQ(FormatRollingDisplay(Words({0x1234, 0xABCD}), s, false), "1234 ABCD ");
}

// --- the rolling record ----------------------------------------------------------------------

RollingSettings Settings(RollingMethod method, std::uint32_t address, std::uint32_t length, bool lowFirst,
                         std::initializer_list<std::uint32_t> value, std::initializer_list<std::uint32_t> step) {
  RollingSettings s;
  s.method = method;
  s.address = address;
  s.wordLength = length;
  s.lowWordFirst = lowFirst;
  s.value = Words(value);
  s.step = Words(step);
  return s;
}

struct RecordCase {
  const char* name;
  RollingSettings settings;
  bool byteWords;
  Bytes record;
};

class RollingRecordTest : public ::testing::TestWithParam<RecordCase> {};

TEST_P(RollingRecordTest, BytesAsTheWriterTakesThem) {
  const RecordCase& c = GetParam();
  const Bytes record = BuildRollingRecord(c.settings, c.byteWords);
  EXPECT_EQ(record, c.record);
  EXPECT_LE(record.size(), kRollingRecordMaxBytes);  // never reaches the verify byte
}

constexpr auto kOn = RollingMethod::AutoInc;
constexpr auto kOff = RollingMethod::NotUsed;

INSTANTIATE_TEST_SUITE_P(
    Cases, RollingRecordTest,
    ::testing::Values(
        RecordCase{"NoIni", RollingSettings{}, false, Bytes(8, 0)},
        RecordCase{"OrdinaryLowFirst", Settings(kOn, 0x101, 2, true, {0x1000, 0x0002}, {0x0001, 0}), false,
                   {1, 0, 0x01, 0x01, 2, 0, 0x00, 0x10, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 1, 0}},
        RecordCase{"OrdinaryHighFirst", Settings(kOn, 0x101, 2, false, {0x0002, 0x1000}, {0, 0x0001}), false,
                   {1, 0, 0x01, 0x01, 2, 0, 0x00, 0x10, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 0, 0}},
        RecordCase{"OrdinaryFourWords", Settings(RollingMethod::Custom, 0x9, 4, true, {1, 2, 3, 4}, {5, 6, 7, 8}), false,
                   {1, 0, 9, 0, 4, 0, 1, 0, 2, 0, 3, 0, 4, 0, 5, 0, 6, 0, 7, 0, 8, 0, 1, 0}},
        RecordCase{"ByteWordsEven", Settings(kOn, 0x301, 4, true, {0x78, 0x56, 0x34, 0x12}, {1}), true,
                   {1, 0, 0x01, 0x03, 4, 0, 0x78, 0x56, 0x34, 0x12, 1, 0, 0, 0, 1, 0}},
        // An odd length takes the next entry too.
        RecordCase{"ByteWordsOdd", Settings(kOn, 0x301, 3, true, {0x11, 0x22, 0x33, 0x44}, {1, 0, 0, 0}), true,
                   {1, 0, 0x01, 0x03, 3, 0, 0x11, 0x22, 0x33, 0x44, 1, 0, 0, 0, 1, 0}},
        // An early stop leaves the INI's length behind with the method off: eight zero bytes.
        RecordCase{"OffWithLeftoverLength", Settings(kOff, 0, 100, true, {1}, {1}), false, Bytes(8, 0)},
        RecordCase{"OffWithFiveWords", Settings(kOff, 0, 5, true, {1}, {1}), false, Bytes(8, 0)},
        // On, but too long for the space before the verify byte: sent as off.
        RecordCase{"OnWithFiveWords", Settings(kOn, 0x101, 5, true, {1}, {1}), false, Bytes(8, 0)},
        RecordCase{"OnWithNineBytes", Settings(kOn, 0x101, 9, true, {1}, {1}), true, Bytes(8, 0)},
        RecordCase{"OnWithHugeLength", Settings(kOn, 0x101, 60000, true, {1}, {1}), false, Bytes(8, 0)}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(RollingRecordRead, TakesMethodAddressLengthAndValue) {
  Bytes header(128, 0);
  const Bytes record = {1, 0, 0x01, 0x01, 2, 0, 0x05, 0x10, 0x02, 0x00, 0x01, 0x00, 0x00, 0x00, 1, 0};
  std::copy(record.begin(), record.end(), header.begin());
  RollingSettings s;
  ParseRollingRecord(header, s, false);
  EXPECT_EQ(s.method, RollingMethod::AutoInc);
  EXPECT_EQ(s.address, 0x101U);
  EXPECT_EQ(s.wordLength, 2U);
  EXPECT_EQ(s.value[0], 0x1005U);
  EXPECT_EQ(s.value[1], 0x0002U);

  header[0] = 0;
  header[1] = 7;  // either switch byte turns it on
  ParseRollingRecord(header, s, true);
  EXPECT_EQ(s.method, RollingMethod::AutoInc);
  EXPECT_EQ(s.value[0], 0x05U);
  EXPECT_EQ(s.value[1], 0x10U);
  header[1] = 0;
  ParseRollingRecord(header, s, false);
  EXPECT_EQ(s.method, RollingMethod::NotUsed);
}

TEST(RollingRecordRead, LengthFieldBeyondTheEntriesIsCut) {
  // A blank Writer EEPROM: every byte 0xFF, the length field 0xFFFF.
  for (const bool byteWords : {false, true}) {
    const Bytes header(128, 0xFF);
    RollingSettings s;
    s.step.fill(0x42);
    ParseRollingRecord(header, s, byteWords);
    EXPECT_EQ(s.wordLength, kRollingMaxWords);
    EXPECT_EQ(s.value[kRollingMaxWords - 1], byteWords ? 0xFFU : 0xFFFFU);
    EXPECT_EQ(s.step[0], 0x42U);  // the step is not taken
  }
  // A record shorter than its length field says: only the entries the bytes carry.
  const Bytes shortRecord = {1, 0, 1, 0, 0xFF, 0xFF, 0x34, 0x12, 0x78};
  RollingSettings s;
  ParseRollingRecord(shortRecord, s, false);
  EXPECT_EQ(s.wordLength, 1U);
  EXPECT_EQ(s.value[0], 0x1234U);
  ParseRollingRecord(Bytes{1, 0, 1}, s, false);
  EXPECT_EQ(s.method, RollingMethod::NotUsed);
}

}  // namespace
}  // namespace vx3::rolling
