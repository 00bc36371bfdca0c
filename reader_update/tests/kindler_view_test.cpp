// The reader update view outside an update run, driven through the real program against
// simulated readers: the prompt, the reader information, the message pane, the reset
// selection and the Tools commands' checks.
#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QApplication>
#include <QTest>
#include <QTimer>

#include "shell/command_ids.h"
#include "tools/app_harness/app_harness.h"
#include "reader_update/kindler_view.h"

using flashwright::test::AppHarness;

namespace flashwright {

namespace {

constexpr std::uint8_t kPowerLevelCommand = 0x3E;

sim::ReaderSimOptions Reader(std::uint32_t version) {
  sim::ReaderSimOptions options;
  options.version = version;
  return options;
}

bool Enabled(AppHarness& harness, int id) { return harness.Find<QWidget>(id)->isEnabled(); }

const QColor kRed(192, 0, 0);
const QColor kGreen(0, 192, 0);

}  // namespace

class KindlerViewTest : public QObject {
  Q_OBJECT

 private slots:
  void PromptForMissingPortOrFirmware() {
    {  // /C 7 without a COM7: nothing selected, 145 as an error.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.AddReader(1);
      QVERIFY(harness.Start({"/C", "7"}));
      QCOMPARE(harness.Find<QComboBox>(1010)->currentIndex(), -1);
      QCOMPARE(harness.Find<QComboBox>(1010)->count(), 2);  // auto-detect, COM1
      QCOMPARE(harness.PaneText(),
               std::string("COM 7 does not exist. Select a different COM port using Advanced View."));
      QCOMPARE(harness.PaneBackground(), kRed);
      QVERIFY(harness.PaneBold());
      QVERIFY(!Enabled(harness, 1001));
    }
    {  // A command-line firmware that is not there: 136 with the folder.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start({"/F", "Missing"}));
      QCOMPARE(harness.PaneText(), "Firmware file Missing not found. Check firmware directory at " +
                                       harness.FirmwareFolder() + ".");
      QVERIFY(!Enabled(harness, 1001));
    }
    {  // No firmware at all: 144.
      AppHarness harness;
      QVERIFY(harness.Start({"/D"}));
      QCOMPARE(harness.PaneText(),
               "No firmware files. Check firmware directory at " + harness.FirmwareFolder() + ".");
      QCOMPARE(harness.PaneBackground(), kRed);
    }
    {  // Both wrong at once: the two lines joined.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.Start({"/C", "9", "/F", "Other"}));
      QCOMPARE(harness.PaneText(),
               "COM 9 does not exist. Select a different COM port using Advanced View.\n"
               "Firmware file Other not found. Check firmware directory at " +
                   harness.FirmwareFolder() + ".");
    }
  }

  void PromptForTheReader() {
    {  // A reader that passes the gate: ready, as information.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      QVERIFY(harness.AddImage("Reader_2"));
      harness.AddReader(1);
      QVERIFY(harness.Start({"/C", "1", "/F", "reader_2.HEX"}));
      QCOMPARE(harness.Find<QComboBox>(1012)->currentText(), QString("Reader_2"));
      QCOMPARE(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
      QVERIFY(!harness.PaneBold());
      QCOMPARE(harness.PaneBackground(), harness.Frame().palette().color(QPalette::Button));
      QVERIFY(Enabled(harness, 1001));
      // The basic view keeps the user on the chosen port and firmware.
      QVERIFY(!Enabled(harness, 1010) && !Enabled(harness, 1012));
      QVERIFY(!harness.Find<QWidget>(1002)->isVisible());
    }
    {  // Too old for the default list: 133 with " Contact service.".
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.AddReader(1, Reader(0x0A020005));
      QVERIFY(harness.Start({"/C", "1"}));
      QCOMPARE(harness.PaneText(), std::string("Cannot update reader firmware on COM 1. The reader "
                                               "version is 2.0.5. Contact service."));
      QCOMPARE(harness.PaneBackground(), kRed);
      QVERIFY(!Enabled(harness, 1001));
    }
    {  // Too new by the command line: 155.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.AddReader(1);
      QVERIFY(harness.Start({"/C", "1", "/N", "g4.200"}));
      QCOMPARE(harness.PaneText(), std::string("Updating reader firmware on COM 1 is not allowed. "
                                               "The reader version is 4.241.8."));
      QVERIFY(!Enabled(harness, 1001));
    }
    {  // A silent reader: "(no reader)" and 137, not an error; the advanced view has no suffix.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.AddReader(1).SetFault(sim::SimFault::NoAnswer);
      harness.control_held = true;
      QVERIFY(harness.Start({"/C", "1"}));
      QCOMPARE(harness.ControlText(1007), std::string("(no reader)"));
      QCOMPARE(harness.ControlText(1009), std::string("NA"));
      QCOMPARE(harness.PaneText(),
               std::string("No reader found on COM 1. Select a different COM port."));
      QVERIFY(!harness.PaneBold());
      QVERIFY(!Enabled(harness, 1001));
    }
    {  // Recover mode with auto-detect: 143; a COM port makes it ready without asking the reader.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      sim::ReaderSimulator& reader = harness.AddReader(2);
      harness.control_held = true;
      QVERIFY(harness.Start());
      harness.Command(kCmdRecover);
      QCOMPARE(harness.PaneText(), std::string("Select a COM port."));
      QVERIFY(!Enabled(harness, 1001));
      QVERIFY(!Enabled(harness, 1002) && !Enabled(harness, 1007));
      const std::size_t before = reader.Requests().size();
      harness.ChoosePort(2);
      QCOMPARE(reader.Requests().size(), before);
      QCOMPARE(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
      QVERIFY(Enabled(harness, 1001));
      QVERIFY(!Enabled(harness, 1038) && !Enabled(harness, 1005));
      // Tools that talk to the reader are greyed in recover mode; the copy is not.
      harness.Frame().UpdateCommandStates();
      QVERIFY(!harness.Frame().MenuItem(kCmdDiagnostics)->isEnabled());
      QVERIFY(!harness.Frame().MenuItem(kCmdPowerLevel)->isEnabled());
      QVERIFY(harness.Frame().MenuItem(kCmdCopyFirmware)->isEnabled());
      QVERIFY(harness.Frame().MenuItem(kCmdRecover)->isChecked());
    }
  }

  void ReaderInformationTexts() {
    struct Case {
      sim::ReaderSimOptions options;
      const char* version_text;
      const char* power_text;
    };
    sim::ReaderSimOptions old_reader = Reader(0x0A020500);
    sim::ReaderSimOptions no_hardware_query = Reader(0x0A040000);
    sim::ReaderSimOptions four_watts;
    four_watts.power_class = 4;
    sim::ReaderSimOptions odd_class;
    odd_class.power_class = 7;
    sim::ReaderSimOptions desklet;
    desklet.platform = 1;
    desklet.capability = 0;
    desklet.power_level = 10;
    sim::ReaderSimOptions odd_level;
    odd_level.power_class = 2;
    odd_level.power_level = 9;
    const Case cases[] = {
        {sim::ReaderSimOptions{}, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "1W"},
        {old_reader, "2.5.0\nBootloader:unknown\nPlatform:520/530", "NA"},
        {no_hardware_query, "4.0.0\nBootloader:unknown\nPlatform:520/530", "1W"},
        {four_watts, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "4W"},
        {odd_class, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "(R 7)"},
        {desklet, "4.241.8\nBootloader:2.03\nPlatform:Desklet", "100mW"},
        {odd_level, "4.241.8*\nBootloader:2.03\nPlatform:520/530", "(L 9)"},
    };
    for (const Case& c : cases) {
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      sim::ReaderSimulator& reader = harness.AddReader(1, c.options);
      harness.control_held = true;
      QVERIFY(harness.Start({"/C", "1"}));
      QCOMPARE(harness.ControlText(1007), std::string(c.version_text));
      QCOMPARE(harness.ControlText(1009), std::string(c.power_text));
      const bool settings = c.options.version > 0x0A02FFFF;
      QCOMPARE(Enabled(harness, 1038), settings);
      QCOMPARE(Enabled(harness, 1039), settings);
      QCOMPARE(Enabled(harness, 1005), settings);
      if (c.options.power_class == 4 || c.options.power_class == 7 || !settings)
        QCOMPARE(reader.RequestCount(kPowerLevelCommand), std::size_t{0});
    }
  }

  void PortChangeReadsTheReaderAgain() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    harness.AddReader(1);
    harness.AddReader(3, Reader(0x0A030201));
    harness.control_held = true;
    QVERIFY(harness.Start());
    QCOMPARE(harness.ControlText(1007), std::string());
    QCOMPARE(harness.Find<QComboBox>(1010)->count(), 3);
    harness.ChoosePort(3);
    QCOMPARE(harness.ControlText(1007).substr(0, 6), std::string("3.2.1\n"));
    QCOMPARE(harness.PaneText(), std::string("Press Begin Update to start firmware update."));
    harness.ChoosePort(0);
    QCOMPARE(harness.ControlText(1007), std::string());
    QCOMPARE(harness.ControlText(1009), std::string("NA"));
    QVERIFY(Enabled(harness, 1001));  // auto-detect is accepted outside recover mode
    QVERIFY(!Enabled(harness, 1005));
  }

  void ResetSelectionIsRemembered() {
    AppHarness harness;
    QVERIFY(harness.AddImage("Reader_1"));
    harness.AddReader(1);
    harness.control_held = true;
    QVERIFY(harness.Start({"/C", "1", "/P", "iso"}));
    auto* tagit = harness.Find<QCheckBox>(1038);
    auto* iso = harness.Find<QCheckBox>(1039);
    QVERIFY(!tagit->isChecked() && iso->isChecked());
    QVERIFY(Enabled(harness, 1005));
    iso->click();
    QVERIFY(!Enabled(harness, 1005));
    tagit->click();
    QVERIFY(Enabled(harness, 1005));
    auto* view = dynamic_cast<CKindlerView*>(harness.Frame().ActiveView());
    QCOMPARE(int{view->ResetSelection()}, 1);

    // The selection outlives the view.
    harness.Command(kCmdUsbDevice);
    harness.Command(kCmdRfidReader);
    QVERIFY(harness.Find<QCheckBox>(1038)->isChecked());
    QVERIFY(!harness.Find<QCheckBox>(1039)->isChecked());
  }

  void ToolCommandsNeedAReader() {
    {  // Auto-detect finds nothing: "No reader found." in an error box.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.control_held = true;
      QVERIFY(harness.Start());
      harness.Command(kCmdPortalAfi);
      QCOMPARE(harness.boxes.size(), std::size_t{1});
      QCOMPARE(harness.boxes[0].text, std::string("No reader found."));
      QCOMPARE(harness.boxes[0].caption, std::string("Flashwright"));
      QCOMPARE(harness.boxes[0].style & ui::kIconMask, unsigned{ui::kIconError});
    }
    {  // Discovery fails on the configured port: 141 with the error.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.AddReader(1).SetFault(sim::SimFault::NoAnswer);
      QVERIFY(harness.ConfigurePortInRegistry(1));
      harness.control_held = true;
      QVERIFY(harness.Start());
      harness.Command(kCmdDiagnostics);
      QCOMPARE(harness.boxes.size(), std::size_t{1});
      QCOMPARE(harness.boxes[0].text,
               std::string("Cannot detect reader on COM 1. Exit other applications and try "
                           "again.\r\n(error -5)"));
    }
    {  // The power level dialog opens on the selected port; afterwards the view reads the
       // reader information again.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      sim::ReaderSimulator& reader = harness.AddReader(1);
      harness.control_held = true;
      QVERIFY(harness.Start({"/C", "1"}));
      QCOMPARE(harness.ControlText(1009), std::string("1W"));
      QString dialog_title;
      QTimer::singleShot(200, [&] {
        QWidget* dialog = QApplication::activeModalWidget();
        if (!dialog) return;
        dialog_title = dialog->windowTitle();
        sim::ReaderSimOptions changed = reader.Options();
        changed.power_level = 4;
        reader.SetOptions(changed);
        dialog->close();
      });
      harness.Command(kCmdPowerLevel);
      QCOMPARE(dialog_title, QString("RF Power Level"));
      QCOMPARE(harness.ControlText(1009), std::string("400mW"));
      QVERIFY(harness.boxes.empty());
    }
    {  // A silent reader on the selected port has no version: no dialog either.
      AppHarness harness;
      QVERIFY(harness.AddImage("Reader_1"));
      harness.AddReader(1).SetFault(sim::SimFault::NoAnswer);
      harness.control_held = true;
      QVERIFY(harness.Start({"/C", "1"}));
      harness.Command(kCmdTransmitMode);
      QCOMPARE(harness.boxes.size(), std::size_t{1});
      QCOMPARE(harness.boxes[0].text, std::string("No reader found."));
    }
  }
};

}  // namespace flashwright

QTEST_MAIN(flashwright::KindlerViewTest)
#include "kindler_view_test.moc"
