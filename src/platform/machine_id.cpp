#include "platform/machine_id.h"

#include <cctype>
#include <fstream>
#include <string_view>

#ifdef _WIN32
#include <windows.h>
#endif

namespace vx3::platform {

namespace {

// Lower case, without the line end or spaces the files and the registry may carry.
std::string Normalized(std::string_view raw) {
  std::string id;
  for (const char c : raw) {
    const auto u = static_cast<unsigned char>(c);
    if (std::isspace(u) != 0 || std::iscntrl(u) != 0) continue;
    id += static_cast<char>(std::tolower(u));
  }
  return id;
}

#ifdef _WIN32
constexpr const wchar_t* kCryptographyKey = L"SOFTWARE\\Microsoft\\Cryptography";
constexpr const wchar_t* kMachineGuidValue = L"MachineGuid";
constexpr DWORD kMaxGuidChars = 64;
#else
constexpr const char* kMachineIdFiles[] = {"/etc/machine-id", "/var/lib/dbus/machine-id"};
#endif

}  // namespace

std::string MachineId() {
#ifdef _WIN32
  HKEY key = nullptr;
  // The 64-bit view: a 32-bit program reads the same value as a 64-bit one.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kCryptographyKey, 0, KEY_QUERY_VALUE | KEY_WOW64_64KEY, &key) != ERROR_SUCCESS) {
    return {};
  }
  wchar_t buffer[kMaxGuidChars + 1] = {};
  DWORD type = 0;
  DWORD bytes = kMaxGuidChars * sizeof(wchar_t);
  const LONG rc = RegQueryValueExW(key, kMachineGuidValue, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &bytes);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS || type != REG_SZ) return {};
  std::string ascii;
  for (DWORD i = 0; i < bytes / sizeof(wchar_t) && buffer[i] != 0; ++i) {
    // A GUID is ASCII; anything else is no identity to compare.
    if (buffer[i] > 0x7F) return {};
    ascii += static_cast<char>(buffer[i]);
  }
  return Normalized(ascii);
#else
  for (const char* name : kMachineIdFiles) {
    std::ifstream file(name, std::ios::binary);
    std::string line;
    if (file && std::getline(file, line)) {
      std::string id = Normalized(line);
      if (!id.empty()) return id;
    }
  }
  return {};
#endif
}

}  // namespace vx3::platform
