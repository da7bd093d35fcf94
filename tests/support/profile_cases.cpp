#include "support/profile_cases.h"

namespace vx3::testing {

std::string Utf16File(std::u16string_view text, bool littleEndian) {
  std::string out = littleEndian ? "\xFF\xFE" : "\xFE\xFF";
  for (const char16_t unit : text) {
    const char high = static_cast<char>(unit >> 8);
    const char low = static_cast<char>(unit & 0xFF);
    out.push_back(littleEndian ? low : high);
    out.push_back(littleEndian ? high : low);
  }
  return out;
}

std::string Repeat(std::string_view piece, std::size_t times) {
  std::string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::u16string RepeatUtf16(std::u16string_view piece, std::size_t times) {
  std::u16string out;
  for (std::size_t i = 0; i < times; ++i) out += piece;
  return out;
}

std::vector<ProfileReadCase> ProfileReadCases() {
  return {
      {"ExactNames", "[Rolling Code]\r\nWord_Length=4\r\n", "Rolling Code", "Word_Length", "4"},
      {"SectionAndKeyIgnoreCase", "[Rolling Code]\r\nWord_Length=4\r\n", "ROLLING code", "word_LENGTH", "4"},
      {"SpacesAroundSectionNameAndBrackets", "  [  STRING TABLE ]\t \nIDS_OK=OK\n", "string table", "IDS_OK", "OK"},
      {"RequestedNamesTrimmed", "[a]\nk=1\n", " a ", "\tk ", "1"},
      {"KeyNameTrimmed", "[s]\n\t Key \t= v\n", "s", "key", "v"},
      {"ValueTrimmedBothSides", "[s]\nk= \t hello world \t \n", "s", "k", "hello world"},
      {"DoubleQuotesDropped", "[s]\nk=\"  quoted  \"\n", "s", "k", "  quoted  "},
      {"SingleQuotesDropped", "[s]\nk= 'x y' \n", "s", "k", "x y"},
      {"OnlyOnePairDropped", "[s]\nk=\"\"x\"\"\n", "s", "k", "\"x\""},
      {"MismatchedQuotesKept", "[s]\nk=\"x'\n", "s", "k", "\"x'"},
      {"LoneQuoteKept", "[s]\nk=\"\n", "s", "k", "\""},
      {"QuoteOnOneSideKept", "[s]\nk='abc\n", "s", "k", "'abc"},
      {"InnerQuotesKept", "[s]\nk=a\"b\"c\n", "s", "k", "a\"b\"c"},
      {"EmptyQuotesGiveEmpty", "[s]\nk=\"\"\n", "s", "k", ""},
      {"NothingUnescaped", "[s]\nk=a\\nb\\t%s\n", "s", "k", "a\\nb\\t%s"},
      {"ValueMayHoldEquals", "[s]\nk = a=b\n", "s", "k", "a=b"},
      {"EmptyValueIsPresent", "[s]\nk=\nj=1\n", "s", "k", ""},
      {"BlankValueIsPresent", "[s]\nk=   \n", "s", "k", ""},
      {"MissingKey", "[s]\nk=1\n", "s", "j", std::nullopt},
      {"MissingSection", "[s]\nk=1\n", "t", "k", std::nullopt},
      {"EmptyFile", "", "s", "k", std::nullopt},
      {"EmptyKeyNeverMatches", "[s]\n=1\n", "s", "", std::nullopt},
      {"KeyInDifferentSection", "[a]\nk=1\n[b]\nj=2\n", "b", "k", std::nullopt},
      {"KeyBeforeAnySection", "k=0\n[s]\nj=1\n", "s", "k", std::nullopt},
      {"SectionEndsAtNextHeader", "[a]\nx=1\n[b]\nk=2\n", "a", "k", std::nullopt},
      {"FirstOfDuplicateSectionsWins", "[s]\nk=1\n[S]\nk=2\n", "s", "k", "1"},
      {"LaterDuplicateSectionNotSearched", "[s]\nk=1\n[s]\nj=2\n", "s", "j", std::nullopt},
      {"FirstOfDuplicateKeysWins", "[s]\nk=1\nK=2\n", "s", "k", "1"},
      {"CommentLineIgnored", "[s]\n;k=commented\nk=real\n", "s", "k", "real"},
      {"IndentedCommentIgnored", "[s]\n \t; k=commented\n", "s", "k", std::nullopt},
      {"LineWithoutEqualsIgnored", "[s]\nk\nk=2\n", "s", "k", "2"},
      {"UnclosedBracketIsNoSection", "[s\nk=1\n", "s", "k", std::nullopt},
      {"TextAfterClosingBracketIgnored", "[s] ; note\nk=1\n", "s", "k", "1"},
      {"CrOnlyLineEnds", "[a]\rk=1\r[b]\rk=2\r", "b", "k", "2"},
      {"LfLineEnds", "[a]\nk=1\n[b]\nk=2\n", "b", "k", "2"},
      {"MixedLineEnds", "[a]\r\nk=1\r[b]\nk=2", "b", "k", "2"},
      {"LastLineWithoutLineEnd", "[s]\nk=last", "s", "k", "last"},
      {"Utf8BomSkipped", "\xEF\xBB\xBF[s]\nk=v\n", "s", "k", "v"},
      {"Utf8ValuePassedThrough", "[s]\nk=" + kChinese + kEuro + kEmoji + "\n", "s", "k", kChinese + kEuro + kEmoji},
      {"NonAsciiNamesMatchExactly", "[" + kChinese + "]\n" + kEuro + "=1\n", kChinese, kEuro, "1"},
      {"InvalidByteReplaced", "[s]\nk=a\xFF" "b\n", "s", "k", "a" + kReplacement + "b"},
      {"TruncatedSequenceReplaced", "[s]\nk=a\xE4\xB8", "s", "k", "a" + kReplacement},
      {"OverlongFormReplaced", "[s]\nk=\xC0\xAF!\n", "s", "k", kReplacement + kReplacement + "!"},
      {"EncodedSurrogateReplaced", "[s]\nk=\xED\xA0\x80.\n", "s", "k", kReplacement + kReplacement + kReplacement + "."},
      {"Utf16LeWithBom", Utf16File(u"[STRING TABLE]\r\nIDS_CHIP=\u82af\u7247 \"x\"\r\n", true), "string table",
       "ids_chip", "\xE8\x8A\xAF\xE7\x89\x87 \"x\""},
      {"Utf16BeWithBom", Utf16File(u"[s]\rk = '\u4e2d\U0001F600'\r", false), "s", "k", kChinese + kEmoji},
      {"Utf16UnpairedSurrogateReplaced", Utf16File(u"[s]\nk=a\xD800" u"b\n", true), "s", "k",
       "a" + kReplacement + "b"},
      {"Utf16OddLengthTolerated", Utf16File(u"[s]\nk=ab", true) + "x", "s", "k", "ab" + kReplacement},
      {"Utf16WithoutBomIsNotText", Utf16File(u"[s]\nk=1\n", true).substr(2), "s", "k", std::nullopt},
      {"CutAt259Ascii", "[s]\nk=" + std::string(300, 'a') + "\n", "s", "k", std::string(259, 'a')},
      {"Exactly259Kept", "[s]\nk=" + std::string(259, 'b') + "\n", "s", "k", std::string(259, 'b')},
      {"CutCountsCharactersNotBytes", "[s]\nk=" + Repeat(kChinese, 300) + "\n", "s", "k", Repeat(kChinese, 259)},
      {"CutNeverSplitsASequence", "[s]\nk=" + std::string(258, 'a') + kEmoji + kEmoji + "\n", "s", "k",
       std::string(258, 'a') + kEmoji},
      {"Utf16CutCountsCodePoints", Utf16File(u"[s]\nk=" + RepeatUtf16(u"\U0001F600", 300), true), "s", "k",
       Repeat(kEmoji, 259)},
      {"CutAfterQuotesDropped", "[s]\nk=\"" + std::string(259, 'c') + "\"\n", "s", "k", std::string(259, 'c')},
      {"LongQuotedValueCutInsideQuotes", "[s]\nk=\"" + std::string(300, 'c') + "\"\n", "s", "k",
       std::string(259, 'c')},
  };
}

}  // namespace vx3::testing
