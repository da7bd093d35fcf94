// Start-up: the thread locale, the program folder, the main window.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "support/fake_clock.h"
#include "support/temp_dir.h"

namespace vx3::app {
namespace {

class RecordingHost final : public StartupHost {
 public:
  void ShowStartupMessage(std::string_view text, std::string_view caption) override {
    messages.emplace_back(std::string(text), std::string(caption));
  }
  void RunMainWindow(AppContext& context) override {
    ++windowsRun;
    programDirSeen = context.state.programDir;
  }
  std::vector<std::pair<std::string, std::string>> messages;
  int windowsRun = 0;
  std::filesystem::path programDirSeen;
};

TEST(StartupTest, RefusedEnglishLocaleEndsTheRunWithoutAWindow) {
  platform::StandInThreadLocale locale{platform::kLocaleEnglishUs};
  testing::FakeClock clock;
  AppContext context(locale, clock);
  RecordingHost host;
  EXPECT_NE(RunApplication(host, context, std::filesystem::path("/opt/w/W01_2345")), 0);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].first, "No English Character Set");
  EXPECT_EQ(host.messages[0].second, "W01_2345");
  EXPECT_EQ(host.windowsRun, 0);
}

TEST(StartupTest, FindsTheProgramFolderAndRunsTheWindow) {
  platform::StandInThreadLocale locale;
  testing::FakeClock clock;
  AppContext context(locale, clock);
  RecordingHost host;
  EXPECT_EQ(RunApplication(host, context, std::filesystem::path("/opt/w/vx3wt")), 0);
  EXPECT_EQ(locale.Current(), platform::kLocaleEnglishUs);
  EXPECT_TRUE(context.state.isEnglish);
  EXPECT_EQ(host.windowsRun, 1);
  EXPECT_EQ(host.programDirSeen, std::filesystem::path("/opt/w"));
  EXPECT_TRUE(host.messages.empty());
}

TEST(StartupTest, WithoutAProgramPathPathsAreRelativeToTheCurrentFolder) {
  platform::StandInThreadLocale locale;
  testing::FakeClock clock;
  AppContext context(locale, clock);
  RecordingHost host;
  EXPECT_EQ(RunApplication(host, context, std::nullopt), 0);
  EXPECT_TRUE(context.state.programDir.empty());
  EXPECT_EQ(host.windowsRun, 1);
  EXPECT_TRUE(host.messages.empty());  // the error line has no window to go to yet
}

TEST(StartupTest, LocalesRefusedThroughTheEnvironment) {
  testing::SetEnvironment("VX3WT_REFUSE_LOCALE", "0x0409,2052,junk");
  const std::vector<int> refused = platform::RefusedLocalesFromEnvironment();
  testing::SetEnvironment("VX3WT_REFUSE_LOCALE", "");
  EXPECT_EQ(refused, (std::vector<int>{0x0409, 0x0804}));
  platform::StandInThreadLocale locale(refused);
  EXPECT_FALSE(locale.Set(platform::kLocaleEnglishUs));
  EXPECT_EQ(locale.Current(), 0);
}

}  // namespace
}  // namespace vx3::app
