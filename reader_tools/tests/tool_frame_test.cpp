// What every tool dialog shares, against a simulated reader on a pseudo-terminal: the opener,
// the port held only for an operation, replies in pieces or with a bad CRC, replies to another
// command, a silent reader, a port that does not open, status 2, and the version gate.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>
#include <chrono>

#include "shell/command_ids.h"
#include "reader_tools/chute_security_method.h"
#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/tests/tool_dialog_fixture.h"
#include "reader_tools/tool_opener.h"
#include "windowing/modal_dialog.h"

namespace flashwright::test {

class ToolFrameTest : public QObject {
  Q_OBJECT

 private slots:
  void OpenerShowsEachDialogWithPortAndVersion();
  void SettingsDialogsHaveNoCloseBoxButDiagnosticsHas();
  void EveryOperationOpensAndClosesThePort();
  void AReplyInPiecesIsGathered();
  void AReplyWithAWrongCrcIsStillAccepted();
  void AReplyToAnotherCommandGivesMinus50();
  void ASilentReaderGivesMinus5AfterTheLimit();
  void APortThatDoesNotOpenGivesMinus3();
  void StatusTwoAddsCommandNotSupported();
  void OldReadersGetError7OnOpeningAndEverySetWithNothingSent();
  void TheFirstVersionWithD6ToolsWorks();
};

void ToolFrameTest::OpenerShowsEachDialogWithPortAndVersion() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  struct Case {
    int command;
    const char* title;
  };
  const Case cases[] = {{kCmdDiagnostics, "Diagnostics"},
                        {kCmdPortalAfi, "Portal AFI Value"},
                        {kCmdSecurityMethod, "Q-Series Security Method"},
                        {kCmdTransmitMode, "RF Transmit Mode"},
                        {kCmdPowerLevel, "RF Power Level"}};
  QWidget parent;
  // The dialog comes to the modal call, which the test answers in place of the user: it shows
  // the dialog (so its initialisation runs), reads it and presses "Done".
  int modal_calls = 0;
  QString title, port, version;
  bool over_parent = false;
  bool closed_by_done = false;
  struct RestoreModalLoop {
    ~RestoreModalLoop() { ui::SetModalDialogHandler(nullptr); }
  } restore;
  ui::SetModalDialogHandler([&](QDialog& dialog) {
    ++modal_calls;
    over_parent = dialog.parentWidget() == &parent;
    dialog.show();
    title = dialog.windowTitle();
    port = ControlText(&dialog, "1019");
    version = ControlText(&dialog, "1020");
    Click(&dialog, "1");
    closed_by_done = !dialog.isVisible() && dialog.result() == QDialog::Accepted;
    return int{ui::kDialogOk};
  });
  for (const Case& c : cases) {
    modal_calls = 0;
    title.clear();
    port.clear();
    version.clear();
    over_parent = false;
    closed_by_done = false;
    QVERIFY(IsReaderToolCommand(c.command));
    QVERIFY(RunReaderToolDialog(&parent, c.command, kSimPort, 0x0A040F12));
    QCOMPARE(modal_calls, 1);
    QCOMPARE(title, QString::fromLatin1(c.title));
    QVERIFY(over_parent);
    QVERIFY(closed_by_done);
    QCOMPARE(port, QStringLiteral("5"));
    QCOMPARE(version, QStringLiteral("4.15.18"));
    QVERIFY(PortIsFree());
    // The dialog is destroyed once the modal call returns.
    QVERIFY(parent.findChildren<QDialog*>().isEmpty());
  }
  modal_calls = 0;
  QVERIFY(!RunReaderToolDialog(&parent, kCmdCopyFirmware, kSimPort, 0x0A040F12));
  QVERIFY(!IsReaderToolCommand(kCmdAllowNonMatching));
  QCOMPARE(modal_calls, 0);
}

void ToolFrameTest::SettingsDialogsHaveNoCloseBoxButDiagnosticsHas() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  CPortalAFIDefault afi;
  CChuteSecurityMethod security;
  CRFTransmitMode transmit;
  CRFPowerLevel power;
  for (QWidget* dialog : std::initializer_list<QWidget*>{&afi, &security, &transmit, &power}) {
    QVERIFY(!(dialog->windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(dialog->windowFlags() & Qt::WindowSystemMenuHint));
  }
  CDiagnosticsDlog diagnostics;
  QVERIFY(diagnostics.windowFlags() & Qt::WindowCloseButtonHint);
  QVERIFY(diagnostics.windowFlags() & Qt::WindowSystemMenuHint);
  QVERIFY(FindControl<QPushButton>(&diagnostics, "1")->isDefault());
}

void ToolFrameTest::EveryOperationOpensAndClosesThePort() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  // The read on opening reached the reader, so the port was open; now it is closed again.
  QCOMPARE(reader.NewRequests().size(), std::size_t{1});
  QVERIFY(PortIsFree());
  QVERIFY(!dialog->PortHeld());
  for (const char* value : {"11", "22"}) {
    FindControl<QLineEdit>(dialog.get(), "1032")->setText(QString::fromLatin1(value));
    Click(dialog.get(), "1030");
    QCOMPARE(reader.NewRequests().size(), std::size_t{1});
    QVERIFY(PortIsFree());
  }
  // An entry error opens and closes the port too, and sends nothing.
  FindControl<QLineEdit>(dialog.get(), "1032")->setText(QStringLiteral("G1"));
  Click(dialog.get(), "1030");
  QVERIFY(reader.NewRequests().empty());
  QVERIFY(PortIsFree());
  // Escape closes a dialog without a close box.
  QTest::keyClick(dialog.get(), Qt::Key_Escape);
  QVERIFY(!dialog->isVisible());
  QVERIFY(PortIsFree());
}

void ToolFrameTest::AReplyInPiecesIsGathered() {
  sim::ReaderSimOptions options;
  options.portal_afi = 0x3C;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  reader.Sim().SetFault(sim::SimFault::SplitReplies);
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1018"), QString());
  QCOMPARE(ControlText(dialog.get(), "1031"), QStringLiteral("3C"));
}

void ToolFrameTest::AReplyWithAWrongCrcIsStillAccepted() {
  sim::ReaderSimOptions options;
  options.power_level = 0x04;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  reader.Sim().SetFault(sim::SimFault::BadCrc);
  auto dialog = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1018"), QString());
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("400 mW"));
}

void ToolFrameTest::AReplyToAnotherCommandGivesMinus50() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  reader.Sim().SetFault(sim::SimFault::WrongEcho);
  // A complete reply ends the exchange at once; only a timeout could give -5 instead.
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error -50)"));
  QCOMPARE(ControlText(dialog.get(), "1033"), QString());
}

void ToolFrameTest::ASilentReaderGivesMinus5AfterTheLimit() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  reader.Sim().SetFault(sim::SimFault::NoAnswer);
  const auto start = std::chrono::steady_clock::now();
  auto dialog = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  const auto waited = std::chrono::steady_clock::now() - start;
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error -5)"));
  QVERIFY(waited >= std::chrono::milliseconds(500));
  QVERIFY(waited < std::chrono::milliseconds(500) + test::kTimeLimitOverrun);
  QVERIFY(PortIsFree());
}

void ToolFrameTest::APortThatDoesNotOpenGivesMinus3() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader, kSimPort + 1);
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error -3)"));
  QCOMPARE(ControlText(dialog.get(), "1019"), QStringLiteral("6"));
  QVERIFY(!dialog->PortHeld());
  QVERIFY(PortIsFree());
}

void ToolFrameTest::StatusTwoAddsCommandNotSupported() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  reader.Sim().SetCommandStatus(0x41, 2);
  auto afi = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  QCOMPARE(ControlText(afi.get(), "1018"), QStringLiteral("(Reader Error 2) Command Not Supported"));
  reader.Sim().SetCommandStatus(0x36, 2);
  auto transmit = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  QCOMPARE(ControlText(transmit.get(), "1018"),
           QStringLiteral("(Reader Error 2) Command Not Supported"));
  // A set refused with status 2 reads the same and leaves the current value alone.
  reader.Sim().SetCommandStatus(0x3A, 2);
  auto power = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  const QString level = ControlText(power.get(), "1033");
  Click(power.get(), "1035");
  QCOMPARE(ControlText(power.get(), "1018"), QStringLiteral("(Reader Error 2) Command Not Supported"));
  QCOMPARE(ControlText(power.get(), "1033"), level);
}

void ToolFrameTest::OldReadersGetError7OnOpeningAndEverySetWithNothingSent() {
  sim::ReaderSimOptions options;
  options.version = kOldReader;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  const QString error7 = QStringLiteral("(Reader Error 7)");

  auto afi = OpenDialog<CPortalAFIDefault>(kOldReader);
  QCOMPARE(ControlText(afi.get(), "1018"), error7);
  FindControl<QLineEdit>(afi.get(), "1032")->setText(QStringLiteral("DA"));
  Click(afi.get(), "1030");
  QCOMPARE(ControlText(afi.get(), "1018"), error7);

  auto security = OpenDialog<CChuteSecurityMethod>(kOldReader);
  QCOMPARE(ControlText(security.get(), "1018"), error7);
  FindControl<QLineEdit>(security.get(), "1036")->setText(QStringLiteral("DA"));
  Click(security.get(), "1035");
  QCOMPARE(ControlText(security.get(), "1018"), error7);

  auto transmit = OpenDialog<CRFTransmitMode>(kOldReader);
  QCOMPARE(ControlText(transmit.get(), "1018"), error7);
  Click(transmit.get(), "1035");
  QCOMPARE(ControlText(transmit.get(), "1018"), error7);

  auto power = OpenDialog<CRFPowerLevel>(kOldReader);
  QCOMPARE(ControlText(power.get(), "1018"), error7);
  Click(power.get(), "1035");
  QCOMPARE(ControlText(power.get(), "1018"), error7);

  QVERIFY(reader.NewRequests(std::chrono::milliseconds(200)).empty());
  QVERIFY(boxes.Boxes().empty());
  QVERIFY(PortIsFree());
}

void ToolFrameTest::TheFirstVersionWithD6ToolsWorks() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto afi = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  QCOMPARE(ControlText(afi.get(), "1018"), QString());
  QCOMPARE(ControlText(afi.get(), "1031"), QStringLiteral("DA"));
  auto security = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(ControlText(security.get(), "1033"), QStringLiteral("AFI"));
  auto transmit = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  QCOMPARE(ControlText(transmit.get(), "1033"), QStringLiteral("1 out of 4"));
  auto power = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(ControlText(power.get(), "1033"), QStringLiteral("1 Watt"));
  QCOMPARE(reader.NewRequests().size(), std::size_t{4});
}

}  // namespace flashwright::test

QTEST_MAIN(flashwright::test::ToolFrameTest)
#include "tool_frame_test.moc"
