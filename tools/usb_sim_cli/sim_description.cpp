#include "tools/usb_sim_cli/sim_description.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "tools/usb_sim_cli/sim_attach_watcher.h"

namespace flashwright::usbsim {
namespace {

std::string Trim(const std::string& text) {
  const std::size_t begin = text.find_first_not_of(" \t\r");
  if (begin == std::string::npos) return {};
  const std::size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

// A whole-text number in `base` (0: decimal or 0x-prefixed) no larger than `limit`.
bool ParseNumber(const std::string& text, int base, std::uint64_t limit, std::uint64_t* value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  errno = 0;
  char* end = nullptr;
  const unsigned long long parsed = std::strtoull(text.c_str(), &end, base);
  if (errno != 0 || end == text.c_str() || *end != '\0' || parsed > limit) return false;
  *value = parsed;
  return true;
}

std::vector<std::string> Words(const std::string& text) {
  std::istringstream stream(text);
  return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

class LineReader {
 public:
  LineReader(int line, std::string* error) : line_(line), error_(error) {}

  bool Fail(const std::string& what) {
    *error_ = "line " + std::to_string(line_) + ": " + what;
    return false;
  }

  template <typename T>
  bool Hex(const std::string& value, const char* key, T* out) {
    std::uint64_t parsed = 0;
    std::string digits = value;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits.erase(0, 2);
    if (!ParseNumber(digits, 16, static_cast<T>(-1), &parsed)) {
      return Fail(std::string(key) + " takes a hexadecimal number, not '" + value + "'");
    }
    *out = static_cast<T>(parsed);
    return true;
  }

  template <typename T>
  bool Count(const std::string& value, const char* key, T* out) {
    std::uint64_t parsed = 0;
    if (!ParseNumber(value, 0, 0xFFFFFFFFu, &parsed)) {
      return Fail(std::string(key) + " takes a number, not '" + value + "'");
    }
    *out = static_cast<T>(parsed);
    return true;
  }

 private:
  int line_;
  std::string* error_;
};

bool ParseDevice(const std::string& value, LineReader& reader, SimDeviceDescription* device) {
  const std::vector<std::string> words = Words(value);
  if (words.size() != 2) return reader.Fail("device takes a driver (legacy or cyusb) and an index");
  if (words[0] == "legacy") {
    device->driver = Driver::kLegacyEzusb;
  } else if (words[0] == "cyusb") {
    device->driver = Driver::kCyUsb;
  } else {
    return reader.Fail("unknown driver '" + words[0] + "' (legacy or cyusb)");
  }
  std::uint32_t index = 0;
  if (!reader.Count(words[1], "device", &index)) return false;
  if (index > 0xFFFF) return reader.Fail("device index beyond 65535");
  device->index = static_cast<std::uint16_t>(index);
  return true;
}

bool ParseSetting(const std::string& key, const std::string& value, LineReader& reader,
                  SimDeviceDescription* device) {
  DeviceProfile& profile = device->profile;
  auto no_value = [&]() { return value.empty() || reader.Fail(key + " takes no value"); };
  if (key == "vendor-id") return reader.Hex(value, "vendor-id", &profile.vendor_id);
  if (key == "product-id") return reader.Hex(value, "product-id", &profile.product_id);
  if (key == "release") return reader.Hex(value, "release", &profile.device_release);
  if (key == "first-byte") return reader.Hex(value, "first-byte", &profile.first_byte);
  if (key == "product") {
    profile.product = value;
    return true;
  }
  if (key == "bus-path") {
    if (value.empty() || Words(value).size() != 1) return reader.Fail("bus-path takes one word");
    profile.bus_path = value;
    return true;
  }
  if (key == "eeprom" || key == "counters") {
    if (value.empty()) return reader.Fail(key + " takes a file name");
    (key == "eeprom" ? device->eeprom_file : device->counters_file) = value;
    return true;
  }
  if (key == "real-time") {
    profile.timing.real_time = true;
    return no_value();
  }
  if (key == "fail-writes") {
    const std::vector<std::string> words = Words(value);
    SimWriteFailure failure;
    if (words.size() != 3) return reader.Fail("fail-writes takes nth, count and code");
    if (!reader.Count(words[0], "fail-writes", &failure.nth) ||
        !reader.Count(words[1], "fail-writes", &failure.count) ||
        !reader.Count(words[2], "fail-writes", &failure.code)) {
      return false;
    }
    device->write_failures.push_back(failure);
    return true;
  }
  if (key == "dead-marker") {
    device->dead_marker = true;
    return no_value();
  }
  if (key == "stall") return reader.Count(value, "stall", &device->stalls);
  if (key == "short") {
    const std::vector<std::string> words = Words(value);
    if (words.size() != 3) return reader.Fail("short takes count, bytes moved and requests before");
    return reader.Count(words[0], "short", &device->short_count) &&
           reader.Count(words[1], "short", &device->short_moved) &&
           reader.Count(words[2], "short", &device->short_after);
  }
  if (key == "unplug-after-bytes") {
    return reader.Count(value, "unplug-after-bytes", &device->unplug_after_bytes);
  }
  if (key == "never-complete") return reader.Count(value, "never-complete", &device->never_complete);
  if (key == "write-protect-from") {
    return reader.Count(value, "write-protect-from", &device->write_protect_from);
  }
  if (key == "refuse-open") {
    device->refuse_open = true;
    return no_value();
  }
  if (key == "unplugged") {
    device->unplugged = true;
    return no_value();
  }
  if (key == "attached-while") {
    if (value.empty()) return reader.Fail("attached-while takes a file name");
    device->attached_while = value;
    return true;
  }
  if (key == "reattached-product") {
    device->reattached_product = value;
    return true;
  }
  return reader.Fail("unknown setting '" + key + "'");
}

}  // namespace

bool ParseSimDescription(const std::string& text, std::vector<SimDeviceDescription>* devices,
                         std::string* error) {
  devices->clear();
  std::istringstream stream(text);
  std::string raw;
  int number = 0;
  while (std::getline(stream, raw)) {
    ++number;
    const std::string line = Trim(raw);
    if (line.empty() || line[0] == '#') continue;
    const std::size_t space = line.find_first_of(" \t");
    const std::string key = line.substr(0, space);
    const std::string value = space == std::string::npos ? std::string() : Trim(line.substr(space));
    LineReader reader(number, error);
    if (key == "device") {
      SimDeviceDescription device;
      if (!ParseDevice(value, reader, &device)) return false;
      devices->push_back(std::move(device));
      continue;
    }
    if (devices->empty()) return reader.Fail("'" + key + "' before the first device line");
    if (!ParseSetting(key, value, reader, &devices->back())) return false;
  }
  return true;
}

bool LoadSimDescriptionFromEnvironment(std::vector<SimDeviceDescription>* devices,
                                       std::string* error) {
  devices->clear();
  const char* path = std::getenv("FLASHWRIGHT_USBSIM");
  if (path == nullptr || *path == '\0') return true;
  std::ifstream file(path);
  if (!file) {
    *error = std::string("cannot read ") + path;
    return false;
  }
  const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
  if (!ParseSimDescription(text, devices, error)) {
    *error = std::string(path) + ", " + *error;
    return false;
  }
  return true;
}

bool SetUpSimDevices(const std::vector<SimDeviceDescription>& devices, SimulatedUsbBus* bus,
                     std::string* error) {
  for (const SimDeviceDescription& description : devices) {
    SimulatedUsbDevice& device = bus->AddDevice(description.driver, description.index,
                                                description.profile);
    if (!description.eeprom_file.empty()) {
      std::ifstream file(description.eeprom_file, std::ios::binary);
      if (file) {
        std::vector<std::uint8_t> contents{std::istreambuf_iterator<char>(file),
                                           std::istreambuf_iterator<char>()};
        if (file.bad()) {
          *error = "cannot read " + description.eeprom_file;
          return false;
        }
        if (contents.size() > kEepromSize) {
          *error = description.eeprom_file + " is larger than the EEPROM";
          return false;
        }
        device.SetEeprom(contents);
      }
    }
    for (const SimWriteFailure& failure : description.write_failures) {
      device.FailWrites(failure.nth, failure.count, failure.code);
    }
    if (description.dead_marker) device.AnswerDeadMarker(true);
    if (description.stalls > 0) device.StallVendorRequests(description.stalls);
    if (description.short_count > 0) {
      device.ShortenVendorRequests(description.short_count, description.short_moved,
                                   description.short_after);
    }
    if (description.unplug_after_bytes >= 0) {
      device.UnplugAfterBytes(static_cast<std::uint32_t>(description.unplug_after_bytes));
    }
    if (description.never_complete > 0) device.NeverCompleteRequests(description.never_complete);
    if (description.write_protect_from >= 0) {
      device.WriteProtectFrom(static_cast<std::uint32_t>(description.write_protect_from));
    }
    if (description.refuse_open) device.RefuseOpen(true);
    if (description.unplugged) device.Unplug();
    std::error_code ignored;
    if (!description.attached_while.empty() &&
        !std::filesystem::exists(description.attached_while, ignored)) {
      device.Unplug();
    }
  }
  return true;
}

bool SaveSimDevices(const std::vector<SimDeviceDescription>& devices, SimulatedUsbBus* bus,
                    std::string* error) {
  for (const SimDeviceDescription& description : devices) {
    SimulatedUsbDevice* device = bus->Device(description.driver, description.index);
    if (device == nullptr) continue;
    if (!description.eeprom_file.empty()) {
      const std::vector<std::uint8_t> contents = device->Eeprom();
      std::ofstream file(description.eeprom_file, std::ios::binary | std::ios::trunc);
      file.write(reinterpret_cast<const char*>(contents.data()),
                 static_cast<std::streamsize>(contents.size()));
      if (!file) {
        *error = "cannot write " + description.eeprom_file;
        return false;
      }
    }
    if (!description.counters_file.empty()) {
      const DeviceCounters counters = device->Counters();
      std::ofstream file(description.counters_file, std::ios::trunc);
      file << "vendor_requests " << counters.vendor_requests << "\n"
           << "eeprom_writes " << counters.eeprom_writes << "\n"
           << "eeprom_bytes_written " << counters.eeprom_bytes_written << "\n"
           << "resets " << counters.resets << "\n"
           << "aborts " << counters.aborts << "\n"
           << "opens " << counters.opens << "\n"
           << "open_handles " << counters.open_handles << "\n";
      if (!file) {
        *error = "cannot write " + description.counters_file;
        return false;
      }
    }
  }
  return true;
}

int RunOnSimulatedDevices(const char* program, const std::function<int(SimulatedUsbBus&)>& run) {
  constexpr int kExitBadDescription = 78;
  std::vector<SimDeviceDescription> devices;
  std::string error;
  int status = 0;
  if (LoadSimDescriptionFromEnvironment(&devices, &error)) {
    SimulatedUsbBus bus;
    if (SetUpSimDevices(devices, &bus, &error)) {
      {
        const SimAttachWatcher cables(devices, &bus);
        status = run(bus);
      }
      if (SaveSimDevices(devices, &bus, &error)) return status;
    }
  }
  std::fprintf(stderr, "%s: %s\n", program, error.c_str());
  return kExitBadDescription;
}

}  // namespace flashwright::usbsim
