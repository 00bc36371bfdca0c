#include "reader_update/outcome_text.h"

#include <string>

#include <gtest/gtest.h>

namespace flashwright {
namespace {

constexpr char kFolder[] = "/opt/flashwright/firmware";
constexpr char kBasic[] = " using Advanced View";

UpdateJob Failed(bool in_check, std::int32_t phase, LinkError result, std::uint32_t line) {
  UpdateJob job;
  job.port = 4;
  job.base_name = "rdr42418";
  job.failed_in_check = in_check;
  job.phase = phase;
  job.result = result;
  job.line = line;
  return job;
}

TEST(OutcomeTextTest, CheckFailuresInTheirOrder) {
  struct Case {
    UpdateJob job;
    const char* text;
  };
  const Case cases[] = {
      {Failed(true, kPhaseSend, kLinkVariantMismatch, 1),
       "Verify platform error. Firmware file rdr42418 is not compatible with the reader.\r\n"
       "(Err:-11,Line:1)"},
      {Failed(true, kPhasePortNotOpen, kLinkPortOpenFailed, 0),
       "Reader response error. Reader may not support firmware update.\r\n(Err:-9,Line:0)"},
      {Failed(true, kPhaseSend, kLinkBadFile, 12),
       "Verify file error. Firmware file rdr42418 may not be supported by the reader.\r\n"
       "(Err:-7,Line:12)"},
      {Failed(true, kPhaseRead, kErrorFileNotFound, 0),
       "Firmware file rdr42418 not found. Check firmware directory at "
       "/opt/flashwright/firmware.\r\n(Err:2,Line:0)"},
      {Failed(true, kPhaseRead, kLinkBadFile, 3),
       "File error. File rdr42418 or directory /opt/flashwright/firmware may be invalid or "
       "damaged.\r\n(Err:-7,Line:3)"},
  };
  for (const Case& c : cases) {
    const UpdateOutcome outcome = ComposeUpdateOutcome(c.job, kFolder, kBasic, 0x0203);
    EXPECT_EQ(outcome.kind, ui::PaneKind::kError);
    EXPECT_EQ(outcome.text, c.text);
    EXPECT_FALSE(outcome.offer_retry) << c.text;
  }
}

TEST(OutcomeTextTest, ProgrammingFailuresByPhase) {
  struct Case {
    std::int32_t phase;
    const char* message;
    bool retry;
  };
  const Case cases[] = {
      {kPhaseRead,
       "File error. File rdr42418 or directory /opt/flashwright/firmware may be invalid or "
       "damaged.",
       false},
      {kPhaseEnterDownload, "Reader response error. Reader may not support firmware update.",
       false},
      {kPhaseReadNext,
       "Update failed. File error. Check firmware file rdr42418 in directory "
       "/opt/flashwright/firmware.",
       true},
      {kPhaseSend, "Reader update on COM 4 failed. Check reader power and serial cables.", true},
      {7, "Update error.", false},
  };
  for (const Case& c : cases) {
    const UpdateJob job = Failed(false, c.phase, -5, 40);
    const UpdateOutcome outcome = ComposeUpdateOutcome(job, kFolder, kBasic, 0x0203);
    EXPECT_EQ(outcome.kind, ui::PaneKind::kError);
    EXPECT_EQ(outcome.text, std::string(c.message) + "\r\n(Err:-5,Line:40)");
    EXPECT_EQ(outcome.offer_retry, c.retry) << c.message;
  }
}

TEST(OutcomeTextTest, RetryQuestionAndRefusal) {
  const UpdateOutcome outcome =
      ComposeUpdateOutcome(Failed(false, kPhaseSend, 5, 17), kFolder, kBasic, 0x0203);
  ASSERT_TRUE(outcome.offer_retry);
  EXPECT_EQ(RetryQuestionText(outcome),
            "Reader update on COM 4 failed. Check reader power and serial cables.\r\n"
            "(Err:5,Line:17)\r\n\r\nTry again?");
  EXPECT_EQ(AppendRetryRefusal(outcome.text, kBasic),
            "Reader update on COM 4 failed. Check reader power and serial cables.\r\n"
            "Before trying again, reset power on device and select Tools: Recover from Download "
            "Error using Advanced View.\r\n(Err:5,Line:17)");
  EXPECT_EQ(AppendRetryRefusal("only line", ""),
            "only line\r\nBefore trying again, reset power on device and select Tools: Recover "
            "from Download Error.");

  // A package is never asked: the refusal line is there at once, with the view's suffix.
  UpdateJob package = Failed(false, kPhaseReadNext, kLinkEndOfData, 9);
  package.is_package = true;
  const UpdateOutcome package_outcome = ComposeUpdateOutcome(package, kFolder, "", 0x0203);
  EXPECT_FALSE(package_outcome.offer_retry);
  EXPECT_EQ(package_outcome.text,
            "Update failed. File error. Check firmware file rdr42418 in directory "
            "/opt/flashwright/firmware.\r\n"
            "Before trying again, reset power on device and select Tools: Recover from Download "
            "Error.\r\n(Err:-1,Line:9)");
}

TEST(OutcomeTextTest, SuccessWithResetConfigurationAndPowerReminder) {
  UpdateJob job;
  job.port = 3;
  job.result = 0;
  job.phase = kPhaseSend;
  job.line = 2049;
  UpdateOutcome outcome = ComposeUpdateOutcome(job, kFolder, kBasic, 0x0203);
  EXPECT_EQ(outcome.kind, ui::PaneKind::kSuccess);
  EXPECT_EQ(outcome.text, "Reader firmware on COM 3 successfully updated.");
  EXPECT_FALSE(outcome.offer_retry);

  job.reset_selection = kTechTagIt | kTechIso;
  job.reset_result = 0;
  outcome = ComposeUpdateOutcome(job, kFolder, kBasic, 0x01FF);
  EXPECT_EQ(outcome.text,
            "Reader firmware on COM 3 successfully updated.\r\n"
            "Reset configuration (TagIt,ISO) successful.\r\nRESET POWER ON READER.");

  job.reset_selection = kTechIso;
  job.reset_result = StatusError(1);
  outcome = ComposeUpdateOutcome(job, kFolder, kBasic, 0xFFFF);
  EXPECT_EQ(outcome.text,
            "Reader firmware on COM 3 successfully updated.\r\n"
            "Reset configuration (ISO) returned error -33. Reader may not support the command."
            "\r\nRESET POWER ON READER.");

  job.reset_selection = kTechTagIt;
  job.reset_result = kLinkTimeout;
  outcome = ComposeUpdateOutcome(job, kFolder, kBasic, 0x0200);
  EXPECT_EQ(outcome.text,
            "Reader firmware on COM 3 successfully updated.\r\n"
            "Reset configuration (TagIt) returned error -5.");
}

TEST(OutcomeTextTest, ResetConfigurationTexts) {
  EXPECT_EQ(TechnologyNames(0), "");
  EXPECT_EQ(TechnologyNames(kTechTagIt), "TagIt");
  EXPECT_EQ(TechnologyNames(kTechIso), "ISO");
  EXPECT_EQ(TechnologyNames(kTechTagIt | kTechIso), "TagIt,ISO");
  EXPECT_EQ(ResetConfigurationText(-33, 3),
            "Reset configuration (TagIt,ISO) returned error -33. Reader may not support the "
            "command.");
  EXPECT_EQ(ResetConfigurationText(-32, 3), "Reset configuration (TagIt,ISO) returned error -32.");
  EXPECT_EQ(ResetConfigurationText(0, 1), "Reset configuration (TagIt) successful.");
}

}  // namespace
}  // namespace flashwright
