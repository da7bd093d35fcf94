// Checks of the shipped language files (data/language/UIEng.ini and UIChina.ini) and of the
// built-in string table against the list of UI text keys the program looks up.

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "ui_text/builtin_strings.h"
#include "ui_text/ui_texts.h"

namespace vx3::text {
namespace {

// Every key of ui_texts.h, written out once. UiTextKeyList.MatchesTheHeader keeps this list and
// the header in step, so a key added there and forgotten here fails at once.
constexpr std::array kAllTexts{
    IDS_ABOUTBOX,
    IDS_About,
    IDS_AutoProgram,
    IDS_BlankCheck,
    IDS_CANCEL,
    IDS_CHIP,
    IDS_CHIP_CLOSE_HISTORY,
    IDS_CHIP_ERROR_MESSAGE,
    IDS_CHIP_HISTORY,
    IDS_CHIP_LIST,
    IDS_CHIP_TYPE,
    IDS_CheckSum,
    IDS_CheckSum_Format,
    IDS_CheckSum_Format_VX3,
    IDS_CurrentStatus,
    IDS_Device,
    IDS_DriverVersion,
    IDS_EDIT_List,
    IDS_EDIT_List_Web,
    IDS_EPROM_CheckSum,
    IDS_Erase,
    IDS_FilePath,
    IDS_Format_RollingAddressLength,
    IDS_Format_RollingCustom,
    IDS_Format_RollingDisabled,
    IDS_Format_RollingFile,
    IDS_Format_RollingStep,
    IDS_Format_RollingValue,
    IDS_Format_RollingWordAlign,
    IDS_MESSAGE_BufferVerifyFAIL,
    IDS_MESSAGE_BufferVerifyOK,
    IDS_MESSAGE_CantOpenFile,
    IDS_MESSAGE_EEPROMOK,
    IDS_MESSAGE_Error,
    IDS_MESSAGE_FileDismatch,
    IDS_MESSAGE_ICError,
    IDS_MESSAGE_NoUpdateFile,
    IDS_MESSAGE_RollingProgramOK,
    IDS_MESSAGE_RollingVerifyOk,
    IDS_MESSAGE_SelectFile,
    IDS_MESSAGE_USBNOTDETECTED,
    IDS_MESSAGE_USBOK,
    IDS_MESSAGE_USBReadFail,
    IDS_MESSAGE_USBWriteDataFail,
    IDS_MESSAGE_ReadBrokeOff,
    IDS_MESSAGE_VerifyOK,
    IDS_OK,
    IDS_Operation_Mode,
    IDS_ProgramOnly,
    IDS_RADIO_Fun0,
    IDS_RADIO_Fun6,
    IDS_Read,
    IDS_ReadProgram,
    IDS_Rolling13BIT_RollingValue,
    IDS_Rolling_Alignment,
    IDS_Rolling_AutoINC,
    IDS_Rolling_Custom,
    IDS_Rolling_Description,
    IDS_Rolling_HighAtLowAddress,
    IDS_Rolling_HowTo,
    IDS_Rolling_LowAtLowAddress,
    IDS_Rolling_NotUse,
    IDS_Rolling_OK,
    IDS_Rolling_RollingMethod,
    IDS_Rolling_RollingValue,
    IDS_Rolling_Run,
    IDS_Rolling_StartAddress,
    IDS_Rolling_StepValue,
    IDS_Rolling_VerifyMode,
    IDS_Rolling_WordAlignment,
    IDS_Rolling_WordLength,
    IDS_STR_PROMPT,
    IDS_STR_PROMPT2,
    IDS_SecurityEnable,
    IDS_TypeDismatch_Format,
    IDS_TypeDismatch_Format1,
    IDS_Verify,
    IDS_RollingCode,
    IDS_LoadOTP,
    IDS_MESSAGE_WaitForWorker,
    IDS_MESSAGE_Busy,
    IDS_Busy_WriterJob,
    IDS_MESSAGE_ActionTimeout,
    IDS_MESSAGE_CloseAnyway,
    IDS_MESSAGE_ClosedAnyway,
    IDS_MESSAGE_NoValidJob,
    IDS_MESSAGE_LoadThroughDevice,
    IDS_Ledger_CannotRecord,
    IDS_Ledger_RaisedByWriter,
    IDS_Ledger_RaisedByRecord,
    IDS_Ledger_ValuesUsedUp,
    IDS_Ledger_SkippedValue,
    IDS_Ledger_KeptAside,
    IDS_Ledger_MadeUnknown,
    IDS_Ledger_Pass,
    IDS_Ledger_Fail,
    IDS_Ledger_Unknown,
    IDS_Ledger_ResultDetail,
    IDS_Band_Running,
    IDS_Band_NotRun,
    IDS_Band_NoChip,
    IDS_Band_NotRunDetail,
    IDS_Band_NoChipDetail,
    IDS_Band_NoChipValueFree,
    IDS_Band_NotRunReason,
    IDS_Ledger_JobTally,
    IDS_Ledger_TodayTally,
    IDS_Ledger_ResetCounters,
    IDS_Ledger_ResetQuestion,
    IDS_Ledger_Export,
    IDS_Ledger_Exported,
    IDS_Ledger_ExportFailed,
    IDS_Ledger_CountersWereReset,
    IDS_Ledger_ExportJob,
    IDS_Ledger_ExportToday,
    IDS_Ledger_ExportAll,
    IDS_Ledger_CsvFilter,
    IDS_Ledger_NotOpen,
    IDS_Ledger_NoValue,
    IDS_Ledger_ExportCaption,
    IDS_Ledger_SeriesUnreachable,
    IDS_Ledger_SeriesLine,
    IDS_Ledger_SeriesNoBlock,
    IDS_Ledger_SeriesBlock,
    IDS_Ledger_SeriesReturned,
    IDS_Ledger_Standalone,
    IDS_Ledger_WriterBelowUsed,
    IDS_Ledger_StandaloneCounters,
    IDS_Ledger_SeriesClaimed,
    IDS_Ledger_SeriesConflict,
    IDS_Ledger_SeriesClaimLater,
    IDS_Ledger_SeriesConflicts,
    IDS_Ledger_StandaloneOne,
    IDS_NoSerial_Line,
    IDS_NoSerial_Verdict,
    IDS_NoSerial_Question,
    IDS_NoSerial_NotNumber,
    IDS_NoSerial_NoGenerator,
    IDS_NoSerial_GeneratorMissing,
    IDS_NoSerial_UnknownWay,
    IDS_NoSerial_NotInRom,
    IDS_NoSerial_OlderEdition,
    IDS_NoSerial_Chosen,
    IDS_Ledger_CopyNote,
    IDS_Ledger_CopyRefusal,
    IDS_Ledger_AdoptQuestion,
    IDS_Ledger_Adopted,
    IDS_Ledger_NotAdopted,
    IDS_MESSAGE_DataFolder,
    IDS_MESSAGE_LanguageUnreadable,
    IDS_MESSAGE_WriterInUse,
    IDS_Cli_NothingLoaded,
    IDS_Cli_ImageChanged,
    IDS_Cli_NextChip,
    IDS_Cli_ChipSummary,
    IDS_MESSAGE_RepeatedLine,
    IDS_Cli_NoRecord,
    IDS_Cli_Interrupted,
    IDS_Cli_DeviceNotOffered,
    IDS_Cli_ListingWritten,
    IDS_Cli_FileNotWritten,
    IDS_Cli_ChipLine,
    IDS_Cli_NoJob,
    IDS_Cli_NoSuchJob,
    IDS_Cli_SeriesQueued,
    IDS_Cli_NotACopy,
    IDS_Cli_StationNamed,
    IDS_Cli_SeriesFileUnreadable,
};

// The program's INI reader keeps at most this many characters of a value.
constexpr std::size_t kMaxValueChars = 259;

const std::filesystem::path kSourceDir = VX3WT_SOURCE_DIR;

std::string ReadAll(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string AsciiUpper(std::string_view text) {
  std::string out(text);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') {
      c = static_cast<char>(c - 'a' + 'A');
    }
  }
  return out;
}

// Code points of well-formed UTF-8 text, or nullopt when the bytes are not UTF-8 (overlong
// forms, surrogates and values past U+10FFFF count as not UTF-8).
std::optional<std::vector<char32_t>> DecodeUtf8(std::string_view bytes) {
  std::vector<char32_t> out;
  std::size_t i = 0;
  while (i < bytes.size()) {
    const auto lead = static_cast<unsigned char>(bytes[i]);
    std::size_t length = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if (lead < 0x80) {
      length = 1;
      cp = lead;
    } else if ((lead & 0xE0) == 0xC0) {
      length = 2;
      cp = lead & 0x1F;
      minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
      length = 3;
      cp = lead & 0x0F;
      minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
      length = 4;
      cp = lead & 0x07;
      minimum = 0x10000;
    } else {
      return std::nullopt;
    }
    if (bytes.size() - i < length) {
      return std::nullopt;
    }
    for (std::size_t k = 1; k < length; ++k) {
      const auto next = static_cast<unsigned char>(bytes[i + k]);
      if ((next & 0xC0) != 0x80) {
        return std::nullopt;
      }
      cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
      return std::nullopt;
    }
    out.push_back(cp);
    i += length;
  }
  return out;
}

// The printf conversion types of a text in order ("%04X %s" gives "Xs"); flags, width,
// precision and length modifiers are left out and "%%" is no conversion. nullopt when a
// conversion is cut off or of a type the program never passes (the program's formatter
// refuses those too).
std::optional<std::string> ConversionTypes(std::string_view text) {
  std::string types;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      ++i;
      continue;
    }
    ++i;
    if (i < text.size() && text[i] == '%') {
      ++i;
      continue;
    }
    while (i < text.size() && std::string_view("-+ #0").find(text[i]) != std::string_view::npos) {
      ++i;
    }
    while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
      ++i;
    }
    if (i < text.size() && text[i] == '.') {
      ++i;
      while (i < text.size() && text[i] >= '0' && text[i] <= '9') {
        ++i;
      }
    }
    while (i < text.size() && (text[i] == 'h' || text[i] == 'l')) {
      ++i;
    }
    if (i >= text.size() || std::string_view("diuxXocs").find(text[i]) == std::string_view::npos) {
      return std::nullopt;
    }
    types += text[i];
    ++i;
  }
  return types;
}

// The INI reader's rules for a value: spaces and tabs around it dropped, then one pair of
// enclosing quotes (both " or both ') dropped; nothing inside is unescaped.
std::string IniValue(std::string_view raw) {
  const auto first = raw.find_first_not_of(" \t");
  if (first == std::string_view::npos) {
    return {};
  }
  raw = raw.substr(first, raw.find_last_not_of(" \t") - first + 1);
  if (raw.size() >= 2 && (raw.front() == '"' || raw.front() == '\'') && raw.back() == raw.front()) {
    raw = raw.substr(1, raw.size() - 2);
  }
  return std::string(raw);
}

struct IniEntry {
  std::string key;
  std::string value;  // after the INI rules
};

// A language file as the checks see it: the entries of [STRING TABLE] in file order, and
// whatever in the file's shape is wrong for a language file we ship.
struct LanguageFile {
  std::vector<IniEntry> entries;
  std::vector<std::string> problems;
};

// A deliberately small reader, independent of the program's own: lines end in CR LF, ';'
// starts a comment line, the only section is [STRING TABLE], every other line in it is
// KEY=value.
LanguageFile ParseLanguageFile(std::string_view bytes) {
  LanguageFile file;
  if (bytes.substr(0, 3) == "\xEF\xBB\xBF") {
    file.problems.push_back("starts with a UTF-8 byte-order mark");
  }
  int sectionsSeen = 0;
  bool inStringTable = false;
  std::size_t lineNumber = 0;
  std::size_t pos = 0;
  while (pos < bytes.size()) {
    ++lineNumber;
    const std::string where = "line " + std::to_string(lineNumber) + ": ";
    auto end = bytes.find('\n', pos);
    std::string_view line;
    if (end == std::string_view::npos) {
      line = bytes.substr(pos);
      file.problems.push_back(where + "the last line has no CR LF");
      pos = bytes.size();
    } else {
      line = bytes.substr(pos, end - pos);
      pos = end + 1;
      if (line.empty() || line.back() != '\r') {
        file.problems.push_back(where + "ends in LF without CR");
      } else {
        line.remove_suffix(1);
      }
    }
    if (line.find('\r') != std::string_view::npos) {
      file.problems.push_back(where + "holds a lone CR");
    }
    const auto first = line.find_first_not_of(" \t");
    if (first == std::string_view::npos || line[first] == ';') {
      continue;
    }
    if (line[first] == '[') {
      ++sectionsSeen;
      inStringTable = IniValue(line) == "[STRING TABLE]";
      if (!inStringTable) {
        file.problems.push_back(where + "section other than [STRING TABLE]: " + std::string(line));
      }
      if (sectionsSeen > 1) {
        file.problems.push_back(where + "a second section header");
      }
      continue;
    }
    const auto equals = line.find('=');
    if (!inStringTable) {
      file.problems.push_back(where + "entry outside [STRING TABLE]");
      continue;
    }
    if (equals == std::string_view::npos) {
      file.problems.push_back(where + "line without '=': " + std::string(line));
      continue;
    }
    const std::string key = IniValue(line.substr(0, equals));
    file.entries.push_back({key, IniValue(line.substr(equals + 1))});
  }
  if (sectionsSeen == 0) {
    file.problems.push_back("no [STRING TABLE] section");
  }
  return file;
}

std::size_t LeadingSpaces(std::string_view text) {
  const auto first = text.find_first_not_of(' ');
  return first == std::string_view::npos ? text.size() : first;
}

std::size_t TrailingSpaces(std::string_view text) {
  const auto last = text.find_last_not_of(' ');
  return last == std::string_view::npos ? text.size() : text.size() - 1 - last;
}

// Accelerator marks ("&A" of "About ...(&A)..."), in order; "&&" is a literal ampersand.
std::string Accelerators(std::string_view text) {
  std::string marks;
  for (std::size_t i = 0; i + 1 < text.size(); ++i) {
    if (text[i] == '&') {
      if (text[i + 1] != '&') {
        marks += text[i + 1];
      }
      ++i;
    }
  }
  return marks;
}

// Width in half-width units: an ASCII character counts 1, anything wider (Chinese) counts 2.
std::size_t DisplayWidth(std::string_view text) {
  const auto cps = DecodeUtf8(text);
  if (!cps) {
    return SIZE_MAX;
  }
  std::size_t width = 0;
  for (const char32_t cp : *cps) {
    width += cp < 0x80 ? 1 : 2;
  }
  return width;
}

std::optional<UiText> FindKey(std::string_view key) {
  for (const UiText& text : kAllTexts) {
    if (text.key == key) {
      return text;
    }
  }
  return std::nullopt;
}

// The English file's value for a key: the built-in text, except that a value is one line, so
// a line break of the built-in text (only the Writer's "IC Error!..." sentence has one) is
// written as a single space.
std::string ExpectedEnglishValue(std::string_view builtIn) {
  std::string out;
  for (std::size_t i = 0; i < builtIn.size(); ++i) {
    if (builtIn.substr(i, 2) == "\r\n") {
      out += ' ';
      ++i;
    } else {
      out += builtIn[i];
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// The key list and the built-in table

TEST(UiTextKeyList, MatchesTheHeader) {
  const std::string header = ReadAll(kSourceDir / "src" / "ui_text" / "ui_texts.h");
  ASSERT_FALSE(header.empty());
  const std::regex declaration(R"re(inline constexpr UiText (\w+)\{"([^"]*)", (\d+)\})re");
  std::map<std::string, int> declared;
  for (auto it = std::sregex_iterator(header.begin(), header.end(), declaration); it != std::sregex_iterator();
       ++it) {
    const std::smatch& m = *it;
    EXPECT_EQ(m[1].str(), m[2].str()) << "identifier and key differ";
    declared[m[2].str()] = std::stoi(m[3].str());
  }
  std::map<std::string, int> listed;
  for (const UiText& text : kAllTexts) {
    listed[std::string(text.key)] = text.builtinId;
  }
  EXPECT_EQ(listed.size(), kAllTexts.size()) << "a key is listed twice";
  EXPECT_EQ(listed, declared);
}

TEST(UiTextKeyList, KeysAndNumbersAreDistinct) {
  std::set<std::string> keysIgnoringCase;
  std::set<int> numbers;
  for (const UiText& text : kAllTexts) {
    EXPECT_TRUE(text.key.starts_with("IDS_")) << text.key;
    // The INI reader matches keys without regard to case, so two keys may not differ by case only.
    EXPECT_TRUE(keysIgnoringCase.insert(AsciiUpper(text.key)).second) << text.key;
    // No two keys share a built-in text: each fallback is its own string.
    EXPECT_TRUE(numbers.insert(text.builtinId).second) << text.key << " reuses string " << text.builtinId;
  }
}

TEST(BuiltInStringTable, HoldsExactlyTheNumbersOfTheKeys) {
  const auto table = BuiltInTable();
  for (std::size_t i = 1; i < table.size(); ++i) {
    EXPECT_LT(table[i - 1].id, table[i].id) << "table not sorted at entry " << i;
  }
  std::set<int> numbers;
  for (const UiText& text : kAllTexts) {
    numbers.insert(text.builtinId);
    EXPECT_FALSE(BuiltInString(text.builtinId).empty()) << text.key << " (" << text.builtinId << ")";
  }
  std::set<int> inTable;
  for (const BuiltInEntry& entry : table) {
    inTable.insert(entry.id);
    EXPECT_EQ(BuiltInString(entry.id), entry.text) << entry.id;
  }
  EXPECT_EQ(inTable, numbers);
}

TEST(BuiltInStringTable, UnknownNumberGivesEmptyText) {
  for (const int id : {0, -1, 1, 100, 103, 104, 171, 211, 399, 453, 1040, 1043, 1055, INT_MIN, INT_MAX}) {
    EXPECT_TRUE(BuiltInString(id).empty()) << id;
  }
}

TEST(BuiltInStringTable, TextsAreOneLineUtf8WithWellFormedConversions) {
  for (const BuiltInEntry& entry : BuiltInTable()) {
    EXPECT_TRUE(DecodeUtf8(entry.text).has_value()) << entry.id;
    EXPECT_TRUE(ConversionTypes(entry.text).has_value()) << entry.id << ": " << entry.text;
    // Only the Writer's own "IC Error!..." sentence carries a line break, as the Writer sends it.
    if (entry.id != IDS_MESSAGE_ICError.builtinId) {
      EXPECT_EQ(entry.text.find_first_of("\r\n"), std::string_view::npos) << entry.id;
    }
  }
}

// The texts whose spaces, conversions or punctuation the callers depend on.
TEST(BuiltInStringTable, TextsThatCallersDependOnAreExact) {
  const std::vector<std::pair<UiText, std::string_view>> cases{
      {IDS_ABOUTBOX, "About Quill_Wt(&A)..."},
      {IDS_EDIT_List, "This program can download VX3 file into the Orvel Writer !!!"},
      {IDS_EDIT_List_Web, "Orvel Writer website: https://www.orvel.example/writer/download"},
      {IDS_DriverVersion, "DRV Ver : "},
      {IDS_CheckSum, "EPROM check sum :"},
      {IDS_MESSAGE_Error, "Err: "},
      {IDS_CheckSum_Format, "%s Check Sum : "},
      {IDS_CheckSum_Format_VX3, " %04X %s"},
      {IDS_EPROM_CheckSum, "The EPROM check sum is %04X"},
      {IDS_TypeDismatch_Format, "    ( Device = %s )"},
      {IDS_TypeDismatch_Format1, "    ( Device = %s )"},
      {IDS_Format_RollingAddressLength, "Rolling Code address %X, Length %d words"},
      {IDS_Format_RollingStep, "Rolling Step  : %s"},
      {IDS_Rolling13BIT_RollingValue, "Rolling Value :  (Low Byte)"},
      {IDS_Rolling_Alignment, "Word Alignment : "},
      {IDS_Rolling_VerifyMode, "Verify ROM without RollingCode in Verify mode "},
      {IDS_MESSAGE_ICError, "IC Error!IC Typis different wih VX3!\r\nPlease check it again"},
      {IDS_MESSAGE_NoUpdateFile, "Error:  No update file selected."},
      {IDS_MESSAGE_USBWriteDataFail, "USB write data fail !!!"},
      {IDS_Rolling_Description,
       "At Asm,  Add \" .Rolling_Code N \" at the address of you want to put, and N is a value of rolling_code "
       "size from 1 to 4 words, then Asm-Tool will auto generate \" filename.INI \" for rolling_code."},
  };
  for (const auto& [text, expected] : cases) {
    EXPECT_EQ(BuiltInString(text.builtinId), expected) << text.key;
  }
}

// ---------------------------------------------------------------------------------------------
// The local reader itself: the file checks below are only as good as it is.

TEST(LanguageFileParser, AppliesTheIniValueRules) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases{
      {"plain", "plain"},
      {" \t spaced \t ", "spaced"},
      {"\"  quoted  \"", "  quoted  "},
      {"  \" %04X %s\"  ", " %04X %s"},
      {"'single'", "single"},
      {"\"mixed'", "\"mixed'"},
      {"\"", "\""},
      {"\"\"", ""},
      {"\"\"twice\"\"", "\"twice\""},
      {"a \" b \" c", "a \" b \" c"},
      {"", ""},
  };
  for (const auto& [raw, value] : cases) {
    EXPECT_EQ(IniValue(raw), value) << "raw: [" << raw << "]";
  }
}

TEST(LanguageFileParser, ReportsFilesOfTheWrongShape) {
  const std::vector<std::pair<std::string_view, std::string_view>> cases{
      {"[STRING TABLE]\r\nA=1\n", "LF without CR"},
      {"[STRING TABLE]\r\nA=1", "no CR LF"},
      {"\xEF\xBB\xBF[STRING TABLE]\r\nA=1\r\n", "byte-order mark"},
      {"A=1\r\n[STRING TABLE]\r\n", "outside"},
      {"[STRING TABLE]\r\nA=1\r\n[Other]\r\nB=2\r\n", "section other"},
      {"[STRING TABLE]\r\nno equals sign\r\n", "without '='"},
      {"; only a comment\r\n", "no [STRING TABLE]"},
  };
  for (const auto& [bytes, problem] : cases) {
    const LanguageFile file = ParseLanguageFile(bytes);
    ASSERT_FALSE(file.problems.empty()) << bytes;
    EXPECT_NE(file.problems.front().find(problem), std::string::npos) << file.problems.front();
  }
  const LanguageFile good = ParseLanguageFile("; c\r\n\r\n[STRING TABLE]\r\n; c\r\n K = \" v \" \r\n");
  EXPECT_TRUE(good.problems.empty());
  ASSERT_EQ(good.entries.size(), 1U);
  EXPECT_EQ(good.entries[0].key, "K");
  EXPECT_EQ(good.entries[0].value, " v ");
}

TEST(LanguageFileParser, CountsConversionTypes) {
  const std::vector<std::pair<std::string_view, std::optional<std::string>>> cases{
      {"no conversion", ""},
      {" %04X %s", "Xs"},
      {"address %X, Length %d words", "Xd"},
      {"100%% sure %-8ld", "d"},
      {"%#x %+5.2i %hhu %c %o", "xiuco"},
      {"ends with %", std::nullopt},
      {"%f", std::nullopt},
      {"%n", std::nullopt},
      {"%08", std::nullopt},
  };
  for (const auto& [text, types] : cases) {
    EXPECT_EQ(ConversionTypes(text), types) << text;
  }
}

// ---------------------------------------------------------------------------------------------
// Both shipped files

class LanguageFileCheck : public ::testing::TestWithParam<std::string_view> {
 protected:
  void SetUp() override {
    bytes_ = ReadAll(kSourceDir / "data" / "language" / std::string(GetParam()));
    ASSERT_FALSE(bytes_.empty()) << "missing or empty: " << GetParam();
    file_ = ParseLanguageFile(bytes_);
  }

  // The entry of each key, for keys that stand exactly once in the file.
  std::map<std::string, std::string> ValuesByKey() const {
    std::map<std::string, std::string> values;
    for (const IniEntry& entry : file_.entries) {
      values[entry.key] = entry.value;
    }
    return values;
  }

  std::string bytes_;
  LanguageFile file_;
};

TEST_P(LanguageFileCheck, IsUtf8WithCrLfAndOneStringTable) {
  EXPECT_TRUE(DecodeUtf8(bytes_).has_value());
  for (const std::string& problem : file_.problems) {
    ADD_FAILURE() << GetParam() << ": " << problem;
  }
}

TEST_P(LanguageFileCheck, HoldsEveryKeyOnceWithAUsableValue) {
  std::map<std::string, int> count;  // by key without regard to case, as the reader matches
  for (const IniEntry& entry : file_.entries) {
    const auto known = FindKey(entry.key);
    EXPECT_TRUE(known.has_value()) << "key the program never looks up: " << entry.key;
    ++count[AsciiUpper(entry.key)];
    EXPECT_FALSE(entry.value.empty()) << entry.key;
    const auto cps = DecodeUtf8(entry.value);
    ASSERT_TRUE(cps.has_value()) << entry.key;
    EXPECT_LE(cps->size(), kMaxValueChars) << entry.key;
  }
  for (const UiText& text : kAllTexts) {
    EXPECT_EQ(count[AsciiUpper(text.key)], 1) << text.key;
  }
}

TEST_P(LanguageFileCheck, KeepsTheConversionsOfTheBuiltInText) {
  for (const auto& [key, value] : ValuesByKey()) {
    const auto known = FindKey(key);
    if (!known) {
      continue;  // reported by HoldsEveryKeyOnceWithAUsableValue
    }
    const auto expected = ConversionTypes(BuiltInString(known->builtinId));
    ASSERT_TRUE(expected.has_value()) << key;
    EXPECT_EQ(ConversionTypes(value), expected) << key << "=" << value;
  }
}

// A forgotten pair of quotes loses the spaces that an appended value or an indented line needs.
TEST_P(LanguageFileCheck, KeepsTheSurroundingSpacesOfTheBuiltInText) {
  for (const auto& [key, value] : ValuesByKey()) {
    const auto known = FindKey(key);
    if (!known) {
      continue;
    }
    const std::string_view builtIn = BuiltInString(known->builtinId);
    EXPECT_EQ(LeadingSpaces(value), LeadingSpaces(builtIn)) << key << "=[" << value << "]";
    EXPECT_EQ(TrailingSpaces(value), TrailingSpaces(builtIn)) << key << "=[" << value << "]";
  }
}

TEST_P(LanguageFileCheck, KeepsTheMenuAccelerators) {
  for (const auto& [key, value] : ValuesByKey()) {
    const auto known = FindKey(key);
    if (known) {
      EXPECT_EQ(Accelerators(value), Accelerators(BuiltInString(known->builtinId))) << key << "=" << value;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(ShippedFiles, LanguageFileCheck, ::testing::Values("UIEng.ini", "UIChina.ini"),
                         [](const ::testing::TestParamInfo<std::string_view>& info) {
                           return std::string(info.param.substr(0, info.param.find('.')));
                         });

TEST(EnglishLanguageFile, EqualsTheBuiltInTexts) {
  const LanguageFile file = ParseLanguageFile(ReadAll(kSourceDir / "data" / "language" / "UIEng.ini"));
  ASSERT_FALSE(file.entries.empty());
  for (const IniEntry& entry : file.entries) {
    const auto known = FindKey(entry.key);
    ASSERT_TRUE(known.has_value()) << entry.key;
    EXPECT_EQ(entry.value, ExpectedEnglishValue(BuiltInString(known->builtinId))) << entry.key;
  }
}

class ChineseLanguageFile : public ::testing::Test {
 protected:
  void SetUp() override {
    const LanguageFile file = ParseLanguageFile(ReadAll(kSourceDir / "data" / "language" / "UIChina.ini"));
    for (const IniEntry& entry : file.entries) {
      values_[entry.key] = entry.value;
    }
    ASSERT_FALSE(values_.empty());
  }

  std::map<std::string, std::string> values_;
};

TEST_F(ChineseLanguageFile, TranslatesEveryText) {
  // A pure number format has nothing to translate.
  const std::set<std::string_view> nothingToTranslate{IDS_CheckSum_Format_VX3.key};
  for (const UiText& text : kAllTexts) {
    const std::string& value = values_[std::string(text.key)];
    if (nothingToTranslate.contains(text.key)) {
      EXPECT_EQ(value, BuiltInString(text.builtinId)) << text.key;
      continue;
    }
    const bool hasChinese = std::any_of(value.begin(), value.end(),
                                        [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
    EXPECT_TRUE(hasChinese) << text.key << "=" << value;
  }
}

// The main window's controls have a fixed size. At its dialog font a Latin character takes
// about 4 dialog units and a Chinese one about 8; push buttons and radio buttons lose some
// room to their frame or check mark. The limits are in half-width units (Chinese counts 2).
TEST_F(ChineseLanguageFile, MainWindowCaptionsFitTheirControls) {
  const std::vector<std::pair<UiText, std::size_t>> cases{
      {IDS_STR_PROMPT, 14},      // button 99 units wide
      {IDS_AutoProgram, 14},     // buttons 97 to 98 units wide
      {IDS_BlankCheck, 14},      //
      {IDS_Erase, 14},           //
      {IDS_ProgramOnly, 14},     //
      {IDS_Verify, 14},          //
      {IDS_ReadProgram, 14},     //
      {IDS_RollingCode, 14},     //
      {IDS_LoadOTP, 12},         // button 52 units wide
      {IDS_RADIO_Fun0, 14},      // radio buttons 100 units wide
      {IDS_RADIO_Fun6, 14},      //
      {IDS_Device, 28},          // group boxes 130 units wide
      {IDS_Operation_Mode, 28},  //
      {IDS_Read, 28},            //
      {IDS_FilePath, 9},         // label 39 units wide
      {IDS_CurrentStatus, 7},    // label 28 units wide
      {IDS_DriverVersion, 9},    // label 36 units wide
      {IDS_CheckSum, 17},        // label 70 units wide
  };
  for (const auto& [text, limit] : cases) {
    std::string_view value = values_[std::string(text.key)];
    value = value.substr(0, value.find_last_not_of(' ') + 1);  // a trailing space is not seen
    EXPECT_LE(DisplayWidth(value), limit) << text.key << "=" << value;
  }
}

}  // namespace
}  // namespace vx3::text
