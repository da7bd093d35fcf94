// Binding and probing the bridge library, and the two transfers with their guard.
#include "link/writer_link.h"

#include <algorithm>
#include <array>
#include <climits>
#include <vector>

#include <fmt/format.h>

#include "ui_text/program_paths.h"
#include "ui_text/ui_texts.h"

namespace vx3::link {

std::string LibraryMissingText() {
  return fmt::format("Can't find USB {}.DLL ,please check again !!!", kBridgeBaseName);
}

WriterLink::WriterLink(std::unique_ptr<BridgeLibrary> library, text::Reporter& reporter, const text::Language& language)
    : library_(std::move(library)), reporter_(reporter), language_(language) {
  InstallDirectPortAccess(portAccess_);
}

bool WriterLink::UsbConnect(const std::filesystem::path& programDir) {
  if (!library_->IsLoaded()) {
    const auto file = text::ComposeProgramPath(programDir, kBridgeFolder, kBridgeBaseName, kBridgeExtension);
    if (!library_->Load(file)) {
      reporter_.ReportStatus(LibraryMissingText(), text::Severity::ErrorLine);
      return false;
    }
  }
  // The probe only proves that a Writer answers: no device stays open between calls, and the
  // transfers neither open nor close it.
  const int opened = library_->OpenDevice(kDeviceNumber);
  library_->CloseDevice(kDeviceNumber);
  if (opened != 1) {
    library_->Unload();
    return false;
  }
  portEmulation_.Install(portAccess_);
  connected_.store(true);
  return true;
}

int WriterLink::Transfer(bool write, unsigned char* data, std::size_t length) {
  if (length > static_cast<std::size_t>(INT_MAX)) return 0;
  // Only one transfer at a time: an overlapping one fails at once instead of waiting for the
  // other or interleaving its packets with them.
  if (transferBusy_.exchange(true)) return 0;
  // The transfer may wait on the Writer for long: what has been reported must be seen meanwhile.
  reporter_.ShowPendingStatus();
  const int length32 = static_cast<int>(length);
  const int result =
      write ? library_->WriteOut(kDeviceNumber, data, length32) : library_->ReadIn(kDeviceNumber, data, length32);
  transferBusy_.store(false);
  return result;
}

int WriterLink::UsbWrite(std::span<const std::uint8_t> data) {
  if (!connected_.load()) return 0;
  // The bridge takes a writable buffer; it gets a copy, so the caller's packet stays as it was.
  std::array<unsigned char, kPacketSize> packet{};
  std::vector<unsigned char> large;
  unsigned char* bytes = packet.data();
  if (data.size() > packet.size()) {
    large.assign(data.begin(), data.end());
    bytes = large.data();
  } else {
    std::copy(data.begin(), data.end(), packet.begin());
  }
  const int result = Transfer(true, bytes, data.size());
  if (result != 0) return result;
  reporter_.ReportStatus(language_.Text(text::IDS_MESSAGE_USBWriteDataFail), text::Severity::ErrorLine);
  connected_.store(false);
  return 0;
}

int WriterLink::UsbRead(std::span<std::uint8_t> buffer) {
  if (!connected_.load()) return 0;
  // A bridge that reports success without filling the buffer must not leave the previous
  // reply's status in it: read again and again, a stale "message follows" would never end.
  std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
  const int result = Transfer(false, buffer.data(), buffer.size());
  if (result != 0) return result;
  reporter_.ReportStatus(kReadErrorText, text::Severity::ErrorLine);
  connected_.store(false);
  return 0;
}

bool WriterLink::SendWriterCommand(std::uint8_t code, std::uint16_t argument) {
  const Packet packet = MakeCommandPacket(code, argument);
  if (UsbWrite(packet) != 0) return true;
  reporter_.ReportStatus(language_.Text(text::IDS_MESSAGE_USBWriteDataFail), text::Severity::ErrorLine);
  return false;
}

}  // namespace vx3::link
