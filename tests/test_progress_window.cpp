// The progress window model: bar position and how often steps reach the window.
#include <gtest/gtest.h>

#include "support/fake_clock.h"
#include "support/fake_view.h"
#include "writer_ops/progress_window.h"

namespace vx3::writer_ops {
namespace {

using namespace std::chrono_literals;

struct PercentCase {
  std::uint32_t index;
  std::uint32_t total;
  int percent;
};

class ProgressPercentTest : public ::testing::TestWithParam<PercentCase> {};

TEST_P(ProgressPercentTest, IndexTimesHundredOverTotal) {
  EXPECT_EQ(ProgressWindow::Percent(GetParam().index, GetParam().total), GetParam().percent);
}

INSTANTIATE_TEST_SUITE_P(Table, ProgressPercentTest,
                         ::testing::Values(PercentCase{0, 130, 0}, PercentCase{1, 130, 0}, PercentCase{2, 130, 1},
                                           PercentCase{129, 130, 99}, PercentCase{300, 300, 100},
                                           PercentCase{5, 0, 0},  // no steps: no division by zero
                                           PercentCase{0xFFFFFFFF, 0xFFFFFFFF, 100}));

class ProgressWindowTest : public ::testing::Test {
 protected:
  ProgressWindowTest() { progress_.AttachView(&view_); }
  testing::FakeClock clock_;
  testing::FakeView view_;
  ProgressWindow progress_{clock_};
};

TEST_F(ProgressWindowTest, ShowStepHide) {
  progress_.ShowProgress(130, "Program", "Writer");
  EXPECT_TRUE(view_.progressShown);
  EXPECT_EQ(view_.progressCaption, "Writer");
  EXPECT_EQ(view_.progressText, "Program");
  EXPECT_EQ(view_.progressPercent, 0);
  progress_.StepProgress(65, "Program : 001040");
  EXPECT_EQ(view_.progressPercent, 50);
  EXPECT_EQ(view_.progressText, "Program : 001040");
  progress_.HideProgress();
  EXPECT_FALSE(view_.progressShown);
}

TEST_F(ProgressWindowTest, StepsAreCoalescedButTheBarAndTheLastStepAlwaysShow) {
  progress_.ShowProgress(2048, "Program", "Writer");
  const int afterShow = view_.progressUpdates;
  for (std::uint32_t i = 0; i < 2048; ++i) progress_.StepProgress(i, "Program : " + std::to_string(i));
  // One update per bar position (1 to 99) plus the last step, not one per block.
  EXPECT_EQ(view_.progressUpdates - afterShow, 100);
  EXPECT_EQ(view_.progressText, "Program : 2047");
  EXPECT_EQ(view_.progressPercent, 99);
}

TEST_F(ProgressWindowTest, TextOnlyChangesReachTheWindowAfterTheRefreshInterval) {
  progress_.ShowProgress(10000, "Verify", "Writer");
  progress_.StepProgress(1, "Verify : 1");
  EXPECT_EQ(view_.progressText, "Verify");
  clock_.steady += kProgressRefreshInterval;
  progress_.StepProgress(2, "Verify : 2");
  EXPECT_EQ(view_.progressText, "Verify : 2");
  clock_.steady += 1ms;
  progress_.StepProgress(3, "Verify : 3");
  EXPECT_EQ(view_.progressText, "Verify : 2");
}

TEST_F(ProgressWindowTest, WithoutAWindowNothingHappens) {
  progress_.AttachView(nullptr);
  progress_.ShowProgress(3, "Program", "Writer");
  progress_.StepProgress(2, "x");
  progress_.HideProgress();
  EXPECT_EQ(view_.progressUpdates, 0);
}

}  // namespace
}  // namespace vx3::writer_ops
