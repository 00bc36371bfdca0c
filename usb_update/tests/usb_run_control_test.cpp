// The decisions of Begin Update, without a window, against simulated devices: each branch and
// the message it gives, the questions and what follows the answers (also when another device
// answers at the index once the user has answered), and the start of the worker, also when
// any one allocation of the start fails.
#include "usb_update/usb_run_control.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "platform/usb_driver_io.h"
#include "tools/test_support/failing_allocation.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/usb_device_info.h"
#include "usb_update/usb_image.h"

namespace flashwright {
namespace {

using usbsim::Driver;

// An image for the simulated device's IDs: first byte, IDs, the product marker and text.
std::string Image(const std::string& text, std::uint8_t first_byte = 0xC2) {
  std::string bytes = {static_cast<char>(first_byte), '\xB4', '\x04', '\x13', '\x86'};
  auto utf16 = [&bytes](const std::string& part) {
    for (char c : part) bytes.append({c, '\0'});
  };
  utf16("Orvane Folio Systems ");
  utf16(text);
  bytes.append(2, '\0');
  bytes.resize(300, '\x5A');
  return bytes;
}

class RunControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    saved_folder_ = UsbFirmwareFolder();
    ASSERT_TRUE(SetUsbFirmwareFolder(images_.path()));
    usbsim::DeviceProfile profile;
    profile.product = "Gate 1.2.3.4";
    device_ = &bus_.AddDevice(Driver::kCyUsb, 0, profile);
    ASSERT_TRUE(test::WriteFile(images_.Join("Gate.bin"), Image("Gate 1.2.3.5")));
    SetAllowNonMatchingDevices(false);
  }
  void TearDown() override {
    SetAllowNonMatchingDevices(false);
    SetUsbFirmwareFolder(saved_folder_);
  }

  // The inputs of a front end that selected device 0 and the image "Gate", with what it read.
  UsbRunInputs Inputs() {
    UsbRunInputs inputs;
    inputs.image_name = "Gate";
    inputs.image_count = 1;
    inputs.firmware_folder = images_.path();
    inputs.device = 0;
    inputs.device_info = ReadUsbDevice(0, false).info;
    inputs.ask = [this](UsbQuestion, const std::string& text) {
      questions_.push_back(text);
      if (during_question_) during_question_();
      const bool yes = answers_.empty() ? false : answers_.front();
      if (!answers_.empty()) answers_.erase(answers_.begin());
      return yes;
    };
    return inputs;
  }

  test::TempDir images_;
  std::string saved_folder_;
  usbsim::SimulatedUsbBus bus_;
  platform::ScopedUsbDriverIo installed_{&bus_};
  usbsim::SimulatedUsbDevice* device_ = nullptr;
  std::vector<std::string> questions_;
  std::vector<bool> answers_;
  std::function<void()> during_question_;
};

// The completions waiting in `target`; a record of another kind there is a failure.
std::vector<std::unique_ptr<UsbUpdateResult>> Completions(QueuePostTarget& target) {
  std::vector<std::unique_ptr<UsbUpdateResult>> completions;
  MessageId message = 0;
  std::unique_ptr<PostedRecord> record;
  while (target.Pump(&message, &record, std::chrono::milliseconds(0))) {
    if (message != UsbUpdateCompleteMessage()) continue;
    auto result = TakeRecord<UsbUpdateResult>(std::move(record));
    EXPECT_NE(result, nullptr);
    if (result != nullptr) completions.push_back(std::move(result));
  }
  return completions;
}

TEST_F(RunControlTest, RefusalsBeforeTheCheck) {
  UsbRunInputs inputs = Inputs();
  inputs.image_name.clear();
  UsbBeginDecision decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kNoImage);
  EXPECT_EQ(decision.message.text, "Select a firmware file using Advanced View.");
  EXPECT_EQ(decision.message.kind, ui::PaneKind::kError);
  inputs.advanced = true;
  EXPECT_EQ(BeginUsbUpdate(inputs).message.text, "Select a firmware file.");
  inputs.image_count = 0;
  EXPECT_EQ(BeginUsbUpdate(inputs).message.text,
            "No firmware files. Check firmware directory at " + images_.path() + ".");

  inputs = Inputs();
  inputs.device = -1;
  decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kNoDevice);
  EXPECT_EQ(decision.message.text,
            "No USB devices found. Check USB and power cables or install driver.");

  inputs = Inputs();
  inputs.device_info.product_string.clear();
  decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kUnknownDevice);
  EXPECT_EQ(decision.message.text, "Unknown device on Cyusb-0. Select a different device.");
  EXPECT_EQ(device_->Counters().eeprom_writes, 0u);
}

TEST_F(RunControlTest, ReportAlreadyUpdatedAndStart) {
  UsbRunInputs inputs = Inputs();
  inputs.control_key = true;
  UsbBeginDecision decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kReport);
  EXPECT_EQ(decision.message.kind, ui::PaneKind::kNeutral);
  EXPECT_EQ(decision.message.text.rfind("This device can be updated with the firmware.\r\n", 0), 0u)
      << decision.message.text;

  // The image the device already carries: only the basic view stops there.
  ASSERT_TRUE(test::WriteFile(images_.Join("Same.bin"), Image("Gate 1.2.3.4")));
  inputs = Inputs();
  inputs.image_name = "Same";
  decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kAlreadyUpdated);
  EXPECT_EQ(decision.message.text, "Firmware on Cyusb-0 already updated.");
  EXPECT_EQ(decision.message.kind, ui::PaneKind::kSuccess);
  inputs.advanced = true;
  decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kStart);
  EXPECT_EQ(decision.message.text,
            "Firmware update in progress...DO NOT POWER OFF THE DEVICE...");
  EXPECT_TRUE(questions_.empty());
}

TEST_F(RunControlTest, QuestionsAndTheDeviceAnsweringAfterThem) {
  ASSERT_TRUE(test::WriteFile(images_.Join("Other.bin"), Image("Gate 1.2.3.5", 0xC0)));
  UsbRunInputs inputs = Inputs();
  inputs.image_name = "Other";
  UsbBeginDecision decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kNotCompatible);
  EXPECT_EQ(decision.message.text, "Device is not compatible with firmware file.\r\n"
                                   "(First byte in firmware does not match)");
  EXPECT_TRUE(questions_.empty()) << "not asked unless non-matching devices are allowed";

  SetAllowNonMatchingDevices(true);
  answers_ = {true, false};
  EXPECT_EQ(BeginUsbUpdate(inputs).step, UsbBeginStep::kNotCompatible);
  EXPECT_EQ(questions_.size(), 2u) << "a severe failure is asked twice";
  answers_ = {true, true};
  EXPECT_EQ(BeginUsbUpdate(inputs).step, UsbBeginStep::kStart);

  // Another device takes the index while a question is open: refused, nothing written.
  during_question_ = [this] {
    device_->Unplug();
    usbsim::DeviceProfile other;
    other.product = "Other 9";
    bus_.AddDevice(Driver::kCyUsb, 0, other);
  };
  answers_ = {true, true};
  decision = BeginUsbUpdate(inputs);
  EXPECT_EQ(decision.step, UsbBeginStep::kDeviceChanged);
  EXPECT_EQ(decision.message.kind, ui::PaneKind::kError);
  EXPECT_NE(decision.message.text.find("Cyusb-0 changed"), std::string::npos);
}

TEST_F(RunControlTest, TheStartedRunCompletesOnce) {
  QueuePostTarget target;
  std::thread worker;
  UsbUpdateResult failed;
  ASSERT_TRUE(StartUsbUpdateRun(target.handle(), 0, "Gate", &worker, &failed));
  worker.join();
  const auto completions = Completions(target);
  ASSERT_EQ(completions.size(), 1u);
  EXPECT_EQ(completions[0]->error, 0);
  EXPECT_EQ(completions[0]->bytes_written, 300u);
  const std::vector<std::uint8_t> eeprom = device_->Eeprom();
  const std::string image = Image("Gate 1.2.3.5");
  EXPECT_TRUE(std::equal(image.begin(), image.end(), eeprom.begin(),
                         [](char a, std::uint8_t b) { return static_cast<std::uint8_t>(a) == b; }));

  // A thread still held: the completion comes at once, with EBUSY.
  std::thread busy([] {});
  ASSERT_TRUE(StartUsbUpdateRun(target.handle(), 0, "Gate", &busy, &failed));
  busy.join();
  const auto refused = Completions(target);
  ASSERT_EQ(refused.size(), 1u);
  EXPECT_EQ(refused[0]->error, EBUSY);
  EXPECT_EQ(refused[0]->phase, kUsbPhaseNotChecked);
}


int fail_at = 0;
bool start_failed = false;
void ArmStart() { test::FailAllocationOnThisThread(fail_at); }
void DisarmStart() { start_failed = test::AllocationFailureHappened(); }

// Whichever allocation of the start fails, the run completes exactly once: by a posted
// completion, or by the one handed back when not even that could be posted; a failure says
// ENOMEM and writes nothing.
TEST_F(RunControlTest, EveryFailingAllocationOfTheStartCompletesTheRunOnce) {
  UsbUpdateCompleteMessage();  // registered before any allocation is made to fail
  UsbVerifyProgressMessage();
  UsbProgramProgressMessage();
  SetUsbRunStartHooksForTesting(ArmStart, DisarmStart);
  bool posted_failure = false;
  bool returned_failure = false;
  for (fail_at = 1; fail_at <= 40; ++fail_at) {
    QueuePostTarget target;
    std::thread worker;
    UsbUpdateResult failed;
    const bool started = StartUsbUpdateRun(target.handle(), 0, "Gate", &worker, &failed);
    const bool failed_here = start_failed;
    if (worker.joinable()) worker.join();
    std::size_t completions = started ? 0 : 1;
    if (!started) {
      EXPECT_TRUE(failed_here);
      EXPECT_EQ(failed.error, ENOMEM) << "allocation " << fail_at;
      EXPECT_EQ(failed.phase, kUsbPhaseNotChecked);
      returned_failure = true;
    }
    for (const auto& result : Completions(target)) {
      ++completions;
      if (failed_here) {
        EXPECT_EQ(result->error, ENOMEM) << "allocation " << fail_at;
        EXPECT_EQ(result->phase, kUsbPhaseNotChecked);
        posted_failure = true;
      } else {
        EXPECT_EQ(result->error, 0);
      }
    }
    EXPECT_EQ(completions, 1u) << "allocation " << fail_at;
    if (failed_here) {
      EXPECT_EQ(device_->Counters().eeprom_writes, 0u) << "allocation " << fail_at;
    }
    if (!failed_here) break;  // every allocation of the start has been made to fail
  }
  SetUsbRunStartHooksForTesting(nullptr, nullptr);
  EXPECT_LT(fail_at, 40) << "the start makes fewer allocations than tried";
  EXPECT_TRUE(posted_failure) << "a failure whose completion could be posted";
  EXPECT_TRUE(returned_failure) << "a failure with no memory even for the completion";
}

}  // namespace
}  // namespace flashwright
