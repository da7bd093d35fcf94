// The Writer link: the bridge library, the connection state and the two transfers on which
// every Writer operation is built, plus the port-access table that a connect points at USB.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string_view>

#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "link/port_access.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace vx3::link {

// The receive failure is a fixed text, not looked up in the language file.
inline constexpr std::string_view kReadErrorText = "USB read error on transfer !!!";

// "Can't find USB VX3USBOV3Wt.DLL ,please check again !!!"
std::string LibraryMissingText();

// One Writer, one connection, for the whole run. Transfers may come from the user-interface
// thread and from the worker; the busy guard turns an overlap into a failed transfer.
class WriterLink {
 public:
  WriterLink(std::unique_ptr<BridgeLibrary> library, text::Reporter& reporter, const text::Language& language);
  WriterLink(const WriterLink&) = delete;
  WriterLink& operator=(const WriterLink&) = delete;

  // Loads <programDir>/DLL/VX3USBOV3Wt.DLL unless loaded, then probes: OpenDevice(0) must
  // give exactly 1; the device is closed again at once either way. On success the port table
  // points at the USB emulation and the link is connected. A failed probe unloads the library
  // (the next connect loads it again); the caller reports "USB not detected !!!".
  bool UsbConnect(const std::filesystem::path& programDir);

  // Each command handler clears the flag before it connects.
  void ClearConnected() { connected_.store(false); }
  bool connected() const { return connected_.load(); }

  // Sends the bytes; the bridge's result (nonzero = sent). Not connected: 0 at once, silently.
  // A failure, or an overlap with another transfer, reports "IDS_MESSAGE_USBWriteDataFail" as
  // an error line and disconnects.
  int UsbWrite(std::span<const std::uint8_t> data);
  // Receives into `buffer` (zeroed first); the bridge's result (nonzero = received). Not
  // connected: 0 at once, silently. A failure, or an overlap, reports "USB read error on
  // transfer !!!" as an error line and disconnects.
  int UsbRead(std::span<std::uint8_t> buffer);

  // Sends [code, argument low, argument high, 0, ...]; on failure reports
  // "IDS_MESSAGE_USBWriteDataFail" as a second error line and returns false.
  bool SendWriterCommand(std::uint8_t code, std::uint16_t argument);

  PortAccessTable& portAccess() { return portAccess_; }
  UsbPortEmulation& portEmulation() { return portEmulation_; }
  BridgeLibrary& library() { return *library_; }

 private:
  int Transfer(bool write, unsigned char* data, std::size_t length);

  std::unique_ptr<BridgeLibrary> library_;
  text::Reporter& reporter_;
  const text::Language& language_;
  std::atomic<bool> connected_{false};
  std::atomic<bool> transferBusy_{false};
  PortAccessTable portAccess_;
  UsbPortEmulation portEmulation_{*this};
};

}  // namespace vx3::link
