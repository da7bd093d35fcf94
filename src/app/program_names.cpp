#include "app/program_names.h"

#include <cctype>

namespace vx3::app {

namespace {

std::size_t LastSeparator(std::string_view path) { return path.find_last_of("\\/"); }

std::string LanguageTail(char separator, std::string_view fileName) {
  std::string tail(1, separator);
  tail += "language";
  tail += separator;
  tail += fileName;
  return tail;
}

}  // namespace

LanguageFileName DeriveLanguageFile(std::string_view programPath, std::string_view fileName) {
  const std::size_t separator = LastSeparator(programPath);
  if (separator == std::string_view::npos) {
    std::string path = "language/";
    path += fileName;
    return {path, programPath.size()};
  }
  const std::size_t tail = programPath.size() - separator;
  return {ReplaceLanguageTail(programPath, tail, fileName), tail};
}

std::string ReplaceLanguageTail(std::string_view programPath, std::size_t tailLength, std::string_view fileName) {
  if (tailLength > programPath.size()) tailLength = programPath.size();
  const std::string_view head = programPath.substr(0, programPath.size() - tailLength);
  const std::string_view tail = programPath.substr(head.size());
  if (tail.empty() || (tail.front() != '\\' && tail.front() != '/')) {
    std::string path = "language/";
    path += fileName;
    return path;
  }
  std::string path(head);
  path += LanguageTail(tail.front(), fileName);
  return path;
}

std::string ProgramBaseName(std::string_view programPath) {
  const std::size_t separator = LastSeparator(programPath);
  std::string_view name = separator == std::string_view::npos ? programPath : programPath.substr(separator + 1);
  // Only a dot in the file name starts an extension; a dotted folder name is not one.
  if (const std::size_t dot = name.rfind('.'); dot != std::string_view::npos) name = name.substr(0, dot);
  return std::string(name);
}

std::string DeriveWindowCaption(std::string_view programPath) {
  const std::string base = ProgramBaseName(programPath);
  // Builds named like W01_2345 carry a prefix letter and a four-character build tag around the
  // caption; a name too short to hold both keeps its whole name rather than an empty caption.
  constexpr std::size_t kPrefixAndTag = 5;
  if (base.size() > kPrefixAndTag && base[1] == '0' && std::isdigit(static_cast<unsigned char>(base[2])) != 0) {
    return base.substr(1, base.size() - kPrefixAndTag);
  }
  return base;
}

}  // namespace vx3::app
