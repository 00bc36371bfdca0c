// The reader firmware download engine. It checks an image against what the reader reported
// about itself, switches the reader into download mode, sends the image record by record and,
// when asked, resets the reader's configuration afterwards. It runs on a worker thread, posts
// progress notes, and hands the outcome back in the job that started it.
#pragma once

#include <cerrno>
#include <cstdint>
#include <memory>
#include <string>

#include "reader_link/commands.h"
#include "platform/posted_messages.h"
#include "reader_link/frame.h"
#include "reader_update/firmware_source.h"

namespace flashwright {

// The messages of the reader update worker.
inline constexpr char kVerifyProgressMessage[] = "RF_VERIFYPROGRESS";    // a ProgressNote
inline constexpr char kProgramProgressMessage[] = "RF_PROGRAMPROGRESS";  // a ProgressNote
inline constexpr char kUpdateCompleteMessage[] = "RF_UPDATECOMPLETE";    // the UpdateJob

// Where a run ended. During the image check: kPhaseRead when reading the file or a record
// failed, kPhaseSend when a record was refused. During programming: kPhaseRead when the file
// or its first record could not be read, kPhaseEnterDownload when the switch into download
// mode failed, kPhaseReadNext when reading a later record failed, kPhaseSend when sending a
// record failed (also the phase of a finished run).
inline constexpr std::int32_t kPhaseRead = 0;
inline constexpr std::int32_t kPhaseEnterDownload = 1;
inline constexpr std::int32_t kPhaseReadNext = 2;
inline constexpr std::int32_t kPhaseSend = 3;
inline constexpr std::int32_t kPhasePortNotOpen = 255;  // before the reader port was open

// Below this bootloader version (or when it is unknown) the reader has an older bootloader:
// the image may hold only what that bootloader can take.
inline constexpr std::uint16_t kNewBootloaderVersion = 0x0200;
inline constexpr std::uint32_t kOlderBootloaderAddressLimit = 0x7C1C;

// The system's error codes that the engine reports itself.
inline constexpr LinkError kErrorFileNotFound = 2;   // ENOENT
inline constexpr LinkError kErrorInvalidParameter = 22;  // EINVAL: a package that names nothing
// The run was stopped because the program is ending (update_workers.h).
inline constexpr LinkError kErrorRunStopped = ECANCELED;

// One update run: filled by the front end, owned by the worker while it runs, handed back
// with RF_UPDATECOMPLETE (whoever receives it frees it).
struct UpdateJob : PostedRecord {
  TargetHandle target = 0;  // receives progress and completion; 0: the worker frees the job
  std::uint16_t port = 0;
  std::uint16_t bootloader = kBootloaderUnknown;
  std::uint8_t flags = 0;
  bool recover = false;  // the reader already waits for records: no enter-download request,
                         // no bootloader or flags checks
  std::uint8_t reset_selection = 0;  // kTechTagIt | kTechIso; cleared when the reader cannot
                                     // take the reset
  bool run_inline = false;  // a package run calls the image worker directly: no post, no free
  bool is_package = false;
  std::uint16_t range_start = 0;  // part of the progress bar (percent) this image covers
  std::uint16_t range_end = 100;
  std::int32_t image_index = 1;
  std::int32_t image_count = 1;
  std::string base_name;  // the image or package; on failure, the image that failed

  LinkError result = 0;
  bool failed_in_check = false;  // the run ended before programming started
  std::int32_t phase = kPhasePortNotOpen;
  std::uint32_t line = 0;  // 1-based record number at which the run ended
  LinkError reset_result = 0;
};

// Passed as the user value to the check and the download.
struct ProgressContext {
  TargetHandle target = 0;
  std::uint16_t range_start = 0;
  std::uint16_t range_end = 100;
  std::int32_t image_index = 1;
  std::int32_t image_count = 1;
};

// One progress report, posted with RF_VERIFYPROGRESS or RF_PROGRAMPROGRESS.
struct ProgressNote : PostedRecord {
  std::uint16_t range_start = 0;
  std::uint16_t range_end = 0;
  std::int32_t image_index = 0;
  std::int32_t image_count = 0;
  std::uint32_t consumed = 0;
  std::uint32_t total = 0;
  std::uint32_t line = 0;
  std::uint32_t last = 0;  // nonzero for the report of the end-of-file record
};

using ProgressFunction = void (*)(const ProgressContext* context, std::uint32_t consumed,
                                  std::uint32_t total, std::uint32_t line, bool last);
// Post a new ProgressNote copying the context's range, index and count; nothing without a
// target.
void PostVerifyProgress(const ProgressContext* context, std::uint32_t consumed,
                        std::uint32_t total, std::uint32_t line, bool last);
void PostProgramProgress(const ProgressContext* context, std::uint32_t consumed,
                         std::uint32_t total, std::uint32_t line, bool last);

// The ids of the three messages (registered on first use).
MessageId VerifyProgressMessage();
MessageId ProgramProgressMessage();
MessageId UpdateCompleteMessage();

struct PassResult {
  LinkError result = 0;
  std::int32_t phase = kPhaseRead;
  std::uint32_t line = 0;
};

// Checks the whole image without sending anything. `bootloader` and `flags` may be null (the
// recover run passes neither). Progress is reported at the start, for lines 8, 24, 40, ... and
// for the end-of-file record.
PassResult CheckFirmwareImage(const std::uint16_t* bootloader, const std::uint8_t* flags,
                              void* source, std::uint32_t total_size, SourceReadFunction read,
                              ProgressFunction progress, const ProgressContext* context);

// Sends the image to the reader on the open port: the switch into download mode (unless
// `recover`), then every record as it stands, the first one twice, up to the end-of-file
// record.
PassResult DownloadFirmware(void* source, std::uint32_t total_size, bool recover,
                            SourceReadFunction read, ProgressFunction progress,
                            const ProgressContext* context);

// The workers. Each takes the job (unless it is run inline) and returns 0; handed the other
// kind of job, it returns 1 at once and leaves the job with the caller.
unsigned ImageWorker(UpdateJob* job);
unsigned PackageWorker(UpdateJob* job);

// Starts the package or image worker for `job` on a thread of its own (kept track of in
// update_workers.h). The job comes back with RF_UPDATECOMPLETE. If no thread can be started,
// or the program is stopping its workers to end, the job is completed at once with the
// system's error code as its result (failed in check, phase 255); the code is also returned.
int StartUpdateWorker(std::unique_ptr<UpdateJob> job);

}  // namespace flashwright
