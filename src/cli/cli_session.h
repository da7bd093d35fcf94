// What "vx3wt-cli load" left in the Writer, kept for the commands that follow it in later runs:
// the image and device loaded, the off-line function, the checksum the Writer's job was made
// from and the production record's job. A file in the data folder's log folder, replaced whole.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

namespace vx3::cli {

inline constexpr std::string_view kSessionFileName = "cli_session.ini";

struct CliSession {
  std::filesystem::path image;
  std::string device;  // the device chosen in Choose Device; empty when the image named it
  std::uint8_t offlineFunction = 0;
  std::uint16_t checksum = 0;
  std::int64_t job = 0;
  bool erasable = false;  // Blank Check is Erase for this device
};

std::filesystem::path SessionFile(const std::filesystem::path& dataDir);
// False when the file could not be written.
bool SaveSession(const std::filesystem::path& dataDir, const CliSession& session);
// Nullopt when no load left one (or it is not whole).
std::optional<CliSession> LoadSession(const std::filesystem::path& dataDir);
// After a load that did not leave a job in the Writer.
void ForgetSession(const std::filesystem::path& dataDir);

}  // namespace vx3::cli
