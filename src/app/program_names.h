// Names derived from the program file: its folder, the language file beside it, and the window
// caption. Both separators, "\" and "/", are understood, so the rules read the same on every
// platform.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vx3::app {

struct LanguageFileName {
  std::string path;          // the language file
  std::size_t tailLength;    // characters replaced at the end of the program path
};

// The program path with everything from its last separator on replaced by
// <separator>language<separator><fileName>, using the separator the path itself uses;
// C:\W\prog.exe gives C:\W\language\UIEng.ini with a tail of 9. A path without separator gives
// language/<fileName> relative to the current folder.
LanguageFileName DeriveLanguageFile(std::string_view programPath, std::string_view fileName);

// The same replacement with a tail length found before, as each language switch does it.
std::string ReplaceLanguageTail(std::string_view programPath, std::size_t tailLength, std::string_view fileName);

// The program file's name without its extension: prog for C:\W\prog.exe.
std::string ProgramBaseName(std::string_view programPath);

// The window caption: the base name, except that a base name whose second character is 0 and
// third a digit loses its first character and its last four (W01_2345 gives 01_).
std::string DeriveWindowCaption(std::string_view programPath);

}  // namespace vx3::app
