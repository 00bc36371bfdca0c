// The USB update engine: writes one image into the serial EEPROM of one device on a worker
// thread and reports to whoever shows the update by posting three messages.
//
// An update has a check phase, which reads the whole image and checks its size, and a program
// phase, which writes the image in at most 33 blocks with the EEPROM vendor request. The
// device is not read back. Every worker posts exactly one USB_UPDATECOMPLETE.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>
#include <string>
#include <thread>

#include "platform/posted_messages.h"
#include "usb_update/usb_device.h"
#include "usb_update/usb_image.h"

namespace flashwright {

inline constexpr char kUsbVerifyProgressMessage[] = "USB_VERIFYPROGRESS";    // a UsbProgress
inline constexpr char kUsbProgramProgressMessage[] = "USB_PROGRAMPROGRESS";  // a UsbProgress
inline constexpr char kUsbUpdateCompleteMessage[] = "USB_UPDATECOMPLETE";    // a UsbUpdateResult

// The ids of the three messages (registered on first use, from any thread).
MessageId UsbVerifyProgressMessage();
MessageId UsbProgramProgressMessage();
MessageId UsbUpdateCompleteMessage();

// Where an update ended.
inline constexpr std::int32_t kUsbPhaseCheck = 0;       // the check phase, or the program phase
                                                        // before its first write
inline constexpr std::int32_t kUsbPhaseProgram = 1;     // the program phase's write loop
inline constexpr std::int32_t kUsbPhaseNotChecked = 255;  // the device or the file could not
                                                          // be opened, or the file not sized

// One update, made by the front end and owned by the worker, which frees it when it ends.
struct UsbUpdateRequest {
  TargetHandle target = 0;  // receives every message; 0: nothing is posted
  std::uint16_t device_index = 0;
  std::string image_name;  // without folder and extension
};

// One progress report, posted with USB_VERIFYPROGRESS or USB_PROGRAMPROGRESS.
struct UsbProgress : PostedRecord {
  std::uint32_t done = 0;   // bytes handled so far
  std::uint32_t total = 0;  // image size
  bool finishing = false;   // the last report of a phase that handled the whole image
};

// The outcome of one update, posted once with USB_UPDATECOMPLETE.
struct UsbUpdateResult : PostedRecord {
  UsbError error = 0;
  std::uint16_t device_index = 0;
  std::int32_t phase = kUsbPhaseNotChecked;
  std::uint32_t bytes_written = 0;  // written successfully before any failure
  std::string image_name;
};

// Called at the start of a phase, after each block and once more, finishing, when the whole
// image was handled.
using UsbProgressFunction = void (*)(void* context, std::uint32_t done, std::uint32_t total,
                                     bool finishing);
// Post a UsbProgress to the target that `context` points to (a TargetHandle); nothing when
// the context is null or names no target.
void PostVerifyProgress(void* context, std::uint32_t done, std::uint32_t total, bool finishing);
void PostProgramProgress(void* context, std::uint32_t done, std::uint32_t total,
                         bool finishing);

// The block size of the program phase: size / 32, at least 1 and at most 4096.
std::uint32_t UsbBlockSize(std::uint32_t size);

// The check phase: reads the whole image of `size` bytes and checks its size (0: kUsbEmpty;
// above 65535: kUsbTooLarge, refused before anything is read). `context` goes to both `read`
// and `progress`; `progress` may be null. `*phase` becomes kUsbPhaseCheck; `*bytes` the size
// when the size check passed, else 0.
UsbError UsbCheckImage(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                       UsbProgressFunction progress, void* context, std::int32_t* phase,
                       std::uint32_t* bytes);

// The program phase, on the current device: reads and checks the image as the check phase
// does, then writes it from EEPROM address 0 on in blocks of UsbBlockSize(size). Without a
// current device kUsbNotOpen with the outputs untouched. Otherwise `*phase` is kUsbPhaseCheck
// when it failed before the first write, else kUsbPhaseProgram, and `*bytes` the bytes
// written before any failure. A failed block is not written again.
UsbError UsbProgramImage(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                         UsbProgressFunction progress, void* context, std::int32_t* phase,
                         std::uint32_t* bytes);

// The worker: opens the device, opens the image of UsbFirmwareFolder(), runs both phases,
// closes what it opened and posts the outcome to the request's target. Returns 1 when given
// no request, else 0.
unsigned UsbUpdateWorker(std::unique_ptr<UsbUpdateRequest> request);

// Runs UsbUpdateWorker for `request` on a thread of its own: detached when `thread` is null,
// else handed to the caller, who joins it (a joined worker has ended completely, so nothing of
// it outlives the caller's wait). If no thread can be started (or `thread` still holds one:
// EBUSY; no memory: ENOMEM), the outcome is posted at once with that code (phase 255) and the
// code is returned; else 0. EINVAL, with nothing posted, for no request. When memory is too
// short even for posting the outcome, the code is returned and nothing is posted:
// `*completion_posted` (may be null) tells the caller which, so that every run is completed
// exactly once either way.
int StartUsbUpdateWorker(std::unique_ptr<UsbUpdateRequest> request,
                         std::thread* thread = nullptr, bool* completion_posted = nullptr);

}  // namespace flashwright
