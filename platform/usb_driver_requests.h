// The requests of the two EZ-USB kernel drivers: control codes and buffer layouts, as the
// program sends them and as a driver layer (the libusb one, the simulated device) decodes them.
// All multi-byte fields are little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

namespace flashwright::platform {

// ---- Legacy EZ-USB driver: devices "\\.\Ezusb-<index>", synchronous requests only.

inline constexpr char kEzusbDeviceNameFormat[] = "\\\\.\\Ezusb-%hd";

inline constexpr std::uint32_t kEzusbGetDeviceDescriptor = 0x222004;  // out: 18 bytes
inline constexpr std::uint32_t kEzusbResetPipe = 0x222031;            // no buffers
inline constexpr std::uint32_t kEzusbGetStringDescriptor = 0x222044;  // in: 4 bytes, out: 256
inline constexpr std::uint32_t kEzusbVendorRequest = 0x222059;        // in: 10-byte block
inline constexpr std::uint32_t kEzusbGetDriverVersion = 0x222074;     // out: 6 bytes

// Input of kEzusbGetStringDescriptor: string index, a zero byte, language ID.
inline constexpr std::size_t kEzusbStringRequestSize = 4;
inline constexpr std::uint16_t kEzusbStringLanguage = 0x001B;
inline constexpr std::uint8_t kProductStringIndex = 2;

// Input of kEzusbVendorRequest; the data to send, or room for the data to receive, is the
// request's output buffer.
inline constexpr std::size_t kEzusbVendorBlockSize = 10;
struct EzusbVendorBlock {
  std::uint8_t direction = 0;     // 0 host to device, 1 device to host
  std::uint8_t request_type = 2;  // 2 vendor
  std::uint8_t recipient = 0;     // 0 device
  std::uint8_t request = 0;
  std::uint16_t value = 0;
  std::uint16_t index = 0;
};
void WriteEzusbVendorBlock(const EzusbVendorBlock& block, std::uint8_t out[kEzusbVendorBlockSize]);
EzusbVendorBlock ReadEzusbVendorBlock(const std::uint8_t in[kEzusbVendorBlockSize]);

// ---- CyUSB driver: members of kCyUsbInterfaceClass, handles opened for overlapped I/O.

inline constexpr std::uint32_t kCyGetDriverVersion = 0x220000;     // 4 bytes
inline constexpr std::uint32_t kCyGetUsbdiVersion = 0x220004;      // 4 bytes
inline constexpr std::uint32_t kCyGetAltInterface = 0x220008;      // 1 byte
inline constexpr std::uint32_t kCyGetAddress = 0x220010;           // 1 byte
inline constexpr std::uint32_t kCySendEp0Control = 0x220020;       // transfer block
inline constexpr std::uint32_t kCyBufferedTransfer = 0x220024;     // transfer block
inline constexpr std::uint32_t kCyResetPipe = 0x22002C;            // 1 byte: endpoint address
inline constexpr std::uint32_t kCyGetDeviceName = 0x22003C;        // 256 bytes
inline constexpr std::uint32_t kCyGetFriendlyName = 0x220040;      // 256 bytes
inline constexpr std::uint32_t kCyAbortPipe = 0x220044;            // 1 byte: endpoint address
inline constexpr std::uint32_t kCyDirectTransfer = 0x22004B;       // transfer block header
inline constexpr std::uint32_t kCyGetSpeed = 0x22004C;             // 4 bytes

// The USB setup packet (USB 2.0, 9.3).
struct SetupPacket {
  std::uint8_t request_type = 0;  // bmRequestType
  std::uint8_t request = 0;       // bRequest
  std::uint16_t value = 0;        // wValue
  std::uint16_t index = 0;        // wIndex
  std::uint16_t length = 0;       // wLength
};
inline constexpr std::size_t kSetupPacketSize = 8;
void WriteSetupPacket(const SetupPacket& setup, std::uint8_t out[kSetupPacketSize]);
SetupPacket ReadSetupPacket(const std::uint8_t in[kSetupPacketSize]);

// The transfer block of the CyUSB driver's transfer requests: a 38-byte header, then (for
// control and buffered transfers) the data. The same block is the request's input and output;
// the driver fills in the status words and the data of an input transfer, and returns the
// header and the data it moved (returned bytes = data offset + data count).
inline constexpr std::size_t kTransferHeaderSize = 38;
inline constexpr std::size_t kTransferSetupOffset = 0;
inline constexpr std::size_t kTransferTimeoutOffset = 8;      // 4 bytes, seconds
inline constexpr std::size_t kTransferReservedOffset = 12;    // 1 byte
inline constexpr std::size_t kTransferEndpointOffset = 13;    // 1 byte
inline constexpr std::size_t kTransferNtStatusOffset = 14;    // 4 bytes
inline constexpr std::size_t kTransferUsbdStatusOffset = 18;  // 4 bytes
inline constexpr std::size_t kTransferIsoOffsetOffset = 22;   // 4 bytes
inline constexpr std::size_t kTransferIsoLengthOffset = 26;   // 4 bytes
inline constexpr std::size_t kTransferDataOffsetOffset = 30;  // 4 bytes
inline constexpr std::size_t kTransferDataLengthOffset = 34;  // 4 bytes

struct TransferHeader {
  SetupPacket setup;
  std::uint32_t timeout_seconds = 0;
  std::uint8_t reserved = 0;
  std::uint8_t endpoint = 0;
  std::uint32_t nt_status = 0;
  std::uint32_t usbd_status = 0;
  std::uint32_t iso_table_offset = 0;
  std::uint32_t iso_table_length = 0;
  std::uint32_t data_offset = 0;
  std::uint32_t data_length = 0;
};
void WriteTransferHeader(const TransferHeader& header, std::uint8_t out[kTransferHeaderSize]);
TransferHeader ReadTransferHeader(const std::uint8_t in[kTransferHeaderSize]);

// Status words a driver puts into a failed transfer's block (the USBD status of a stalled
// endpoint, of a device that is gone, of a cancelled transfer).
inline constexpr std::uint32_t kUsbdStatusStallPid = 0xC0000004;
inline constexpr std::uint32_t kUsbdStatusDeviceGone = 0xC0007000;
inline constexpr std::uint32_t kUsbdStatusCanceled = 0xC0010000;
inline constexpr std::uint32_t kNtStatusUnsuccessful = 0xC0000001;
inline constexpr std::uint32_t kNtStatusCancelled = 0xC0000120;
inline constexpr std::uint32_t kNtStatusNoSuchDevice = 0xC000000E;

// ---- Little-endian helpers.
inline std::uint16_t ReadLe16(const std::uint8_t* bytes) {
  return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}
inline std::uint32_t ReadLe32(const std::uint8_t* bytes) {
  return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
         static_cast<std::uint32_t>(bytes[2]) << 16 | static_cast<std::uint32_t>(bytes[3]) << 24;
}
inline void WriteLe16(std::uint8_t* bytes, std::uint16_t value) {
  bytes[0] = static_cast<std::uint8_t>(value);
  bytes[1] = static_cast<std::uint8_t>(value >> 8);
}
inline void WriteLe32(std::uint8_t* bytes, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace flashwright::platform
