// The four settings dialogs against a simulated reader: what they show, what they send for an
// entry, which entries they refuse, and their messages. One test suite per dialog.
#include <gtest/gtest.h>

#include <chrono>

#include "reader_tools/chute_security_method.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/security_method.h"
#include "reader_tools/tests/tool_dialog_fixture.h"
#include "shell/control_ids.h"
#include "shell/program_resources.h"
#include "windowing/message_box.h"

namespace flashwright::test {
namespace {

using Bytes = std::vector<std::uint8_t>;
using Texts = std::vector<std::string>;

// A position of the list as the user picks it; -1 leaves nothing selected (the program can
// do that, the user cannot).
void Choose(ui::Form& form, int id, int position) {
  if (position < 0) form.SetCurSel(id, -1);
  else form.Choose(id, position);
}

// The confirmations and refusals are plain boxes: OK and no icon.
void ExpectPlainBox(const RecordedBox& box) {
  EXPECT_EQ(box.style & ui::kButtonMask, unsigned{ui::kButtonsOk});
  EXPECT_EQ(box.style & ui::kIconMask, 0u);
}

TEST(PortalAfiTest, ShowsTheCurrentValueOnOpening) {
  sim::ReaderSimOptions options;
  options.portal_afi = 0x05;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& dialog) {
    ui::Form& form = dialog.form();
    EXPECT_STREQ(form.Template().caption, "Portal AFI Value");
    EXPECT_EQ(form.Text(kIdcCurrentAfi), "05");
    EXPECT_EQ(form.Text(kIdcSetAfi), "Set AFI Value");
    ASSERT_NE(ControlOf(dialog, kIdcAfiEntry), nullptr);
    EXPECT_EQ(ControlOf(dialog, kIdcAfiEntry)->max_chars, 2);
    EXPECT_NE(ControlOf(dialog, kIdcCurrentAfi)->style & ui::kStyleReadOnly, 0u);
    EXPECT_EQ(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x03, 0x41, 0x3E, 0xD5}}));
  });
}

TEST(PortalAfiTest, EntriesAreSentAsTypedAndConfirmed) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();

    form.TypeText(kIdcAfiEntry, "da");
    form.Click(kIdcSetAfi);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x04, 0x40, 0xDA, 0xC0, 0x04}}));
    EXPECT_EQ(form.Text(kIdcCurrentAfi), "DA");
    ASSERT_EQ(boxes.Boxes().size(), std::size_t{1});
    EXPECT_EQ(boxes.Boxes()[0].caption, "Flashwright");
    EXPECT_EQ(boxes.Boxes()[0].text, "Portal AFI Value set to: DA");
    ExpectPlainBox(boxes.Boxes()[0]);

    form.TypeText(kIdcAfiEntry, "7");
    form.Click(kIdcSetAfi);
    EXPECT_EQ(RequestPayload(reader.NewRequests().at(0)), (Bytes{0x40, 0x07}));
    EXPECT_EQ(form.Text(kIdcCurrentAfi), "07");
    EXPECT_EQ(boxes.Boxes().back().text, "Portal AFI Value set to: 07");

    // The reader keeps what was set: a dialog opened afterwards shows it.
    WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& again) {
      EXPECT_EQ(again.form().Text(kIdcCurrentAfi), "07");
    });
  });
}

TEST(PortalAfiTest, BadEntriesAreRefusedAndNothingIsSent) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    for (const char* entry : {"", "G1", "1 ", "-1"}) {
      SCOPED_TRACE(entry);
      boxes.Clear();
      form.TypeText(kIdcAfiEntry, entry);
      form.Click(kIdcSetAfi);
      ASSERT_EQ(boxes.Boxes().size(), std::size_t{1});
      EXPECT_EQ(boxes.Boxes()[0].caption, "Set AFI Value");
      EXPECT_EQ(boxes.Boxes()[0].text, "Enter a hexadecimal number, 0 to FF.");
      ExpectPlainBox(boxes.Boxes()[0]);
      EXPECT_EQ(form.Text(kIdcCurrentAfi), "DA");
    }
    EXPECT_TRUE(reader.NewRequests(std::chrono::milliseconds(200)).empty());
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(PortalAfiTest, StatusFortyNineHasNoSentenceOfItsOwn) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& dialog) {
    ui::Form& form = dialog.form();
    reader.Sim().SetCommandStatus(0x40, 49);
    form.TypeText(kIdcAfiEntry, "01");
    form.Click(kIdcSetAfi);
    EXPECT_EQ(form.Text(kIdcToolStatus), "(Reader Error 49)");
    EXPECT_EQ(form.Text(kIdcCurrentAfi), "DA");
    EXPECT_TRUE(boxes.Boxes().empty());
  });
}

TEST(SecurityMethodTest, ShowsTheCurrentSettingOnOpening) {
  sim::ReaderSimOptions options;
  options.security_method = 0x0C;
  options.security_value = 0x01;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    ui::Form& form = dialog.form();
    EXPECT_STREQ(form.Template().caption, "Q-Series Security Method");
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "EAS");
    EXPECT_EQ(form.Text(kIdcCurrentSecurityValue), "01");
    // The list starts at AFI whatever was read, and the value field is enabled.
    EXPECT_EQ(Items(form, kIdcSettingList), (Texts{"AFI", "EAS", "DSFID", "None"}));
    EXPECT_EQ(form.CurSel(kIdcSettingList), 0);
    EXPECT_TRUE(form.IsEnabled(kIdcSecurityValueEntry));
    EXPECT_EQ(ControlOf(dialog, kIdcSecurityValueEntry)->max_chars, 2);
    EXPECT_EQ(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x03, 0x43, 0x1E, 0x97}}));
  });
}

// The dialog's list comes with its template, the method codes and the command line's names
// with the setting table: position n of the list must be the table's method n, or a choice
// would set another method than the one it names.
TEST(SecurityMethodTest, TheTemplatesListIsTheSettingTableInItsOrder) {
  ui::InstallResources(&ProgramResources());
  const ui::DialogTemplate* dialog = ui::FindDialogTemplate(kIddSecurityMethod);
  ASSERT_NE(dialog, nullptr);
  const ui::ControlTemplate* list = ui::FindControlTemplate(*dialog, kIdcSettingList);
  ASSERT_NE(list, nullptr);
  ASSERT_EQ(list->items.size(), kSecurityMethods.size());
  for (std::size_t i = 0; i < kSecurityMethods.size(); ++i) {
    EXPECT_EQ(std::string(list->items[i]), std::string(kSecurityMethods[i].name)) << i;
    EXPECT_EQ(SecurityMethodAtPosition(static_cast<int>(i)), kSecurityMethods[i].code) << i;
  }
}

TEST(SecurityMethodTest, AnUnknownMethodShowsAsAfiWithDa) {
  sim::ReaderSimOptions options;
  options.security_method = 0x20;
  options.security_value = 0x33;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSetting), "AFI");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSecurityValue), "DA");
  });
}

TEST(SecurityMethodTest, NoneShowsNoValue) {
  sim::ReaderSimOptions options;
  options.security_method = 0x11;
  options.security_value = 0x55;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSetting), "None");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSecurityValue), "");
  });
}

TEST(SecurityMethodTest, SetsEachMethodWithItsValue) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();

    Choose(form, kIdcSettingList, 0);
    form.TypeText(kIdcSecurityValueEntry, "0a");
    form.Click(kIdcSetSetting);
    EXPECT_EQ(RequestPayload(reader.NewRequests().at(0)), (Bytes{0x42, 0x09, 0x0A}));
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "AFI");
    EXPECT_EQ(form.Text(kIdcCurrentSecurityValue), "0A");
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().caption, "Flashwright");
    EXPECT_EQ(boxes.Boxes().back().text, "Security Method set to: AFI 0A");
    ExpectPlainBox(boxes.Boxes().back());

    Choose(form, kIdcSettingList, 2);
    form.TypeText(kIdcSecurityValueEntry, "00");
    form.Click(kIdcSetSetting);
    EXPECT_EQ(RequestPayload(reader.NewRequests().at(0)), (Bytes{0x42, 0x0B, 0x00}));
    EXPECT_EQ(boxes.Boxes().back().text, "Security Method set to: DSFID 00");

    WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& again) {
      EXPECT_EQ(again.form().Text(kIdcCurrentSetting), "DSFID");
      EXPECT_EQ(again.form().Text(kIdcCurrentSecurityValue), "00");
    });
  });
}

TEST(SecurityMethodTest, NoneSendsZeroWhateverTheFieldHolds) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    form.TypeText(kIdcSecurityValueEntry, "zz");
    Choose(form, kIdcSettingList, 3);
    EXPECT_FALSE(form.IsEnabled(kIdcSecurityValueEntry));
    form.Click(kIdcSetSetting);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x42, 0x11, 0x00, 0x11, 0x39}}));
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "None");
    EXPECT_EQ(form.Text(kIdcCurrentSecurityValue), "");
    // The confirmation ends with the space before the (empty) value.
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().text, "Security Method set to: None ");
    // Choosing another method enables the value field again.
    Choose(form, kIdcSettingList, 1);
    EXPECT_TRUE(form.IsEnabled(kIdcSecurityValueEntry));
  });
}

TEST(SecurityMethodTest, EasTakesOnlyZeroOrOne) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    Choose(form, kIdcSettingList, 1);
    for (const char* entry : {"2", "", "G", "1 "}) {
      SCOPED_TRACE(entry);
      boxes.Clear();
      form.TypeText(kIdcSecurityValueEntry, entry);
      form.Click(kIdcSetSetting);
      ASSERT_EQ(boxes.Boxes().size(), std::size_t{1});
      EXPECT_EQ(boxes.Boxes()[0].caption, "Set Security Method");
      EXPECT_EQ(boxes.Boxes()[0].text, "Enter a hexadecimal number, 0 to FF (0 or 1 for EAS).");
      ExpectPlainBox(boxes.Boxes()[0]);
    }
    EXPECT_TRUE(reader.NewRequests(std::chrono::milliseconds(200)).empty());
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "AFI");

    form.TypeText(kIdcSecurityValueEntry, "01");
    form.Click(kIdcSetSetting);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x42, 0x0C, 0x01, 0x74, 0x37}}));
    EXPECT_EQ(boxes.Boxes().back().text, "Security Method set to: EAS 01");
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(SecurityMethodTest, StatusFortyNineToASetHasItsSentence) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    ui::Form& form = dialog.form();
    reader.Sim().SetCommandStatus(0x42, 49);
    form.TypeText(kIdcSecurityValueEntry, "11");
    form.Click(kIdcSetSetting);
    EXPECT_EQ(form.Text(kIdcToolStatus), "Reader firmware does not support the security method.");
    EXPECT_EQ(form.Text(kIdcCurrentSecurityValue), "DA");
    EXPECT_TRUE(boxes.Boxes().empty());
  });
  // To a read, 49 is only a number.
  reader.Sim().SetCommandStatus(0x43, 49);
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& again) {
    EXPECT_EQ(again.form().Text(kIdcToolStatus), "(Reader Error 49)");
  });
}

TEST(TransmitModeTest, ShowsTheCurrentModeOnOpening) {
  sim::ReaderSimOptions options;
  options.transmit_flags = 0x01;
  options.transmit_value = 0x03;  // only bit 0 counts
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& dialog) {
    ui::Form& form = dialog.form();
    EXPECT_STREQ(form.Template().caption, "RF Transmit Mode");
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "1 out of 256");
    EXPECT_EQ(Items(form, kIdcSettingList), (Texts{"1 out of 4", "1 out of 256"}));
    EXPECT_EQ(form.CurSel(kIdcSettingList), 0);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x36, 0x01, 0xFF, 0x08, 0x72}}));
  });
}

TEST(TransmitModeTest, FlagsWithoutBitZeroGive49) {
  sim::ReaderSimOptions options;
  options.transmit_flags = 0x02;
  options.transmit_value = 0x01;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "(Reader Error 49)");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSetting), "");
  });
}

TEST(TransmitModeTest, SetsBothModes) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    Choose(form, kIdcSettingList, 1);
    form.Click(kIdcSetSetting);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x36, 0x01, 0x01, 0x06, 0xA3}}));
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "1 out of 256");
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().caption, "Flashwright");
    EXPECT_EQ(boxes.Boxes().back().text, "Transmit Mode set to: 1 out of 256");
    ExpectPlainBox(boxes.Boxes().back());
    WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& again) {
      EXPECT_EQ(again.form().Text(kIdcCurrentSetting), "1 out of 256");
    });
    reader.NewRequests();

    Choose(form, kIdcSettingList, 0);
    form.Click(kIdcSetSetting);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x05, 0x36, 0x01, 0x00, 0x16, 0x82}}));
    EXPECT_EQ(boxes.Boxes().back().text, "Transmit Mode set to: 1 out of 4");
  });
}

TEST(TransmitModeTest, NothingSelectedIsRefused) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    Choose(form, kIdcSettingList, -1);
    form.Click(kIdcSetSetting);
    ASSERT_EQ(boxes.Boxes().size(), std::size_t{1});
    EXPECT_EQ(boxes.Boxes()[0].caption, "Set Transmit Mode");
    EXPECT_EQ(boxes.Boxes()[0].text, "Select mode.");
    ExpectPlainBox(boxes.Boxes()[0]);
    EXPECT_TRUE(reader.NewRequests(std::chrono::milliseconds(200)).empty());
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(TransmitModeTest, StatusFortyNineToASetHasItsSentence) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& dialog) {
    ui::Form& form = dialog.form();
    reader.Sim().SetCommandStatus(0x36, 49);
    Choose(form, kIdcSettingList, 1);
    form.Click(kIdcSetSetting);
    EXPECT_EQ(form.Text(kIdcToolStatus), "Reader firmware does not support the RF transmit mode.");
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "1 out of 4");
    EXPECT_TRUE(boxes.Boxes().empty());
  });
}

TEST(PowerLevelTest, ShowsTheCurrentLevelWithOneWattSelected) {
  sim::ReaderSimOptions options;
  options.power_level = 0x04;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& dialog) {
    ui::Form& form = dialog.form();
    EXPECT_STREQ(form.Template().caption, "RF Power Level");
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "400 mW");
    EXPECT_EQ(Items(form, kIdcSettingList), (Texts{"100 mW", "200 mW", "400 mW", "1 Watt"}));
    EXPECT_EQ(form.CurSel(kIdcSettingList), 3);
    EXPECT_EQ(reader.NewRequests(), (std::vector<Bytes>{{0xD6, 0x00, 0x03, 0x3E, 0xB1, 0xAD}}));
  });
}

TEST(PowerLevelTest, AnUnknownLevelCodeShowsUnknown) {
  sim::ReaderSimOptions options;
  options.power_level = 0x03;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSetting), "(unknown)");
  });
}

TEST(PowerLevelTest, SetsLevelsByTheirCodes) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    Choose(form, kIdcSettingList, 0);
    form.Click(kIdcSetSetting);
    EXPECT_EQ(reader.NewRequests(),
              (std::vector<Bytes>{{0xD6, 0x00, 0x04, 0x3A, 0x0A, 0xEC, 0xEB}}));
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "100 mW");
    ASSERT_FALSE(boxes.Boxes().empty());
    EXPECT_EQ(boxes.Boxes().back().caption, "Flashwright");
    EXPECT_EQ(boxes.Boxes().back().text, "Power Level set to: 100 mW");
    ExpectPlainBox(boxes.Boxes().back());
    WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& again) {
      EXPECT_EQ(again.form().Text(kIdcCurrentSetting), "100 mW");
    });
    reader.NewRequests();

    const Bytes codes[] = {{0x3A, 0x02}, {0x3A, 0x04}, {0x3A, 0x01}};
    for (int position = 1; position <= 3; ++position) {
      Choose(form, kIdcSettingList, position);
      form.Click(kIdcSetSetting);
      EXPECT_EQ(RequestPayload(reader.NewRequests().at(0)), codes[position - 1]);
    }
    EXPECT_EQ(boxes.Boxes().back().text, "Power Level set to: 1 Watt");
  });
}

TEST(PowerLevelTest, NothingSelectedIsRefused) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& dialog) {
    ui::Form& form = dialog.form();
    reader.NewRequests();
    Choose(form, kIdcSettingList, -1);
    form.Click(kIdcSetSetting);
    ASSERT_EQ(boxes.Boxes().size(), std::size_t{1});
    EXPECT_EQ(boxes.Boxes()[0].caption, "Set Power Level");
    EXPECT_EQ(boxes.Boxes()[0].text, "Select level.");
    ExpectPlainBox(boxes.Boxes()[0]);
    EXPECT_TRUE(reader.NewRequests(std::chrono::milliseconds(200)).empty());
  });
}

TEST(PowerLevelTest, ARefusedLevelHasItsSentenceAndKeepsTheOldText) {
  sim::ReaderSimOptions options;
  options.power_level = 0x02;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& dialog) {
    ui::Form& form = dialog.form();
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "200 mW");
    reader.Sim().SetCommandStatus(0x3A, 49);
    form.Click(kIdcSetSetting);  // "1 Watt" is selected
    EXPECT_EQ(form.Text(kIdcToolStatus), "Reader does not support the selected level.");
    EXPECT_EQ(form.Text(kIdcCurrentSetting), "200 mW");
    EXPECT_TRUE(boxes.Boxes().empty());
  });
  // The read never makes 49 itself; a reader status 49 shows as a number.
  reader.Sim().SetCommandStatus(0x3E, 49);
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& again) {
    EXPECT_EQ(again.form().Text(kIdcToolStatus), "(Reader Error 49)");
  });
}

}  // namespace
}  // namespace flashwright::test
