// The four entry points of a bridge library: the whole interface between the program and the
// USB transport that reaches the Writer. The program loads a library that offers them by name;
// writer_sim/ builds one, and any other bridge includes this header to offer the same.
#pragma once

// 32-bit Windows bridges use the standard calling convention; everywhere else the platform's C
// convention is the only one.
#if defined(_WIN32) && !defined(_WIN64)
#define VX3WT_BRIDGE_CALL __stdcall
#else
#define VX3WT_BRIDGE_CALL
#endif

// A bridge library defines VX3WT_BRIDGE_EXPORTS while it is built, so that the four names are
// exported; the program only takes them from the loaded library and needs no attribute.
#if defined(VX3WT_BRIDGE_EXPORTS)
#if defined(_WIN32)
#define VX3WT_BRIDGE_API __declspec(dllexport)
#else
#define VX3WT_BRIDGE_API __attribute__((visibility("default")))
#endif
#else
#define VX3WT_BRIDGE_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

// Opens Writer number `device`; exactly 1 when a Writer is present and opened.
VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL OpenDevice(int device);
// Closes Writer number `device`; the program does not use the result.
VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL CloseDevice(int device);
// Sends `length` bytes (always 64); nonzero when they were sent, 0 on failure.
VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL USB_WriteOut(int device, unsigned char* data, int length);
// Receives `length` bytes (always 16) into `data`; nonzero when they arrived, 0 on failure.
VX3WT_BRIDGE_API int VX3WT_BRIDGE_CALL USB_ReadIn(int device, unsigned char* data, int length);

#ifdef __cplusplus
}  // extern "C"

#include <string_view>

namespace vx3::link {

using OpenDeviceProc = int(VX3WT_BRIDGE_CALL*)(int device);
using CloseDeviceProc = int(VX3WT_BRIDGE_CALL*)(int device);
using WriteOutProc = int(VX3WT_BRIDGE_CALL*)(int device, unsigned char* data, int length);
using ReadInProc = int(VX3WT_BRIDGE_CALL*)(int device, unsigned char* data, int length);

// The names the entry points are taken by.
inline constexpr std::string_view kOpenDeviceName = "OpenDevice";
inline constexpr std::string_view kCloseDeviceName = "CloseDevice";
inline constexpr std::string_view kWriteOutName = "USB_WriteOut";
inline constexpr std::string_view kReadInName = "USB_ReadIn";

// One Writer on the bus: every call names the first.
inline constexpr int kDeviceNumber = 0;

// Where the library lies: <program folder>/DLL/VX3USBOV3Wt.DLL, on every platform.
inline constexpr std::string_view kBridgeFolder = "DLL";
inline constexpr std::string_view kBridgeBaseName = "VX3USBOV3Wt";
inline constexpr std::string_view kBridgeExtension = ".DLL";

}  // namespace vx3::link
#endif
