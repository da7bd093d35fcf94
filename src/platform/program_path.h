// Where the program file lies: everything the program reads and writes is found beside it.
#pragma once

#include <filesystem>
#include <optional>

namespace vx3::platform {

// The full path of the running program file, or nullopt when the platform does not tell it.
std::optional<std::filesystem::path> ExecutablePath();

}  // namespace vx3::platform
