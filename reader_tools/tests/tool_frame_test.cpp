// What every tool dialog shares, against a simulated reader on a pseudo-terminal: the opener,
// the port held only for an operation, replies in pieces or with a bad CRC, replies to another
// command, a silent reader, a port that does not open, status 2, and the version gate.
#include <gtest/gtest.h>

#include <chrono>

#include "reader_tools/chute_security_method.h"
#include "reader_tools/diagnostics_dlog.h"
#include "reader_tools/portal_afi_default.h"
#include "reader_tools/rf_power_level.h"
#include "reader_tools/rf_transmit_mode.h"
#include "reader_tools/tests/tool_dialog_fixture.h"
#include "reader_tools/tool_opener.h"
#include "shell/command_ids.h"
#include "shell/control_ids.h"
#include "shell/program_resources.h"
#include "windowing/resource_templates.h"

namespace flashwright::test {
namespace {

TEST(ToolFrameTest, OpenerShowsEachDialogWithPortAndVersion) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  struct Case {
    int command;
    int template_id;
    const char* title;
  };
  const Case cases[] = {{kCmdDiagnostics, kIddDiagnostics, "Diagnostics"},
                        {kCmdPortalAfi, kIddPortalAfi, "Portal AFI Value"},
                        {kCmdSecurityMethod, kIddSecurityMethod, "Q-Series Security Method"},
                        {kCmdTransmitMode, kIddTransmitMode, "RF Transmit Mode"},
                        {kCmdPowerLevel, kIddPowerLevel, "RF Power Level"}};
  // The dialog comes to the modal call, which the test answers in place of the user: it reads
  // the dialog, open and initialised, and presses "Done".
  int modal_calls = 0;
  int template_id = 0;
  std::string title, port, version;
  bool closed_by_done = false;
  PushModalDriver([&](ui::Dialog& dialog) {
    ++modal_calls;
    template_id = dialog.TemplateId();
    title = dialog.form().Template().caption;
    port = dialog.form().Text(kIdcToolPort);
    version = dialog.form().Text(kIdcToolVersion);
    dialog.form().Click(ui::kIdOk);
    closed_by_done = dialog.Ended();
  });
  for (const Case& c : cases) {
    SCOPED_TRACE(c.title);
    modal_calls = 0;
    template_id = 0;
    title.clear();
    port.clear();
    version.clear();
    closed_by_done = false;
    EXPECT_TRUE(IsReaderToolCommand(c.command));
    EXPECT_TRUE(RunReaderToolDialog(ui::WindowRef(), c.command, kSimPort, 0x0A040F12));
    EXPECT_EQ(modal_calls, 1);
    EXPECT_EQ(template_id, c.template_id);
    EXPECT_EQ(title, c.title);
    EXPECT_TRUE(closed_by_done);
    EXPECT_EQ(port, "5");
    EXPECT_EQ(version, "4.15.18");
    EXPECT_TRUE(PortIsFree());
  }
  modal_calls = 0;
  EXPECT_FALSE(RunReaderToolDialog(ui::WindowRef(), kCmdCopyFirmware, kSimPort, 0x0A040F12));
  EXPECT_FALSE(IsReaderToolCommand(kCmdAllowNonMatching));
  EXPECT_EQ(modal_calls, 0);
  PopModalDriver();
}

TEST(ToolFrameTest, SettingsDialogsHaveNoCloseBoxButDiagnosticsHas) {
  ui::InstallResources(&ProgramResources());
  for (int id : {kIddPortalAfi, kIddSecurityMethod, kIddTransmitMode, kIddPowerLevel}) {
    const ui::DialogTemplate* dialog = ui::FindDialogTemplate(id);
    ASSERT_NE(dialog, nullptr) << id;
    EXPECT_EQ(dialog->style & ui::kDialogSystemMenu, 0u) << id;
  }
  const ui::DialogTemplate* diagnostics = ui::FindDialogTemplate(kIddDiagnostics);
  ASSERT_NE(diagnostics, nullptr);
  EXPECT_NE(diagnostics->style & ui::kDialogSystemMenu, 0u);
  // "Done" is what Enter presses in every one of them.
  for (int id : {kIddDiagnostics, kIddPortalAfi, kIddSecurityMethod, kIddTransmitMode,
                 kIddPowerLevel}) {
    const ui::ControlTemplate* done = ui::FindControlTemplate(*ui::FindDialogTemplate(id), 1);
    ASSERT_NE(done, nullptr) << id;
    EXPECT_EQ(done->kind, ui::ControlKind::kDefaultButton) << id;
    EXPECT_STREQ(done->text, "Done") << id;
  }
}

TEST(ToolFrameTest, EveryOperationOpensAndClosesThePort) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& dialog) {
    // The read on opening reached the reader, so the port was open; now it is closed again.
    EXPECT_EQ(reader.NewRequests().size(), std::size_t{1});
    EXPECT_TRUE(PortIsFree());
    EXPECT_FALSE(dialog.PortHeld());
    for (const char* value : {"11", "22"}) {
      dialog.form().TypeText(kIdcAfiEntry, value);
      dialog.form().Click(kIdcSetAfi);
      EXPECT_EQ(reader.NewRequests().size(), std::size_t{1});
      EXPECT_TRUE(PortIsFree());
    }
    // An entry error opens and closes the port too, and sends nothing.
    dialog.form().TypeText(kIdcAfiEntry, "G1");
    dialog.form().Click(kIdcSetAfi);
    EXPECT_TRUE(reader.NewRequests().empty());
    EXPECT_TRUE(PortIsFree());
    // Escape closes a dialog without a close box (the backend tells it as control 2).
    dialog.OnNotify(ui::kIdCancel, ui::Notification::kClicked);
    EXPECT_TRUE(dialog.Ended());
    EXPECT_TRUE(PortIsFree());
  });
}

TEST(ToolFrameTest, AReplyInPiecesIsGathered) {
  sim::ReaderSimOptions options;
  options.portal_afi = 0x3C;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  reader.Sim().SetFault(sim::SimFault::SplitReplies);
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentAfi), "3C");
  });
}

TEST(ToolFrameTest, AReplyWithAWrongCrcIsStillAccepted) {
  sim::ReaderSimOptions options;
  options.power_level = 0x04;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  reader.Sim().SetFault(sim::SimFault::BadCrc);
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSetting), "400 mW");
  });
}

TEST(ToolFrameTest, AReplyToAnotherCommandGivesMinus50) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  reader.Sim().SetFault(sim::SimFault::WrongEcho);
  // A complete reply ends the exchange at once; only a timeout could give -5 instead.
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& dialog) {
    EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "(Reader Error -50)");
    EXPECT_EQ(dialog.form().Text(kIdcCurrentSetting), "");
  });
}

TEST(ToolFrameTest, ASilentReaderGivesMinus5AfterTheLimit) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  reader.Sim().SetFault(sim::SimFault::NoAnswer);
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::duration waited{};
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& dialog) {
    waited = std::chrono::steady_clock::now() - start;
    EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "(Reader Error -5)");
  });
  EXPECT_GE(waited, std::chrono::milliseconds(500));
  EXPECT_LT(waited, std::chrono::milliseconds(500) + test::kTimeLimitOverrun);
  EXPECT_TRUE(PortIsFree());
}

TEST(ToolFrameTest, APortThatDoesNotOpenGivesMinus3) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  WithDialog<CPortalAFIDefault>(
      kFirstD6Reader,
      [&](CPortalAFIDefault& dialog) {
        EXPECT_EQ(dialog.form().Text(kIdcToolStatus), "(Reader Error -3)");
        EXPECT_EQ(dialog.form().Text(kIdcToolPort), "6");
        EXPECT_FALSE(dialog.PortHeld());
        EXPECT_TRUE(PortIsFree());
      },
      kSimPort + 1);
}

TEST(ToolFrameTest, StatusTwoAddsCommandNotSupported) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  const std::string not_supported = "(Reader Error 2) Command Not Supported";
  reader.Sim().SetCommandStatus(0x41, 2);
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& afi) {
    EXPECT_EQ(afi.form().Text(kIdcToolStatus), not_supported);
  });
  reader.Sim().SetCommandStatus(0x36, 2);
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& transmit) {
    EXPECT_EQ(transmit.form().Text(kIdcToolStatus), not_supported);
  });
  // A set refused with status 2 reads the same and leaves the current value alone.
  reader.Sim().SetCommandStatus(0x3A, 2);
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& power) {
    const std::string level = power.form().Text(kIdcCurrentSetting);
    power.form().Click(kIdcSetSetting);
    EXPECT_EQ(power.form().Text(kIdcToolStatus), not_supported);
    EXPECT_EQ(power.form().Text(kIdcCurrentSetting), level);
  });
}

TEST(ToolFrameTest, OldReadersGetError7OnOpeningAndEverySetWithNothingSent) {
  sim::ReaderSimOptions options;
  options.version = kOldReader;
  SimulatedReader reader(options);
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  const std::string error7 = "(Reader Error 7)";

  WithDialog<CPortalAFIDefault>(kOldReader, [&](CPortalAFIDefault& afi) {
    EXPECT_EQ(afi.form().Text(kIdcToolStatus), error7);
    afi.form().TypeText(kIdcAfiEntry, "DA");
    afi.form().Click(kIdcSetAfi);
    EXPECT_EQ(afi.form().Text(kIdcToolStatus), error7);
  });
  WithDialog<CChuteSecurityMethod>(kOldReader, [&](CChuteSecurityMethod& security) {
    EXPECT_EQ(security.form().Text(kIdcToolStatus), error7);
    security.form().TypeText(kIdcSecurityValueEntry, "DA");
    security.form().Click(kIdcSetSetting);
    EXPECT_EQ(security.form().Text(kIdcToolStatus), error7);
  });
  WithDialog<CRFTransmitMode>(kOldReader, [&](CRFTransmitMode& transmit) {
    EXPECT_EQ(transmit.form().Text(kIdcToolStatus), error7);
    transmit.form().Click(kIdcSetSetting);
    EXPECT_EQ(transmit.form().Text(kIdcToolStatus), error7);
  });
  WithDialog<CRFPowerLevel>(kOldReader, [&](CRFPowerLevel& power) {
    EXPECT_EQ(power.form().Text(kIdcToolStatus), error7);
    power.form().Click(kIdcSetSetting);
    EXPECT_EQ(power.form().Text(kIdcToolStatus), error7);
  });

  EXPECT_TRUE(reader.NewRequests(std::chrono::milliseconds(200)).empty());
  EXPECT_TRUE(boxes.Boxes().empty());
  EXPECT_TRUE(PortIsFree());
}

TEST(ToolFrameTest, TheFirstVersionWithD6ToolsWorks) {
  SimulatedReader reader;
  ASSERT_TRUE(reader.Started());
  MessageBoxRecorder boxes;
  WithDialog<CPortalAFIDefault>(kFirstD6Reader, [&](CPortalAFIDefault& afi) {
    EXPECT_EQ(afi.form().Text(kIdcToolStatus), "");
    EXPECT_EQ(afi.form().Text(kIdcCurrentAfi), "DA");
  });
  WithDialog<CChuteSecurityMethod>(kFirstD6Reader, [&](CChuteSecurityMethod& security) {
    EXPECT_EQ(security.form().Text(kIdcCurrentSetting), "AFI");
  });
  WithDialog<CRFTransmitMode>(kFirstD6Reader, [&](CRFTransmitMode& transmit) {
    EXPECT_EQ(transmit.form().Text(kIdcCurrentSetting), "1 out of 4");
  });
  WithDialog<CRFPowerLevel>(kFirstD6Reader, [&](CRFPowerLevel& power) {
    EXPECT_EQ(power.form().Text(kIdcCurrentSetting), "1 Watt");
  });
  EXPECT_EQ(reader.NewRequests().size(), std::size_t{4});
}

}  // namespace
}  // namespace flashwright::test
