// The update engine end to end: image files in a real folder, the worker on its own thread,
// the simulated EZ-USB device behind both drivers, and the posted messages as the front end
// receives them.
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/usb_driver_io.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_texts.h"

namespace flashwright {
namespace {

using test::TempDir;
using test::WriteFile;
using usbsim::Driver;
using usbsim::SimulatedUsbBus;
using usbsim::SimulatedUsbDevice;

// Image bytes that never begin a block with the device's fault marker DE AD.
std::string ImageBytes(std::size_t size) {
  std::string bytes(size, '\0');
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + (i >> 8)) & 0xFF);
  if (size > 0) bytes[0] = static_cast<char>(0xC2);
  return bytes;
}

std::vector<std::uint8_t> Bytes(const std::string& text) {
  return std::vector<std::uint8_t>(text.begin(), text.end());
}

// What the front end saw of one update.
struct UpdateRun {
  std::vector<std::string> events;  // "verify 0/1000", "program 31/1000", "... finishing"
  int completions = 0;
  std::unique_ptr<UsbUpdateResult> result;
};

std::string Describe(const char* phase, const UsbProgress& progress) {
  return std::string(phase) + " " + std::to_string(progress.done) + "/" +
         std::to_string(progress.total) + (progress.finishing ? " finishing" : "");
}

// Takes everything queued; waits up to `first_wait` for the first message.
void Drain(QueuePostTarget& target, UpdateRun* run, std::chrono::milliseconds first_wait) {
  MessageId message = 0;
  std::unique_ptr<PostedRecord> record;
  std::chrono::milliseconds wait = first_wait;
  while (target.Pump(&message, &record, wait)) {
    wait = std::chrono::milliseconds(0);
    if (message == UsbVerifyProgressMessage()) {
      run->events.push_back(Describe("verify", dynamic_cast<UsbProgress&>(*record)));
    } else if (message == UsbProgramProgressMessage()) {
      run->events.push_back(Describe("program", dynamic_cast<UsbProgress&>(*record)));
    } else if (message == UsbUpdateCompleteMessage()) {
      ++run->completions;
      run->events.push_back("complete");
      run->result.reset(dynamic_cast<UsbUpdateResult*>(record.release()));
    } else {
      ADD_FAILURE() << "unexpected message " << message;
    }
  }
}

std::vector<std::string> ExpectedEvents(std::uint32_t size, std::uint32_t block) {
  const std::string total = "/" + std::to_string(size);
  std::vector<std::string> events = {"verify 0" + total, "verify 0" + total,
                                     "verify " + std::to_string(size) + total + " finishing",
                                     "program 0" + total, "program 0" + total};
  for (std::uint32_t done = block; done < size; done += block) {
    events.push_back("program " + std::to_string(done) + total);
  }
  events.push_back("program " + std::to_string(size) + total);
  events.push_back("program " + std::to_string(size) + total + " finishing");
  events.push_back("complete");
  return events;
}

using WriteRequest = std::pair<std::uint16_t, std::uint16_t>;
WriteRequest Write(int address, int length) {
  return {static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(length)};
}

// The EEPROM writes the device saw: (address, length) of each 0x40 A2 setup packet.
std::vector<WriteRequest> Writes(const SimulatedUsbDevice& device) {
  std::vector<WriteRequest> writes;
  for (const platform::SetupPacket& setup : device.Counters().setups) {
    if (setup.request_type == 0x40 && setup.request == kEepromRequest) {
      EXPECT_EQ(setup.index, 0);
      writes.emplace_back(setup.value, setup.length);
    }
  }
  return writes;
}

class EngineTest : public ::testing::TestWithParam<Driver> {
 protected:
  void SetUp() override {
    saved_folder_ = UsbFirmwareFolder();
    ASSERT_TRUE(SetUsbFirmwareFolder(images_.path()));
    device_ = &bus_.AddDevice(GetParam(), 0);
  }
  void TearDown() override {
    EXPECT_FALSE(UsbCurrentDeviceIsOpen());
    EXPECT_EQ(device_->Counters().open_handles, 0u);
    SetUsbFirmwareFolder(saved_folder_);
  }

  void PutImage(const std::string& name, const std::string& bytes) {
    ASSERT_TRUE(WriteFile(images_.Join(name + ".bin"), bytes));
  }

  // Runs a worker for `name` on device `index` and waits for its thread to end.
  UpdateRun Update(const std::string& name, std::uint16_t index = 0) {
    auto request = std::make_unique<UsbUpdateRequest>();
    request->target = target_.handle();
    request->device_index = index;
    request->image_name = name;
    std::thread thread;
    EXPECT_EQ(StartUsbUpdateWorker(std::move(request), &thread), 0);
    EXPECT_TRUE(thread.joinable());
    if (thread.joinable()) thread.join();
    UpdateRun run;
    Drain(target_, &run, std::chrono::milliseconds(0));
    EXPECT_EQ(run.completions, 1);
    return run;
  }

  std::vector<std::uint8_t> Eeprom(std::size_t from, std::size_t to) const {
    const std::vector<std::uint8_t> all = device_->Eeprom();
    return std::vector<std::uint8_t>(all.begin() + from, all.begin() + to);
  }

  std::string OutcomeText(const UpdateRun& run) const {
    return ComposeUsbOutcome(*run.result, images_.path()).text;
  }

  TempDir images_;
  std::string saved_folder_;
  SimulatedUsbBus bus_;
  platform::ScopedUsbDriverIo installed_{&bus_};
  SimulatedUsbDevice* device_ = nullptr;
  QueuePostTarget target_;
};

TEST_P(EngineTest, ThousandBytesGoInBlocksOf31AndALastBlockOf8) {
  const std::string image = ImageBytes(1000);
  PutImage("gate", image);
  const UpdateRun run = Update("gate");

  EXPECT_EQ(run.events, ExpectedEvents(1000, 31));
  ASSERT_NE(run.result, nullptr);
  EXPECT_EQ(run.result->error, 0);
  EXPECT_EQ(run.result->phase, kUsbPhaseProgram);
  EXPECT_EQ(run.result->bytes_written, 1000u);
  EXPECT_EQ(run.result->device_index, 0);
  EXPECT_EQ(run.result->image_name, "gate");

  const auto writes = Writes(*device_);
  ASSERT_EQ(writes.size(), 33u);
  for (std::uint16_t i = 0; i < 32; ++i) {
    EXPECT_EQ(writes[i], Write(i * 31, 31));
  }
  EXPECT_EQ(writes[32], Write(992, 8));

  // The EEPROM holds exactly the image; nothing after it was touched.
  EXPECT_EQ(Eeprom(0, 1000), Bytes(image));
  EXPECT_EQ(Eeprom(1000, usbsim::kEepromSize), std::vector<std::uint8_t>(usbsim::kEepromSize - 1000, 0xFF));

  const UsbOutcome outcome = ComposeUsbOutcome(*run.result, images_.path());
  EXPECT_TRUE(outcome.success);
  const std::string name = GetParam() == Driver::kCyUsb ? "Cyusb-0" : "Ezusb-0";
  EXPECT_EQ(outcome.text, "Firmware on " + name +
                              " successfully updated. Detach USB cable, reset power on device, "
                              "and then re-attach USB cable.");
}

TEST_P(EngineTest, SmallAndLargestImages) {
  const std::string small = ImageBytes(20);
  PutImage("small", small);
  UpdateRun run = Update("small");
  EXPECT_EQ(run.events, ExpectedEvents(20, 1));
  EXPECT_EQ(run.result->error, 0);
  auto writes = Writes(*device_);
  ASSERT_EQ(writes.size(), 20u);
  for (std::uint16_t i = 0; i < 20; ++i) {
    EXPECT_EQ(writes[i], Write(i, 1));
  }
  EXPECT_EQ(Eeprom(0, 20), Bytes(small));

  device_->ResetCounters();
  const std::string largest = ImageBytes(65535);
  PutImage("largest", largest);
  run = Update("largest");
  EXPECT_EQ(run.events, ExpectedEvents(65535, 2047));
  EXPECT_EQ(run.result->error, 0);
  EXPECT_EQ(run.result->bytes_written, 65535u);
  writes = Writes(*device_);
  ASSERT_EQ(writes.size(), 33u);
  for (std::uint16_t i = 0; i < 32; ++i) {
    EXPECT_EQ(writes[i], Write(i * 2047, 2047));
  }
  EXPECT_EQ(writes[32], Write(65504, 31));
  EXPECT_EQ(Eeprom(0, 65535), Bytes(largest));
  EXPECT_EQ(device_->Eeprom()[65535], 0xFF);
}

TEST_P(EngineTest, EmptyAndOversizedImagesFailInTheCheckPhase) {
  PutImage("empty", "");
  UpdateRun run = Update("empty");
  EXPECT_EQ(run.events, (std::vector<std::string>{"verify 0/0", "verify 0/0", "complete"}));
  EXPECT_EQ(run.result->error, kUsbEmpty);
  EXPECT_EQ(run.result->phase, kUsbPhaseCheck);
  EXPECT_EQ(run.result->bytes_written, 0u);
  EXPECT_EQ(OutcomeText(run), "File error. File empty or directory " + images_.path() +
                                  " may be invalid or damaged.\r\n(Err:-1,Offset:0)");

  PutImage("big", ImageBytes(65536));
  run = Update("big");
  EXPECT_EQ(run.events,
            (std::vector<std::string>{"verify 0/65536", "verify 0/65536", "complete"}));
  EXPECT_EQ(run.result->error, kUsbTooLarge);
  EXPECT_EQ(run.result->phase, kUsbPhaseCheck);
  EXPECT_EQ(OutcomeText(run), "File error. File big or directory " + images_.path() +
                                  " may be invalid or damaged.\r\n(Err:-13,Offset:0)");
  EXPECT_FALSE(ComposeUsbOutcome(*run.result, images_.path()).success);
  EXPECT_TRUE(Writes(*device_).empty());
}

TEST_P(EngineTest, NoDeviceNoFileOrADeviceAlreadyOpen) {
  PutImage("gate", ImageBytes(100));
  // No device at index 4: the open fails and nothing else happens.
  UpdateRun run = Update("gate", 4);
  EXPECT_EQ(run.events, (std::vector<std::string>{"complete"}));
  EXPECT_NE(run.result->error, 0);
  EXPECT_EQ(run.result->phase, kUsbPhaseNotChecked);
  EXPECT_EQ(run.result->device_index, 4);
  EXPECT_EQ(OutcomeText(run), "Update error.\r\n(Err:" + std::to_string(run.result->error) +
                                  ",Offset:0)");

  // A missing image: the device was opened and is closed again.
  run = Update("missing");
  EXPECT_EQ(run.events, (std::vector<std::string>{"complete"}));
  EXPECT_EQ(run.result->error, ENOENT);
  EXPECT_EQ(run.result->phase, kUsbPhaseNotChecked);
  EXPECT_EQ(OutcomeText(run), "Update error.\r\n(Err:2,Offset:0)");
  EXPECT_GE(device_->Counters().opens, 1u);

  // Someone else holds the current device: the worker leaves it open for them.
  ASSERT_EQ(UsbOpenDevice(0), 0);
  run = Update("gate");
  EXPECT_EQ(run.result->error, kUsbAlreadyOpen);
  EXPECT_EQ(run.result->phase, kUsbPhaseNotChecked);
  EXPECT_TRUE(UsbCurrentDeviceIsOpen());
  EXPECT_EQ(UsbCloseDevice(), 0);
  EXPECT_TRUE(Writes(*device_).empty());
}

// A block write that fails with a device-gone code. The legacy driver reports the code, and
// the write is not tried again; the CyUSB driver reports a failed transfer (31), which is
// retried once after a reset. Either way the EEPROM ends where the outcome says.
TEST_P(EngineTest, FailedBlockEndsTheUpdateWhereItsOffsetSays) {
  const bool legacy = GetParam() == Driver::kLegacyEzusb;
  const std::string image = ImageBytes(1000);
  PutImage("gate", image);
  for (const std::uint32_t code : {platform::kErrorDeviceRemoved, platform::kErrorDeviceNotConnected}) {
    device_->SetEeprom(std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
    device_->ResetCounters();
    device_->FailWrites(5, legacy ? 1 : 2, code);
    const UpdateRun run = Update("gate");
    ASSERT_NE(run.result, nullptr);
    const UsbError expected = legacy ? static_cast<UsbError>(code) : kUsbTransferFailed;
    EXPECT_EQ(run.result->error, expected);
    EXPECT_EQ(run.result->phase, kUsbPhaseProgram);
    EXPECT_EQ(run.result->bytes_written, 4u * 31);
    ASSERT_GE(run.events.size(), 2u);
    EXPECT_EQ(run.events.back(), "complete");
    EXPECT_EQ(run.events[run.events.size() - 2], "program 124/1000");  // no finishing report
    if (legacy) {
      EXPECT_EQ(device_->Counters().resets, 0u);
      EXPECT_EQ(Writes(*device_).size(), 5u);  // four blocks and the failed one, once
    } else {
      EXPECT_GE(device_->Counters().resets, 1u);
      EXPECT_EQ(Writes(*device_).size(), 6u);  // four blocks and the failed one, twice
    }
    EXPECT_EQ(Eeprom(0, 124), Bytes(image.substr(0, 124)));
    EXPECT_EQ(Eeprom(124, 1000), std::vector<std::uint8_t>(876, 0xFF));
    EXPECT_EQ(OutcomeText(run),
              "Response error. Device may not support firmware update.\r\n(Err:" +
                  std::to_string(expected) + ",Offset:124)");
  }
}

TEST_P(EngineTest, DeviceUnpluggedMidWrite) {
  const std::string image = ImageBytes(1000);
  PutImage("gate", image);
  device_->SetEeprom(std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
  device_->UnplugAfterBytes(500);
  const UpdateRun run = Update("gate");
  ASSERT_NE(run.result, nullptr);
  // The CyUSB driver reports an unplugged device as a failed transfer.
  if (GetParam() == Driver::kLegacyEzusb) {
    EXPECT_TRUE(UsbIsDeviceGone(run.result->error)) << run.result->error;
  } else {
    EXPECT_EQ(run.result->error, kUsbTransferFailed);
  }
  EXPECT_EQ(run.result->phase, kUsbPhaseProgram);
  EXPECT_EQ(run.result->bytes_written, 16u * 31);  // the 17th block would pass byte 500
  EXPECT_EQ(Eeprom(0, 496), Bytes(image.substr(0, 496)));
  EXPECT_EQ(Eeprom(496, 1000), std::vector<std::uint8_t>(504, 0xFF));
  EXPECT_NE(OutcomeText(run).find("(Err:" + std::to_string(run.result->error) + ",Offset:496)"),
            std::string::npos);
}

// A block that the device takes only in part (twice: the retry too) ends the update there, as
// a failed transfer at that block's offset, instead of an update reported as done.
TEST_P(EngineTest, ShortBlockEndsTheUpdateAtItsOffset) {
  const std::string image = ImageBytes(1000);
  PutImage("gate", image);
  device_->SetEeprom(std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
  device_->ShortenVendorRequests(2, 20, 5);
  const UpdateRun run = Update("gate");
  ASSERT_NE(run.result, nullptr);
  EXPECT_EQ(run.result->error, kUsbTransferFailed);
  EXPECT_EQ(run.result->phase, kUsbPhaseProgram);
  EXPECT_EQ(run.result->bytes_written, 5u * 31);
  EXPECT_EQ(Eeprom(0, 155), Bytes(image.substr(0, 155)));
  EXPECT_EQ(Eeprom(186, 1000), std::vector<std::uint8_t>(814, 0xFF)) << "no later block";
  EXPECT_NE(OutcomeText(run).find("(Err:31,Offset:155)"), std::string::npos) << OutcomeText(run);
}

INSTANTIATE_TEST_SUITE_P(BothDrivers, EngineTest,
                         ::testing::Values(Driver::kCyUsb, Driver::kLegacyEzusb),
                         [](const ::testing::TestParamInfo<Driver>& param) {
                           return param.param == Driver::kCyUsb ? "CyUsb" : "LegacyEzusb";
                         });

// A device that never answers: the legacy driver gives up after its own limit, the request is
// retried once, and the worker still ends with its one completion.
TEST(UsbUpdateHangTest, ADeviceThatNeverAnswersStillEndsTheUpdate) {
  TempDir images;
  const std::string saved = UsbFirmwareFolder();
  ASSERT_TRUE(SetUsbFirmwareFolder(images.path()));
  ASSERT_TRUE(WriteFile(images.Join("gate.bin"), ImageBytes(100)));
  SimulatedUsbBus bus;
  platform::ScopedUsbDriverIo installed(&bus);
  SimulatedUsbDevice& device = bus.AddDevice(Driver::kLegacyEzusb, 0);
  device.SetEeprom(std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
  device.NeverCompleteRequests(2, std::chrono::milliseconds(50));
  QueuePostTarget target;

  auto request = std::make_unique<UsbUpdateRequest>();
  request->target = target.handle();
  request->image_name = "gate";
  std::thread thread;
  ASSERT_EQ(StartUsbUpdateWorker(std::move(request), &thread), 0);
  thread.join();
  UpdateRun run;
  Drain(target, &run, std::chrono::milliseconds(0));
  ASSERT_EQ(run.completions, 1);
  EXPECT_EQ(run.result->error, static_cast<UsbError>(platform::kErrorSemTimeout));
  EXPECT_EQ(run.result->phase, kUsbPhaseProgram);
  EXPECT_EQ(run.result->bytes_written, 0u);
  EXPECT_EQ(device.Eeprom(), std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
  EXPECT_FALSE(UsbCurrentDeviceIsOpen());
  SetUsbFirmwareFolder(saved);
}

// ---- The phases on their own, on an open device.

struct Recorder {
  std::vector<std::string> events;
  SimulatedUsbDevice* stall_device = nullptr;
  std::uint32_t stall_after = 0;  // bytes done
  std::uint32_t stall_count = 0;
};

void Record(void* context, std::uint32_t done, std::uint32_t total, bool finishing) {
  auto* recorder = static_cast<Recorder*>(context);
  UsbProgress progress;
  progress.done = done;
  progress.total = total;
  progress.finishing = finishing;
  recorder->events.push_back(Describe("p", progress));
  if (recorder->stall_device != nullptr && done == recorder->stall_after && done != 0) {
    recorder->stall_device->StallVendorRequests(recorder->stall_count);
  }
}

UsbError FailingRead(void*, std::FILE*, std::uint32_t, std::uint32_t, std::uint8_t*) {
  return EIO;
}

class PhaseTest : public ::testing::Test {
 protected:
  void SetUp() override {
    device_ = &bus_.AddDevice(Driver::kCyUsb, 0);
    device_->SetEeprom(std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
    ASSERT_TRUE(WriteFile(dir_.Join("image.bin"), image_));
    file_ = std::fopen(dir_.Join("image.bin").c_str(), "rb");
    ASSERT_NE(file_, nullptr);
  }
  void TearDown() override {
    if (file_ != nullptr) std::fclose(file_);
    UsbCloseDevice();
  }

  TempDir dir_;
  SimulatedUsbBus bus_;
  platform::ScopedUsbDriverIo installed_{&bus_};
  SimulatedUsbDevice* device_ = nullptr;
  const std::string image_ = ImageBytes(1000);
  std::FILE* file_ = nullptr;
  Recorder recorder_;
};

TEST_F(PhaseTest, AStallIsRetriedOnceAfterAReset) {
  ASSERT_EQ(UsbOpenDevice(0), 0);
  // One stall in the third block: reset, retried, and the update goes on.
  recorder_.stall_device = device_;
  recorder_.stall_after = 62;
  recorder_.stall_count = 1;
  std::int32_t phase = -1;
  std::uint32_t bytes = 0;
  EXPECT_EQ(UsbProgramImage(file_, 1000, ImageReadFn, Record, &recorder_, &phase, &bytes), 0);
  EXPECT_EQ(phase, kUsbPhaseProgram);
  EXPECT_EQ(bytes, 1000u);
  EXPECT_EQ(device_->Counters().resets, 1u);
  EXPECT_EQ(device_->Eeprom(), [&] {
    std::vector<std::uint8_t> expected(usbsim::kEepromSize, 0xFF);
    std::copy(image_.begin(), image_.end(), expected.begin());
    return expected;
  }());

  // Two stalls in a row: the retry fails too, and the EEPROM is written no further.
  device_->SetEeprom(std::vector<std::uint8_t>(usbsim::kEepromSize, 0xFF));
  device_->ResetCounters();
  recorder_ = Recorder{{}, device_, 93, 2};
  EXPECT_NE(UsbProgramImage(file_, 1000, ImageReadFn, Record, &recorder_, &phase, &bytes), 0);
  EXPECT_EQ(phase, kUsbPhaseProgram);
  EXPECT_EQ(bytes, 93u);
  EXPECT_EQ(recorder_.events.back(), "p 93/1000");  // no finishing report
  const std::vector<std::uint8_t> eeprom = device_->Eeprom();
  EXPECT_EQ(std::vector<std::uint8_t>(eeprom.begin(), eeprom.begin() + 93),
            Bytes(image_.substr(0, 93)));
  EXPECT_EQ(std::vector<std::uint8_t>(eeprom.begin() + 93, eeprom.begin() + 1000),
            std::vector<std::uint8_t>(907, 0xFF));
}

TEST_F(PhaseTest, FailuresBeforeTheFirstWrite) {
  std::int32_t phase = 77;
  std::uint32_t bytes = 77;
  // No current device: nothing reported, outputs untouched.
  EXPECT_EQ(UsbProgramImage(file_, 1000, ImageReadFn, Record, &recorder_, &phase, &bytes),
            kUsbNotOpen);
  EXPECT_EQ(phase, 77);
  EXPECT_EQ(bytes, 77u);
  EXPECT_TRUE(recorder_.events.empty());

  ASSERT_EQ(UsbOpenDevice(0), 0);
  // A read error: phase 0, nothing written.
  EXPECT_EQ(UsbProgramImage(file_, 1000, FailingRead, Record, &recorder_, &phase, &bytes), EIO);
  EXPECT_EQ(phase, kUsbPhaseCheck);
  EXPECT_EQ(bytes, 0u);
  EXPECT_EQ(recorder_.events, (std::vector<std::string>{"p 0/1000"}));
  // A file shorter than the size it is said to have.
  EXPECT_EQ(UsbProgramImage(file_, 1001, ImageReadFn, nullptr, nullptr, &phase, &bytes), EIO);
  EXPECT_EQ(phase, kUsbPhaseCheck);
  EXPECT_EQ(device_->Counters().eeprom_writes, 0u);

  // The check phase: the same failures, and the size once it passed.
  recorder_.events.clear();
  EXPECT_EQ(UsbCheckImage(file_, 1000, FailingRead, Record, &recorder_, &phase, &bytes), EIO);
  EXPECT_EQ(bytes, 0u);
  EXPECT_EQ(UsbCheckImage(file_, 1000, ImageReadFn, Record, &recorder_, &phase, &bytes), 0);
  EXPECT_EQ(phase, kUsbPhaseCheck);
  EXPECT_EQ(bytes, 1000u);
  EXPECT_EQ(recorder_.events,
            (std::vector<std::string>{"p 0/1000", "p 0/1000", "p 1000/1000 finishing"}));
  // A size beyond 32 bits is refused, not cut down to a small image.
  EXPECT_EQ(UsbCheckImage(file_, (1ull << 32) + 1000, ImageReadFn, nullptr, nullptr, &phase,
                          &bytes),
            kUsbTooLarge);
}

TEST(UsbBlockSizeTest, ThirtyTwoBlocksWithinLimits) {
  EXPECT_EQ(UsbBlockSize(0), 1u);
  EXPECT_EQ(UsbBlockSize(20), 1u);
  EXPECT_EQ(UsbBlockSize(1000), 31u);
  EXPECT_EQ(UsbBlockSize(65535), 2047u);
  EXPECT_EQ(UsbBlockSize(1u << 20), 4096u);
}

// ---- Workers and their one completion.

TEST(UsbUpdateWorkerTest, WithoutRequestOrTarget) {
  EXPECT_EQ(UsbUpdateWorker(nullptr), 1u);
  EXPECT_EQ(StartUsbUpdateWorker(nullptr), EINVAL);

  // A worker without a target still does its work and posts nothing.
  TempDir images;
  const std::string saved = UsbFirmwareFolder();
  ASSERT_TRUE(SetUsbFirmwareFolder(images.path()));
  ASSERT_TRUE(WriteFile(images.Join("gate.bin"), ImageBytes(64)));
  SimulatedUsbBus bus;
  platform::ScopedUsbDriverIo installed(&bus);
  SimulatedUsbDevice& device = bus.AddDevice(Driver::kCyUsb, 0);
  auto request = std::make_unique<UsbUpdateRequest>();
  request->image_name = "gate";
  EXPECT_EQ(UsbUpdateWorker(std::move(request)), 0u);
  EXPECT_EQ(device.Counters().eeprom_bytes_written, 64u);
  EXPECT_FALSE(UsbCurrentDeviceIsOpen());
  SetUsbFirmwareFolder(saved);
}

TEST(UsbUpdateWorkerTest, DetachedWorkerCompletesOnce) {
  TempDir images;
  const std::string saved = UsbFirmwareFolder();
  ASSERT_TRUE(SetUsbFirmwareFolder(images.path()));
  ASSERT_TRUE(WriteFile(images.Join("gate.bin"), ImageBytes(300)));
  SimulatedUsbBus bus;
  platform::ScopedUsbDriverIo installed(&bus);
  for (std::uint16_t index = 0; index < 3; ++index) bus.AddDevice(Driver::kCyUsb, index);
  QueuePostTarget target;

  auto request = std::make_unique<UsbUpdateRequest>();
  request->target = target.handle();
  request->device_index = 2;
  request->image_name = "gate";
  ASSERT_EQ(StartUsbUpdateWorker(std::move(request)), 0);
  UpdateRun run;
  while (run.completions == 0) {
    const std::size_t before = run.events.size();
    Drain(target, &run, std::chrono::milliseconds(10000));
    if (run.events.size() == before) break;  // nothing for ten seconds
  }
  ASSERT_EQ(run.completions, 1);
  EXPECT_EQ(run.result->error, 0);
  EXPECT_EQ(run.result->device_index, 2);
  EXPECT_EQ(run.events, ExpectedEvents(300, 9));
  // Nothing follows the completion.
  Drain(target, &run, std::chrono::milliseconds(200));
  EXPECT_EQ(run.completions, 1);
  // The device is closed before the completion is posted.
  EXPECT_FALSE(UsbCurrentDeviceIsOpen());

  // A thread slot that still holds a worker is not overwritten; the refusal completes at once.
  std::thread running([] {});
  request = std::make_unique<UsbUpdateRequest>();
  request->target = target.handle();
  request->image_name = "gate";
  EXPECT_EQ(StartUsbUpdateWorker(std::move(request), &running), EBUSY);
  running.join();
  UpdateRun refused;
  Drain(target, &refused, std::chrono::milliseconds(0));
  ASSERT_EQ(refused.completions, 1);
  EXPECT_EQ(refused.result->error, EBUSY);
  EXPECT_EQ(refused.result->phase, kUsbPhaseNotChecked);
  EXPECT_EQ(refused.events, (std::vector<std::string>{"complete"}));
  SetUsbFirmwareFolder(saved);
}

// ---- What the front end shows.

TEST(UsbUpdateTextsTest, StatusLinesAndPercentages) {
  UsbProgress progress;
  progress.total = 1000;
  EXPECT_EQ(UsbProgramStatusText(progress), "Initializing...");
  EXPECT_EQ(UsbVerifyStatusText(progress), "Verify (0 of 1000)");
  progress.done = 999;
  EXPECT_EQ(UsbProgramStatusText(progress), "Program (999 of 1000)");
  progress.done = 1000;
  progress.finishing = true;
  EXPECT_EQ(UsbProgramStatusText(progress), "Program (1000 of 1000)...Finishing...");
  EXPECT_EQ(UsbVerifyStatusText(progress), "Verify (1000 of 1000)...Finishing...");

  EXPECT_EQ(UsbProgramPercent(0, 1000), 0);
  EXPECT_EQ(UsbProgramPercent(31, 1000), 3);
  EXPECT_EQ(UsbProgramPercent(990, 1000), 99);
  EXPECT_EQ(UsbProgramPercent(999, 1000), 99);
  EXPECT_EQ(UsbProgramPercent(1000, 1000), 100);
  EXPECT_EQ(UsbProgramPercent(5, 0), 0);
  // Large sizes do not wrap in done * 100.
  EXPECT_EQ(UsbProgramPercent(4000000000u, 4000000001u), 99);
  EXPECT_EQ(UsbProgramPercent(2000000000u, 4000000000u), 50);
}

TEST(UsbUpdateTextsTest, DisplayNameFallsBackToTheIndex) {
  SimulatedUsbBus bus;
  platform::ScopedUsbDriverIo installed(&bus);
  EXPECT_EQ(UsbDeviceDisplayName(7), "Cyusb-7");
  bus.AddDevice(Driver::kLegacyEzusb, 0);
  EXPECT_EQ(UsbDeviceDisplayName(7), "Ezusb-7");
  EXPECT_EQ(UsbDeviceDisplayName(256), "dev256");

  UsbUpdateResult result;
  result.device_index = 300;
  result.image_name = "gate";
  EXPECT_EQ(ComposeUsbOutcome(result, "/fw").text,
            "Firmware on dev300 successfully updated. Detach USB cable, reset power on device, "
            "and then re-attach USB cable.");
  result.error = -3;
  result.phase = 7;  // any phase but 0 and 1
  EXPECT_EQ(ComposeUsbOutcome(result, "/fw").text, "Update error.\r\n(Err:-3,Offset:0)");
}

}  // namespace
}  // namespace flashwright
