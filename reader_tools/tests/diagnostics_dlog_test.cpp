// The diagnostics dialog against a simulated reader: inventories in D6 and both D5 variants,
// block reads, and continuous reading.
#include <QListWidget>
#include <QPushButton>
#include <QtTest>
#include <chrono>

#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/tests/tool_dialog_fixture.h"

namespace flashwright::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

QStringList ListLines(QWidget* dialog) {
  QStringList lines;
  auto* list = FindControl<QListWidget>(dialog, "1016");
  for (int i = 0; list != nullptr && i < list->count(); ++i) lines << list->item(i)->text();
  return lines;
}

sim::SimTag Tag(Bytes id, std::uint32_t block0) {
  sim::SimTag tag;
  tag.id = std::move(id);
  tag.block0 = block0;
  return tag;
}

}  // namespace

class DiagnosticsTest : public QObject {
  Q_OBJECT

 private slots:
  void NothingIsReadUntilAButtonIsPressed();
  void NoTagShowsTagsZero();
  void TwoD6TagsAreListedWithTheirBlocks();
  void LeadingZeroBytesAreDroppedFromTheListButNotFromTheRequest();
  void ABlockReadAnsweredForAnotherTagShowsErrMinus50();
  void InventoryFailuresShowTheReaderError();
  void D5ReadersSwitchVariantBothWays();
  void ContinuousReadingHoldsThePortUntilStoppedOrClosed();
};

void DiagnosticsTest::NothingIsReadUntilAButtonIsPressed() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1019"), QStringLiteral("5"));
  QCOMPARE(ControlText(dialog.get(), "1020"), QStringLiteral("3.0.0"));
  QCOMPARE(ControlText(dialog.get(), "1018"), QString());
  QCOMPARE(ControlText(dialog.get(), "1014"), QStringLiteral("Read Once"));
  QCOMPARE(ControlText(dialog.get(), "1017"), QStringLiteral("Read Continuously"));
  QVERIFY(reader.NewRequests().empty());
  QVERIFY(PortIsFree());
}

void DiagnosticsTest::NoTagShowsTagsZero() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 0"));
  QVERIFY(ListLines(dialog.get()).isEmpty());
  auto requests = reader.NewRequests();
  QCOMPARE(requests.size(), std::size_t{1});
  QCOMPARE(requests[0], (Bytes{0xD6, 0x00, 0x05, 0xFE, 0x00, 0x05, 0xFA, 0x40}));
  QVERIFY(PortIsFree());
}

void DiagnosticsTest::TwoD6TagsAreListedWithTheirBlocks() {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x0000BEEF),
                  Tag({0xE0, 0x04, 0x01, 0x00, 0xAB, 0xCD, 0xEF, 0x01}, 0xCAFE0001)};
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 2"));
  QCOMPARE(ListLines(dialog.get()),
           (QStringList{QStringLiteral("E004010012345678   Block0: 0000BEEF"),
                        QStringLiteral("E0040100ABCDEF01   Block0: CAFE0001")}));
  // A second read replaces the lines rather than adding to them.
  Click(dialog.get(), "1014");
  QCOMPARE(ListLines(dialog.get()).size(), 2);
  QCOMPARE(reader.NewRequests().size(), std::size_t{6});
  QVERIFY(PortIsFree());
}

void DiagnosticsTest::LeadingZeroBytesAreDroppedFromTheListButNotFromTheRequest() {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC}, 0x00000007)};
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  Click(dialog.get(), "1014");
  QCOMPARE(ListLines(dialog.get()),
           QStringList{QStringLiteral("123456789ABC   Block0: 00000007")});
  auto requests = reader.NewRequests();
  QCOMPARE(requests.size(), std::size_t{2});
  QCOMPARE(requests[1].size(), std::size_t{16});
  QCOMPARE(RequestPayload(requests[1]),
           (Bytes{0x02, 0x00, 0x00, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0x00, 0x01}));
}

void DiagnosticsTest::ABlockReadAnsweredForAnotherTagShowsErrMinus50() {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x11111111),
                  Tag({0xE0, 0x04, 0x01, 0x00, 0xAB, 0xCD, 0xEF, 0x01}, 0x22222222)};
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  // The next block read is answered about a third tag.
  Bytes payload = {0x02, 0x00, 0xE0, 0x04, 0x01, 0x00, 0x99, 0x99, 0x99, 0x99,
                   0x00, 0x00, 0x00, 0x33, 0x33, 0x33, 0x33};
  Bytes reply = {0xD6, 0x00, static_cast<std::uint8_t>(payload.size() + 2)};
  reply.insert(reply.end(), payload.begin(), payload.end());
  reply.insert(reply.end(), {0x00, 0x00});  // the dialogs do not look at the CRC
  reader.Sim().SetReplyOverride(0x02, reply);
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 2"));
  QCOMPARE(ListLines(dialog.get()),
           (QStringList{QStringLiteral("E004010012345678   Block0: (err -50)"),
                        QStringLiteral("E0040100ABCDEF01   Block0: 22222222")}));
}

void DiagnosticsTest::InventoryFailuresShowTheReaderError() {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 1)};
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  Click(dialog.get(), "1014");
  QCOMPARE(ListLines(dialog.get()).size(), 1);

  // A refusal: no " Command Not Supported" here, and the old lines are gone.
  reader.Sim().SetCommandStatus(0xFE, 2);
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error 2)"));
  QVERIFY(ListLines(dialog.get()).isEmpty());
  reader.Sim().SetCommandStatus(0xFE, 0);

  reader.Sim().SetFault(sim::SimFault::NoAnswer);
  const auto start = std::chrono::steady_clock::now();
  Click(dialog.get(), "1014");
  const auto waited = std::chrono::steady_clock::now() - start;
  QVERIFY(waited >= std::chrono::milliseconds(500));
  QVERIFY(waited < std::chrono::milliseconds(500) + test::kTimeLimitOverrun);
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error -5)"));
  reader.Sim().SetFault(sim::SimFault::None);

  reader.Sim().SetFault(sim::SimFault::WrongEcho);
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error -50)"));
  QVERIFY(ListLines(dialog.get()).isEmpty());
  QVERIFY(PortIsFree());
}

void DiagnosticsTest::D5ReadersSwitchVariantBothWays() {
  sim::ReaderSimOptions options;
  options.version = kOldReader;
  options.d5_extra_byte = false;
  options.tags = {Tag({0x12, 0x34, 0x56, 0x78}, 0x0A0B0C0D)};
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kOldReader);

  // The first inventory carries the extra byte; the reader refuses it (flags bit 0, status 5).
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 0"));
  QVERIFY(!dialog->ExtraByte());
  auto requests = reader.NewRequests();
  QCOMPARE(requests.size(), std::size_t{1});
  QCOMPARE(requests[0], (Bytes{0xD5, 0x00, 0x09, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x00, 0x05, 0xC6, 0x5D}));

  // The second goes without it and lists the tag; its block read is in the same variant.
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 1"));
  QCOMPARE(ListLines(dialog.get()), QStringList{QStringLiteral("12345678   Block0: 0A0B0C0D")});
  requests = reader.NewRequests();
  QCOMPARE(requests.size(), std::size_t{2});
  QCOMPARE(requests[0], (Bytes{0xD5, 0x00, 0x08, 0x03, 0x00, 0xFE, 0x00, 0x00, 0x05, 0xFE, 0x3E}));
  QCOMPARE(requests[1], (Bytes{0xD5, 0x00, 0x0C, 0x03, 0x00, 0x02, 0x04, 0x12, 0x34, 0x56, 0x78,
                               0x00, 0x01, 0x50, 0x66}));

  // A reader of the other variant switches the dialog back.
  options.d5_extra_byte = true;
  reader.Sim().SetOptions(options);
  Click(dialog.get(), "1014");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 0"));
  QVERIFY(dialog->ExtraByte());
  Click(dialog.get(), "1014");
  QCOMPARE(ListLines(dialog.get()), QStringList{QStringLiteral("12345678   Block0: 0A0B0C0D")});
  requests = reader.NewRequests();
  QCOMPARE(requests.size(), std::size_t{3});
  QCOMPARE(requests[1][2], std::uint8_t{0x09});
  QCOMPARE(requests[2], (Bytes{0xD5, 0x00, 0x0D, 0x03, 0x00, 0x02, 0x04, 0x00, 0x12, 0x34, 0x56,
                               0x78, 0x00, 0x01, 0x54, 0x0C}));
  QVERIFY(PortIsFree());
}

void DiagnosticsTest::ContinuousReadingHoldsThePortUntilStoppedOrClosed() {
  sim::ReaderSimOptions options;
  options.tags = {Tag({0xE0, 0x04, 0x01, 0x00, 0x12, 0x34, 0x56, 0x78}, 0x01020304)};
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);

  Click(dialog.get(), "1017");
  QVERIFY(dialog->ReadingContinuously());
  QVERIFY(dialog->PortHeld());
  QVERIFY(!PortIsFree());
  QCOMPARE(ControlText(dialog.get(), "1017"), QStringLiteral("Stop Reading"));
  QVERIFY(!FindControl<QPushButton>(dialog.get(), "1014")->isEnabled());
  // The first read comes one period after the press; then they keep coming.
  QVERIFY(reader.NewRequests(std::chrono::milliseconds(0)).empty());
  QTRY_VERIFY_WITH_TIMEOUT(reader.Sim().RequestCount(0xFE) >= 3, 5000);
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("Tags: 1"));
  QVERIFY(!PortIsFree());

  Click(dialog.get(), "1017");
  QVERIFY(!dialog->ReadingContinuously());
  QVERIFY(PortIsFree());
  QCOMPARE(ControlText(dialog.get(), "1017"), QStringLiteral("Read Continuously"));
  QVERIFY(FindControl<QPushButton>(dialog.get(), "1014")->isEnabled());
  reader.NewRequests();
  QTest::qWait(700);
  QVERIFY(reader.NewRequests().empty());

  // Closing with "Done" while reading stops the timer and closes the port.
  Click(dialog.get(), "1017");
  QVERIFY(!PortIsFree());
  Click(dialog.get(), "1");
  QVERIFY(!dialog->isVisible());
  QVERIFY(!dialog->ReadingContinuously());
  QVERIFY(PortIsFree());
  reader.NewRequests();
  QTest::qWait(700);
  QVERIFY(reader.NewRequests().empty());

  // So does the close box, which this dialog has.
  auto closing = OpenDialog<CDiagnosticsDlog>(kFirstD6Reader);
  Click(closing.get(), "1017");
  QVERIFY(!PortIsFree());
  QVERIFY(closing->close());
  QVERIFY(!closing->ReadingContinuously());
  QVERIFY(PortIsFree());
}

}  // namespace flashwright::test

QTEST_MAIN(flashwright::test::DiagnosticsTest)
#include "diagnostics_dlog_test.moc"
