// The command line's answers to the window's questions: nobody is there, so a question whose
// default is No gets No (Reset counters, adopting a copied record), except the one question that
// --no-serial answers; a plain message gets OK. What was asked and answered is written out.
#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "cli/cli_output.h"
#include "cli/console_view.h"
#include "ui_text/message_box.h"

namespace vx3::cli {
namespace {

namespace box = text::box;
namespace answer = text::answer;

constexpr const char* kResetQuestion = "Reset the counters of this job and of today? The record keeps every chip.";
constexpr const char* kNoSerialQuestion = "Program the chip without a serial number?";
constexpr int kQuestion = box::kYesNo | box::kIconQuestion | box::kDefaultSecond;

struct AnswerCase {
  const char* name;
  const char* text;
  int type;
  const char* allowed;  // the question --no-serial answers Yes to; empty: none
  int answer;
  const char* json;     // the message event written
};

class ConsoleAnswerTest : public ::testing::TestWithParam<AnswerCase> {};

std::string Contents(std::FILE* file) {
  std::string text;
  std::rewind(file);
  for (int c = std::fgetc(file); c != EOF; c = std::fgetc(file)) text += static_cast<char>(c);
  return text;
}

TEST_P(ConsoleAnswerTest, AnswersAsNobodyThereWould) {
  const AnswerCase& c = GetParam();
  std::FILE* out = std::tmpfile();
  std::FILE* err = std::tmpfile();
  ASSERT_NE(out, nullptr);
  ASSERT_NE(err, nullptr);
  {
    CliOutput output(out, err, true, false);
    ConsoleView view(output);
    view.AllowNoSerial(c.allowed);
    EXPECT_EQ(view.ShowMessageBox(c.text, "VX3WT", c.type), c.answer);
  }
  std::fflush(out);
  EXPECT_EQ(Contents(out), std::string(c.json) + "\n");
  std::fclose(out);
  std::fclose(err);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ConsoleAnswerTest,
    ::testing::Values(
        AnswerCase{"ResetQuestionGetsNo", kResetQuestion, kQuestion, "", answer::kNo,
                   R"({"event":"message","caption":"VX3WT","text":"Reset the counters of this job and of today? The record keeps every chip.","answer":"no"})"},
        // --no-serial says Yes to its own question only, never to the reset.
        AnswerCase{"ResetQuestionGetsNoWithNoSerial", kResetQuestion, kQuestion, kNoSerialQuestion, answer::kNo,
                   R"({"event":"message","caption":"VX3WT","text":"Reset the counters of this job and of today? The record keeps every chip.","answer":"no"})"},
        AnswerCase{"NoSerialQuestionWithNoSerial", kNoSerialQuestion, kQuestion, kNoSerialQuestion, answer::kYes,
                   R"({"event":"message","caption":"VX3WT","text":"Program the chip without a serial number?","answer":"yes"})"},
        AnswerCase{"QuestionWhoseDefaultIsYes", kResetQuestion, box::kYesNo | box::kIconQuestion, "", answer::kYes,
                   R"({"event":"message","caption":"VX3WT","text":"Reset the counters of this job and of today? The record keeps every chip.","answer":"yes"})"},
        AnswerCase{"PlainMessage", "A warning", box::kIconExclamation, "", answer::kOk,
                   R"({"event":"message","caption":"VX3WT","text":"A warning","answer":"ok"})"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vx3::cli
