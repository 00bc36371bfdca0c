// Writes a 65,535-byte image into the simulated EZ-USB device, whose EEPROM takes its modelled
// time (128-byte pages, 5 ms per page write, 400 kHz I2C), through the update engine's worker
// on its own thread, once on each driver. Prints the elapsed time against the modelled time
// (what the EEPROM and its bus cannot do faster: pages written times the page time plus the
// bytes' transfer time) and the CPU time the process spent per write block.
//
// In the Windows build under Wine, with the simulated EZ-USB kernel driver loaded
// (tools/wine/usb-driver-tests.sh), a further row runs the engine through the system's driver
// layer, the real DeviceIoControl, against that driver, whose own model gives the modelled time.
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#endif

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/posted_messages.h"
#include "platform/usb_driver_io.h"
#include "tools/usb_sim/simulated_usb.h"
#ifdef _WIN32
#include "tools/wine/ezusb_sim_control.h"
#endif
#include "usb_update/usb_device.h"
#include "usb_update/usb_update_engine.h"

namespace {

using namespace flashwright;

constexpr std::uint32_t kImageSize = 65535;
constexpr char kImageName[] = "bench64k";

// User and system time of every thread of the process (the simulator's included).
double ProcessCpuMs() {
#ifdef _WIN32
  FILETIME created, exited, kernel, user;
  if (!GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user)) return 0;
  auto ms = [](const FILETIME& t) {
    return (static_cast<std::uint64_t>(t.dwHighDateTime) << 32 | t.dwLowDateTime) / 1e4;
  };
  return ms(kernel) + ms(user);
#else
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  auto ms = [](const timeval& t) { return t.tv_sec * 1e3 + t.tv_usec / 1e3; };
  return ms(usage.ru_utime) + ms(usage.ru_stime);
#endif
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

// The device the engine writes to: its modelled time, its write count and its EEPROM after
// the run.
struct Device {
  std::function<double()> modelled_s;
  std::function<std::uint32_t()> blocks;
  std::function<std::vector<std::uint8_t>()> eeprom;
};

// Runs the update engine's worker on device 0 of the driver layer installed now.
Figures Update(const Device& device, const std::vector<std::uint8_t>& image) {
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
  figures.modelled_s = device.modelled_s();
  figures.blocks = device.blocks();
  if (const auto* result = dynamic_cast<const UsbUpdateResult*>(record.get())) {
    figures.error = result->error;
    figures.bytes_written = result->bytes_written;
  }
  const std::vector<std::uint8_t> eeprom = device.eeprom();
  figures.image_on_device = eeprom.size() >= image.size() &&
                            std::equal(image.begin(), image.end(), eeprom.begin());
  return figures;
}

Figures UpdateSimulated(usbsim::Driver driver, const std::vector<std::uint8_t>& image) {
  usbsim::SimulatedUsbBus bus;
  usbsim::DeviceProfile profile;
  profile.timing.real_time = true;
  usbsim::SimulatedUsbDevice& device = bus.AddDevice(driver, 0, profile);
  const platform::ScopedUsbDriverIo installed(&bus);
  return Update({[&] { return std::chrono::duration<double>(device.ModelledTime()).count(); },
                 [&] { return device.Counters().eeprom_writes; }, [&] { return device.Eeprom(); }},
                image);
}

#ifdef _WIN32
// The simulated kernel driver's control device, when the driver is loaded.
class KernelDevice {
 public:
  KernelDevice()
      : handle_(CreateFileA(EZUSB_SIM_CONTROL_NAME, GENERIC_READ | GENERIC_WRITE,
                            FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                            nullptr)) {}
  ~KernelDevice() {
    if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  }
  bool Present() const { return handle_ != INVALID_HANDLE_VALUE; }
  bool Reset() {
    EzusbSimProfile profile{};
    profile.vendor_id = 0x04B4;
    profile.product_id = 0x8613;
    profile.device_release = 0xA001;
    profile.first_byte = 0xC2;
    profile.real_time = 1;
    profile.cyusb_driver_version = 0x01020304;
    return Request(EZUSB_SIM_RESET, &profile, sizeof profile, nullptr, 0);
  }
  EzusbSimCounters Counters() {
    EzusbSimCounters counters{};
    Request(EZUSB_SIM_GET_COUNTERS, nullptr, 0, &counters, sizeof counters);
    return counters;
  }
  std::vector<std::uint8_t> Eeprom() {
    std::vector<std::uint8_t> bytes(usbsim::kEepromSize);
    const std::uint32_t range[2] = {0, usbsim::kEepromSize};
    if (!Request(EZUSB_SIM_READ_EEPROM, range, sizeof range, bytes.data(),
                 static_cast<DWORD>(bytes.size()))) {
      bytes.clear();
    }
    return bytes;
  }

 private:
  bool Request(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size) {
    DWORD returned = 0;
    return DeviceIoControl(handle_, code, const_cast<void*>(in), in_size, out, out_size,
                           &returned, nullptr) != 0;
  }
  HANDLE handle_;
};
#endif

// A folder of the system's temporary folder for the run's image, removed at the end.
class ImageFolder {
 public:
  ImageFolder()
      : path_(std::filesystem::temp_directory_path() /
              ("bench_usb_update." + std::to_string(std::chrono::steady_clock::now()
                                                        .time_since_epoch()
                                                        .count()))) {
    std::filesystem::create_directories(path_);
  }
  ~ImageFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  ImageFolder(const ImageFolder&) = delete;
  ImageFolder& operator=(const ImageFolder&) = delete;
  std::string path() const { return path_.string(); }
  bool Write(const std::string& name, const std::vector<std::uint8_t>& bytes) const {
    std::ofstream file(path_ / name, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(file);
  }

 private:
  std::filesystem::path path_;
};

}  // namespace

int main() {
  ImageFolder folder;
  std::vector<std::uint8_t> image(kImageSize);
  // No block may begin with the device's fault marker DE AD.
  for (std::uint32_t i = 0; i < kImageSize; ++i) {
    image[i] = static_cast<std::uint8_t>((i * 7 + (i >> 8)) & 0xFF);
  }
  image[0] = 0xC2;
  if (!folder.Write(std::string(kImageName) + ".bin", image)) {
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
  auto print = [&](const char* name, const Figures& f) {
    if (f.error != 0 || f.bytes_written != kImageSize) {
      std::printf("  %-8s failed: error %d after %u bytes\n", name, f.error, f.bytes_written);
      status = 1;
      return;
    }
    std::printf("  %-8s %10.3f %10.3f %8.4f %14.3f %7s\n", name, f.elapsed_s, f.modelled_s,
                f.elapsed_s / f.modelled_s, f.blocks > 0 ? f.cpu_ms / f.blocks : 0.0,
                f.image_on_device ? "equal" : "DIFFERS");
  };
  const struct {
    usbsim::Driver driver;
    const char* name;
  } drivers[] = {{usbsim::Driver::kCyUsb, "CyUSB"}, {usbsim::Driver::kLegacyEzusb, "EZ-USB"}};
  for (const auto& d : drivers) print(d.name, UpdateSimulated(d.driver, image));
#ifdef _WIN32
  KernelDevice kernel;
  if (kernel.Present()) {
    if (!kernel.Reset()) {
      std::printf("  the simulated kernel driver does not take its reset\n");
      status = 1;
    } else {
      // Through the real DeviceIoControl, on whichever driver model the system has.
      const Figures f = Update(
          {[&] { return kernel.Counters().modelled_100ns / 1e7; },
           [&] { return kernel.Counters().eeprom_writes; }, [&] { return kernel.Eeprom(); }},
          image);
      print(UsbLegacyDriverPresent() ? "sys EZ" : "sys Cy", f);
    }
  }
#endif
  std::printf("goal: elapsed / modelled at most 1.05\n");
  return status;
}
