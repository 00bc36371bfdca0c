#include "usb_update/usb_device_info.h"

#include "shell/string_table.h"

namespace flashwright {

UsbDeviceReading ReadUsbDevice(std::int32_t index, bool detailed) {
  UsbDeviceReading reading;
  if (index < 0) return reading;
  UsbError code = UsbOpenDevice(static_cast<std::uint16_t>(index));
  if (code == 0) {
    char product[kUsbProductTextSize] = {};
    code = UsbGetProductString(product, sizeof product);
    if (code == 0) {
      reading.info.product_string = product;
      reading.text = product;
      std::uint16_t vendor_id = 0;
      std::uint16_t product_id = 0;
      if (UsbGetIds(&vendor_id, &product_id) == 0) {
        reading.info.vendor_id = vendor_id;
        reading.info.product_id = product_id;
      }
      std::uint8_t first_byte = 0;
      if (UsbReadFirstByte(&first_byte) == 0) reading.info.first_byte = first_byte;
      if (detailed) {
        reading.has_driver_version =
            UsbGetDriverVersion(&reading.driver_major, &reading.driver_minor,
                                &reading.driver_build, &reading.has_revision,
                                &reading.driver_revision) == 0;
        reading.text += kLineBreak;
        reading.text += FormatText(usb_texts::kIdsLine, reading.info.vendor_id,
                                   reading.info.product_id,
                                   static_cast<unsigned short>(reading.info.first_byte));
        if (reading.has_driver_version) {
          reading.text += kLineBreak;
          reading.text += FormatText(usb_texts::kDriverVersion, reading.driver_major,
                                     reading.driver_minor, reading.driver_build);
          if (reading.has_revision) {
            reading.text += FormatText(usb_texts::kDriverRevision, reading.driver_revision);
          }
          reading.text += "]";
        }
      }
    }
    UsbCloseDevice();
  }
  reading.result = code;
  if (code != 0) {
    reading.text = code < -32 ? FormatText(usb_texts::kDeviceError, static_cast<long>(-code - 32))
                              : FormatText(usb_texts::kError, static_cast<long>(code));
  }
  return reading;
}

std::vector<std::uint16_t> ListUsbDevices() {
  std::vector<std::uint16_t> devices;
  for (std::uint16_t index = UsbFindNextDevice(-1); index != kUsbNoDevice;
       index = UsbFindNextDevice(static_cast<std::int16_t>(index))) {
    devices.push_back(index);
  }
  return devices;
}

}  // namespace flashwright
