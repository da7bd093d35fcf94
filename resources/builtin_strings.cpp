// The built-in string table: the English text of every UI text, by string number. A language
// file that lacks a key, or leaves it empty, shows these texts instead.

#include "ui_text/builtin_strings.h"

#include <algorithm>
#include <array>

namespace vx3::text {
namespace {

// Sorted by number so that a lookup is a binary search; the static_assert below keeps it so.
// The texts are the program's own, character for character: callers format some of them
// ("%s", "%04X", "%X ... %d"), append to others ("Err: ", "DRV Ver : ") and compare one
// ("IC Error!...") with a message the Writer sends, so spaces and line breaks matter.
constexpr std::array kTable{
    BuiltInEntry{101, "About Quill_Wt(&A)..."},
    BuiltInEntry{102, "Device / Load VX3"},
    BuiltInEntry{105, "On-line Operation Mode"},
    BuiltInEntry{106, "Auto Program"},
    BuiltInEntry{107, "Blank Check"},
    BuiltInEntry{108, "Program"},
    BuiltInEntry{109, "Verify"},
    BuiltInEntry{110, "Read"},
    BuiltInEntry{111, "File name :"},
    BuiltInEntry{112, "Status :"},
    BuiltInEntry{113, "Device"},
    BuiltInEntry{114, "This program can download VX3 file into the Orvel Writer !!!"},
    BuiltInEntry{125, "USB write data fail !!!"},
    BuiltInEntry{167, "DRV Ver : "},
    BuiltInEntry{168, "About"},
    BuiltInEntry{169, "EPROM check sum :"},
    BuiltInEntry{172, "Err: "},
    BuiltInEntry{209, "Erase"},
    BuiltInEntry{210, "Fun0 (B+P+V)"},
    BuiltInEntry{212, "Orvel Writer website: https://www.orvel.example/writer/download"},
    BuiltInEntry{400, "CANCEL"},
    BuiltInEntry{401, "Chip Type:"},
    BuiltInEntry{402, "Close History"},
    BuiltInEntry{403, "Can't find any chip driver file (.DRV) !!!"},
    BuiltInEntry{404, "History Chip"},
    BuiltInEntry{405, "CHIP LIST"},
    BuiltInEntry{406, "Chip Series :"},
    BuiltInEntry{407, "%s Check Sum : "},
    BuiltInEntry{408, " %04X %s"},
    BuiltInEntry{409, "The EPROM check sum is %04X"},
    BuiltInEntry{410, "Rolling Code address %X, Length %d words"},
    BuiltInEntry{411, "Rolling Format : ???"},
    BuiltInEntry{412, "Rolling Code disable"},
    BuiltInEntry{413, "Rolling File : %s"},
    BuiltInEntry{414, "Rolling Step  : %s"},
    BuiltInEntry{415, "Rolling Value : %s"},
    BuiltInEntry{416, "Word alignment : %s"},
    BuiltInEntry{417, "Buffer verify fail !!!"},
    BuiltInEntry{418, "Buffer verify O.K"},
    BuiltInEntry{419, "Can't open the .VX3/.BIN file !!!"},
    BuiltInEntry{420, "EEPROM program O.K"},
    BuiltInEntry{421, "Device doesn't match .VX3 file"},
    // The Writer sends this sentence with its line break; the same text here lets the caller
    // recognise it and show the language file's wording instead.
    BuiltInEntry{422, "IC Error!IC Typis different wih VX3!\r\nPlease check it again"},
    BuiltInEntry{423, "Error:  No update file selected."},
    BuiltInEntry{424, "Rolling Code Program O.K"},
    BuiltInEntry{425, "Rolling Code verify O.K"},
    BuiltInEntry{426, "Please select file at first !!!"},
    BuiltInEntry{427, "USB not detected !!!"},
    BuiltInEntry{428, "USB Connect O.K"},
    BuiltInEntry{429, "USB read data fail !!!"},
    BuiltInEntry{430, "EEPROM verify O.K"},
    BuiltInEntry{431, "OK"},
    BuiltInEntry{432, "Rolling Value :  (Low Byte)"},
    BuiltInEntry{433, "Word Alignment : "},
    BuiltInEntry{434, "Auto-Inc from filename.INI"},
    BuiltInEntry{435, "Custom Defined"},
    BuiltInEntry{436, "At Asm,  Add \" .Rolling_Code N \" at the address of you want to put, and N is a value "
                      "of rolling_code size from 1 to 4 words, then Asm-Tool will auto generate \" filename.INI "
                      "\" for rolling_code."},
    BuiltInEntry{437, "Highest word is low address"},
    BuiltInEntry{438, "How to auto. generate filename.INI ?"},
    BuiltInEntry{439, "Lowest word is low address"},
    BuiltInEntry{440, "No Use Rolling Code"},
    BuiltInEntry{441, "OK"},
    BuiltInEntry{442, "Rolling Method"},
    BuiltInEntry{443, "Rolling Value :"},
    BuiltInEntry{444, "Run RollCode.exe"},
    BuiltInEntry{445, "Start Address :"},
    BuiltInEntry{446, "Step Value :"},
    BuiltInEntry{447, "Verify ROM without RollingCode in Verify mode "},
    BuiltInEntry{448, "Word Alignment"},
    BuiltInEntry{449, "Word Length :"},
    BuiltInEntry{450, "(Security option enable)"},
    BuiltInEntry{451, "    ( Device = %s )"},
    BuiltInEntry{452, "    ( Device = %s )"},
    BuiltInEntry{500, "Rolling Code"},
    BuiltInEntry{501, "Load OTP"},
    BuiltInEntry{502, "Waiting for the Writer job to end, then the program closes ..."},
    BuiltInEntry{520, "%s ... %d s"},
    BuiltInEntry{521, "Preparing the Writer"},
    BuiltInEntry{522, "The Writer did not finish %s in %d s"},
    BuiltInEntry{523, "The Writer is not answering. Close anyway? The Writer's EEPROM job may be incomplete."},
    BuiltInEntry{524, "Closed while the Writer was not answering (%s); the Writer's EEPROM job may be incomplete."},
    BuiltInEntry{525, "The Writer holds no valid job: load the image again !!"},
    BuiltInEntry{526, "This image is for %s and must be loaded through \"Device / Load VX3\" !!!"},
    BuiltInEntry{530, "The log, chip history, Load_OTP and Writer state are kept in:"},
    BuiltInEntry{531, "The Writer is in use by another VX3WT (process %s)"},
    BuiltInEntry{600, "Serial numbers cannot be recorded: %s. %s is stopped so that no value is used twice."},
    BuiltInEntry{601, "Rolling value raised from %s to %s: the Writer programmed chips on its own (off-line)."},
    BuiltInEntry{602, "Rolling value raised from %s to %s: the production record has issued values up to %s."},
    BuiltInEntry{603, "No rolling value is left: the production record has issued values up to %s."},
    BuiltInEntry{604, "Rolling value %s is skipped (its chip's result is unknown or it is in use); this chip gets %s."},
    BuiltInEntry{605, "The production record was damaged; it is kept as %s and a new record has been started."},
    BuiltInEntry{606, "Rolling value %s had no result when the program stopped: it is recorded as unknown and not used again."},
    BuiltInEntry{607, "PASS"},
    BuiltInEntry{608, "FAIL"},
    BuiltInEntry{609, "UNKNOWN"},
    BuiltInEntry{610, "%s   Serial %s"},
    BuiltInEntry{613, "Reset counters"},
    BuiltInEntry{614, "Export production record..."},
    BuiltInEntry{615, "Production record exported to %s"},
    BuiltInEntry{616, "Production record not exported: %s"},
    BuiltInEntry{617, "Counters reset: the production record keeps every chip."},
    BuiltInEntry{618, "The loaded job"},
    BuiltInEntry{619, "Today"},
    BuiltInEntry{620, "The whole record"},
    BuiltInEntry{621, "CSV file (*.csv)"},
    BuiltInEntry{622, "The production record cannot be used: %s. Commands that write a serial number are stopped."},
    BuiltInEntry{623, "no serial"},
    BuiltInEntry{624, "Export production record"},
    BuiltInEntry{625, "The serial server cannot be reached: no values left in this station's block"},
    BuiltInEntry{626, "Series %s: block %s to %s, %d values left"},
    BuiltInEntry{627, "Series %s: no block held (%s)"},
    BuiltInEntry{629, "Series %s: block %s to %s reserved on the serial server (%d values)."},
    BuiltInEntry{630, "Series %s: values %s to %s returned unused."},
    BuiltInEntry{640, "Values %s to %s (%d chips) were programmed by the Writer on its own (stand-alone): on record as used, never given again."},
    BuiltInEntry{641, "The Writer holds %s, below values already used up to %s: this chip gets %s."},
    BuiltInEntry{642, ", %d stand-alone (outcome unknown)"},
    BuiltInEntry{643, "Series %s: values %s to %s, used by the Writer on its own past this station's block, are now this station's."},
    BuiltInEntry{644, "Values %s to %s used by the Writer of station %s on its own are held by station %s too: duplicates on the line."},
    BuiltInEntry{645, "Series %s: values %s to %s used by the Writer on its own are on record; the serial server is told when it answers."},
    BuiltInEntry{646, ", %d conflicts with other stations"},
    BuiltInEntry{647, "Value %s was programmed by the Writer on its own (stand-alone): on record as used, never given again."},
    BuiltInEntry{650, "This production record was made on another PC or in another folder (%s): it gives no serial numbers until it is adopted as a new station."},
    BuiltInEntry{651, "the production record is a copy (%s) and gives no serial numbers until it is adopted as a new station (answer Yes at the start of the program, or run \"vx3wt-cli ledger adopt\")"},
    BuiltInEntry{652, "This production record was made on another PC or in another folder (%s). Use it as a new station here? Its rows stay as history; its serial values are never given again."},
    BuiltInEntry{653, "The production record is now a new station here: its rows before stay as history, and its serial values are never given again."},
    BuiltInEntry{654, "The production record was not adopted as a new station: %s"},
    BuiltInEntry{660, "No serial numbers: %s"},
    BuiltInEntry{661, "No serial numbers"},
    BuiltInEntry{662, "Program chips without serial numbers?"},
    BuiltInEntry{663, "%s of %s is not a number"},
    BuiltInEntry{664, "%s names no generator program (ExeFile)"},
    BuiltInEntry{665, "Generator program %s of %s is not found"},
    BuiltInEntry{666, "Way %s of %s is none of INI, EXE, CUSTOM and DISABLE"},
    BuiltInEntry{667, "Address and Word_Length of %s do not fit in the chip's ROM"},
    BuiltInEntry{668, "%s is of an older edition: its Address, Word_Length or Order cannot be used"},
    BuiltInEntry{669, "Chips are programmed without serial numbers until the next load."},
    BuiltInEntry{700, "Nothing is loaded for the Writer: run \"vx3wt-cli load IMAGE\" first."},
    BuiltInEntry{701, "%s has changed since it was loaded into the Writer: load it again."},
    BuiltInEntry{702, "Put chip %d of %d into the socket and press Enter (Ctrl-C stops)."},
    BuiltInEntry{704, "The production record is not in this build."},
    BuiltInEntry{705, "Interrupted: the Writer finished its current exchange, and it is recorded."},
    BuiltInEntry{706, "Device %s is not offered in Choose Device."},
    BuiltInEntry{707, "Read-back listing written to %s"},
    BuiltInEntry{708, "%s could not be written: %s"},
    BuiltInEntry{709, "Chip %d of %d: %s   %s"},
    BuiltInEntry{710, "No job is loaded: give --job, --today or --all."},
    BuiltInEntry{711, "Rows waiting for the serial server: %d"},
    BuiltInEntry{712, "The series settings file %s cannot be read: %s"},
    BuiltInEntry{720, "The production record was made here: it is no copy, and nothing was changed."},
    BuiltInEntry{721, "This station is named %s on the serial server."},
    BuiltInEntry{730, "Read broke off: %d of %d bytes arrived; %s is left as it was."},
    BuiltInEntry{731, "Reset the counters of this job and of today? The record keeps every chip."},
    BuiltInEntry{732, "Job %d is not in the production record."},
    BuiltInEntry{740, "The language file %s holds lines in neither UTF-8 nor %s: their texts are shown in English."},
    BuiltInEntry{750, "%s ..."},
    BuiltInEntry{751, "NOT RUN"},
    BuiltInEntry{752, "NO CHIP"},
    BuiltInEntry{753, "%s: %s"},
    BuiltInEntry{754, "%s: no chip in the socket"},
    BuiltInEntry{755, "%s: no chip in the socket, serial %s stays free"},
    BuiltInEntry{756, "the command did not reach the chip"},
    BuiltInEntry{757, "This job: %d done: %d passed, %d failed, %d unknown, yield %s %%, last serial %s"},
    BuiltInEntry{758, "Today: %d done: %d passed, %d failed, %d unknown, yield %s %%, last serial %s"},
    BuiltInEntry{759, "%s: %d chips: %d passed, %d failed, %d unknown; %d not run, %d with no chip in the socket."},
    BuiltInEntry{760, "%s (%d times)"},
    BuiltInEntry{1041, "Fun6 (P+V)"},
    BuiltInEntry{1042, "Off-line Default Mode"},
    BuiltInEntry{1054, "OneKeyLoadVX3"},
};

constexpr bool IsStrictlySorted() {
  for (std::size_t i = 1; i < kTable.size(); ++i) {
    if (kTable[i - 1].id >= kTable[i].id) {
      return false;
    }
  }
  return true;
}
static_assert(IsStrictlySorted(), "the built-in string table must stay sorted by number, without repeats");

}  // namespace

std::string_view BuiltInString(int id) {
  const auto* it = std::lower_bound(kTable.begin(), kTable.end(), id,
                                    [](const BuiltInEntry& entry, int wanted) { return entry.id < wanted; });
  if (it == kTable.end() || it->id != id) {
    return {};
  }
  return it->text;
}

std::span<const BuiltInEntry> BuiltInTable() { return kTable; }

}  // namespace vx3::text
