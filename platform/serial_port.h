// The serial COM port as the reader link needs it: open by COM number, the reader's line
// settings, purge, queued input count, synchronous read and write, error clearing, and a
// bounded wait for input in place of a fixed sleep between looks at the input queue.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace flashwright::platform {

// An open serial device. Every call that fails returns the system's error code (a positive
// value); 0 is success.
class SerialPort {
 public:
  virtual ~SerialPort() = default;

  // Reads the settings in force now and keeps them for RestoreSettings.
  virtual int SaveSettings() = 0;
  // 19200 baud, 8 data bits, no parity, one stop bit, no flow control, bytes passed unchanged,
  // reads that return at once with whatever is queued, writes without time-out; DTR and RTS off.
  virtual int ApplyReaderSettings() = 0;
  // Writes back the settings kept by SaveSettings.
  virtual int RestoreSettings() = 0;

  // Discards everything in the input queue; the output queue is left alone.
  virtual int PurgeInput() = 0;
  // Clears the device's error state and reports the number of bytes waiting to be read.
  virtual int QueuedInput(std::uint32_t* count) = 0;
  virtual void ClearError() = 0;

  // One synchronous read of at most `count` bytes; returns at once with what is queued.
  virtual int Read(std::uint8_t* destination, std::size_t count, std::size_t* got) = 0;
  // One synchronous write; blocks until every byte is taken (or the device fails).
  virtual int Write(const std::uint8_t* bytes, std::size_t count, std::size_t* written) = 0;

  // Waits until input is queued or `timeout_ms` has passed. True when input is waiting.
  virtual bool WaitForInput(int timeout_ms) = 0;
};

// Opens COM `port` for exclusive reading and writing. A port that is absent or in use gives a
// system error code and no object.
int OpenSerialPort(unsigned port, std::unique_ptr<SerialPort>* opened);

// The device name the Windows layer opens: "COM%d" below 10, "\\.\COM%d" from 10 on.
std::string WindowsPortName(unsigned port);

}  // namespace flashwright::platform
