// Writes a 65,535-byte image into the simulated EZ-USB device, whose EEPROM takes its modelled
// time (128-byte pages, 5 ms per page write, 400 kHz I2C), through the update engine's worker
// on its own thread, once on each driver. Prints the elapsed time against the modelled time
// (what the EEPROM and its bus cannot do faster: pages written times the page time plus the
// bytes' transfer time) and the CPU time the process spent per write block.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/posted_messages.h"
#include "platform/usb_driver_io.h"
#include "tools/test_support/test_support.h"
#include "tools/usb_sim/simulated_usb.h"
#include "usb_update/usb_update_engine.h"

namespace {

using namespace flashwright;

constexpr std::uint32_t kImageSize = 65535;
constexpr char kImageName[] = "bench64k";

// User and system time of every thread of the process (the simulator's included).
double ProcessCpuMs() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Figures {
  UsbError error = -1;
  std::uint32_t bytes_written = 0;
  std::uint32_t blocks = 0;
  double elapsed_s = 0;
  double modelled_s = 0;
  double cpu_ms = 0;
  bool image_on_device = false;
};

Figures Update(usbsim::Driver driver, const std::vector<std::uint8_t>& image) {
  usbsim::SimulatedUsbBus bus;
  usbsim::DeviceProfile profile;
  profile.timing.real_time = true;
  usbsim::SimulatedUsbDevice& device = bus.AddDevice(driver, 0, profile);
  const platform::ScopedUsbDriverIo installed(&bus);

  QueuePostTarget target;
  auto request = std::make_unique<UsbUpdateRequest>();
  request->target = target.handle();
  request->device_index = 0;
  request->image_name = kImageName;

  Figures figures;
  const double cpu_start = ProcessCpuMs();
  const auto start = std::chrono::steady_clock::now();
  std::thread worker;
  if (StartUsbUpdateWorker(std::move(request), &worker) != 0) return figures;
  std::unique_ptr<PostedRecord> record;
  for (;;) {
    MessageId message = 0;
    if (!target.Pump(&message, &record, std::chrono::seconds(30))) break;
    if (message == UsbUpdateCompleteMessage()) break;
  }
  const auto end = std::chrono::steady_clock::now();
  worker.join();
  figures.cpu_ms = ProcessCpuMs() - cpu_start;
  figures.elapsed_s = std::chrono::duration<double>(end - start).count();
  figures.modelled_s = std::chrono::duration<double>(device.ModelledTime()).count();
  figures.blocks = device.Counters().eeprom_writes;
  if (const auto* result = dynamic_cast<const UsbUpdateResult*>(record.get())) {
    figures.error = result->error;
    figures.bytes_written = result->bytes_written;
  }
  const std::vector<std::uint8_t> eeprom = device.Eeprom();
  figures.image_on_device = std::equal(image.begin(), image.end(), eeprom.begin());
  return figures;
}

}  // namespace

int main() {
  test::TempDir folder;
  std::vector<std::uint8_t> image(kImageSize);
  // No block may begin with the device's fault marker DE AD.
  for (std::uint32_t i = 0; i < kImageSize; ++i) {
    image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8)) & 0xFF);
  }
  image[0] = 0xC2;
  if (!test::WriteFile(folder.Join(std::string(kImageName) + ".bin"),
                       std::string(image.begin(), image.end()))) {
    std::fprintf(stderr, "cannot write the image\n");
    return 1;
  }
  SetUsbFirmwareFolder(folder.path());

  const usbsim::DeviceProfile defaults;
  std::printf("image: %u bytes in blocks of %u; EEPROM: %u-byte pages, %.1f ms per page "
              "write, %.1f us per byte on the bus\n",
              kImageSize, UsbBlockSize(kImageSize), defaults.timing.page_size,
              std::chrono::duration<double, std::milli>(defaults.timing.page_write).count(),
              std::chrono::duration<double, std::micro>(defaults.timing.byte_transfer).count());
  std::printf("  %-8s %10s %10s %8s %14s %7s\n", "driver", "elapsed s", "modelled s", "ratio",
              "cpu ms/block", "image");
  int status = 0;
  const struct {
    usbsim::Driver driver;
    const char* name;
  } drivers[] = {{usbsim::Driver::kCyUsb, "CyUSB"}, {usbsim::Driver::kLegacyEzusb, "EZ-USB"}};
  for (const auto& d : drivers) {
    const Figures f = Update(d.driver, image);
    if (f.error != 0 || f.bytes_written != kImageSize) {
      std::printf("  %-8s failed: error %d after %u bytes\n", d.name, f.error, f.bytes_written);
      status = 1;
      continue;
    }
    std::printf("  %-8s %10.3f %10.3f %8.4f %14.3f %7s\n", d.name, f.elapsed_s, f.modelled_s,
                f.elapsed_s / f.modelled_s, f.blocks > 0 ? f.cpu_ms / f.blocks : 0.0,
                f.image_on_device ? "equal" : "DIFFERS");
  }
  std::printf("goal: elapsed / modelled at most 1.05\n");
  return status;
}
