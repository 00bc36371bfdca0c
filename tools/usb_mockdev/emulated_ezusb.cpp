#include "tools/usb_mockdev/emulated_ezusb.h"

#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <umockdev.h>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>

namespace flashwright::mockdev {
namespace {

constexpr std::size_t kSetupSize = 8;
constexpr std::uint8_t kVendorRequest = 0xA2;
constexpr std::uint8_t kGetDescriptor = 6;

void Put16(std::vector<std::uint8_t>& bytes, std::uint16_t value) {
  bytes.push_back(static_cast<std::uint8_t>(value));
  bytes.push_back(static_cast<std::uint8_t>(value >> 8));
}

std::vector<std::uint8_t> DeviceDescriptor(const EmulatedDeviceProfile& profile) {
  std::vector<std::uint8_t> d = {18, 1};
  Put16(d, 0x0200);                // bcdUSB
  d.insert(d.end(), {0xFF, 0xFF, 0xFF, 64});  // vendor class, bMaxPacketSize0
  Put16(d, profile.vendor_id);
  Put16(d, profile.product_id);
  Put16(d, profile.device_release);
  d.insert(d.end(), {1, 2, 3, 1});  // string indexes, one configuration
  return d;
}

std::vector<std::uint8_t> ConfigurationDescriptor() {
  std::vector<std::uint8_t> d = {9, 2};
  Put16(d, 9 + 9 + 7 + 7);
  d.insert(d.end(), {1, 1, 0, 0x80, 50});
  d.insert(d.end(), {9, 4, 0, 0, 2, 0xFF, 0xFF, 0xFF, 0});
  d.insert(d.end(), {7, 5, 0x02, 2});
  Put16(d, 512);
  d.push_back(0);
  d.insert(d.end(), {7, 5, 0x86, 2});
  Put16(d, 512);
  d.push_back(0);
  return d;
}

std::vector<std::uint8_t> StringDescriptor(const std::string& text) {
  std::vector<std::uint8_t> d = {static_cast<std::uint8_t>(2 + 2 * text.size()), 3};
  for (const char c : text) Put16(d, static_cast<unsigned char>(c));
  return d;
}

}  // namespace

struct EmulatedEzUsb::Emulation {
  explicit Emulation(const EmulatedDeviceProfile& device_profile)
      : profile(device_profile), eeprom(kEmulatedEepromSize, 0xFF) {
    eeprom[0] = profile.first_byte;
  }

  // Answers one control request; false for a stall. `data` holds the data stage.
  bool Control(const std::uint8_t* setup, std::uint8_t* data, std::uint32_t* actual) {
    const std::uint8_t type = setup[0];
    const std::uint8_t request = setup[1];
    const std::uint16_t value = static_cast<std::uint16_t>(setup[2] | setup[3] << 8);
    const std::uint16_t length = static_cast<std::uint16_t>(setup[6] | setup[7] << 8);
    *actual = 0;
    if (request == kVendorRequest && (type == 0x40 || type == 0xC0)) {
      ++counters.vendor_requests;
      if (stalls > 0) {
        --stalls;
        return false;
      }
      // The firmware checks the range: nothing beyond the EEPROM's end.
      if (static_cast<std::uint32_t>(value) + length > kEmulatedEepromSize) return false;
      std::uint32_t moved = length;
      if (short_after > 0) {
        --short_after;
      } else if (short_left > 0) {
        --short_left;
        moved = std::min<std::uint32_t>(moved, short_moved);
      }
      if (type == 0x40) {
        std::memcpy(eeprom.data() + value, data, moved);
        counters.eeprom_bytes_written += moved;
      } else {
        std::memcpy(data, eeprom.data() + value, moved);
      }
      *actual = moved;
      return true;
    }
    if (type == 0x80 && request == kGetDescriptor) {
      std::vector<std::uint8_t> answer;
      const std::uint8_t index = static_cast<std::uint8_t>(value);
      switch (value >> 8) {
        case 1: answer = DeviceDescriptor(profile); break;
        case 2: answer = ConfigurationDescriptor(); break;
        case 3:
          if (index == 0) answer = {4, 3, 0x09, 0x04};
          if (index == 1) answer = StringDescriptor(profile.manufacturer);
          if (index == 2) answer = StringDescriptor(profile.product);
          if (index == 3) answer = StringDescriptor(profile.serial_number);
          break;
        default: break;
      }
      if (answer.empty()) return false;
      const std::size_t n = std::min<std::size_t>(answer.size(), length);
      std::memcpy(data, answer.data(), n);
      *actual = static_cast<std::uint32_t>(n);
      return true;
    }
    return (type & 0x80) == 0 && length == 0;  // SET_CONFIGURATION and the like
  }

  // True when this vendor write would pass the unplug limit.
  bool UnplugsOn(const std::uint8_t* setup) {
    if (!(setup[0] == 0x40 && setup[1] == kVendorRequest) || !unplug_armed) return false;
    const std::uint16_t length = static_cast<std::uint16_t>(setup[6] | setup[7] << 8);
    if (written_since_arm + length <= unplug_limit) {
      written_since_arm += length;
      return false;
    }
    return true;
  }

  static gboolean HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, gpointer user) {
    return static_cast<Emulation*>(user)->Handle(client) ? TRUE : FALSE;
  }

  bool Handle(UMockdevIoctlClient* client) {
    const gulong request = umockdev_ioctl_client_get_request(client);
    UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
    std::lock_guard<std::mutex> lock(mutex);
    if (unplugged) {
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return true;
    }
    switch (request) {
      case USBDEVFS_GET_CAPABILITIES: {
        UMockdevIoctlData* caps =
            umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
        if (caps == nullptr) break;
        const std::uint32_t none = 0;
        std::memcpy(caps->data, &none, sizeof none);
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
      }
      case USBDEVFS_SUBMITURB: return Submit(client, arg);
      case USBDEVFS_REAPURB:
      case USBDEVFS_REAPURBNDELAY: return Reap(client, arg);
      case USBDEVFS_DISCARDURB: return Discard(client, arg);
      case USBDEVFS_CLAIMINTERFACE:
      case USBDEVFS_RELEASEINTERFACE:
      case USBDEVFS_SETCONFIGURATION:
      case USBDEVFS_CLEAR_HALT:
      case USBDEVFS_RESETEP:
        umockdev_ioctl_client_complete(client, 0, 0);
        return true;
      default: break;
    }
    umockdev_ioctl_client_complete(client, -1, ENOTTY);
    return true;
  }

  bool Submit(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    UMockdevIoctlData* urb_data =
        umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
    if (urb_data == nullptr) {
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return true;
    }
    auto* urb = reinterpret_cast<usbdevfs_urb*>(urb_data->data);
    if (urb->type != USBDEVFS_URB_TYPE_CONTROL ||
        urb->buffer_length < static_cast<int>(kSetupSize)) {
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return true;
    }
    UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
        urb_data, offsetof(usbdevfs_urb, buffer), static_cast<gsize>(urb->buffer_length), nullptr);
    if (buffer == nullptr) {
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return true;
    }
    const std::uint8_t* setup = buffer->data;
    // The data stage must fit the URB's buffer behind the setup packet.
    const std::size_t data_stage = static_cast<std::size_t>(setup[6] | setup[7] << 8);
    if (data_stage > static_cast<std::size_t>(buffer->data_len) - kSetupSize) {
      umockdev_ioctl_client_complete(client, -1, EINVAL);
      return true;
    }
    ++counters.control_requests;
    if (UnplugsOn(setup)) {
      unplugged = true;
      TakeOutOfSysfs();
      umockdev_ioctl_client_complete(client, -1, ENODEV);
      return true;
    }
    const bool vendor = setup[1] == kVendorRequest;
    if (vendor && holds > 0) {
      --holds;
      ++counters.vendor_requests;
      held.push_back(static_cast<UMockdevIoctlData*>(g_object_ref(urb_data)));
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    }
    std::uint32_t actual = 0;
    const bool ok = Control(setup, buffer->data + kSetupSize, &actual);
    urb->status = ok ? 0 : -EPIPE;
    urb->actual_length = static_cast<int>(actual);
    ready.push_back(static_cast<UMockdevIoctlData*>(g_object_ref(urb_data)));
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  }

  bool Reap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    if (ready.empty()) {
      umockdev_ioctl_client_complete(client, -1, EAGAIN);
      return true;
    }
    UMockdevIoctlData* urb_data = ready.front();
    ready.pop_front();
    UMockdevIoctlData* slot = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
    if (slot == nullptr || !umockdev_ioctl_data_set_ptr(slot, 0, urb_data)) {
      g_object_unref(urb_data);
      umockdev_ioctl_client_complete(client, -1, EFAULT);
      return true;
    }
    g_object_unref(urb_data);
    umockdev_ioctl_client_complete(client, 0, 0);
    return true;
  }

  bool Discard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
    gulong address = 0;
    std::memcpy(&address, arg->data, std::min<std::size_t>(sizeof address, arg->data_len));
    for (auto it = held.begin(); it != held.end(); ++it) {
      if ((*it)->client_addr != address) continue;
      auto* urb = reinterpret_cast<usbdevfs_urb*>((*it)->data);
      urb->status = -ENOENT;
      urb->actual_length = 0;
      ready.push_back(*it);
      held.erase(it);
      ++counters.discarded;
      umockdev_ioctl_client_complete(client, 0, 0);
      return true;
    }
    umockdev_ioctl_client_complete(client, -1, EINVAL);
    return true;
  }

  // Under `mutex`. The device node stays, answering ENODEV, as an open node of an unplugged
  // device does; only the listing forgets the device.
  void TakeOutOfSysfs() {
    if (removed || testbed == nullptr) return;
    removed = true;
    umockdev_testbed_remove_device(testbed, sysfs_path.c_str());
  }

  ~Emulation() {
    for (UMockdevIoctlData* data : ready) g_object_unref(data);
    for (UMockdevIoctlData* data : held) g_object_unref(data);
  }

  EmulatedDeviceProfile profile;
  mutable std::mutex mutex;
  std::vector<std::uint8_t> eeprom;
  EmulatedCounters counters;
  std::uint32_t stalls = 0;
  std::uint32_t short_after = 0;
  std::uint32_t short_left = 0;
  std::uint32_t short_moved = 0;
  std::uint32_t holds = 0;
  bool unplug_armed = false;
  std::uint32_t unplug_limit = 0;
  std::uint32_t written_since_arm = 0;
  bool unplugged = false;
  std::deque<UMockdevIoctlData*> ready;
  std::deque<UMockdevIoctlData*> held;
  UMockdevIoctlBase* handler = nullptr;
  UMockdevTestbed* testbed = nullptr;
  std::string sysfs_path;
  bool removed = false;  // taken out of the test bed's sysfs
};

struct UsbTestbed::Impl {
  UMockdevTestbed* testbed = nullptr;
  std::map<std::string, std::string> places;  // the hubs added: port path to sysfs path
};

UsbTestbed::UsbTestbed() : impl_(std::make_unique<Impl>()) {
  impl_->testbed = umockdev_testbed_new();
}

UsbTestbed::~UsbTestbed() {
  for (auto& device : devices_) {
    if (!device->device_path_.empty()) {
      umockdev_testbed_detach_ioctl(impl_->testbed, device->DeviceNode().c_str(), nullptr);
    }
  }
  devices_.clear();
  g_object_unref(impl_->testbed);
}

bool UsbTestbed::Preloaded() {
  const char* preload = std::getenv("LD_PRELOAD");
  return preload != nullptr && std::strstr(preload, "umockdev") != nullptr;
}

std::string UsbTestbed::RootDir() const {
  gchar* root = umockdev_testbed_get_root_dir(impl_->testbed);
  std::string text = root != nullptr ? root : "";
  g_free(root);
  return text;
}

std::vector<std::string> UsbTestbed::ChildEnvironment() const {
  return {"UMOCKDEV_DIR=" + RootDir()};
}

std::vector<std::string> UsbTestbed::WrapChild(const std::vector<std::string>& argv) {
  std::vector<std::string> wrapped = {FW_UMOCKDEV_WRAPPER_PATH};
  wrapped.insert(wrapped.end(), argv.begin(), argv.end());
  return wrapped;
}

EmulatedEzUsb::EmulatedEzUsb(UsbTestbed*, const EmulatedDeviceProfile& profile)
    : profile_(profile), emulation_(std::make_unique<Emulation>(profile)) {}

EmulatedEzUsb::~EmulatedEzUsb() {
  if (emulation_ && emulation_->handler != nullptr) g_object_unref(emulation_->handler);
}


namespace {

// A USB device in the test bed's sysfs, below `parent` (null: at the top), with the attributes
// and descriptors libusb reads when it lists devices. Its path, empty on failure.
std::string AddSysfsDevice(UMockdevTestbed* testbed, const std::string& name, const char* parent,
                           const EmulatedDeviceProfile& profile, const std::string& node) {
  char vendor[8], product[8], release[8], bus[8], address[8];
  std::snprintf(vendor, sizeof vendor, "%04x", profile.vendor_id);
  std::snprintf(product, sizeof product, "%04x", profile.product_id);
  std::snprintf(release, sizeof release, "%04x", profile.device_release);
  std::snprintf(bus, sizeof bus, "%u", profile.bus);
  std::snprintf(address, sizeof address, "%u", profile.address);
  // The kernel ends these attributes with a newline, and gives usb_device nodes major 189.
  const std::string bus_line = std::string(bus) + "\n";
  const std::string address_line = std::string(address) + "\n";
  char dev_number[16];
  std::snprintf(dev_number, sizeof dev_number, "189:%u",
                (profile.bus - 1u) * 128u + profile.address - 1u);
  gchar* path = umockdev_testbed_add_device(
      testbed, "usb", name.c_str(), parent,
      // attributes
      "idVendor", vendor, "idProduct", product, "bcdDevice", release, "busnum", bus_line.c_str(),
      "devnum", address_line.c_str(), "speed", "480\n", "dev", dev_number,
      "bConfigurationValue", "1", "bNumConfigurations", "1",
      "manufacturer", profile.manufacturer.c_str(), "product", profile.product.c_str(), "serial",
      profile.serial_number.c_str(), nullptr,
      // properties
      "DEVNAME", node.c_str(), "DEVTYPE", "usb_device", "BUSNUM", bus, "DEVNUM", address,
      nullptr);
  const std::string added = path != nullptr ? path : "";
  g_free(path);
  if (added.empty()) return added;
  std::vector<std::uint8_t> descriptors = DeviceDescriptor(profile);
  const std::vector<std::uint8_t> configuration = ConfigurationDescriptor();
  descriptors.insert(descriptors.end(), configuration.begin(), configuration.end());
  umockdev_testbed_set_attribute_binary(testbed, added.c_str(), "descriptors", descriptors.data(),
                                        static_cast<gint>(descriptors.size()));
  return added;
}

// The node of a device: /dev/bus/usb/BBB/DDD.
std::string NodeOf(const EmulatedDeviceProfile& profile) {
  char node[64];
  std::snprintf(node, sizeof node, "/dev/bus/usb/%03u/%03u", profile.bus, profile.address);
  return node;
}

// The place of the hub a device at `port_path` hangs from ("1-3" for "1-3.2"); empty for a
// device at a root hub port.
std::string HubOf(const std::string& port_path) {
  const std::size_t dot = port_path.rfind('.');
  return dot == std::string::npos ? std::string() : port_path.substr(0, dot);
}

}  // namespace

std::string EmulatedEzUsb::DeviceNode() const { return NodeOf(profile_); }

void UsbTestbed::AddHub(const std::string& port_path, std::uint8_t address) {
  EmulatedDeviceProfile hub;
  hub.vendor_id = 0x1D6B;  // the kernel's own hubs, never a device the program looks for
  hub.product_id = 0x0002;
  hub.bus = static_cast<std::uint8_t>(std::atoi(port_path.c_str()));
  hub.address = address;
  hub.manufacturer = "Linux";
  hub.product = "Hub";
  const auto parent = impl_->places.find(HubOf(port_path));
  const std::string path =
      AddSysfsDevice(impl_->testbed, port_path,
                     parent == impl_->places.end() ? nullptr : parent->second.c_str(), hub,
                     NodeOf(hub));
  if (!path.empty()) impl_->places[port_path] = path;
}

EmulatedEzUsb& UsbTestbed::AddDevice(const EmulatedDeviceProfile& profile) {
  devices_.push_back(std::unique_ptr<EmulatedEzUsb>(new EmulatedEzUsb(this, profile)));
  EmulatedEzUsb& device = *devices_.back();
  char name[32];
  std::snprintf(name, sizeof name, "%u-%u", profile.bus, profile.address);
  const std::string place = profile.port_path.empty() ? name : profile.port_path;
  const std::string node = device.DeviceNode();
  const auto parent = impl_->places.find(HubOf(place));
  device.device_path_ =
      AddSysfsDevice(impl_->testbed, place,
                     parent == impl_->places.end() ? nullptr : parent->second.c_str(), profile,
                     node);
  device.emulation_->testbed = impl_->testbed;
  device.emulation_->sysfs_path = device.device_path_;

  // The node itself: an empty file in the test bed's /dev, whose requests the attached ioctl
  // handler answers.
  const std::filesystem::path node_file = RootDir() + node;
  std::filesystem::create_directories(node_file.parent_path());
  std::ofstream(node_file).close();

  device.emulation_->handler = umockdev_ioctl_base_new();
  g_signal_connect(device.emulation_->handler, "handle-ioctl",
                   G_CALLBACK(&EmulatedEzUsb::Emulation::HandleIoctl), device.emulation_.get());
  umockdev_testbed_attach_ioctl(impl_->testbed, node.c_str(), device.emulation_->handler, nullptr);
  return device;
}

void UsbTestbed::RemoveDevice(EmulatedEzUsb& device) {
  if (device.device_path_.empty()) return;
  umockdev_testbed_detach_ioctl(impl_->testbed, device.DeviceNode().c_str(), nullptr);
  {
    std::lock_guard<std::mutex> lock(device.emulation_->mutex);
    device.emulation_->unplugged = true;
    device.emulation_->TakeOutOfSysfs();
  }
  device.device_path_.clear();
}

void UsbTestbed::Announce(const EmulatedEzUsb& device, const char* action) {
  if (device.device_path_.empty()) return;
  umockdev_testbed_uevent(impl_->testbed, device.device_path_.c_str(), action);
}

std::vector<std::uint8_t> EmulatedEzUsb::Eeprom() const {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  return emulation_->eeprom;
}

void EmulatedEzUsb::SetEeprom(const std::vector<std::uint8_t>& contents) {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  std::copy_n(contents.begin(), std::min<std::size_t>(contents.size(), kEmulatedEepromSize),
              emulation_->eeprom.begin());
}

EmulatedCounters EmulatedEzUsb::Counters() const {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  return emulation_->counters;
}

void EmulatedEzUsb::ShortenVendorRequests(std::uint32_t count, std::uint32_t moved,
                                          std::uint32_t after) {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  emulation_->short_after = after;
  emulation_->short_left = count;
  emulation_->short_moved = moved;
}

void EmulatedEzUsb::StallVendorRequests(std::uint32_t count) {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  emulation_->stalls = count;
}

void EmulatedEzUsb::UnplugAfterBytes(std::uint32_t bytes) {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  emulation_->unplug_armed = true;
  emulation_->unplug_limit = bytes;
  emulation_->written_since_arm = 0;
}

void EmulatedEzUsb::HoldVendorRequests(std::uint32_t count) {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  emulation_->holds = count;
}

bool EmulatedEzUsb::Unplugged() const {
  std::lock_guard<std::mutex> lock(emulation_->mutex);
  return emulation_->unplugged;
}

}  // namespace flashwright::mockdev
