// What every Writer operation works with: the link to the Writer, and the reporting through
// which it tells the operator what happened.
#pragma once

#include <cstdint>
#include <span>

#include "link/writer_link.h"
#include "platform/clock.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace vx3::writer_ops {

struct WriterServices {
  link::WriterLink& link;
  text::Reporter& reporter;
  const text::Language& language;
  // Measures how long a chip action has taken; without one, the system's clock.
  platform::Clock* clock = nullptr;
};

// A UI text as an error line.
inline void ReportError(const WriterServices& writer, text::UiText entry) {
  writer.reporter.ReportStatus(writer.language.Text(entry), text::Severity::ErrorLine);
}

// One exchange of a block job: sends `packet` and receives the Writer's reply. A failed send or
// receive adds its error line ("IDS_MESSAGE_USBWriteDataFail" / "IDS_MESSAGE_USBReadFail") after
// the link's own, and gives false.
inline bool SendAndReceive(const WriterServices& writer, std::span<const std::uint8_t> packet, link::Reply& reply) {
  if (writer.link.UsbWrite(packet) == 0) {
    ReportError(writer, text::IDS_MESSAGE_USBWriteDataFail);
    return false;
  }
  if (writer.link.UsbRead(reply) == 0) {
    ReportError(writer, text::IDS_MESSAGE_USBReadFail);
    return false;
  }
  return true;
}

}  // namespace vx3::writer_ops
