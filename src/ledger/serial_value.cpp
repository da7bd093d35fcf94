#include "ledger/serial_value.h"

#include <algorithm>

#include <fmt/format.h>

namespace vx3::ledger {
namespace {

constexpr std::uint32_t kWordBits = 16;
constexpr std::uint32_t kByteBits = 8;

std::uint32_t Parts(const RollingShape& shape) {
  return std::min<std::uint32_t>(shape.wordLength, static_cast<std::uint32_t>(rolling::kRollingMaxWords));
}
std::uint32_t PartBits(const RollingShape& shape) { return shape.byteWords ? kByteBits : kWordBits; }
std::uint32_t PartMask(const RollingShape& shape) { return (1U << PartBits(shape)) - 1U; }
std::size_t PartDigits(const RollingShape& shape) { return PartBits(shape) / 4; }

// The entry that holds part j (part 0 the least significant).
std::uint32_t EntryOfPart(std::uint32_t j, const RollingShape& shape) {
  return shape.lowWordFirst ? j : Parts(shape) - 1 - j;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::optional<SerialValue> ValueOfEntries(const std::optional<rolling::RollingWords>& entries,
                                          const RollingShape& shape) {
  if (!entries) return std::nullopt;
  return MakeSerialValue(*entries, shape);
}

}  // namespace

RollingShape ShapeOf(const rolling::RollingSettings& settings, std::string_view deviceName) {
  return {settings.wordLength, settings.lowWordFirst, rolling::IsByteWordDevice(deviceName)};
}

SerialValue MakeSerialValue(const rolling::RollingWords& entries, const RollingShape& shape) {
  SerialValue value;
  const std::uint32_t mask = PartMask(shape);
  for (std::uint32_t j = Parts(shape); j-- > 0;) {
    const std::uint32_t part = entries[EntryOfPart(j, shape)] & mask;
    value.digits += shape.byteWords ? fmt::format("{:02X}", part) : fmt::format("{:04X}", part);
  }
  value.key = std::string(kValueKeyDigits - std::min(kValueKeyDigits, value.digits.size()), '0') + value.digits;
  return value;
}

std::optional<rolling::RollingWords> EntriesOf(std::string_view digits, const RollingShape& shape) {
  const std::size_t width = PartDigits(shape);
  const std::size_t wanted = width * Parts(shape);
  if (std::any_of(digits.begin(), digits.end(), [](char c) { return HexDigit(c) < 0; })) return std::nullopt;
  // A number too big for the shape is not one of its values.
  const std::size_t extra = digits.size() > wanted ? digits.size() - wanted : 0;
  if (std::any_of(digits.begin(), digits.begin() + static_cast<std::ptrdiff_t>(extra), [](char c) { return c != '0'; })) {
    return std::nullopt;
  }
  std::string padded(wanted > digits.size() ? wanted - digits.size() : 0, '0');
  padded += digits.substr(digits.size() > wanted ? digits.size() - wanted : 0);
  rolling::RollingWords entries{};
  for (std::uint32_t j = 0; j < Parts(shape); ++j) {
    // Part j is the j-th group from the end.
    const std::size_t at = padded.size() - width * (j + 1);
    std::uint32_t part = 0;
    for (std::size_t k = 0; k < width; ++k) part = part * 16 + static_cast<std::uint32_t>(HexDigit(padded[at + k]));
    entries[EntryOfPart(j, shape)] = part;
  }
  return entries;
}

std::optional<std::int64_t> NumberOf(const rolling::RollingWords& entries, const RollingShape& shape) {
  std::uint64_t number = 0;
  constexpr std::uint64_t kLimit = static_cast<std::uint64_t>(kMaxSeriesNumber);
  for (std::uint32_t j = Parts(shape); j-- > 0;) {
    const std::uint32_t part = entries[EntryOfPart(j, shape)] & PartMask(shape);
    if (number > (kLimit >> PartBits(shape))) return std::nullopt;
    number = (number << PartBits(shape)) | part;
    if (number > kLimit) return std::nullopt;
  }
  return static_cast<std::int64_t>(number);
}

std::optional<rolling::RollingWords> EntriesOfNumber(std::int64_t number, const RollingShape& shape) {
  if (number < 0) return std::nullopt;
  auto rest = static_cast<std::uint64_t>(number);
  rolling::RollingWords entries{};
  for (std::uint32_t j = 0; j < Parts(shape) && rest != 0; ++j) {
    entries[EntryOfPart(j, shape)] = static_cast<std::uint32_t>(rest & PartMask(shape));
    rest >>= PartBits(shape);
  }
  if (rest != 0) return std::nullopt;
  return entries;
}

std::int64_t HighestNumber(const RollingShape& shape) {
  const std::uint64_t bits = static_cast<std::uint64_t>(Parts(shape)) * PartBits(shape);
  if (bits >= 63) return kMaxSeriesNumber;
  return static_cast<std::int64_t>((std::uint64_t{1} << bits) - 1);
}

int CompareValues(const SerialValue& a, const SerialValue& b) {
  const int order = a.key.compare(b.key);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

std::optional<rolling::RollingWords> AddStep(const rolling::RollingWords& value, const rolling::RollingWords& step,
                                             const RollingShape& shape) {
  rolling::RollingWords sum = value;
  const std::uint32_t mask = PartMask(shape);
  std::uint32_t carry = 0;
  for (std::uint32_t j = 0; j < Parts(shape); ++j) {
    const std::uint32_t entry = EntryOfPart(j, shape);
    const std::uint32_t total = (value[entry] & mask) + (step[entry] & mask) + carry;
    sum[entry] = total & mask;
    carry = total >> PartBits(shape);
  }
  if (carry != 0) return std::nullopt;
  return sum;
}

bool IsZeroStep(const rolling::RollingWords& step, const RollingShape& shape) {
  for (std::uint32_t j = 0; j < Parts(shape); ++j) {
    if ((step[EntryOfPart(j, shape)] & PartMask(shape)) != 0) return false;
  }
  return true;
}

StartChoice ChooseStartValue(const rolling::RollingWords& iniCount, const std::optional<rolling::RollingWords>& writerValue,
                             const std::optional<SerialValue>& highestIssued, const rolling::RollingWords& step,
                             const RollingShape& shape) {
  StartChoice choice;
  choice.value = iniCount;
  choice.from = MakeSerialValue(iniCount, shape);
  choice.to = choice.from;
  choice.highestIssued = highestIssued;

  const std::optional<SerialValue> writer = ValueOfEntries(writerValue, shape);
  if (writer && CompareValues(*writer, choice.to) > 0) {
    choice.value = *writerValue;
    choice.to = *writer;
    choice.reason = StartReason::WriterAhead;
  }
  if (!highestIssued) return choice;
  const std::optional<rolling::RollingWords> highest = EntriesOf(highestIssued->key, shape);
  const std::optional<rolling::RollingWords> next = highest ? AddStep(*highest, step, shape) : std::nullopt;
  if (!next) {
    // Nothing above the record's highest value fits; only a value above it is still unused.
    if (CompareValues(choice.to, *highestIssued) > 0) return choice;
    choice.value = iniCount;
    choice.to = choice.from;
    choice.reason = StartReason::UsedUp;
    return choice;
  }
  const SerialValue nextValue = MakeSerialValue(*next, shape);
  if (CompareValues(nextValue, choice.to) > 0) {
    choice.value = *next;
    choice.to = nextValue;
    choice.reason = StartReason::LedgerAhead;
  }
  return choice;
}

}  // namespace vx3::ledger
