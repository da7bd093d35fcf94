// The UI text keys the program looks up in its language files, each paired with the number
// of its built-in English fallback in the string table (resources/builtin_strings.cpp).
#pragma once

#include <string_view>

namespace vx3::text {

// One looked-up text: the language-file key and the built-in string that stands in for it.
struct UiText {
  std::string_view key;
  int builtinId;
};

// The identifiers spell the keys exactly, so that a key found in a language file can be
// found in the code by the same word.
// NOLINTBEGIN(readability-identifier-naming)
inline constexpr UiText IDS_ABOUTBOX{"IDS_ABOUTBOX", 101};
inline constexpr UiText IDS_About{"IDS_About", 168};
inline constexpr UiText IDS_AutoProgram{"IDS_AutoProgram", 106};
inline constexpr UiText IDS_BlankCheck{"IDS_BlankCheck", 107};
inline constexpr UiText IDS_CANCEL{"IDS_CANCEL", 400};
inline constexpr UiText IDS_CHIP{"IDS_CHIP", 401};
inline constexpr UiText IDS_CHIP_CLOSE_HISTORY{"IDS_CHIP_CLOSE_HISTORY", 402};
inline constexpr UiText IDS_CHIP_ERROR_MESSAGE{"IDS_CHIP_ERROR_MESSAGE", 403};
inline constexpr UiText IDS_CHIP_HISTORY{"IDS_CHIP_HISTORY", 404};
inline constexpr UiText IDS_CHIP_LIST{"IDS_CHIP_LIST", 405};
inline constexpr UiText IDS_CHIP_TYPE{"IDS_CHIP_TYPE", 406};
inline constexpr UiText IDS_CheckSum{"IDS_CheckSum", 169};
inline constexpr UiText IDS_CheckSum_Format{"IDS_CheckSum_Format", 407};
inline constexpr UiText IDS_CheckSum_Format_VX3{"IDS_CheckSum_Format_VX3", 408};
inline constexpr UiText IDS_CurrentStatus{"IDS_CurrentStatus", 112};
inline constexpr UiText IDS_Device{"IDS_Device", 113};
inline constexpr UiText IDS_DriverVersion{"IDS_DriverVersion", 167};
inline constexpr UiText IDS_EDIT_List{"IDS_EDIT_List", 114};
inline constexpr UiText IDS_EDIT_List_Web{"IDS_EDIT_List_Web", 212};
inline constexpr UiText IDS_EPROM_CheckSum{"IDS_EPROM_CheckSum", 409};
inline constexpr UiText IDS_Erase{"IDS_Erase", 209};
inline constexpr UiText IDS_FilePath{"IDS_FilePath", 111};
inline constexpr UiText IDS_Format_RollingAddressLength{"IDS_Format_RollingAddressLength", 410};
inline constexpr UiText IDS_Format_RollingCustom{"IDS_Format_RollingCustom", 411};
inline constexpr UiText IDS_Format_RollingDisabled{"IDS_Format_RollingDisabled", 412};
inline constexpr UiText IDS_Format_RollingFile{"IDS_Format_RollingFile", 413};
inline constexpr UiText IDS_Format_RollingStep{"IDS_Format_RollingStep", 414};
inline constexpr UiText IDS_Format_RollingValue{"IDS_Format_RollingValue", 415};
inline constexpr UiText IDS_Format_RollingWordAlign{"IDS_Format_RollingWordAlign", 416};
inline constexpr UiText IDS_MESSAGE_BufferVerifyFAIL{"IDS_MESSAGE_BufferVerifyFAIL", 417};
inline constexpr UiText IDS_MESSAGE_BufferVerifyOK{"IDS_MESSAGE_BufferVerifyOK", 418};
inline constexpr UiText IDS_MESSAGE_CantOpenFile{"IDS_MESSAGE_CantOpenFile", 419};
inline constexpr UiText IDS_MESSAGE_EEPROMOK{"IDS_MESSAGE_EEPROMOK", 420};
inline constexpr UiText IDS_MESSAGE_Error{"IDS_MESSAGE_Error", 172};
inline constexpr UiText IDS_MESSAGE_FileDismatch{"IDS_MESSAGE_FileDismatch", 421};
inline constexpr UiText IDS_MESSAGE_ICError{"IDS_MESSAGE_ICError", 422};
inline constexpr UiText IDS_MESSAGE_NoUpdateFile{"IDS_MESSAGE_NoUpdateFile", 423};
inline constexpr UiText IDS_MESSAGE_RollingProgramOK{"IDS_MESSAGE_RollingProgramOK", 424};
inline constexpr UiText IDS_MESSAGE_RollingVerifyOk{"IDS_MESSAGE_RollingVerifyOk", 425};
inline constexpr UiText IDS_MESSAGE_SelectFile{"IDS_MESSAGE_SelectFile", 426};
inline constexpr UiText IDS_MESSAGE_USBNOTDETECTED{"IDS_MESSAGE_USBNOTDETECTED", 427};
inline constexpr UiText IDS_MESSAGE_USBOK{"IDS_MESSAGE_USBOK", 428};
inline constexpr UiText IDS_MESSAGE_USBReadFail{"IDS_MESSAGE_USBReadFail", 429};
inline constexpr UiText IDS_MESSAGE_USBWriteDataFail{"IDS_MESSAGE_USBWriteDataFail", 125};
// A read that broke off: how many bytes arrived of how many, and the read-back file kept as it was.
inline constexpr UiText IDS_MESSAGE_ReadBrokeOff{"IDS_MESSAGE_ReadBrokeOff", 730};
inline constexpr UiText IDS_MESSAGE_VerifyOK{"IDS_MESSAGE_VerifyOK", 430};
inline constexpr UiText IDS_OK{"IDS_OK", 431};
inline constexpr UiText IDS_Operation_Mode{"IDS_Operation_Mode", 1042};
inline constexpr UiText IDS_ProgramOnly{"IDS_ProgramOnly", 108};
inline constexpr UiText IDS_RADIO_Fun0{"IDS_RADIO_Fun0", 210};
inline constexpr UiText IDS_RADIO_Fun6{"IDS_RADIO_Fun6", 1041};
inline constexpr UiText IDS_Read{"IDS_Read", 105};
inline constexpr UiText IDS_ReadProgram{"IDS_ReadProgram", 110};
inline constexpr UiText IDS_Rolling13BIT_RollingValue{"IDS_Rolling13BIT_RollingValue", 432};
inline constexpr UiText IDS_Rolling_Alignment{"IDS_Rolling_Alignment", 433};
inline constexpr UiText IDS_Rolling_AutoINC{"IDS_Rolling_AutoINC", 434};
inline constexpr UiText IDS_Rolling_Custom{"IDS_Rolling_Custom", 435};
inline constexpr UiText IDS_Rolling_Description{"IDS_Rolling_Description", 436};
inline constexpr UiText IDS_Rolling_HighAtLowAddress{"IDS_Rolling_HighAtLowAddress", 437};
inline constexpr UiText IDS_Rolling_HowTo{"IDS_Rolling_HowTo", 438};
inline constexpr UiText IDS_Rolling_LowAtLowAddress{"IDS_Rolling_LowAtLowAddress", 439};
inline constexpr UiText IDS_Rolling_NotUse{"IDS_Rolling_NotUse", 440};
inline constexpr UiText IDS_Rolling_OK{"IDS_Rolling_OK", 441};
inline constexpr UiText IDS_Rolling_RollingMethod{"IDS_Rolling_RollingMethod", 442};
inline constexpr UiText IDS_Rolling_RollingValue{"IDS_Rolling_RollingValue", 443};
inline constexpr UiText IDS_Rolling_Run{"IDS_Rolling_Run", 444};
inline constexpr UiText IDS_Rolling_StartAddress{"IDS_Rolling_StartAddress", 445};
inline constexpr UiText IDS_Rolling_StepValue{"IDS_Rolling_StepValue", 446};
inline constexpr UiText IDS_Rolling_VerifyMode{"IDS_Rolling_VerifyMode", 447};
inline constexpr UiText IDS_Rolling_WordAlignment{"IDS_Rolling_WordAlignment", 448};
inline constexpr UiText IDS_Rolling_WordLength{"IDS_Rolling_WordLength", 449};
inline constexpr UiText IDS_STR_PROMPT{"IDS_STR_PROMPT", 102};
inline constexpr UiText IDS_STR_PROMPT2{"IDS_STR_PROMPT2", 1054};
inline constexpr UiText IDS_SecurityEnable{"IDS_SecurityEnable", 450};
inline constexpr UiText IDS_TypeDismatch_Format{"IDS_TypeDismatch_Format", 451};
inline constexpr UiText IDS_TypeDismatch_Format1{"IDS_TypeDismatch_Format1", 452};
inline constexpr UiText IDS_Verify{"IDS_Verify", 109};
// Captions of the Rolling Code and Load OTP buttons, so that they follow the language too.
inline constexpr UiText IDS_RollingCode{"IDS_RollingCode", 500};
inline constexpr UiText IDS_LoadOTP{"IDS_LoadOTP", 501};
// The window's close waits for the worker's EEPROM job, and says so.
inline constexpr UiText IDS_MESSAGE_WaitForWorker{"IDS_MESSAGE_WaitForWorker", 502};
// A Writer job runs: the status line shows what it does and for how long.
inline constexpr UiText IDS_MESSAGE_Busy{"IDS_MESSAGE_Busy", 520};
inline constexpr UiText IDS_Busy_WriterJob{"IDS_Busy_WriterJob", 521};
// A chip action that the Writer never ends.
inline constexpr UiText IDS_MESSAGE_ActionTimeout{"IDS_MESSAGE_ActionTimeout", 522};
// The second close while the Writer does not answer, and what the log keeps of a Yes.
inline constexpr UiText IDS_MESSAGE_CloseAnyway{"IDS_MESSAGE_CloseAnyway", 523};
inline constexpr UiText IDS_MESSAGE_ClosedAnyway{"IDS_MESSAGE_ClosedAnyway", 524};
// The worker's EEPROM job failed: the Writer has nothing to program chips with.
inline constexpr UiText IDS_MESSAGE_NoValidJob{"IDS_MESSAGE_NoValidJob", 525};
// A wrapped-layout image chosen by the one-click button: its header is behind the wrapper.
inline constexpr UiText IDS_MESSAGE_LoadThroughDevice{"IDS_MESSAGE_LoadThroughDevice", 526};
// The production record: serial numbers that cannot be recorded, raised and skipped values,
// a damaged record kept aside, values left without a result.
inline constexpr UiText IDS_Ledger_CannotRecord{"IDS_Ledger_CannotRecord", 600};
inline constexpr UiText IDS_Ledger_RaisedByWriter{"IDS_Ledger_RaisedByWriter", 601};
inline constexpr UiText IDS_Ledger_RaisedByRecord{"IDS_Ledger_RaisedByRecord", 602};
inline constexpr UiText IDS_Ledger_ValuesUsedUp{"IDS_Ledger_ValuesUsedUp", 603};
inline constexpr UiText IDS_Ledger_SkippedValue{"IDS_Ledger_SkippedValue", 604};
inline constexpr UiText IDS_Ledger_KeptAside{"IDS_Ledger_KeptAside", 605};
inline constexpr UiText IDS_Ledger_MadeUnknown{"IDS_Ledger_MadeUnknown", 606};
// The last chip's result, the counters, the export of the record, a record that cannot be used.
inline constexpr UiText IDS_Ledger_Pass{"IDS_Ledger_Pass", 607};
inline constexpr UiText IDS_Ledger_Fail{"IDS_Ledger_Fail", 608};
inline constexpr UiText IDS_Ledger_Unknown{"IDS_Ledger_Unknown", 609};
inline constexpr UiText IDS_Ledger_ResultDetail{"IDS_Ledger_ResultDetail", 610};
inline constexpr UiText IDS_Ledger_ResetCounters{"IDS_Ledger_ResetCounters", 613};
// Asked before the counters are reset (default No).
inline constexpr UiText IDS_Ledger_ResetQuestion{"IDS_Ledger_ResetQuestion", 731};
inline constexpr UiText IDS_Ledger_Export{"IDS_Ledger_Export", 614};
inline constexpr UiText IDS_Ledger_Exported{"IDS_Ledger_Exported", 615};
inline constexpr UiText IDS_Ledger_ExportFailed{"IDS_Ledger_ExportFailed", 616};
inline constexpr UiText IDS_Ledger_CountersWereReset{"IDS_Ledger_CountersWereReset", 617};
inline constexpr UiText IDS_Ledger_ExportJob{"IDS_Ledger_ExportJob", 618};
inline constexpr UiText IDS_Ledger_ExportToday{"IDS_Ledger_ExportToday", 619};
inline constexpr UiText IDS_Ledger_ExportAll{"IDS_Ledger_ExportAll", 620};
inline constexpr UiText IDS_Ledger_CsvFilter{"IDS_Ledger_CsvFilter", 621};
inline constexpr UiText IDS_Ledger_NotOpen{"IDS_Ledger_NotOpen", 622};
inline constexpr UiText IDS_Ledger_NoValue{"IDS_Ledger_NoValue", 623};
// The title of the export's dialogs (the menu item's text ends in "...", a title does not).
inline constexpr UiText IDS_Ledger_ExportCaption{"IDS_Ledger_ExportCaption", 624};
// A shared series of several stations: the refusal when no value is left, the series and block
// shown, blocks reserved and returned.
inline constexpr UiText IDS_Ledger_SeriesUnreachable{"IDS_Ledger_SeriesUnreachable", 625};
inline constexpr UiText IDS_Ledger_SeriesLine{"IDS_Ledger_SeriesLine", 626};
inline constexpr UiText IDS_Ledger_SeriesNoBlock{"IDS_Ledger_SeriesNoBlock", 627};
inline constexpr UiText IDS_Ledger_SeriesBlock{"IDS_Ledger_SeriesBlock", 629};
inline constexpr UiText IDS_Ledger_SeriesReturned{"IDS_Ledger_SeriesReturned", 630};
// Values a Writer used on its own: the runs found at a read-back, a Writer value below values
// used, the stand-alone chips in the counters, and the series' claims and conflicts of them.
inline constexpr UiText IDS_Ledger_Standalone{"IDS_Ledger_Standalone", 640};
inline constexpr UiText IDS_Ledger_WriterBelowUsed{"IDS_Ledger_WriterBelowUsed", 641};
inline constexpr UiText IDS_Ledger_StandaloneCounters{"IDS_Ledger_StandaloneCounters", 642};
inline constexpr UiText IDS_Ledger_SeriesClaimed{"IDS_Ledger_SeriesClaimed", 643};
inline constexpr UiText IDS_Ledger_SeriesConflict{"IDS_Ledger_SeriesConflict", 644};
inline constexpr UiText IDS_Ledger_SeriesClaimLater{"IDS_Ledger_SeriesClaimLater", 645};
inline constexpr UiText IDS_Ledger_SeriesConflicts{"IDS_Ledger_SeriesConflicts", 646};
inline constexpr UiText IDS_Ledger_StandaloneOne{"IDS_Ledger_StandaloneOne", 647};
// Serial numbers that the rolling INI asks for but that cannot be made: the status line, the
// verdict band, the question before a chip is programmed without them, and the reasons.
inline constexpr UiText IDS_NoSerial_Line{"IDS_NoSerial_Line", 660};
inline constexpr UiText IDS_NoSerial_Verdict{"IDS_NoSerial_Verdict", 661};
inline constexpr UiText IDS_NoSerial_Question{"IDS_NoSerial_Question", 662};
inline constexpr UiText IDS_NoSerial_NotNumber{"IDS_NoSerial_NotNumber", 663};
inline constexpr UiText IDS_NoSerial_NoGenerator{"IDS_NoSerial_NoGenerator", 664};
inline constexpr UiText IDS_NoSerial_GeneratorMissing{"IDS_NoSerial_GeneratorMissing", 665};
inline constexpr UiText IDS_NoSerial_UnknownWay{"IDS_NoSerial_UnknownWay", 666};
inline constexpr UiText IDS_NoSerial_NotInRom{"IDS_NoSerial_NotInRom", 667};
inline constexpr UiText IDS_NoSerial_OlderEdition{"IDS_NoSerial_OlderEdition", 668};
inline constexpr UiText IDS_NoSerial_Chosen{"IDS_NoSerial_Chosen", 669};
// A record copied from another PC or folder: said at start, the refusal of a serial, the
// question whether to adopt it as a new station, and its answer.
inline constexpr UiText IDS_Ledger_CopyNote{"IDS_Ledger_CopyNote", 650};
inline constexpr UiText IDS_Ledger_CopyRefusal{"IDS_Ledger_CopyRefusal", 651};
inline constexpr UiText IDS_Ledger_AdoptQuestion{"IDS_Ledger_AdoptQuestion", 652};
inline constexpr UiText IDS_Ledger_Adopted{"IDS_Ledger_Adopted", 653};
inline constexpr UiText IDS_Ledger_NotAdopted{"IDS_Ledger_NotAdopted", 654};
// An installed or read-only program writes into the user's data folder, and says so at start.
inline constexpr UiText IDS_MESSAGE_DataFolder{"IDS_MESSAGE_DataFolder", 530};
// A language file with lines in neither UTF-8 nor its code page: one line at start, and those
// lines' texts in English.
inline constexpr UiText IDS_MESSAGE_LanguageUnreadable{"IDS_MESSAGE_LanguageUnreadable", 740};
// Another program holds the Writer: the window's status box and every Writer command refuse with it.
inline constexpr UiText IDS_MESSAGE_WriterInUse{"IDS_MESSAGE_WriterInUse", 531};
// The command line: its load state between runs, batches of chips, the record's commands.
inline constexpr UiText IDS_Cli_NothingLoaded{"IDS_Cli_NothingLoaded", 700};
inline constexpr UiText IDS_Cli_ImageChanged{"IDS_Cli_ImageChanged", 701};
inline constexpr UiText IDS_Cli_NextChip{"IDS_Cli_NextChip", 702};
inline constexpr UiText IDS_Cli_NoRecord{"IDS_Cli_NoRecord", 704};
inline constexpr UiText IDS_Cli_Interrupted{"IDS_Cli_Interrupted", 705};
inline constexpr UiText IDS_Cli_DeviceNotOffered{"IDS_Cli_DeviceNotOffered", 706};
inline constexpr UiText IDS_Cli_ListingWritten{"IDS_Cli_ListingWritten", 707};
inline constexpr UiText IDS_Cli_FileNotWritten{"IDS_Cli_FileNotWritten", 708};
inline constexpr UiText IDS_Cli_ChipLine{"IDS_Cli_ChipLine", 709};
inline constexpr UiText IDS_Cli_NoJob{"IDS_Cli_NoJob", 710};
// ledger stats --job N of a job that the record does not hold.
inline constexpr UiText IDS_Cli_NoSuchJob{"IDS_Cli_NoSuchJob", 732};
inline constexpr UiText IDS_Cli_SeriesQueued{"IDS_Cli_SeriesQueued", 711};
// ledger adopt: a record that is no copy, and the station name stored.
inline constexpr UiText IDS_Cli_NotACopy{"IDS_Cli_NotACopy", 720};
inline constexpr UiText IDS_Cli_StationNamed{"IDS_Cli_StationNamed", 721};
// --series names a file that is not there or cannot be read: the command stops before the Writer.
inline constexpr UiText IDS_Cli_SeriesFileUnreadable{"IDS_Cli_SeriesFileUnreadable", 712};
// The verdict band while a chip command runs and when it reached no chip; the counters with the
// chips of unknown outcome; the command line's summary of a batch.
inline constexpr UiText IDS_Band_Running{"IDS_Band_Running", 750};
inline constexpr UiText IDS_Band_NotRun{"IDS_Band_NotRun", 751};
inline constexpr UiText IDS_Band_NoChip{"IDS_Band_NoChip", 752};
inline constexpr UiText IDS_Band_NotRunDetail{"IDS_Band_NotRunDetail", 753};
inline constexpr UiText IDS_Band_NoChipDetail{"IDS_Band_NoChipDetail", 754};
inline constexpr UiText IDS_Band_NoChipValueFree{"IDS_Band_NoChipValueFree", 755};
inline constexpr UiText IDS_Band_NotRunReason{"IDS_Band_NotRunReason", 756};
inline constexpr UiText IDS_Ledger_JobTally{"IDS_Ledger_JobTally", 757};
inline constexpr UiText IDS_Ledger_TodayTally{"IDS_Ledger_TodayTally", 758};
inline constexpr UiText IDS_Cli_ChipSummary{"IDS_Cli_ChipSummary", 759};
// A line the Writer said many times over, once with its count.
inline constexpr UiText IDS_MESSAGE_RepeatedLine{"IDS_MESSAGE_RepeatedLine", 760};
// NOLINTEND(readability-identifier-naming)

}  // namespace vx3::text
