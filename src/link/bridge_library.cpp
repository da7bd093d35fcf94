// Loading a bridge library from a file and calling its entry points.
#include "link/bridge_library.h"

#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace vx3::link {
namespace {

#ifdef _WIN32
void* OpenLibrary(const std::filesystem::path& file) { return reinterpret_cast<void*>(LoadLibraryW(file.c_str())); }
void* FindSymbol(void* handle, std::string_view name) {
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(handle), std::string(name).c_str()));
}
void CloseLibrary(void* handle) { FreeLibrary(static_cast<HMODULE>(handle)); }
#else
void* OpenLibrary(const std::filesystem::path& file) {
  // A name without a folder would make dlopen search the system's library path instead of the
  // program folder.
  std::filesystem::path path = file;
  if (!path.has_parent_path()) path = std::filesystem::path(".") / path;
  return dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
}
void* FindSymbol(void* handle, std::string_view name) { return dlsym(handle, std::string(name).c_str()); }
void CloseLibrary(void* handle) { dlclose(handle); }
#endif

template <typename Proc>
Proc ProcFrom(void* symbol) {
  // Taking a function out of a library is a cast from the loader's generic pointer.
  return reinterpret_cast<Proc>(symbol);  // NOLINT(cppcoreguidelines-pro-type-reinterpret-cast)
}

}  // namespace

DynamicBridgeLibrary::~DynamicBridgeLibrary() { Unload(); }

bool DynamicBridgeLibrary::Load(const std::filesystem::path& file) {
  Unload();
  void* handle = OpenLibrary(file);
  if (handle == nullptr) return false;
  void* open = FindSymbol(handle, kOpenDeviceName);
  void* close = FindSymbol(handle, kCloseDeviceName);
  void* write = FindSymbol(handle, kWriteOutName);
  void* read = FindSymbol(handle, kReadInName);
  // A library without all four would be called through a null pointer at the first transfer;
  // it counts as not loadable.
  if (open == nullptr || close == nullptr || write == nullptr || read == nullptr) {
    CloseLibrary(handle);
    return false;
  }
  handle_ = handle;
  openDevice_ = ProcFrom<OpenDeviceProc>(open);
  closeDevice_ = ProcFrom<CloseDeviceProc>(close);
  writeOut_ = ProcFrom<WriteOutProc>(write);
  readIn_ = ProcFrom<ReadInProc>(read);
  return true;
}

void DynamicBridgeLibrary::Unload() {
  if (handle_ != nullptr) CloseLibrary(handle_);
  handle_ = nullptr;
  openDevice_ = nullptr;
  closeDevice_ = nullptr;
  writeOut_ = nullptr;
  readIn_ = nullptr;
}

int DynamicBridgeLibrary::OpenDevice(int device) { return openDevice_ != nullptr ? openDevice_(device) : 0; }

int DynamicBridgeLibrary::CloseDevice(int device) { return closeDevice_ != nullptr ? closeDevice_(device) : 0; }

int DynamicBridgeLibrary::WriteOut(int device, unsigned char* data, int length) {
  return writeOut_ != nullptr ? writeOut_(device, data, length) : 0;
}

int DynamicBridgeLibrary::ReadIn(int device, unsigned char* data, int length) {
  return readIn_ != nullptr ? readIn_(device, data, length) : 0;
}

}  // namespace vx3::link
