// The process-wide run state that the window, the commands and the worker share. It lives for
// the whole run; nothing of it is saved between runs.
#pragma once

#include <atomic>
#include <cstdint>
#include <filesystem>
#include <string>

#include "app/command_result.h"

namespace vx3::app {

// Off-line function codes sent to the Writer with the version query.
inline constexpr std::uint8_t kOfflineFunction0 = 0xA5;  // blank check + program + verify
inline constexpr std::uint8_t kOfflineFunction6 = 0x5A;  // program + verify

struct RunState {
  // The full path of the program file, and its folder (with the drive, if any); both empty when
  // the platform does not tell the program where it lies. An installed program's files lie in a
  // shared folder apart from its executable: then programDir is that folder and programPath names
  // the program inside it, so that the language files and the kit are read from the install.
  std::filesystem::path programPath;
  std::filesystem::path programDir;
  // Set at start-up when they are not the program folder: the folder holding DLL/ (an installed
  // program's library folder), and the folder the program writes into (the user's data folder,
  // when the program folder may not be written). Read them through BridgeDir() and DataDir().
  std::filesystem::path bridgeDirApart;
  std::filesystem::path dataDirApart;

  // The bridge library's folder DLL/ lies in this folder.
  const std::filesystem::path& BridgeDir() const { return bridgeDirApart.empty() ? programDir : bridgeDirApart; }
  // Everything the program writes lies in this folder: Writer_Log/ (the operation log, the chip
  // history and the production record), Load_OTP/ and the simulated Writer's state in DLL/.
  const std::filesystem::path& DataDir() const { return dataDirApart.empty() ? programDir : dataDirApart; }
  bool DataMoved() const { return !dataDirApart.empty(); }

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
  // How the last command, or the last load with its worker run, ended.
  std::atomic<CommandResult> lastResult{CommandResult::Ok};

  // The load flow's memory within one run (user-interface thread only): the folder the image
  // file-open dialog opens in (empty: the samples folder).
  std::filesystem::path imageFolder;
};

}  // namespace vx3::app
