#include "usb_update/usb_update_engine.h"

#include <algorithm>
#include <cerrno>
#include <limits>
#include <new>
#include <system_error>
#include <utility>

#include "platform/file_folder.h"

namespace flashwright {
namespace {

constexpr std::uint32_t kBlocksPerImage = 32;
constexpr std::uint32_t kLargestBlock = 4096;

// Progress carries 32-bit sizes; an oversized file is refused anyway, so its size only needs
// to stay recognisably large.
std::uint32_t ProgressSize(std::uint64_t size) {
  return static_cast<std::uint32_t>(
      std::min<std::uint64_t>(size, std::numeric_limits<std::uint32_t>::max()));
}

void Report(UsbProgressFunction progress, void* context, std::uint32_t done, std::uint32_t total,
            bool finishing) {
  if (progress != nullptr) progress(context, done, total, finishing);
}

void PostProgress(MessageId message, void* context, std::uint32_t done, std::uint32_t total,
                  bool finishing) {
  if (context == nullptr) return;
  const TargetHandle target = *static_cast<const TargetHandle*>(context);
  if (target == 0) return;
  auto progress = std::make_unique<UsbProgress>();
  progress->done = done;
  progress->total = total;
  progress->finishing = finishing;
  PostRecord(target, message, std::move(progress));
}

// Reads the whole image and checks its size. Sizes that can never be written are refused
// before anything is allocated, so a huge file costs nothing.
UsbError ReadWholeImage(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                        void* context, std::unique_ptr<std::uint8_t[]>* image) {
  if (size == 0) return kUsbEmpty;
  if (size > kUsbMaxImageSize) return kUsbTooLarge;
  if (read == nullptr) return EINVAL;
  image->reset(new (std::nothrow) std::uint8_t[size]);
  if (*image == nullptr) return kUsbNoMemory;
  return read(context, file, 0, static_cast<std::uint32_t>(size), image->get());
}

void PostResult(TargetHandle target, UsbError error, std::uint16_t device_index,
                std::int32_t phase, std::uint32_t bytes_written, const std::string& image_name) {
  auto result = std::make_unique<UsbUpdateResult>();
  result->error = error;
  result->device_index = device_index;
  result->phase = phase;
  result->bytes_written = bytes_written;
  result->image_name = image_name;
  PostRecord(target, UsbUpdateCompleteMessage(), std::move(result));  // frees it without target
}

}  // namespace

MessageId UsbVerifyProgressMessage() {
  static const MessageId id = RegisterPostedMessage(kUsbVerifyProgressMessage);
  return id;
}

MessageId UsbProgramProgressMessage() {
  static const MessageId id = RegisterPostedMessage(kUsbProgramProgressMessage);
  return id;
}

MessageId UsbUpdateCompleteMessage() {
  static const MessageId id = RegisterPostedMessage(kUsbUpdateCompleteMessage);
  return id;
}

void PostVerifyProgress(void* context, std::uint32_t done, std::uint32_t total, bool finishing) {
  PostProgress(UsbVerifyProgressMessage(), context, done, total, finishing);
}

void PostProgramProgress(void* context, std::uint32_t done, std::uint32_t total,
                         bool finishing) {
  PostProgress(UsbProgramProgressMessage(), context, done, total, finishing);
}

std::uint32_t UsbBlockSize(std::uint32_t size) {
  return std::clamp<std::uint32_t>(size / kBlocksPerImage, 1, kLargestBlock);
}

UsbError UsbCheckImage(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                       UsbProgressFunction progress, void* context, std::int32_t* phase,
                       std::uint32_t* bytes) {
  const std::uint32_t total = ProgressSize(size);
  Report(progress, context, 0, total, false);
  std::unique_ptr<std::uint8_t[]> image;
  const UsbError error = ReadWholeImage(file, size, read, context, &image);
  if (error == 0) Report(progress, context, total, total, true);
  *phase = kUsbPhaseCheck;
  *bytes = error == 0 ? total : 0;
  return error;
}

UsbError UsbProgramImage(std::FILE* file, std::uint64_t size, ImageReadFunction read,
                         UsbProgressFunction progress, void* context, std::int32_t* phase,
                         std::uint32_t* bytes) {
  if (!UsbCurrentDeviceIsOpen()) return kUsbNotOpen;
  const std::uint32_t total = ProgressSize(size);
  Report(progress, context, 0, total, false);
  std::unique_ptr<std::uint8_t[]> image;
  UsbError error = ReadWholeImage(file, size, read, context, &image);
  if (error != 0) {
    *phase = kUsbPhaseCheck;
    *bytes = 0;
    return error;
  }

  const std::uint32_t block = UsbBlockSize(total);
  std::uint32_t offset = 0;
  while (offset < total) {
    const std::uint32_t length = std::min(block, total - offset);
    error = UsbEepromWrite(static_cast<std::uint16_t>(offset), image.get() + offset, length);
    if (error != 0) break;
    offset += length;
    Report(progress, context, offset, total, false);
  }
  if (offset == total) Report(progress, context, total, total, true);
  *phase = kUsbPhaseProgram;
  *bytes = offset;
  return error;
}

unsigned UsbUpdateWorker(std::unique_ptr<UsbUpdateRequest> request) {
  if (request == nullptr) return 1;

  UsbError error = 0;
  std::int32_t phase = kUsbPhaseNotChecked;
  std::uint32_t bytes_written = 0;
  void* const context = &request->target;

  error = UsbOpenDevice(request->device_index);
  if (error == 0) {
    std::FILE* file = nullptr;
    std::uint64_t size = 0;
    std::string path;
    if (!BuildUsbImagePath(UsbFirmwareFolder(), request->image_name, &path)) {
      error = ENAMETOOLONG;
    } else {
      error = platform::OpenFileForReading(path.c_str(), &file, &size);
    }

    if (error == 0) {
      std::uint32_t checked = 0;
      PostVerifyProgress(context, 0, ProgressSize(size), false);
      error = UsbCheckImage(file, size, ImageReadFn, PostVerifyProgress, context, &phase,
                            &checked);
    }
    if (error == 0) {
      PostProgramProgress(context, 0, ProgressSize(size), false);
      error = UsbProgramImage(file, size, ImageReadFn, PostProgramProgress, context, &phase,
                              &bytes_written);
    }

    if (file != nullptr) std::fclose(file);
    UsbCloseDevice();
  }

  PostResult(request->target, error, request->device_index, phase, bytes_written,
             request->image_name);
  return 0;
}

int StartUsbUpdateWorker(std::unique_ptr<UsbUpdateRequest> request, std::thread* thread,
                         bool* completion_posted) {
  if (completion_posted != nullptr) *completion_posted = false;
  if (request == nullptr) return EINVAL;
  // The completion of a worker that cannot start is made before the start is tried: when
  // memory is short, the start is what fails, and the front end still needs its completion.
  std::unique_ptr<UsbUpdateResult> failed;
  try {
    failed = std::make_unique<UsbUpdateResult>();
    failed->image_name = request->image_name;
  } catch (const std::bad_alloc&) {
    return ENOMEM;  // nothing posted: the caller completes the run itself
  }
  failed->device_index = request->device_index;
  failed->phase = kUsbPhaseNotChecked;
  const TargetHandle target = request->target;
  int code = 0;
  if (thread != nullptr && thread->joinable()) {
    code = EBUSY;  // assigning over a running thread would end the process
  } else {
    UsbUpdateRequest* handed = request.release();
    try {
      std::thread worker(
          [handed] { UsbUpdateWorker(std::unique_ptr<UsbUpdateRequest>(handed)); });
      if (thread != nullptr) {
        *thread = std::move(worker);
      } else {
        worker.detach();
      }
      return 0;
    } catch (const std::system_error& failure) {
      code = failure.code().value() != 0 ? failure.code().value() : EAGAIN;
    } catch (const std::bad_alloc&) {
      code = ENOMEM;
    }
    // The thread never ran, so the request is still ours.
    request.reset(handed);
  }
  failed->error = code;
  try {
    const bool posted = PostRecord(target, UsbUpdateCompleteMessage(), std::move(failed));
    if (completion_posted != nullptr) *completion_posted = posted;
  } catch (const std::bad_alloc&) {
    // Not posted (the record is freed): the caller completes the run itself.
  }
  return code;
}

}  // namespace flashwright
