// Rolling values as the production record keeps them: the digits the status box shows, a form
// that sorts as the number does, the Writer's step with its carry, and the choice of a job's
// first value, which never goes below a value already used.
#pragma once

#include <cstdint>
#include <climits>
#include <optional>
#include <string>
#include <string_view>

#include "rolling/rolling_settings.h"

namespace vx3::ledger {

// How a job's rolling entries make one number: `wordLength` parts of 16 bits (8 bits on the
// byte-per-word device), the least significant part at entry 0 with `lowWordFirst`, else at
// entry wordLength-1.
struct RollingShape {
  std::uint32_t wordLength = 0;
  bool lowWordFirst = true;
  bool byteWords = false;

  bool operator==(const RollingShape&) const = default;
};

// The shape of the loaded job's rolling code (`deviceName` picks the byte-per-word device).
RollingShape ShapeOf(const rolling::RollingSettings& settings, std::string_view deviceName);

// Digits of the comparable form: every value fits, whatever its shape (16 parts of 16 bits).
inline constexpr std::size_t kValueKeyDigits = 4 * rolling::kRollingMaxWords;

struct SerialValue {
  // The value as the status box shows it, most significant part first, without the spaces:
  // four upper-case digits per word ("00001234"), two per byte on the byte-per-word device.
  std::string digits;
  // The same number zero-padded to kValueKeyDigits digits: text order is number order.
  std::string key;

  bool operator==(const SerialValue&) const = default;
};

SerialValue MakeSerialValue(const rolling::RollingWords& entries, const RollingShape& shape);
// The entries of a value from its digits or its key; nullopt when the text holds anything but
// hexadecimal digits or a number too big for the shape.
std::optional<rolling::RollingWords> EntriesOf(std::string_view digits, const RollingShape& shape);
// A value as one number (a shared series counts in numbers), nullopt when it is above
// kMaxSeriesNumber; and back, nullopt when the number does not fit the shape or is negative.
inline constexpr std::int64_t kMaxSeriesNumber = INT64_MAX;
std::optional<std::int64_t> NumberOf(const rolling::RollingWords& entries, const RollingShape& shape);
std::optional<rolling::RollingWords> EntriesOfNumber(std::int64_t number, const RollingShape& shape);
// The highest number the shape holds, at most kMaxSeriesNumber.
std::int64_t HighestNumber(const RollingShape& shape);

// -1, 0 or 1 as a is below, equal to or above b.
int CompareValues(const SerialValue& a, const SerialValue& b);

// `value` plus `step` as the Writer adds them: part by part from the least significant, with
// carry. nullopt when the sum does not fit the shape: the Writer would wrap round to values it
// has given before.
std::optional<rolling::RollingWords> AddStep(const rolling::RollingWords& value, const rolling::RollingWords& step,
                                             const RollingShape& shape);
// Whether every part of `step` is zero (every chip gets the same value: no serial number).
bool IsZeroStep(const rolling::RollingWords& step, const RollingShape& shape);

// Why a job starts where it does.
enum class StartReason {
  IniValue,     // the INI's Count: nothing was used beyond it
  WriterAhead,  // the Writer holds a higher value: it programmed chips on its own
  LedgerAhead,  // the record has issued values up to or beyond the INI's Count
  UsedUp,       // the record's highest value plus the step does not fit: no value is left
};

struct StartChoice {
  rolling::RollingWords value{};  // what to download with the job (the INI's Count when UsedUp)
  StartReason reason = StartReason::IniValue;
  SerialValue from;  // the INI's Count
  SerialValue to;    // the chosen value
  std::optional<SerialValue> highestIssued;  // the record's highest value for the INI, if any
  bool Raised() const { return reason == StartReason::WriterAhead || reason == StartReason::LedgerAhead; }
};

// The value to download with a job: the highest of the INI's Count, the value the Writer holds
// for the same rolling address and length (read back before the download; absent when it
// could not be read or belongs to another rolling code) and the record's highest issued value
// for this INI plus the step. A tie keeps the INI's value.
StartChoice ChooseStartValue(const rolling::RollingWords& iniCount, const std::optional<rolling::RollingWords>& writerValue,
                             const std::optional<SerialValue>& highestIssued, const rolling::RollingWords& step,
                             const RollingShape& shape);

}  // namespace vx3::ledger
