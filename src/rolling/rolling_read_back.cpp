#include "rolling/rolling_read_back.h"

#include <fmt/format.h>

#include "link/command_codes.h"
#include "platform/utf8_path.h"
#include "rolling/rolling_record.h"
#include "rolling/rolling_value.h"
#include "writer_ops/chip_actions.h"

namespace vx3::rolling {

bool ReadBackRolling(const writer_ops::WriterServices& writer, writer_ops::EepromHeader& header,
                     RollingSettings& settings, std::string_view deviceName) {
  const std::string ini = platform::PathToUtf8(settings.iniPath);
  if (!writer_ops::ReadBackHeader(writer, link::command::kReadHeader, header)) {
    writer.reporter.ReportStatus(fmt::format(kMessageReadBackFailedFormat, ini), text::Severity::ErrorLine);
    return false;
  }
  const bool byteWords = IsByteWordDevice(deviceName);
  RollingSettings fromWriter = settings;
  ParseRollingRecord(header.bytes, fromWriter, byteWords);
  if (fromWriter.method == RollingMethod::NotUsed || fromWriter.address != settings.address ||
      fromWriter.wordLength != settings.wordLength) {
    writer.reporter.ReportStatus(fmt::format(kMessageReadBackMismatchFormat, ini), text::Severity::ErrorLine);
    return false;
  }
  settings.value = fromWriter.value;
  return WriteRollingValueKey(settings, settings.value, key::kCount, byteWords, writer.reporter);
}

}  // namespace vx3::rolling
