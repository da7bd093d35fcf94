// A scripted user session for start-up: which folders may be written, the variables and the home
// folder, so that a test decides where the data goes without touching the real home.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "platform/environment.h"

namespace vx3::testing {

class FakeEnvironment final : public platform::Environment {
 public:
  bool CanWriteIn(const std::filesystem::path& folder) override { return readOnly.count(folder) == 0; }
  std::optional<std::string> Variable(std::string_view name) override {
    const auto found = variables.find(std::string(name));
    if (found == variables.end()) return std::nullopt;
    return found->second;
  }
  void SetVariable(std::string_view name, std::string_view value) override {
    variables[std::string(name)] = std::string(value);
    if (onSet) onSet(name, value);
  }
  std::optional<std::filesystem::path> HomeFolder() override { return home; }

  std::set<std::filesystem::path> readOnly;  // every other folder may be written
  std::map<std::string, std::string> variables;
  std::optional<std::filesystem::path> home;
  std::function<void(std::string_view, std::string_view)> onSet;  // passes a variable on, if set
};

}  // namespace vx3::testing
