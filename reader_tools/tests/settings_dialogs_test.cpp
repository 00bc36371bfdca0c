// The four settings dialogs against a simulated reader: what they show, what they send for an
// entry, which entries they refuse, and their messages. One test class per dialog.
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include "reader_tools/chute_security_method.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/tests/tool_dialog_fixture.h"

namespace flashwright::test {
namespace {

using Bytes = std::vector<std::uint8_t>;

void Type(QWidget* dialog, const char* id, const QString& text) {
  auto* edit = FindControl<QLineEdit>(dialog, id);
  edit->clear();
  QTest::keyClicks(edit, text);
}

void Choose(QWidget* dialog, const char* id, int position) {
  FindControl<QComboBox>(dialog, id)->setCurrentIndex(position);
}

QStringList Items(QWidget* dialog, const char* id) {
  QStringList items;
  auto* list = FindControl<QComboBox>(dialog, id);
  for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
  return items;
}

}  // namespace

class PortalAfiTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheCurrentValueOnOpening();
  void EntriesAreSentAsTypedAndConfirmed();
  void BadEntriesAreRefusedAndNothingIsSent();
  void StatusFortyNineHasNoSentenceOfItsOwn();
};

void PortalAfiTest::ShowsTheCurrentValueOnOpening() {
  sim::ReaderSimOptions options;
  options.portal_afi = 0x05;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  QCOMPARE(dialog->windowTitle(), QStringLiteral("Portal AFI Value"));
  QCOMPARE(ControlText(dialog.get(), "1031"), QStringLiteral("05"));
  QCOMPARE(ControlText(dialog.get(), "1030"), QStringLiteral("Set AFI Value"));
  QCOMPARE(FindControl<QLineEdit>(dialog.get(), "1032")->maxLength(), 2);
  QVERIFY(FindControl<QLineEdit>(dialog.get(), "1031")->isReadOnly());
  QCOMPARE(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x03, 0x41, 0x3E, 0xD5}}));
}

void PortalAfiTest::EntriesAreSentAsTypedAndConfirmed() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  reader.NewRequests();

  Type(dialog.get(), "1032", QStringLiteral("da"));
  Click(dialog.get(), "1030");
  QCOMPARE(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x04, 0x40, 0xDA, 0xC0, 0x04}}));
  QCOMPARE(ControlText(dialog.get(), "1031"), QStringLiteral("DA"));
  QCOMPARE(boxes.Boxes().size(), std::size_t{1});
  QCOMPARE(boxes.Boxes()[0].caption, QStringLiteral("Flashwright"));
  QCOMPARE(boxes.Boxes()[0].text, QStringLiteral("Portal AFI Value set to: DA"));

  Type(dialog.get(), "1032", QStringLiteral("7"));
  Click(dialog.get(), "1030");
  QCOMPARE(RequestPayload(reader.NewRequests().at(0)), (Bytes{0x40, 0x07}));
  QCOMPARE(ControlText(dialog.get(), "1031"), QStringLiteral("07"));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Portal AFI Value set to: 07"));

  // The reader keeps what was set: a dialog opened afterwards shows it.
  auto again = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  QCOMPARE(ControlText(again.get(), "1031"), QStringLiteral("07"));
}

void PortalAfiTest::BadEntriesAreRefusedAndNothingIsSent() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  reader.NewRequests();
  for (const char* entry : {"", "G1", "1 ", "-1"}) {
    boxes.Clear();
    Type(dialog.get(), "1032", QString::fromLatin1(entry));
    Click(dialog.get(), "1030");
    QCOMPARE(boxes.Boxes().size(), std::size_t{1});
    QCOMPARE(boxes.Boxes()[0].caption, QStringLiteral("Set AFI Value"));
    QCOMPARE(boxes.Boxes()[0].text, QStringLiteral("Enter a hexadecimal number, 0 to FF."));
    QCOMPARE(ControlText(dialog.get(), "1031"), QStringLiteral("DA"));
  }
  QVERIFY(reader.NewRequests(std::chrono::milliseconds(200)).empty());
  QVERIFY(PortIsFree());
}

void PortalAfiTest::StatusFortyNineHasNoSentenceOfItsOwn() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CPortalAFIDefault>(kFirstD6Reader);
  reader.Sim().SetCommandStatus(0x40, 49);
  Type(dialog.get(), "1032", QStringLiteral("01"));
  Click(dialog.get(), "1030");
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error 49)"));
  QCOMPARE(ControlText(dialog.get(), "1031"), QStringLiteral("DA"));
  QVERIFY(boxes.Boxes().empty());
}

class SecurityMethodTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheCurrentSettingOnOpening();
  void AnUnknownMethodShowsAsAfiWithDa();
  void NoneShowsNoValue();
  void SetsEachMethodWithItsValue();
  void NoneSendsZeroWhateverTheFieldHolds();
  void EasTakesOnlyZeroOrOne();
  void StatusFortyNineToASetHasItsSentence();
};

void SecurityMethodTest::ShowsTheCurrentSettingOnOpening() {
  sim::ReaderSimOptions options;
  options.security_method = 0x0C;
  options.security_value = 0x01;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(dialog->windowTitle(), QStringLiteral("Q-Series Security Method"));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("EAS"));
  QCOMPARE(ControlText(dialog.get(), "1037"), QStringLiteral("01"));
  // The list starts at AFI whatever was read, and the value field is enabled.
  QCOMPARE(Items(dialog.get(), "1034"),
           (QStringList{QStringLiteral("AFI"), QStringLiteral("EAS"), QStringLiteral("DSFID"),
                        QStringLiteral("None")}));
  QCOMPARE(FindControl<QComboBox>(dialog.get(), "1034")->currentIndex(), 0);
  QVERIFY(FindControl<QLineEdit>(dialog.get(), "1036")->isEnabled());
  QCOMPARE(FindControl<QLineEdit>(dialog.get(), "1036")->maxLength(), 2);
  QCOMPARE(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x03, 0x43, 0x1E, 0x97}}));
}

void SecurityMethodTest::AnUnknownMethodShowsAsAfiWithDa() {
  sim::ReaderSimOptions options;
  options.security_method = 0x20;
  options.security_value = 0x33;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("AFI"));
  QCOMPARE(ControlText(dialog.get(), "1037"), QStringLiteral("DA"));
}

void SecurityMethodTest::NoneShowsNoValue() {
  sim::ReaderSimOptions options;
  options.security_method = 0x11;
  options.security_value = 0x55;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("None"));
  QCOMPARE(ControlText(dialog.get(), "1037"), QString());
}

void SecurityMethodTest::SetsEachMethodWithItsValue() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  reader.NewRequests();

  Choose(dialog.get(), "1034", 0);
  Type(dialog.get(), "1036", QStringLiteral("0a"));
  Click(dialog.get(), "1035");
  QCOMPARE(RequestPayload(reader.NewRequests().at(0)), (Bytes{0x42, 0x09, 0x0A}));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("AFI"));
  QCOMPARE(ControlText(dialog.get(), "1037"), QStringLiteral("0A"));
  QCOMPARE(boxes.Boxes().back().caption, QStringLiteral("Flashwright"));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Security Method set to: AFI 0A"));

  Choose(dialog.get(), "1034", 2);
  Type(dialog.get(), "1036", QStringLiteral("00"));
  Click(dialog.get(), "1035");
  QCOMPARE(RequestPayload(reader.NewRequests().at(0)), (Bytes{0x42, 0x0B, 0x00}));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Security Method set to: DSFID 00"));

  auto again = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(ControlText(again.get(), "1033"), QStringLiteral("DSFID"));
  QCOMPARE(ControlText(again.get(), "1037"), QStringLiteral("00"));
}

void SecurityMethodTest::NoneSendsZeroWhateverTheFieldHolds() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  reader.NewRequests();
  Type(dialog.get(), "1036", QStringLiteral("zz"));
  Choose(dialog.get(), "1034", 3);
  QVERIFY(!FindControl<QLineEdit>(dialog.get(), "1036")->isEnabled());
  Click(dialog.get(), "1035");
  QCOMPARE(reader.NewRequests(),
           (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x42, 0x11, 0x00, 0x11, 0x39}}));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("None"));
  QCOMPARE(ControlText(dialog.get(), "1037"), QString());
  // The confirmation ends with the space before the (empty) value.
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Security Method set to: None "));
  // Choosing another method enables the value field again.
  Choose(dialog.get(), "1034", 1);
  QVERIFY(FindControl<QLineEdit>(dialog.get(), "1036")->isEnabled());
}

void SecurityMethodTest::EasTakesOnlyZeroOrOne() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  reader.NewRequests();
  Choose(dialog.get(), "1034", 1);
  for (const char* entry : {"2", "", "G", "1 "}) {
    boxes.Clear();
    Type(dialog.get(), "1036", QString::fromLatin1(entry));
    Click(dialog.get(), "1035");
    QCOMPARE(boxes.Boxes().size(), std::size_t{1});
    QCOMPARE(boxes.Boxes()[0].caption, QStringLiteral("Set Security Method"));
    QCOMPARE(boxes.Boxes()[0].text,
             QStringLiteral("Enter a hexadecimal number, 0 to FF (0 or 1 for EAS)."));
  }
  QVERIFY(reader.NewRequests(std::chrono::milliseconds(200)).empty());
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("AFI"));

  Type(dialog.get(), "1036", QStringLiteral("01"));
  Click(dialog.get(), "1035");
  QCOMPARE(reader.NewRequests(),
           (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x42, 0x0C, 0x01, 0x74, 0x37}}));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Security Method set to: EAS 01"));
  QVERIFY(PortIsFree());
}

void SecurityMethodTest::StatusFortyNineToASetHasItsSentence() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  reader.Sim().SetCommandStatus(0x42, 49);
  Type(dialog.get(), "1036", QStringLiteral("11"));
  Click(dialog.get(), "1035");
  QCOMPARE(ControlText(dialog.get(), "1018"),
           QStringLiteral("Reader firmware does not support the security method."));
  QCOMPARE(ControlText(dialog.get(), "1037"), QStringLiteral("DA"));
  QVERIFY(boxes.Boxes().empty());
  // To a read, 49 is only a number.
  reader.Sim().SetCommandStatus(0x43, 49);
  auto again = OpenDialog<CChuteSecurityMethod>(kFirstD6Reader);
  QCOMPARE(ControlText(again.get(), "1018"), QStringLiteral("(Reader Error 49)"));
}

class TransmitModeTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheCurrentModeOnOpening();
  void FlagsWithoutBitZeroGive49();
  void SetsBothModes();
  void NothingSelectedIsRefused();
  void StatusFortyNineToASetHasItsSentence();
};

void TransmitModeTest::ShowsTheCurrentModeOnOpening() {
  sim::ReaderSimOptions options;
  options.transmit_flags = 0x01;
  options.transmit_value = 0x03;  // only bit 0 counts
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  QCOMPARE(dialog->windowTitle(), QStringLiteral("RF Transmit Mode"));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("1 out of 256"));
  QCOMPARE(Items(dialog.get(), "1034"),
           (QStringList{QStringLiteral("1 out of 4"), QStringLiteral("1 out of 256")}));
  QCOMPARE(FindControl<QComboBox>(dialog.get(), "1034")->currentIndex(), 0);
  QCOMPARE(reader.NewRequests(),
           (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x36, 0x01, 0xFF, 0x08, 0x72}}));
}

void TransmitModeTest::FlagsWithoutBitZeroGive49() {
  sim::ReaderSimOptions options;
  options.transmit_flags = 0x02;
  options.transmit_value = 0x01;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1018"), QStringLiteral("(Reader Error 49)"));
  QCOMPARE(ControlText(dialog.get(), "1033"), QString());
}

void TransmitModeTest::SetsBothModes() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  reader.NewRequests();
  Choose(dialog.get(), "1034", 1);
  Click(dialog.get(), "1035");
  QCOMPARE(reader.NewRequests(),
           (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x36, 0x01, 0x01, 0x06, 0xA3}}));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("1 out of 256"));
  QCOMPARE(boxes.Boxes().back().caption, QStringLiteral("Flashwright"));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Transmit Mode set to: 1 out of 256"));
  auto again = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  QCOMPARE(ControlText(again.get(), "1033"), QStringLiteral("1 out of 256"));
  reader.NewRequests();

  Choose(dialog.get(), "1034", 0);
  Click(dialog.get(), "1035");
  QCOMPARE(reader.NewRequests(),
           (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x36, 0x01, 0x00, 0x16, 0x82}}));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Transmit Mode set to: 1 out of 4"));
}

void TransmitModeTest::NothingSelectedIsRefused() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  reader.NewRequests();
  Choose(dialog.get(), "1034", -1);
  Click(dialog.get(), "1035");
  QCOMPARE(boxes.Boxes().size(), std::size_t{1});
  QCOMPARE(boxes.Boxes()[0].caption, QStringLiteral("Set Transmit Mode"));
  QCOMPARE(boxes.Boxes()[0].text, QStringLiteral("Select mode."));
  QVERIFY(reader.NewRequests(std::chrono::milliseconds(200)).empty());
  QVERIFY(PortIsFree());
}

void TransmitModeTest::StatusFortyNineToASetHasItsSentence() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CRFTransmitMode>(kFirstD6Reader);
  reader.Sim().SetCommandStatus(0x36, 49);
  Choose(dialog.get(), "1034", 1);
  Click(dialog.get(), "1035");
  QCOMPARE(ControlText(dialog.get(), "1018"),
           QStringLiteral("Reader firmware does not support the RF transmit mode."));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("1 out of 4"));
  QVERIFY(boxes.Boxes().empty());
}

class PowerLevelTest : public QObject {
  Q_OBJECT

 private slots:
  void ShowsTheCurrentLevelWithOneWattSelected();
  void AnUnknownLevelCodeShowsUnknown();
  void SetsLevelsByTheirCodes();
  void NothingSelectedIsRefused();
  void ARefusedLevelHasItsSentenceAndKeepsTheOldText();
};

void PowerLevelTest::ShowsTheCurrentLevelWithOneWattSelected() {
  sim::ReaderSimOptions options;
  options.power_level = 0x04;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(dialog->windowTitle(), QStringLiteral("RF Power Level"));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("400 mW"));
  QCOMPARE(Items(dialog.get(), "1034"),
           (QStringList{QStringLiteral("100 mW"), QStringLiteral("200 mW"),
                        QStringLiteral("400 mW"), QStringLiteral("1 Watt")}));
  QCOMPARE(FindControl<QComboBox>(dialog.get(), "1034")->currentIndex(), 3);
  QCOMPARE(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x03, 0x3E, 0xB1, 0xAD}}));
}

void PowerLevelTest::AnUnknownLevelCodeShowsUnknown() {
  sim::ReaderSimOptions options;
  options.power_level = 0x03;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  auto dialog = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1018"), QString());
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("(unknown)"));
}

void PowerLevelTest::SetsLevelsByTheirCodes() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  reader.NewRequests();
  Choose(dialog.get(), "1034", 0);
  Click(dialog.get(), "1035");
  QCOMPARE(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x04, 0x3A, 0x0A, 0xEC, 0xEB}}));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("100 mW"));
  QCOMPARE(boxes.Boxes().back().caption, QStringLiteral("Flashwright"));
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Power Level set to: 100 mW"));
  auto again = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(ControlText(again.get(), "1033"), QStringLiteral("100 mW"));
  reader.NewRequests();

  const Bytes codes[] = {{0x3A, 0x02}, {0x3A, 0x04}, {0x3A, 0x01}};
  for (int position = 1; position <= 3; ++position) {
    Choose(dialog.get(), "1034", position);
    Click(dialog.get(), "1035");
    QCOMPARE(RequestPayload(reader.NewRequests().at(0)), codes[position - 1]);
  }
  QCOMPARE(boxes.Boxes().back().text, QStringLiteral("Power Level set to: 1 Watt"));
}

void PowerLevelTest::NothingSelectedIsRefused() {
  SimulatedReader reader;
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  reader.NewRequests();
  Choose(dialog.get(), "1034", -1);
  Click(dialog.get(), "1035");
  QCOMPARE(boxes.Boxes().size(), std::size_t{1});
  QCOMPARE(boxes.Boxes()[0].caption, QStringLiteral("Set Power Level"));
  QCOMPARE(boxes.Boxes()[0].text, QStringLiteral("Select level."));
  QVERIFY(reader.NewRequests(std::chrono::milliseconds(200)).empty());
}

void PowerLevelTest::ARefusedLevelHasItsSentenceAndKeepsTheOldText() {
  sim::ReaderSimOptions options;
  options.power_level = 0x02;
  SimulatedReader reader(options);
  QVERIFY(reader.Started());
  MessageBoxRecorder boxes;
  auto dialog = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("200 mW"));
  reader.Sim().SetCommandStatus(0x3A, 49);
  Click(dialog.get(), "1035");  // "1 Watt" is selected
  QCOMPARE(ControlText(dialog.get(), "1018"),
           QStringLiteral("Reader does not support the selected level."));
  QCOMPARE(ControlText(dialog.get(), "1033"), QStringLiteral("200 mW"));
  QVERIFY(boxes.Boxes().empty());
  // The read never makes 49 itself; a reader status 49 shows as a number.
  reader.Sim().SetCommandStatus(0x3E, 49);
  auto again = OpenDialog<CRFPowerLevel>(kFirstD6Reader);
  QCOMPARE(ControlText(again.get(), "1018"), QStringLiteral("(Reader Error 49)"));
}

}  // namespace flashwright::test

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  int failures = 0;
  {
    flashwright::test::PortalAfiTest test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    flashwright::test::SecurityMethodTest test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    flashwright::test::TransmitModeTest test;
    failures += QTest::qExec(&test, argc, argv);
  }
  {
    flashwright::test::PowerLevelTest test;
    failures += QTest::qExec(&test, argc, argv);
  }
  return failures == 0 ? 0 : 1;
}

#include "settings_dialogs_test.moc"
