// The process-wide run state that the window, the commands and the worker share. It lives for
// the whole run; nothing of it is saved between runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

namespace vx3::app {

// Off-line function codes sent to the Writer with the version query.
inline constexpr std::uint8_t kOfflineFunction0 = 0xA5;  // blank check + program + verify
inline constexpr std::uint8_t kOfflineFunction6 = 0x5A;  // program + verify

struct RunState {
  // The full path of the program file, and its folder (with the drive, if any); both empty when
  // the platform does not tell the program where it lies.
  std::filesystem::path programPath;
  std::filesystem::path programDir;

  std::atomic<bool> isEnglish{true};
  // The language file is the program path with its last `languageTailLength` characters (the
  // separator and the file name) replaced, at start and at each language switch.
  std::size_t languageTailLength = 0;
  std::string windowCaption;

  std::atomic<bool> workerBusy{false};
  std::atomic<bool> useChooser{false};
  std::atomic<bool> directLoad{false};
  std::atomic<bool> loadAttempted{false};
  std::atomic<std::uint8_t> offlineFunction{0};
  std::atomic<bool> erasableChip{false};

  // The load flow's memory within one run (user-interface thread only): the folder the image
  // file-open dialog opens in (empty: the samples folder).
  std::filesystem::path imageFolder;
};

}  // namespace vx3::app
