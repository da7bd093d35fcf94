// Where vx3wt-cli writes what happens: the operator's texts line by line, or one JSON object per
// line for every event; progress bars on standard error when it is a terminal. Every call may
// come from a Writer job's thread: each line is written whole and flushed.
#pragma once

#include <cstdio>
#include <mutex>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

namespace vx3::cli {

class CliOutput {
 public:
  // `json`: events as JSON lines; `bars`: progress bars on `err`.
  CliOutput(std::FILE* out, std::FILE* err, bool json, bool bars) : out_(out), err_(err), json_(json), bars_(bars) {}

  bool json() const { return json_; }

  // One JSON event (only in JSON mode; the "event" member names it).
  void Event(const nlohmann::ordered_json& event);
  // One line of the operator's text (only in text mode).
  void Line(std::string_view text);
  // An event in JSON mode, its text as one or more lines otherwise.
  void EventOrLine(const nlohmann::ordered_json& event, std::string_view text);
  // Error texts that belong on standard error in text mode (usage errors); JSON mode gives them
  // as "error" events on standard output.
  void Error(std::string_view text);

  // The progress bar: drawn on standard error, replaced at each update, cleared at the end.
  void Bar(std::string_view caption, int percent, std::string_view text);
  void EndBar();

 private:
  void WriteLocked(std::FILE* stream, std::string_view text);
  void ClearBarLocked();

  std::mutex mutex_;
  std::FILE* out_;
  std::FILE* err_;
  bool json_;
  bool bars_;
  bool barShown_ = false;
};

// The text with its line ends ("\r\n", "\n") turned into the platform's "\n" lines.
std::string PlainLines(std::string_view text);

}  // namespace vx3::cli
