#include "platform/usb_driver_requests.h"

namespace flashwright::platform {

void WriteEzusbVendorBlock(const EzusbVendorBlock& block, std::uint8_t out[kEzusbVendorBlockSize]) {
  out[0] = block.direction;
  out[1] = block.request_type;
  out[2] = block.recipient;
  out[3] = 0;
  out[4] = block.request;
  out[5] = 0;
  WriteLe16(out + 6, block.value);
  WriteLe16(out + 8, block.index);
}

EzusbVendorBlock ReadEzusbVendorBlock(const std::uint8_t in[kEzusbVendorBlockSize]) {
  EzusbVendorBlock block;
  block.direction = in[0];
  block.request_type = in[1];
  block.recipient = in[2];
  block.request = in[4];
  block.value = ReadLe16(in + 6);
  block.index = ReadLe16(in + 8);
  return block;
}

void WriteSetupPacket(const SetupPacket& setup, std::uint8_t out[kSetupPacketSize]) {
  out[0] = setup.request_type;
  out[1] = setup.request;
  WriteLe16(out + 2, setup.value);
  WriteLe16(out + 4, setup.index);
  WriteLe16(out + 6, setup.length);
}

SetupPacket ReadSetupPacket(const std::uint8_t in[kSetupPacketSize]) {
  SetupPacket setup;
  setup.request_type = in[0];
  setup.request = in[1];
  setup.value = ReadLe16(in + 2);
  setup.index = ReadLe16(in + 4);
  setup.length = ReadLe16(in + 6);
  return setup;
}

void WriteTransferHeader(const TransferHeader& header, std::uint8_t out[kTransferHeaderSize]) {
  WriteSetupPacket(header.setup, out + kTransferSetupOffset);
  WriteLe32(out + kTransferTimeoutOffset, header.timeout_seconds);
  out[kTransferReservedOffset] = header.reserved;
  out[kTransferEndpointOffset] = header.endpoint;
  WriteLe32(out + kTransferNtStatusOffset, header.nt_status);
  WriteLe32(out + kTransferUsbdStatusOffset, header.usbd_status);
  WriteLe32(out + kTransferIsoOffsetOffset, header.iso_table_offset);
  WriteLe32(out + kTransferIsoLengthOffset, header.iso_table_length);
  WriteLe32(out + kTransferDataOffsetOffset, header.data_offset);
  WriteLe32(out + kTransferDataLengthOffset, header.data_length);
}

TransferHeader ReadTransferHeader(const std::uint8_t in[kTransferHeaderSize]) {
  TransferHeader header;
  header.setup = ReadSetupPacket(in + kTransferSetupOffset);
  header.timeout_seconds = ReadLe32(in + kTransferTimeoutOffset);
  header.reserved = in[kTransferReservedOffset];
  header.endpoint = in[kTransferEndpointOffset];
  header.nt_status = ReadLe32(in + kTransferNtStatusOffset);
  header.usbd_status = ReadLe32(in + kTransferUsbdStatusOffset);
  header.iso_table_offset = ReadLe32(in + kTransferIsoOffsetOffset);
  header.iso_table_length = ReadLe32(in + kTransferIsoLengthOffset);
  header.data_offset = ReadLe32(in + kTransferDataOffsetOffset);
  header.data_length = ReadLe32(in + kTransferDataLengthOffset);
  return header;
}

}  // namespace flashwright::platform
