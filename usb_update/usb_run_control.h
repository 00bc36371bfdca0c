// The decisions of a USB update run, made once for the windowed program and the command line:
// whether Begin Update may start an update (and what is said when it may not), the start of
// the update worker, and its completion. Each front end passes what it knows (the selection,
// the control key, the view mode, the markers) and a question function for its own boxes or
// prompts, and shows the message it gets back with its own widgets or terminal text.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "platform/posted_messages.h"
#include "usb_update/usb_compatibility.h"
#include "usb_update/usb_update_engine.h"
#include "usb_update/usb_update_prompt.h"
#include "usb_update/usb_update_texts.h"

namespace flashwright {

namespace usb_texts {
inline constexpr char kDeviceChanged[] =
    "The device on %s changed while the update was being confirmed. Nothing was written; "
    "check the device and start the update again.";
}  // namespace usb_texts

struct UsbRunInputs {
  std::string image_name;       // the selected image; empty when none is selected
  std::size_t image_count = 0;  // images in the firmware folder
  std::string firmware_folder;
  bool advanced = false;        // the basic view tests for an image already on the device
  std::int32_t device = -1;     // the selected device; negative for none
  UsbDeviceInfo device_info;    // what the front end read of it
  bool control_key = false;     // held when the user started: report, do not update
  std::vector<std::string> markers;
  UsbQuestionFunction ask;      // may be null: nothing is asked (as if the user said No)
  // Reads the device at an index again, after the user has answered a question (while a
  // question is open devices may come and go). Null: ReadUsbDevice.
  std::function<UsbDeviceInfo(std::int32_t index)> read_device;
};

enum class UsbBeginStep {
  kNoImage,         // 142 (with the basic view's suffix) or 144: an error
  kNoDevice,        // 159: an error
  kUnknownDevice,   // 158: the product string could not be read; an error
  kReport,          // the control key was held: the check report, neutral
  kNotCompatible,   // 164 with the reason: an error
  kDeviceChanged,   // another device answers at the index after a question: an error
  kAlreadyUpdated,  // 156, in the basic view: a success
  kStart,           // the update may start; the message is 140, neutral
};

struct UsbBeginDecision {
  UsbBeginStep step = UsbBeginStep::kNoImage;
  UsbMessage message;
  UsbConfirmation confirmation;  // filled from the compatibility check on
};

// The steps of Begin Update before anything is started.
UsbBeginDecision BeginUsbUpdate(const UsbRunInputs& inputs);

// Starts the update worker for `device` and `image_name`, posting to `target`, with the thread
// handed to `thread` (null: detached). True when the worker runs or its completion was posted:
// the front end completes the run when that arrives. False when memory was too short even for
// posting a completion: `*failed` (the caller's, so that it needs no memory) is then the
// completion, with the error code and phase 255, that the front end handles at once.
bool StartUsbUpdateRun(TargetHandle target, std::uint16_t device, const std::string& image_name,
                       std::thread* thread, UsbUpdateResult* failed);

// Lets a test fail the allocations of a start one by one: `enter` runs as StartUsbUpdateRun
// begins, `leave` as it returns. Null: nothing runs.
void SetUsbRunStartHooksForTesting(void (*enter)(), void (*leave)());

}  // namespace flashwright
