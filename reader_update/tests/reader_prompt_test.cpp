// The reader update view's prompt over the choices a technician can make: which messages stand
// in the pane, in which order and colour, and whether Begin Update may be pressed.
#include "reader_update/reader_prompt.h"

#include <gtest/gtest.h>

namespace flashwright {
namespace {

const MessageFields kBasicView{"/opt/fw/firmware", " using Advanced View"};

int AcceptAll(std::uint32_t) { return 0; }

TEST(ReaderPrompt, ACompleteChoiceWithAReaderOnThePortIsReady) {
  ReaderPromptInput input;
  input.port = 3;
  input.have_firmware = true;
  input.firmware_listed = true;
  input.version = 42418;
  const ReaderPrompt prompt = ComposeReaderPrompt(input, AcceptAll, kBasicView);
  EXPECT_TRUE(prompt.ready);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kNeutral);
  EXPECT_EQ(prompt.text, "Press Begin Update to start firmware update.");
}

TEST(ReaderPrompt, WhatTheCommandLineAskedForAndCannotBeHadIsAnErrorOnTwoLines) {
  ReaderPromptInput input;
  input.port = -1;
  input.wanted_port = 7;
  input.wanted_firmware = "Reader_9";
  input.firmware_listed = true;
  const ReaderPrompt prompt = ComposeReaderPrompt(input, AcceptAll, kBasicView);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kError);
  // The errors stand alone: no "select" hints follow them.
  EXPECT_EQ(prompt.text,
            "COM 7 does not exist. Select a different COM port using Advanced View.\r\n"
            "Firmware file Reader_9 not found. Check firmware directory at /opt/fw/firmware.");
}

TEST(ReaderPrompt, AnEmptyFirmwareFolderIsAnErrorButAListWithNoChoiceOnlyAsks) {
  ReaderPromptInput input;
  input.port = 2;
  input.version = 42418;
  ReaderPrompt prompt = ComposeReaderPrompt(input, AcceptAll, kBasicView);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kError);
  EXPECT_EQ(prompt.text, "No firmware files. Check firmware directory at /opt/fw/firmware.");

  input.firmware_listed = true;
  prompt = ComposeReaderPrompt(input, AcceptAll, MessageFields{"/opt/fw/firmware", ""});
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kNeutral);
  EXPECT_EQ(prompt.text, "Select a firmware file.");
}

TEST(ReaderPrompt, RecoverModeNeedsAPortOfItsOwnAndSkipsTheReaderChecks) {
  ReaderPromptInput input;
  input.port = 0;  // auto-detect
  input.have_firmware = true;
  input.firmware_listed = true;
  input.recover_mode = true;
  ReaderPrompt prompt = ComposeReaderPrompt(input, AcceptAll, kBasicView);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.text, "Select a COM port using Advanced View.");

  // A named port in recover mode is ready although no reader answered there, and the gate is
  // not asked.
  input.port = 4;
  bool gate_asked = false;
  prompt = ComposeReaderPrompt(
      input, [&gate_asked](std::uint32_t) { gate_asked = true; return -1; }, kBasicView);
  EXPECT_TRUE(prompt.ready);
  EXPECT_FALSE(gate_asked);
}

TEST(ReaderPrompt, TheVersionGateAndASilentPortRefuse) {
  ReaderPromptInput input;
  input.port = 5;
  input.have_firmware = true;
  input.firmware_listed = true;

  ReaderPrompt prompt = ComposeReaderPrompt(input, AcceptAll, kBasicView);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kNeutral);
  EXPECT_EQ(prompt.text, "No reader found on COM 5. Select a different COM port using Advanced View.");

  input.version = 20100;
  prompt = ComposeReaderPrompt(input, [](std::uint32_t) { return -1; }, kBasicView);
  EXPECT_FALSE(prompt.ready);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kError);
  EXPECT_EQ(prompt.text.rfind("Cannot update reader firmware on COM 5.", 0), 0u) << prompt.text;

  prompt = ComposeReaderPrompt(input, [](std::uint32_t) { return 1; }, kBasicView);
  EXPECT_EQ(prompt.kind, ui::PaneKind::kError);
  EXPECT_EQ(prompt.text.rfind("Updating reader firmware on COM 5 is not allowed.", 0), 0u)
      << prompt.text;
}

}  // namespace
}  // namespace flashwright
