// A scripted bridge library for byte-exact tests of the Writer exchanges: it records every call
// and every packet written, answers reads from a script of replies, and fails the transfers it
// is told to fail.
#pragma once

#include <cstdint>
#include <deque>
#include <filesystem>
#include <functional>
#include <initializer_list>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/bridge_library.h"
#include "link/command_codes.h"
#include "link/writer_link.h"
#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "support/temp_dir.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"
#include "writer_ops/writer_services.h"

namespace vx3::testing {

class FakeBridge final : public link::BridgeLibrary {
 public:
  // --- the script ---
  bool loadSucceeds = true;
  int openDeviceResult = 1;
  // Transfers to fail, counted from 1 over the fake's life (0: none).
  int failWriteAt = 0;
  int failReadAt = 0;
  // With the script used up, a read gives the last reply again instead of failing.
  bool repeatLastReply = false;
  // Run inside a transfer, before it completes (to overlap another one with it).
  std::function<void()> duringWrite;
  std::function<void()> duringRead;

  // A 16-byte reply with these first bytes, zero after them.
  void QueueReply(std::initializer_list<std::uint8_t> bytes);
  void QueueReply(const link::Reply& reply) { replies_.push_back(reply); }
  void QueueStatus(std::uint8_t status) { QueueReply({status}); }
  // The text as status-2 replies of 15 bytes each (the last one zero-padded).
  void QueueText(std::string_view text);
  // A status-3 reply with these argument bytes.
  void QueueArguments(std::initializer_list<std::uint8_t> arguments);
  std::size_t pendingReplies() const { return replies_.size(); }
  void ClearReplies() { replies_.clear(); }

  // --- the record ---
  std::vector<std::string> calls;                  // "Load", "Unload", "OpenDevice", "CloseDevice", "Write", "Read"
  std::vector<std::vector<std::uint8_t>> written;  // every packet handed to a write, failed or not
  std::vector<int> devices;                        // the device number of every call that has one
  std::filesystem::path loadedFrom;
  int loads = 0;
  int unloads = 0;
  int writes = 0;
  int reads = 0;

  int Count(std::string_view call) const;

  // --- BridgeLibrary ---
  bool Load(const std::filesystem::path& file) override;
  void Unload() override;
  bool IsLoaded() const override { return loaded_; }
  int OpenDevice(int device) override;
  int CloseDevice(int device) override;
  int WriteOut(int device, unsigned char* data, int length) override;
  int ReadIn(int device, unsigned char* data, int length) override;

 private:
  bool loaded_ = false;
  std::deque<link::Reply> replies_;
  link::Reply lastReply_{};
  bool hasLastReply_ = false;
};

// A Writer link over a fake bridge in a temporary program folder, with the reporting a test
// looks at: status lines in `view`, the log in dir/Writer_Log once that folder is made.
class FakeLink {
 public:
  FakeLink() : FakeLink(std::make_unique<FakeBridge>()) {}

  bool Connect() { return link.UsbConnect(dir.path()); }
  writer_ops::WriterServices services() { return {link, reporter, language, &clock}; }

  TempDir dir;
  FakeClock clock;
  text::Language language;
  text::Reporter reporter;
  FakeView view;
  FakeBridge& bridge;
  link::WriterLink link;

 private:
  explicit FakeLink(std::unique_ptr<FakeBridge> fake)
      : language(dir.path() / "language" / "UIEng.ini"),
        reporter(language, clock),
        bridge(*fake),
        link(std::move(fake), reporter, language) {
    reporter.AttachView(&view);
    reporter.SetProgramDir(dir.path());
  }
};

}  // namespace vx3::testing
