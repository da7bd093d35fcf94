// The bridge library as the link sees it: load by path, the four entry points, unload. The
// program's own implementation loads a shared library at run time; tests put a scripted fake
// in its place.
#pragma once

#include <filesystem>

#include "link/bridge_api.h"

namespace vx3::link {

class BridgeLibrary {
 public:
  virtual ~BridgeLibrary() = default;

  // Loads the library at `file` and takes its four entry points; false, with nothing loaded,
  // when the file cannot be loaded or lacks one of them.
  virtual bool Load(const std::filesystem::path& file) = 0;
  virtual void Unload() = 0;
  virtual bool IsLoaded() const = 0;

  // The entry points; only called while loaded.
  virtual int OpenDevice(int device) = 0;
  virtual int CloseDevice(int device) = 0;
  virtual int WriteOut(int device, unsigned char* data, int length) = 0;
  virtual int ReadIn(int device, unsigned char* data, int length) = 0;
};

// A bridge library loaded from a file: dlopen on Linux, LoadLibrary on Windows.
class DynamicBridgeLibrary final : public BridgeLibrary {
 public:
  DynamicBridgeLibrary() = default;
  ~DynamicBridgeLibrary() override;
  DynamicBridgeLibrary(const DynamicBridgeLibrary&) = delete;
  DynamicBridgeLibrary& operator=(const DynamicBridgeLibrary&) = delete;

  bool Load(const std::filesystem::path& file) override;
  void Unload() override;
  bool IsLoaded() const override { return handle_ != nullptr; }

  int OpenDevice(int device) override;
  int CloseDevice(int device) override;
  int WriteOut(int device, unsigned char* data, int length) override;
  int ReadIn(int device, unsigned char* data, int length) override;

 private:
  void* handle_ = nullptr;
  OpenDeviceProc openDevice_ = nullptr;
  CloseDeviceProc closeDevice_ = nullptr;
  WriteOutProc writeOut_ = nullptr;
  ReadInProc readIn_ = nullptr;
};

}  // namespace vx3::link
