#include "reader_update/download_engine.h"

#include <cerrno>
#include <cstdint>
#include <vector>

#include "platform/clock.h"
#include "reader_link/transport.h"
#include "reader_update/firmware_folder.h"
#include "reader_update/package_reader.h"
#include "reader_update/update_workers.h"

namespace flashwright {
namespace {

constexpr std::uint32_t kPauseBetweenImagesMs = 100;
constexpr std::uint32_t kProgressEvery = 16;
constexpr std::uint32_t kProgressAt = 8;

bool ReportsProgress(std::uint32_t line, const FirmwareRecord& record) {
  return line % kProgressEvery == kProgressAt || record.type == kRecordEndOfFile;
}

void PostProgress(MessageId message, const ProgressContext* context, std::uint32_t consumed,
                  std::uint32_t total, std::uint32_t line, bool last) {
  if (context == nullptr || context->target == 0) return;
  auto note = std::make_unique<ProgressNote>();
  note->range_start = context->range_start;
  note->range_end = context->range_end;
  note->image_index = context->image_index;
  note->image_count = context->image_count;
  note->consumed = consumed;
  note->total = total;
  note->line = line;
  note->last = last ? 1 : 0;
  PostRecord(context->target, message, std::move(note));
}

void Report(ProgressFunction progress, const ProgressContext* context, std::uint32_t consumed,
            std::uint32_t total, std::uint32_t line, bool last) {
  if (progress != nullptr) progress(context, consumed, total, line, last);
}

// Hands a finished job back: to its target, or freed when there is none.
void CompleteJob(UpdateJob* job) {
  PostRecord(job->target, UpdateCompleteMessage(), std::unique_ptr<PostedRecord>(job));
}

// The size of an image of the firmware folder, or the system's error code.
int ImageSize(const std::string& folder, const std::string& base_name, std::uint64_t* size) {
  std::string path;
  if (!BuildFirmwarePath(folder, base_name, kImageExtension, &path)) return ENAMETOOLONG;
  ImageFile file;
  const int error = file.Open(path.c_str());
  if (error != 0) return error;
  *size = file.Size();
  return 0;
}

}  // namespace

MessageId VerifyProgressMessage() {
  static const MessageId id = RegisterPostedMessage(kVerifyProgressMessage);
  return id;
}

MessageId ProgramProgressMessage() {
  static const MessageId id = RegisterPostedMessage(kProgramProgressMessage);
  return id;
}

MessageId UpdateCompleteMessage() {
  static const MessageId id = RegisterPostedMessage(kUpdateCompleteMessage);
  return id;
}

void PostVerifyProgress(const ProgressContext* context, std::uint32_t consumed,
                        std::uint32_t total, std::uint32_t line, bool last) {
  PostProgress(VerifyProgressMessage(), context, consumed, total, line, last);
}

void PostProgramProgress(const ProgressContext* context, std::uint32_t consumed,
                         std::uint32_t total, std::uint32_t line, bool last) {
  PostProgress(ProgramProgressMessage(), context, consumed, total, line, last);
}

PassResult CheckFirmwareImage(const std::uint16_t* bootloader, const std::uint8_t* flags,
                              void* source, std::uint32_t total_size, SourceReadFunction read,
                              ProgressFunction progress, const ProgressContext* context) {
  Report(progress, context, 0, total_size, 0, false);
  const bool older_bootloader = bootloader != nullptr && (*bootloader == kBootloaderUnknown ||
                                                          *bootloader < kNewBootloaderVersion);
  bool restricted = true;
  std::uint16_t upper_address = 0;

  PassResult pass;
  std::unique_ptr<FirmwareSource> firmware;
  pass.result = FirmwareSource::Create(total_size, source, read, context, &firmware);
  if (pass.result != 0) return pass;

  FirmwareRecord record;
  for (;;) {
    ++pass.line;
    pass.result = firmware->ReadRecord(&record);
    if (pass.result != 0) {
      pass.phase = kPhaseRead;
      break;
    }
    if (ReportsProgress(pass.line, record)) {
      Report(progress, context, firmware->BytesConsumed(), total_size, pass.line,
             record.type == kRecordEndOfFile);
    }
    pass.phase = kPhaseSend;
    if (record.type == kRecordEndOfFile) {
      pass.result = 0;
      break;
    }
    if (record.type == kRecordExtendedLinearAddress) {
      if (older_bootloader || record.count < 2) {
        pass.result = kLinkBadFile;
        break;
      }
      upper_address = static_cast<std::uint16_t>(record.data[0] << 8 | record.data[1]);
      continue;
    }
    if (record.type != kRecordData) {
      pass.result = kLinkBadFile;
      break;
    }
    if (upper_address != 0) continue;

    if (record.address == 0) {
      // The image header; its byte 6, when present, describes the image.
      if (record.count < 6) {
        pass.result = kLinkBadFile;
        break;
      }
      std::uint8_t platform = 0;
      if (record.count >= 8) {
        const std::uint8_t descriptor = record.data[6];
        platform = (descriptor >> 3) & 0x07;
        const std::uint8_t image_class = descriptor >> 6;
        if (image_class == 2) {
          pass.result = kLinkBadFile;
          break;
        }
        if (image_class == 0) {
          restricted = false;
          if (flags == nullptr || (*flags & 0x01) == 0) {
            pass.result = kLinkBadFile;
            break;
          }
        }
      }
      if (flags != nullptr && ((*flags >> 5) & 0x07) != platform) {
        pass.result = kLinkVariantMismatch;
        break;
      }
    }

    if (older_bootloader && restricted) {
      if (record.address == 0) {
        unsigned skip = 0;
        if (record.count >= 2 && record.data[0] == 0x00 && record.data[1] == 0xF0) skip = 2;
        static constexpr std::uint8_t kStart[] = {0x0C, 0xEF, 0x00, 0xF0};
        if (record.count - skip >= 4 &&
            !(record.data[skip] == kStart[0] && record.data[skip + 1] == kStart[1] &&
              record.data[skip + 2] == kStart[2] && record.data[skip + 3] == kStart[3])) {
          pass.result = kLinkBadFile;
          break;
        }
      }
      if (record.address % 8 != 0 ||
          static_cast<std::uint32_t>(record.address) + record.count >
              kOlderBootloaderAddressLimit) {
        pass.result = kLinkBadFile;
        break;
      }
    }
  }
  return pass;
}

PassResult DownloadFirmware(void* source, std::uint32_t total_size, bool recover,
                            SourceReadFunction read, ProgressFunction progress,
                            const ProgressContext* context) {
  Report(progress, context, 0, total_size, 0, false);
  PassResult pass;
  std::unique_ptr<FirmwareSource> firmware;
  pass.result = FirmwareSource::Create(total_size, source, read, context, &firmware);
  if (pass.result != 0) return pass;

  FirmwareRecord record;
  pass.line = 1;
  pass.result = firmware->ReadRecord(&record);
  if (pass.result != 0) return pass;

  if (!recover) {
    pass.phase = kPhaseEnterDownload;
    if (UpdateStopRequested()) {
      pass.result = kErrorRunStopped;
      return pass;
    }
    pass.result = EnterDownloadMode();
    if (pass.result != 0) return pass;
  }

  bool first = true;
  for (;;) {
    if (ReportsProgress(pass.line, record)) {
      Report(progress, context, firmware->BytesConsumed(), total_size, pass.line,
             record.type == kRecordEndOfFile);
    }
    pass.phase = kPhaseSend;
    // The program is ending: the reader is left waiting for this record, as after a broken
    // line, and a recover run continues from there.
    if (UpdateStopRequested()) {
      pass.result = kErrorRunStopped;
      break;
    }
    pass.result = SendRecord(first, record.count, record.address, record.type,
                             record.data.data(), record.checksum);
    first = false;
    if (pass.result != 0 || record.type == kRecordEndOfFile) break;
    pass.phase = kPhaseReadNext;
    ++pass.line;
    pass.result = firmware->ReadRecord(&record);
    if (pass.result != 0) break;
  }
  return pass;
}

unsigned ImageWorker(UpdateJob* job) {
  if (job == nullptr || job->is_package) return 1;

  LinkError result = 0;
  LinkError reset_result = 0;
  std::int32_t phase = kPhasePortNotOpen;
  std::uint32_t line = 0;
  bool failed_in_check = true;
  std::uint8_t reset_selection = job->reset_selection;
  const ProgressContext context{job->target, job->range_start, job->range_end, job->image_index,
                                job->image_count};

  result = UpdateStopRequested() ? kErrorRunStopped : OpenReaderPort(job->port);
  if (result == 0) {
    phase = kPhaseRead;
    std::string path;
    ImageFile file;
    if (!BuildFirmwarePath(FirmwareFolder(), job->base_name, kImageExtension, &path)) {
      result = ENAMETOOLONG;
    } else {
      result = file.Open(path.c_str());
    }
    if (result == 0) {
      const std::uint32_t size = file.Size();
      PostVerifyProgress(&context, 0, size, 0, false);
      const PassResult check = CheckFirmwareImage(
          job->recover ? nullptr : &job->bootloader, job->recover ? nullptr : &job->flags, &file,
          size, ReadImageFile, PostVerifyProgress, &context);
      result = check.result;
      phase = check.phase;
      line = check.line;
      if (result == 0) {
        failed_in_check = false;
        PostProgramProgress(&context, 0, size, 0, false);
        const PassResult download = DownloadFirmware(&file, size, job->recover, ReadImageFile,
                                                     PostProgramProgress, &context);
        result = download.result;
        phase = download.phase;
        line = download.line;
      }
      file.Close();
    }

    if (reset_selection != 0 && result == 0) {
      std::uint32_t version = 0;
      if (ReadReaderVersion(&version, nullptr, nullptr) != 0 || version <= kSettingsVersionFloor) {
        reset_selection = 0;
      } else {
        reset_result = ResetConfiguration(reset_selection);
      }
    }
    CloseReaderPort();
  }

  job->result = result;
  job->failed_in_check = failed_in_check;
  job->phase = phase;
  job->line = line;
  job->reset_result = reset_result;
  job->reset_selection = reset_selection;
  if (job->run_inline) return 0;
  CompleteJob(job);
  return 0;
}

unsigned PackageWorker(UpdateJob* job) {
  if (job == nullptr || !job->is_package) return 1;

  job->failed_in_check = true;
  job->phase = kPhasePortNotOpen;
  job->line = 0;
  job->reset_result = 0;
  LinkError error = 0;

  const std::string folder = FirmwareFolder();
  const std::vector<std::string> images = ReadPackage(folder, job->base_name);
  std::uint64_t total = 0;
  if (images.empty()) {
    error = kErrorInvalidParameter;
    job->phase = kPhaseRead;
  } else {
    // Every image must be there before anything is sent.
    for (const std::string& image : images) {
      std::uint64_t size = 0;
      const int size_error = ImageSize(folder, image, &size);
      if (size_error != 0) {
        error = size_error == ENOENT ? kErrorFileNotFound : size_error;
        job->failed_in_check = true;
        job->phase = kPhaseRead;
        job->base_name = image;
        break;
      }
      total += size;
    }
  }

  std::uint64_t done_before = 0;
  const std::size_t count = images.size();
  for (std::size_t i = 0; i < count && error == 0; ++i) {
    const bool first = i == 0;
    const bool last = i + 1 == count;
    if (!first) {
      if (UpdateStopRequested()) {
        error = kErrorRunStopped;
        job->failed_in_check = true;
        job->phase = kPhasePortNotOpen;
        break;
      }
      platform::SleepMs(kPauseBetweenImagesMs);
      std::uint32_t version = 0;
      error = OpenReaderPort(job->port);
      if (error == 0) {
        error = ReadReaderVersion(&version, &job->bootloader, &job->flags);
        CloseReaderPort();
      }
      if (error != 0) {
        job->failed_in_check = true;
        job->phase = kPhasePortNotOpen;
        break;
      }
    }

    std::uint64_t size = 0;
    const int size_error = ImageSize(folder, images[i], &size);
    if (size_error != 0) {
      error = size_error == ENOENT ? kErrorFileNotFound : size_error;
      job->failed_in_check = true;
      job->phase = kPhaseRead;
      job->line = 0;
      job->base_name = images[i];
      break;
    }

    UpdateJob image_job;
    if (total == 0) {
      image_job.range_start = 0;
      image_job.range_end = 100;
    } else {
      std::uint64_t start = done_before * 100 / total;
      std::uint64_t end = (done_before + size) * 100 / total;
      if (start > 99) start = 99;
      if (end > 99) end = last ? 100 : 99;
      image_job.range_start = static_cast<std::uint16_t>(start);
      image_job.range_end = static_cast<std::uint16_t>(end);
    }
    done_before += size;

    image_job.target = job->target;
    image_job.port = job->port;
    image_job.bootloader = job->bootloader;
    image_job.flags = job->flags;
    image_job.recover = first ? job->recover : false;
    image_job.reset_selection = last ? job->reset_selection : 0;
    image_job.run_inline = true;
    image_job.is_package = false;
    image_job.image_index = static_cast<std::int32_t>(i + 1);
    image_job.image_count = static_cast<std::int32_t>(count);
    image_job.base_name = images[i];
    ImageWorker(&image_job);

    error = image_job.result;
    if (error != 0 || last) {
      job->reset_selection = image_job.reset_selection;
      job->failed_in_check = image_job.failed_in_check;
      job->phase = image_job.phase;
      job->line = image_job.line;
      job->reset_result = image_job.reset_result;
      if (error != 0) job->base_name = image_job.base_name;
    }
  }

  job->result = error;
  CompleteJob(job);
  return 0;
}

}  // namespace flashwright
