// INI profile files: reading a string or an integer under a section and key, and writing one
// key, with the rules of the Windows profile functions that the program's INI files were made for.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

// windows.h makes WriteProfileString a macro for a Windows function of that name; ours lives in
// its own namespace and must not be renamed by it.
#ifdef WriteProfileString
#undef WriteProfileString
#endif

namespace vx3::platform {

// A value is cut to this many characters, as the Windows profile buffer of 260 did.
inline constexpr std::size_t kProfileValueMaxChars = 259;

// The value of `key` in `section` of `file`, or nullopt when the file, the section or the key
// is missing. Sections and keys match without regard to ASCII case; spaces and tabs around the
// value are dropped; one pair of enclosing quotes (both ' or both ") is dropped; nothing inside
// is unescaped; the value is cut at kProfileValueMaxChars characters (never inside a UTF-8
// sequence). A present key with an empty value gives an empty string. Files in UTF-8 with or
// without BOM and UTF-16 (LE or BE) with BOM are read; the result is UTF-8. Only the first
// section of that name is searched, and the first key of that name in it counts.
std::optional<std::string> ReadProfileString(const std::filesystem::path& file, std::string_view section,
                                             std::string_view key);

// The same lookup on the bytes of a file already read (the language files, which are decoded
// from their 8-bit code page first).
std::optional<std::string> ReadProfileStringFromBytes(std::string_view bytes, std::string_view section,
                                                      std::string_view key);

// The whole of a plain file, read as ReadProfileString reads it. False when it is missing or
// cannot be read.
bool ReadFileBytes(const std::filesystem::path& file, std::string& bytes);

// The integer value of `key`, read as the Windows profile function does: optional sign, then
// decimal digits or "0x" and hexadecimal digits, up to the first other character. A missing key
// or a value without any digit gives `fallback`. Digits beyond 32 bits wrap around, as they do
// in the Windows conversion ("4294967297" gives 1, "2147483648" gives INT_MIN).
int ReadProfileInt(const std::filesystem::path& file, std::string_view section, std::string_view key,
                   int fallback);

// Sets `key` in `section` to `value` (UTF-8). Only the key's own line changes; a missing key is
// added at the end of its section, a missing section at the end of the file, a missing file is
// created. Every other byte of the file stays as it was, and the file keeps its encoding (UTF-8
// with or without BOM, UTF-16 with BOM) and its line ends. The new file is written beside the
// old one, flushed and renamed over it, so a crash leaves either the old or the new file whole.
// Returns false when the file cannot be read or written (it then stays as it was) or when the
// value holds a line break. Also refused, for they could not be read back: an empty section or
// key, a line break in either, ']' in a section, '=' in a key, a key beginning with ';' or '['.
// A read-only file is refused as the Windows function refuses it.
bool WriteProfileString(const std::filesystem::path& file, std::string_view section, std::string_view key,
                        std::string_view value);

// Replaces the whole of `file` with `bytes` the same way: written beside it, flushed, renamed
// over it, keeping its permissions and owner. A read-only file is refused and kept; so is every
// failure, which leaves the file as it was. The program's own small files (the chip history)
// are written so.
// Only a regular file, or a name not there yet, is replaced. A symbolic link is followed, and its
// target is replaced in the target's own folder. A device or a pipe (a FIFO) is written through:
// it is never swapped for a file. A folder is refused. `why`, when given, receives the system's
// reason for a failure ("No space left on device").
bool ReplaceFileAtomically(const std::filesystem::path& file, std::string_view bytes, std::string* why = nullptr);

// Whether ReplaceFileAtomically could replace `file` now: its folder is there (and, where the
// system says so, writable) and a file already there may be changed. Lets a writer that gathers
// its bytes first refuse before it starts.
bool MayReplaceFile(const std::filesystem::path& file);

}  // namespace vx3::platform
