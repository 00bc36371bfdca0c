// The diagnostics dialog against a simulated reader: inventories in D6 and both D5 variants,
// block reads, and continuous reading.
#include <gtest/gtest.h>

#include <chrono>

#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/tests/tool_dialog_fixture.h"
#include "shell/control_ids.h"
#include "windowing/event_loop.h"

namespace flashwright::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Lines = std::vector<std::string>;

Lines ListLines(CDiagnosticsDlog& dialog) { return Items(dialog.form(), kIdcTagList); }

sim::SimTag Tag(Bytes id, std::uint32_t block0) {
  sim::SimTag tag;
  tag.id = std::move(id);
  tag.block0 = block0;
  return tag;
}

void ReadOnce(CDiagnosticsDlog& dialog) { dialog.form().Click(kIdcReadOnce); }
std::string Status(CDiagnosticsDlog& dialog) { return dialog.form().Text(kIdcToolStatus); }

TEST(DiagnosticsTest, NothingIsReadUntilAButtonIsPressed) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcToolPort), "5");
    EXPECT_EQ(dialog.form().Text(kIdcToolVersion), "3.0.0");
    EXPECT_EQ(Status(dialog), "");
    EXPECT_EQ(dialog.form().Text(kIdcReadOnce), "Read Once");
    EXPECT_EQ(dialog.form().Text(kIdcReadContinuously), "Read Continuously");
    EXPECT_TRUE(reader.NewRequests().empty());
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(DiagnosticsTest, NoTagShowsTagsZero) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "Tags: 0");
    EXPECT_TRUE(ListLines(dialog).empty());
    auto requests = reader.NewRequests();
    ASSERT_EQ(requests.size(), std::size_t{1});
    EXPECT_EQ(requests[0], (Bytes{0xD6, 0x00, 0x05, 0xFE, 0x00, 0x05, 0xFA, 0x40}));
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(DiagnosticsTest, TwoD6TagsAreListedWithTheirBlocks) {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x0000BEEF),
                  Tag({0xE0, 0x04, 0x01, 0x00, 0xAB, 0xCD, 0xEF, 0x01}, 0xCAFE0001)};
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "Tags: 2");
    EXPECT_EQ(ListLines(dialog), (Lines{"E004010012345678   Block0: 0000BEEF",
                                        "E0040100ABCDEF01   Block0: CAFE0001"}));
    // A second read replaces the lines rather than adding to them.
    ReadOnce(dialog);
    EXPECT_EQ(ListLines(dialog).size(), std::size_t{2});
    EXPECT_EQ(reader.NewRequests().size(), std::size_t{6});
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(DiagnosticsTest, LeadingZeroBytesAreDroppedFromTheListButNotFromTheRequest) {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, 0x00000007)};
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    ReadOnce(dialog);
    EXPECT_EQ(ListLines(dialog), Lines{"123456789ABC   Block0: 00000007"});
    auto requests = reader.NewRequests();
    ASSERT_EQ(requests.size(), std::size_t{2});
    EXPECT_EQ(requests[1].size(), std::size_t{16});
    EXPECT_EQ(RequestPayload(requests[1]),
              (Bytes{0x02, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x00, 0x01}));
  });
}

TEST(DiagnosticsTest, ABlockReadAnsweredForAnotherTagShowsErrMinus50) {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x11111111),
                  Tag({0xE0, 0x04, 0x01, 0x00, 0xAB, 0xCD, 0xEF, 0x01}, 0x22222222)};
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  // The next block read is answered about a third tag.
  Bytes payload = {0x02, 0x00, 0xE0, 0x04, 0x01, 0x00, 0x99, 0x99, 0x99, 0x99,
                   0x00, 0x00, 0x00, 0x33, 0x33, 0x33, 0x33};
  Bytes reply = {0xD6, 0x00, static_cast<std::uint8_t>(payload.size() + 2)};
  reply.insert(reply.end(), payload.begin(), payload.end());
  reply.insert(reply.end(), {0x00, 0x00});  // the dialogs do not look at the CRC
  reader.Sim().SetReplyOverride(0x02, reply);
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "Tags: 2");
    EXPECT_EQ(ListLines(dialog), (Lines{"E004010012345678   Block0: (err -50)",
                                        "E0040100ABCDEF01   Block0: 22222222"}));
  });
}

TEST(DiagnosticsTest, InventoryFailuresShowTheReaderError) {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 1)};
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    ReadOnce(dialog);
    EXPECT_EQ(ListLines(dialog).size(), std::size_t{1});

    // A refusal: no " Command Not Supported" here, and the old lines are gone.
    reader.Sim().SetCommandStatus(0xFE, 2);
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "(Reader Error 2)");
    EXPECT_TRUE(ListLines(dialog).empty());
    reader.Sim().SetCommandStatus(0xFE, 0);

    reader.Sim().SetFault(sim::SimFault::NoAnswer);
    const auto start = std::chrono::steady_clock::now();
    ReadOnce(dialog);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(500));
    EXPECT_LT(waited, std::chrono::milliseconds(500) + test::kTimeLimitOverrun);
    EXPECT_EQ(Status(dialog), "(Reader Error -5)");
    reader.Sim().SetFault(sim::SimFault::None);

    reader.Sim().SetFault(sim::SimFault::WrongEcho);
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "(Reader Error -50)");
    EXPECT_TRUE(ListLines(dialog).empty());
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(DiagnosticsTest, D5ReadersSwitchVariantBothWays) {
  sim::ReaderSimOptions options;
  options.version = kOldReader;
  options.d5_extra_byte = false;
  options.tags = {Tag({0x12, 0x34, 0x56, 0x78}, 0x0A0B0C0D)};
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kOldReader, [&](CDiagnosticsDlog& dialog) {
    // The first inventory carries the extra byte; the reader refuses it (flags bit 0,
    // status 5).
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "Tags: 0");
    EXPECT_FALSE(dialog.ExtraByte());
    auto requests = reader.NewRequests();
    ASSERT_EQ(requests.size(), std::size_t{1});
    EXPECT_EQ(requests[0],
              (Bytes{0xD5, 0x00, 0x09, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x05, 0xC6, 0x5D}));

    // The second goes without it and lists the tag; its block read is in the same variant.
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "Tags: 1");
    EXPECT_EQ(ListLines(dialog), Lines{"12345678   Block0: 0A0B0C0D"});
    requests = reader.NewRequests();
    ASSERT_EQ(requests.size(), std::size_t{2});
    EXPECT_EQ(requests[0],
              (Bytes{0xD5, 0x00, 0x08, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x05, 0xFE, 0x3E}));
    EXPECT_EQ(requests[1], (Bytes{0xD5, 0x00, 0x0C, 0x03, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56,
                                  0x78, 0x00, 0x01, 0x50, 0x66}));

    // A reader of the other variant switches the dialog back.
    options.d5_extra_byte = true;
    reader.Sim().SetOptions(options);
    ReadOnce(dialog);
    EXPECT_EQ(Status(dialog), "Tags: 0");
    EXPECT_TRUE(dialog.ExtraByte());
    ReadOnce(dialog);
    EXPECT_EQ(ListLines(dialog), Lines{"12345678   Block0: 0A0B0C0D"});
    requests = reader.NewRequests();
    ASSERT_EQ(requests.size(), std::size_t{3});
    EXPECT_EQ(requests[1][2], std::uint8_t{0x09});
    EXPECT_EQ(requests[2], (Bytes{0xD5, 0x00, 0x0D, 0x03, 0x00, 0x02, 0x04, 0x00, 0x12, 0x34,
                                  0x56, 0x78, 0x00, 0x01, 0x54, 0x0C}));
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(DiagnosticsTest, ContinuousReadingHoldsThePortUntilStoppedOrClosed) {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x01020304)};
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& dialog) {
    ui::Form& form = dialog.form();
    form.Click(kIdcReadContinuously);
    EXPECT_TRUE(dialog.ReadingContinuously());
    EXPECT_TRUE(form.TimerRunning(1));
    EXPECT_TRUE(dialog.PortHeld());
    EXPECT_FALSE(PortIsFree());
    EXPECT_EQ(form.Text(kIdcReadContinuously), "Stop Reading");
    EXPECT_FALSE(form.IsEnabled(kIdcReadOnce));
    // The first read comes one period after the press; then they keep coming.
    EXPECT_TRUE(reader.NewRequests(std::chrono::milliseconds(0)).empty());
    EXPECT_TRUE(ui::WaitUntil([&] { return reader.Sim().RequestCount(0xFE) >= 3; }, 5000));
    EXPECT_EQ(Status(dialog), "Tags: 1");
    EXPECT_FALSE(PortIsFree());

    form.Click(kIdcReadContinuously);
    EXPECT_FALSE(dialog.ReadingContinuously());
    EXPECT_FALSE(form.TimerRunning(1));
    EXPECT_TRUE(PortIsFree());
    EXPECT_EQ(form.Text(kIdcReadContinuously), "Read Continuously");
    EXPECT_TRUE(form.IsEnabled(kIdcReadOnce));
    reader.NewRequests();
    Pause(700);
    EXPECT_TRUE(reader.NewRequests().empty());

    // Closing with "Done" while reading stops the timer and closes the port.
    form.Click(kIdcReadContinuously);
    EXPECT_FALSE(PortIsFree());
    form.Click(ui::kIdOk);
    EXPECT_TRUE(dialog.Ended());
    EXPECT_FALSE(dialog.ReadingContinuously());
    EXPECT_TRUE(PortIsFree());
    reader.NewRequests();
    Pause(700);
    EXPECT_TRUE(reader.NewRequests().empty());
  });

  // So does the close box, which this dialog has (the backend tells it as control 2).
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& closing) {
    closing.form().Click(kIdcReadContinuously);
    EXPECT_FALSE(PortIsFree());
    closing.OnNotify(ui::kIdCancel, ui::Notification::kClicked);
    EXPECT_TRUE(closing.Ended());
    EXPECT_FALSE(closing.ReadingContinuously());
    EXPECT_TRUE(PortIsFree());
  });

  // A dialog that is left open while reading (the modal call ends without "Done") stops
  // reading and closes the port all the same.
  WithDialog<CDiagnosticsDlog>(kFirstD6Reader, [&](CDiagnosticsDlog& left) {
    left.form().Click(kIdcReadContinuously);
    EXPECT_FALSE(PortIsFree());
  });
  EXPECT_TRUE(PortIsFree());
}

}  // namespace
}  // namespace flashwright::test
