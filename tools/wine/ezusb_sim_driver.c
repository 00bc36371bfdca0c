/* ezusb_sim.sys: a simulated EZ-USB device as a kernel-mode driver, for the Windows build's
 * tests under Wine. The shipped program reaches it through the real CreateFile and
 * DeviceIoControl, exactly as it reaches a device on Windows:
 *
 *   - as the legacy EZ-USB driver: devices "\Device\EzusbSim-<n>" with the symbolic links
 *     "\DosDevices\Ezusb-<n>", answering the synchronous 0x2220xx requests;
 *   - as the CyUSB driver: a Plug and Play device (root-enumerated, made by ezusb_sim_ctl.exe)
 *     that registers the CyUSB device-interface class and answers the 0x2200xx requests, the
 *     control transfers completing later (the caller sees "pending") as the device would.
 *
 * Behind both is one device: an EZ-USB whose firmware answers the standard descriptor requests
 * and vendor request 0xA2 (bmRequestType 0x40 write, 0xC0 read, wValue = EEPROM address) on a
 * 64 KiB serial EEPROM of the 24LC512 class (128-byte pages, 5 ms per page write, 9 clocks a
 * byte on a 400 kHz I2C bus). The test's own control device "\Device\EzusbSimControl" sets its
 * identity, its EEPROM and the faults it shows (see ezusb_sim_control.h).
 *
 * Wine runs dispatch routines on one thread of its device host; completions of pending
 * requests come from the driver's own completion thread. */
#include <ntddk.h>

#include "ezusb_sim_control.h"

#define EEPROM_SIZE 65536u
#define PAGE_SIZE_BYTES 128u
#define PAGE_WRITE_100NS 50000   /* 5 ms */
#define BYTE_TRANSFER_100NS 225  /* 22.5 us: 9 clocks at 400 kHz */
#define MAX_PENDING 16
#define MAX_LEGACY 32
#define TRANSFER_HEADER 38

/* The request codes the program sends (see platform/usb_driver_requests.h). */
#define EZUSB_GET_DEVICE_DESCRIPTOR 0x222004
#define EZUSB_RESET_PIPE 0x222031
#define EZUSB_GET_STRING_DESCRIPTOR 0x222044
#define EZUSB_VENDOR_REQUEST 0x222059
#define EZUSB_GET_DRIVER_VERSION 0x222074
#define CY_GET_DRIVER_VERSION 0x220000
#define CY_GET_USBDI_VERSION 0x220004
#define CY_GET_ALT_INTERFACE 0x220008
#define CY_GET_ADDRESS 0x220010
#define CY_SEND_EP0_CONTROL 0x220020
#define CY_RESET_PIPE 0x22002C
#define CY_GET_DEVICE_NAME 0x22003C
#define CY_GET_FRIENDLY_NAME 0x220040
#define CY_ABORT_PIPE 0x220044
#define CY_GET_SPEED 0x22004C

#define USBD_STATUS_STALL_PID_VALUE 0xC0000004u
#define USBD_STATUS_DEVICE_GONE_VALUE 0xC0007000u
#define USBD_STATUS_CANCELED_VALUE 0xC0010000u

/* {AE18AA60-7F6A-11D4-97DD-00010229B959} */
static const GUID kCyUsbInterfaceClass = {
    0xAE18AA60, 0x7F6A, 0x11D4, {0x97, 0xDD, 0x00, 0x01, 0x02, 0x29, 0xB9, 0x59}};

enum DeviceKind { KIND_CONTROL = 1, KIND_LEGACY = 2, KIND_CYUSB = 3 };

typedef struct DeviceExtension {
  int kind;
  int index;
  PDEVICE_OBJECT lower;
  UNICODE_STRING interface_link; /* CyUSB: the registered interface */
  BOOLEAN interface_enabled;
} DeviceExtension;

enum Reply { REPLY_DONE, REPLY_STALL, REPLY_GONE, REPLY_FAILED, REPLY_NEVER };

typedef struct Answer {
  enum Reply reply;
  NTSTATUS failure;  /* REPLY_FAILED */
  ULONG moved;       /* data bytes of the data stage */
  LONGLONG cost;     /* modelled time, 100 ns units */
} Answer;

/* CyUSB requests whose completion waits for the device's modelled time, completed in order
 * by the driver's completion thread. */
#define COMPLETION_QUEUE 64
static struct {
  PIRP irp[COMPLETION_QUEUE];
  LONGLONG ready[COMPLETION_QUEUE];
  ULONG head, count;
  KSPIN_LOCK lock;
  KEVENT wake;
  BOOLEAN running;
  BOOLEAN stop;
} completions;

static struct {
  UCHAR eeprom[EEPROM_SIZE];
  EzusbSimProfile profile;
  EzusbSimCounters counters;
  BOOLEAN plugged;
  ULONG fail_from, fail_to, fail_code, write_number;
  ULONG short_left, stall_left, never_left, legacy_limit_ms;
  ULONG short_from, stall_from, never_from; /* 0: any request; else from that write on */
  BOOLEAN dead_marker;
  BOOLEAN unplug_armed;
  ULONG unplug_limit, written_since_armed;
  ULONG protect_from;
  LONGLONG busy_until;
  PIRP pending[MAX_PENDING]; /* never-completing requests, under the cancel spin lock */
  PDEVICE_OBJECT legacy[MAX_LEGACY];
  PDEVICE_OBJECT cyusb;
  PDRIVER_OBJECT driver;
} g;

static LONGLONG Now(void) {
  LARGE_INTEGER now;
  /* Wine's interrupt time counts milliseconds; the system time has the resolution needed. */
  KeQuerySystemTime(&now);
  return now.QuadPart;
}

/* The device works on one request at a time: a request that arrives while it is busy is
 * answered after the one before. Returns when the answer is ready. */
static LONGLONG Occupy(LONGLONG cost) {
  LONGLONG now = Now();
  if (!g.profile.real_time) return now;
  if (g.busy_until < now) g.busy_until = now;
  g.busy_until += cost;
  return g.busy_until;
}

/* Sleeps until `ready`; the last millisecond is spun, since sleeps overshoot. */
static void WaitUntil(LONGLONG ready) {
  for (;;) {
    LONGLONG left = ready - Now();
    if (left <= 0) return;
    if (left > 15000) {
      LARGE_INTEGER delay;
      delay.QuadPart = -(left - 10000);
      KeDelayExecutionThread(KernelMode, FALSE, &delay);
    }
  }
}

static NTSTATUS Win32Status(ULONG code) {
  /* A status of the Win32 facility maps back to the code itself. */
  return (NTSTATUS)(0xC0070000u | (code & 0xFFFFu));
}

/* ---- Descriptors ------------------------------------------------------------------------ */

static ULONG DeviceDescriptor(UCHAR* out) {
  static const UCHAR base[18] = {18, 1, 0x00, 0x02, 0, 0, 0, 64, 0, 0, 0, 0, 0, 0, 1, 2, 3, 1};
  RtlCopyMemory(out, base, sizeof base);
  out[8] = (UCHAR)g.profile.vendor_id;
  out[9] = (UCHAR)(g.profile.vendor_id >> 8);
  out[10] = (UCHAR)g.profile.product_id;
  out[11] = (UCHAR)(g.profile.product_id >> 8);
  out[12] = (UCHAR)g.profile.device_release;
  out[13] = (UCHAR)(g.profile.device_release >> 8);
  return sizeof base;
}

static ULONG ConfigurationDescriptor(UCHAR* out) {
  static const UCHAR config[18] = {9, 2, 18, 0, 1, 1, 0, 0x80, 50,
                                   9, 4, 0, 0, 0, 0xFF, 0, 0, 0};
  RtlCopyMemory(out, config, sizeof config);
  return sizeof config;
}

/* String descriptor `index` into out (room for 256 bytes); 0 when there is none. */
static ULONG StringDescriptor(UCHAR index, UCHAR* out) {
  const char* text = NULL;
  ULONG length = 0;
  if (index == 0) {
    out[0] = 4;
    out[1] = 3;
    out[2] = 0x09;
    out[3] = 0x04;
    return 4;
  }
  if (index == 1) text = g.profile.manufacturer;
  if (index == 2) text = g.profile.product;
  if (index == 3) text = g.profile.serial_number;
  if (text == NULL) return 0;
  while (length < EZUSB_SIM_TEXT_SIZE && text[length] != 0 && 2 + 2 * (length + 1) <= 254) {
    out[2 + 2 * length] = (UCHAR)text[length];
    out[3 + 2 * length] = 0;
    ++length;
  }
  out[0] = (UCHAR)(2 + 2 * length);
  out[1] = 3;
  return 2 + 2 * length;
}

/* ---- The device's firmware: one control request ---------------------------------------- */

static void Unplug(void);

/* Whether a fault that waits for write number `from` (0: for nothing) applies to this request. */
static BOOLEAN Due(ULONG from, BOOLEAN write, ULONG write_number) {
  return from == 0 || (write && write_number >= from);
}

static Answer EepromRequest(UCHAR request_type, USHORT address, USHORT length, UCHAR* data) {
  Answer answer = {REPLY_DONE, 0, 0, 0};
  const BOOLEAN write = request_type == 0x40;
  ULONG write_number = 0;
  if (write && g.unplug_armed && g.written_since_armed + length > g.unplug_limit) {
    Unplug();
    answer.reply = REPLY_GONE;
    return answer;
  }
  ++g.counters.vendor_requests;
  if (write) write_number = ++g.write_number;
  if (g.never_left > 0 && Due(g.never_from, write, write_number)) {
    --g.never_left;
    answer.reply = REPLY_NEVER;
    return answer;
  }
  if (g.stall_left > 0 && Due(g.stall_from, write, write_number)) {
    --g.stall_left;
    answer.reply = REPLY_STALL;
    return answer;
  }
  /* A request that would run past the EEPROM's end is refused whole. */
  if ((ULONG)address + length > EEPROM_SIZE) {
    answer.reply = REPLY_STALL;
    return answer;
  }
  if (write && write_number >= g.fail_from && write_number < g.fail_to) {
    answer.reply = REPLY_FAILED;
    answer.failure = Win32Status(g.fail_code);
    return answer;
  }
  answer.moved = length;
  if (g.short_left > 0 && length > 0 && Due(g.short_from, write, write_number)) {
    --g.short_left;
    answer.moved = length - 1u;
  }
  if (write) {
    ULONG stored = answer.moved;
    if (address + stored > g.protect_from) {
      stored = g.protect_from > address ? g.protect_from - address : 0;
    }
    if (stored > 0) RtlCopyMemory(g.eeprom + address, data, stored);
    if (answer.moved > 0) {
      ULONG first_page = address / PAGE_SIZE_BYTES;
      ULONG last_page = (address + answer.moved - 1u) / PAGE_SIZE_BYTES;
      ++g.counters.eeprom_writes;
      g.counters.eeprom_bytes_written += answer.moved;
      g.written_since_armed += answer.moved;
      answer.cost = (LONGLONG)(last_page - first_page + 1u) * PAGE_WRITE_100NS;
    }
  } else {
    RtlCopyMemory(data, g.eeprom + address, answer.moved);
    if (g.dead_marker && answer.moved >= 1) data[0] = 0xDE;
    if (g.dead_marker && answer.moved >= 2) data[1] = 0xAD;
    g.counters.eeprom_bytes_read += answer.moved;
  }
  answer.cost += (LONGLONG)answer.moved * BYTE_TRANSFER_100NS;
  g.counters.modelled_100ns += (ULONGLONG)answer.cost;
  return answer;
}

/* One control request: the setup packet, and the data stage in `data` (room for `length`). */
static Answer ControlRequest(const UCHAR* setup, UCHAR* data) {
  Answer answer = {REPLY_DONE, 0, 0, 0};
  const UCHAR request_type = setup[0];
  const UCHAR request = setup[1];
  const USHORT value = (USHORT)(setup[2] | setup[3] << 8);
  const USHORT length = (USHORT)(setup[6] | setup[7] << 8);
  UCHAR descriptor[256];
  ULONG size = 0;
  if (!g.plugged) {
    answer.reply = REPLY_GONE;
    return answer;
  }
  if ((request_type == 0x40 || request_type == 0xC0) && request == 0xA2) {
    return EepromRequest(request_type, value, length, data);
  }
  if (request_type != 0x80 || request != 6) {
    answer.reply = REPLY_STALL;
    return answer;
  }
  RtlZeroMemory(descriptor, sizeof descriptor);
  switch (value >> 8) {
    case 1: size = DeviceDescriptor(descriptor); break;
    case 2: size = (value & 0xFF) == 0 ? ConfigurationDescriptor(descriptor) : 0; break;
    case 3: size = StringDescriptor((UCHAR)value, descriptor); break;
    default: break;
  }
  if (size == 0) {
    answer.reply = REPLY_STALL;
    return answer;
  }
  answer.moved = size < length ? size : length;
  RtlCopyMemory(data, descriptor, answer.moved);
  return answer;
}

/* ---- Plugging --------------------------------------------------------------------------- */

static void SetInterface(BOOLEAN on) {
  DeviceExtension* ext;
  if (g.cyusb == NULL) return;
  ext = (DeviceExtension*)g.cyusb->DeviceExtension;
  if (ext->interface_link.Buffer == NULL || ext->interface_enabled == on) return;
  if (NT_SUCCESS(IoSetDeviceInterfaceState(&ext->interface_link, on))) {
    ext->interface_enabled = on;
  }
}

/* The device leaves the bus: every request from now finds it gone, and the CyUSB interface
 * goes (which tells the system's device-change listeners). */
static void Unplug(void) {
  g.plugged = FALSE;
  g.unplug_armed = FALSE;
  g.counters.plugged = 0;
  SetInterface(FALSE);
}

static void Replug(void) {
  g.plugged = TRUE;
  g.counters.plugged = 1;
  SetInterface(TRUE);
}

static void ResetDevice(const EzusbSimProfile* profile) {
  RtlCopyMemory(&g.profile, profile, sizeof *profile);
  g.profile.manufacturer[EZUSB_SIM_TEXT_SIZE - 1] = 0;
  g.profile.product[EZUSB_SIM_TEXT_SIZE - 1] = 0;
  g.profile.serial_number[EZUSB_SIM_TEXT_SIZE - 1] = 0;
  RtlFillMemory(g.eeprom, EEPROM_SIZE, 0xFF);
  g.eeprom[0] = profile->first_byte;
  {
    ULONG opens = g.counters.open_handles;
    ULONG pending = g.counters.pending;
    RtlZeroMemory(&g.counters, sizeof g.counters);
    g.counters.open_handles = opens;
    g.counters.pending = pending;
  }
  g.fail_from = g.fail_to = g.fail_code = g.write_number = 0;
  g.short_left = g.stall_left = g.never_left = 0;
  g.short_from = g.stall_from = g.never_from = 0;
  g.legacy_limit_ms = 200;
  g.dead_marker = FALSE;
  g.unplug_armed = FALSE;
  g.unplug_limit = g.written_since_armed = 0;
  g.protect_from = EEPROM_SIZE;
  g.busy_until = 0;
  Replug();
}

static void DefaultProfile(EzusbSimProfile* profile) {
  static const char manufacturer[] = "Orvane";
  static const char product[] = "Orvane Folio Systems Gate 1.2.3.4";
  static const char serial[] = "0001";
  RtlZeroMemory(profile, sizeof *profile);
  profile->vendor_id = 0x04B4;
  profile->product_id = 0x8613;
  profile->device_release = 0xA001;
  profile->first_byte = 0xC2;
  RtlCopyMemory(profile->manufacturer, manufacturer, sizeof manufacturer);
  RtlCopyMemory(profile->product, product, sizeof product);
  RtlCopyMemory(profile->serial_number, serial, sizeof serial);
  profile->cyusb_driver_version = 0x01020304;
  profile->legacy_driver_version[0] = 1;
  profile->legacy_driver_version[1] = 2;
  profile->legacy_driver_version[2] = 3;
}

/* ---- Completing requests ---------------------------------------------------------------- */

static NTSTATUS Complete(PIRP irp, NTSTATUS status, ULONG_PTR information) {
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = information;
  IoCompleteRequest(irp, IO_NO_INCREMENT);
  return status;
}

static void WriteLe32(UCHAR* at, ULONG value) {
  at[0] = (UCHAR)value;
  at[1] = (UCHAR)(value >> 8);
  at[2] = (UCHAR)(value >> 16);
  at[3] = (UCHAR)(value >> 24);
}

static ULONG ReadLe32(const UCHAR* at) {
  return (ULONG)at[0] | (ULONG)at[1] << 8 | (ULONG)at[2] << 16 | (ULONG)at[3] << 24;
}

/* A transfer block that ends cancelled. */
static void CompleteCancelled(PIRP irp) {
  UCHAR* block = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  if (block != NULL) {
    WriteLe32(block + 14, (ULONG)STATUS_CANCELLED);
    WriteLe32(block + 18, USBD_STATUS_CANCELED_VALUE);
  }
  ++g.counters.cancelled;
  Complete(irp, STATUS_CANCELLED, 0);
}

static VOID NTAPI CancelPending(PDEVICE_OBJECT device, PIRP irp) {
  int i;
  (void)device;
  for (i = 0; i < MAX_PENDING; ++i) {
    if (g.pending[i] == irp) {
      g.pending[i] = NULL;
      --g.counters.pending;
    }
  }
  IoReleaseCancelSpinLock(irp->CancelIrql);
  CompleteCancelled(irp);
}

/* Leaves a request that the device never answers pending until it is cancelled. */
static NTSTATUS PendForever(PIRP irp) {
  KIRQL irql;
  int i;
  IoAcquireCancelSpinLock(&irql);
  for (i = 0; i < MAX_PENDING && g.pending[i] != NULL; ++i) {
  }
  if (i == MAX_PENDING) {
    IoReleaseCancelSpinLock(irql);
    return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
  }
  IoMarkIrpPending(irp);
  g.pending[i] = irp;
  ++g.counters.pending;
  IoSetCancelRoutine(irp, CancelPending);
  if (irp->Cancel && IoSetCancelRoutine(irp, NULL) != NULL) {
    g.pending[i] = NULL;
    --g.counters.pending;
    IoReleaseCancelSpinLock(irql);
    CompleteCancelled(irp);
    return STATUS_PENDING;
  }
  IoReleaseCancelSpinLock(irql);
  return STATUS_PENDING;
}

/* Ends the pending requests (of `file`, or every one when null) as cancelled. */
static void CancelAll(PFILE_OBJECT file) {
  PIRP taken[MAX_PENDING];
  int count = 0;
  int i;
  KIRQL irql;
  IoAcquireCancelSpinLock(&irql);
  for (i = 0; i < MAX_PENDING; ++i) {
    PIRP irp = g.pending[i];
    if (irp == NULL) continue;
    if (file != NULL && IoGetCurrentIrpStackLocation(irp)->FileObject != file) continue;
    if (IoSetCancelRoutine(irp, NULL) == NULL) continue; /* its cancel routine runs */
    g.pending[i] = NULL;
    --g.counters.pending;
    taken[count++] = irp;
  }
  IoReleaseCancelSpinLock(irql);
  for (i = 0; i < count; ++i) CompleteCancelled(taken[i]);
}

static VOID NTAPI CompletionThread(PVOID context) {
  (void)context;
  for (;;) {
    KIRQL irql;
    PIRP irp = NULL;
    LONGLONG ready = 0;
    KeAcquireSpinLock(&completions.lock, &irql);
    if (completions.count > 0) {
      irp = completions.irp[completions.head];
      ready = completions.ready[completions.head];
      completions.head = (completions.head + 1) % COMPLETION_QUEUE;
      --completions.count;
    }
    KeReleaseSpinLock(&completions.lock, irql);
    if (irp != NULL) {
      WaitUntil(ready);
      IoCompleteRequest(irp, IO_NO_INCREMENT);
      continue;
    }
    if (completions.stop) break;
    KeWaitForSingleObject(&completions.wake, Executive, KernelMode, FALSE, NULL);
  }
  PsTerminateSystemThread(STATUS_SUCCESS);
}

/* Completes a CyUSB request (status and count already in its IoStatus) once the device has
 * answered, from the completion thread: the caller sees it pending meanwhile. */
static NTSTATUS CompleteWhenReady(PIRP irp, LONGLONG ready) {
  KIRQL irql;
  BOOLEAN queued = FALSE;
  IoMarkIrpPending(irp);
  KeAcquireSpinLock(&completions.lock, &irql);
  if (completions.running && completions.count < COMPLETION_QUEUE && !completions.stop) {
    const ULONG at = (completions.head + completions.count) % COMPLETION_QUEUE;
    completions.irp[at] = irp;
    completions.ready[at] = ready;
    ++completions.count;
    queued = TRUE;
  }
  KeReleaseSpinLock(&completions.lock, irql);
  if (!queued) {
    /* No room: completed here, late but in order. */
    WaitUntil(ready);
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return STATUS_PENDING;
  }
  KeSetEvent(&completions.wake, IO_NO_INCREMENT, FALSE);
  return STATUS_PENDING;
}

/* ---- The legacy EZ-USB driver ----------------------------------------------------------- */

static NTSTATUS StatusOf(const Answer* answer) {
  switch (answer->reply) {
    case REPLY_DONE: return STATUS_SUCCESS;
    case REPLY_STALL: return STATUS_UNSUCCESSFUL;
    case REPLY_GONE: return STATUS_DEVICE_NOT_CONNECTED;
    case REPLY_FAILED: return answer->failure;
    case REPLY_NEVER: return STATUS_IO_TIMEOUT;
  }
  return STATUS_UNSUCCESSFUL;
}

static NTSTATUS LegacyControl(PIRP irp, PIO_STACK_LOCATION stack) {
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  UCHAR setup[8];
  UCHAR reply[256];
  Answer answer;
  LONGLONG ready;
  RtlZeroMemory(reply, sizeof reply);
  switch (code) {
    case EZUSB_GET_DEVICE_DESCRIPTOR:
    case EZUSB_GET_STRING_DESCRIPTOR: {
      ULONG count;
      if (buffer == NULL || out_size == 0) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      setup[0] = 0x80;
      setup[1] = 6;
      setup[2] = 0;
      setup[3] = 1;
      if (code == EZUSB_GET_STRING_DESCRIPTOR) {
        if (in_size < 4) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        setup[2] = buffer[0];
        setup[3] = 3;
      }
      setup[4] = setup[5] = 0;
      count = out_size < 255 ? out_size : 255;
      setup[6] = (UCHAR)count;
      setup[7] = 0;
      answer = ControlRequest(setup, reply);
      if (answer.reply != REPLY_DONE) return Complete(irp, StatusOf(&answer), 0);
      RtlCopyMemory(buffer, reply, answer.moved);
      return Complete(irp, STATUS_SUCCESS, answer.moved);
    }
    case EZUSB_RESET_PIPE:
      if (!g.plugged) return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
      ++g.counters.resets;
      return Complete(irp, STATUS_SUCCESS, 0);
    case EZUSB_GET_DRIVER_VERSION:
      if (buffer == NULL || out_size < 6) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      buffer[0] = (UCHAR)g.profile.legacy_driver_version[0];
      buffer[1] = (UCHAR)(g.profile.legacy_driver_version[0] >> 8);
      buffer[2] = (UCHAR)g.profile.legacy_driver_version[1];
      buffer[3] = (UCHAR)(g.profile.legacy_driver_version[1] >> 8);
      buffer[4] = (UCHAR)g.profile.legacy_driver_version[2];
      buffer[5] = (UCHAR)(g.profile.legacy_driver_version[2] >> 8);
      return Complete(irp, STATUS_SUCCESS, 6);
    case EZUSB_VENDOR_REQUEST: {
      UCHAR* data = NULL;
      if (buffer == NULL || in_size < 10 || out_size > 0xFFFF) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      if (out_size > 0) {
        if (irp->MdlAddress == NULL) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
        data = (UCHAR*)MmGetSystemAddressForMdlSafe(irp->MdlAddress, NormalPagePriority);
        if (data == NULL) return Complete(irp, STATUS_INSUFFICIENT_RESOURCES, 0);
      }
      setup[0] = (UCHAR)((buffer[0] & 1) << 7 | (buffer[1] & 3) << 5 | (buffer[2] & 0x1F));
      setup[1] = buffer[4];
      setup[2] = buffer[6];
      setup[3] = buffer[7];
      setup[4] = buffer[8];
      setup[5] = buffer[9];
      setup[6] = (UCHAR)out_size;
      setup[7] = (UCHAR)(out_size >> 8);
      answer = ControlRequest(setup, data != NULL ? data : reply);
      if (answer.reply == REPLY_NEVER) {
        /* The driver's own limit ends a request the device never answers. */
        WaitUntil(Now() + (LONGLONG)g.legacy_limit_ms * 10000);
        return Complete(irp, STATUS_IO_TIMEOUT, 0);
      }
      ready = Occupy(answer.cost);
      WaitUntil(ready);
      if (answer.reply != REPLY_DONE) return Complete(irp, StatusOf(&answer), 0);
      return Complete(irp, STATUS_SUCCESS, answer.moved);
    }
    default:
      return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

/* ---- The CyUSB driver ------------------------------------------------------------------- */

/* A query answers exactly its buffer. */
static NTSTATUS CyQuery(PIRP irp, const UCHAR* answer, ULONG size, ULONG out_size) {
  UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  if (buffer == NULL || out_size < size) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
  RtlCopyMemory(buffer, answer, size);
  return Complete(irp, STATUS_SUCCESS, size);
}

static NTSTATUS CyTransfer(PIRP irp, ULONG in_size, ULONG out_size) {
  UCHAR* block = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  ULONG data_offset, data_length, length;
  Answer answer;
  NTSTATUS status;
  ULONG usbd = 0;
  if (block == NULL || in_size < TRANSFER_HEADER || out_size < TRANSFER_HEADER) {
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  data_offset = ReadLe32(block + 30);
  data_length = ReadLe32(block + 34);
  length = (ULONG)(block[6] | block[7] << 8); /* wLength */
  if (data_offset < TRANSFER_HEADER || data_offset > out_size || data_length > out_size - data_offset ||
      length > data_length || data_offset > in_size) {
    return Complete(irp, STATUS_INVALID_PARAMETER, 0);
  }
  answer = ControlRequest(block, block + data_offset);
  if (answer.reply == REPLY_NEVER) return PendForever(irp);
  switch (answer.reply) {
    case REPLY_DONE: status = STATUS_SUCCESS; break;
    case REPLY_STALL: status = STATUS_UNSUCCESSFUL; usbd = USBD_STATUS_STALL_PID_VALUE; break;
    case REPLY_GONE: status = STATUS_DEVICE_NOT_CONNECTED; usbd = USBD_STATUS_DEVICE_GONE_VALUE; break;
    default: status = answer.failure; usbd = USBD_STATUS_CANCELED_VALUE; break;
  }
  WriteLe32(block + 14, status == STATUS_SUCCESS ? 0 : (ULONG)status);
  WriteLe32(block + 18, usbd);
  irp->IoStatus.Status = status;
  irp->IoStatus.Information = status == STATUS_SUCCESS ? data_offset + answer.moved : 0;
  return CompleteWhenReady(irp, Occupy(answer.cost));
}

static NTSTATUS CyControl(PIRP irp, PIO_STACK_LOCATION stack) {
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  UCHAR answer[256];
  RtlZeroMemory(answer, sizeof answer);
  if (code != CY_GET_DRIVER_VERSION && !g.plugged) {
    return Complete(irp, STATUS_DEVICE_NOT_CONNECTED, 0);
  }
  switch (code) {
    case CY_SEND_EP0_CONTROL: return CyTransfer(irp, in_size, out_size);
    case CY_RESET_PIPE:
      if (buffer == NULL || in_size < 1) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      ++g.counters.resets;
      return Complete(irp, STATUS_SUCCESS, 0);
    case CY_ABORT_PIPE:
      if (buffer == NULL || in_size < 1) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      ++g.counters.aborts;
      CancelAll(NULL);
      return Complete(irp, STATUS_SUCCESS, 0);
    case CY_GET_DRIVER_VERSION:
      WriteLe32(answer, g.profile.cyusb_driver_version);
      return CyQuery(irp, answer, 4, out_size);
    case CY_GET_USBDI_VERSION:
      WriteLe32(answer, 0x0200);
      return CyQuery(irp, answer, 4, out_size);
    case CY_GET_ALT_INTERFACE: return CyQuery(irp, answer, 1, out_size);
    case CY_GET_ADDRESS:
      answer[0] = 2;
      return CyQuery(irp, answer, 1, out_size);
    case CY_GET_DEVICE_NAME:
    case CY_GET_FRIENDLY_NAME: {
      const char* name = g.profile.product;
      int i;
      for (i = 0; i < EZUSB_SIM_TEXT_SIZE && name[i] != 0; ++i) answer[i] = (UCHAR)name[i];
      return CyQuery(irp, answer, 256, out_size);
    }
    case CY_GET_SPEED:
      WriteLe32(answer, 2);
      return CyQuery(irp, answer, 4, out_size);
    default: return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

/* ---- The test's control device ---------------------------------------------------------- */

static void SetLegacyDevices(ULONG mask);

static NTSTATUS SimControl(PIRP irp, PIO_STACK_LOCATION stack) {
  const ULONG code = stack->Parameters.DeviceIoControl.IoControlCode;
  const ULONG in_size = stack->Parameters.DeviceIoControl.InputBufferLength;
  const ULONG out_size = stack->Parameters.DeviceIoControl.OutputBufferLength;
  UCHAR* buffer = (UCHAR*)irp->AssociatedIrp.SystemBuffer;
  switch (code) {
    case EZUSB_SIM_RESET:
      if (in_size < sizeof(EzusbSimProfile)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      ResetDevice((const EzusbSimProfile*)buffer);
      return Complete(irp, STATUS_SUCCESS, 0);
    case EZUSB_SIM_WRITE_EEPROM: {
      ULONG address;
      if (in_size < 4) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      address = ReadLe32(buffer);
      if (address > EEPROM_SIZE || in_size - 4 > EEPROM_SIZE - address) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      RtlCopyMemory(g.eeprom + address, buffer + 4, in_size - 4);
      return Complete(irp, STATUS_SUCCESS, 0);
    }
    case EZUSB_SIM_READ_EEPROM: {
      ULONG address, length;
      if (in_size < 8) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      address = ReadLe32(buffer);
      length = ReadLe32(buffer + 4);
      if (address > EEPROM_SIZE || length > EEPROM_SIZE - address || length > out_size) {
        return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      RtlMoveMemory(buffer, g.eeprom + address, length);
      return Complete(irp, STATUS_SUCCESS, length);
    }
    case EZUSB_SIM_SET_FAULT: {
      const EzusbSimFault* fault = (const EzusbSimFault*)buffer;
      if (in_size < sizeof(EzusbSimFault)) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      switch (fault->kind) {
        case EZUSB_SIM_FAULT_FAIL_WRITES:
          g.fail_from = fault->a;
          g.fail_to = fault->a + fault->b;
          g.fail_code = fault->code;
          break;
        case EZUSB_SIM_FAULT_SHORT:
          g.short_left = fault->a;
          g.short_from = fault->from_write;
          break;
        case EZUSB_SIM_FAULT_STALL:
          g.stall_left = fault->a;
          g.stall_from = fault->from_write;
          break;
        case EZUSB_SIM_FAULT_DEAD: g.dead_marker = fault->a != 0; break;
        case EZUSB_SIM_FAULT_NEVER:
          g.never_left = fault->a;
          g.never_from = fault->from_write;
          g.legacy_limit_ms = fault->b != 0 ? fault->b : 200;
          break;
        case EZUSB_SIM_FAULT_UNPLUG_AFTER:
          g.unplug_armed = TRUE;
          g.unplug_limit = fault->a;
          g.written_since_armed = 0;
          break;
        case EZUSB_SIM_FAULT_WRITE_PROTECT: g.protect_from = fault->a; break;
        default: return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      }
      return Complete(irp, STATUS_SUCCESS, 0);
    }
    case EZUSB_SIM_GET_COUNTERS:
      if (out_size < sizeof(EzusbSimCounters)) return Complete(irp, STATUS_BUFFER_TOO_SMALL, 0);
      RtlCopyMemory(buffer, &g.counters, sizeof g.counters);
      return Complete(irp, STATUS_SUCCESS, sizeof g.counters);
    case EZUSB_SIM_SET_LEGACY_DEVICES:
      if (in_size < 4) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      SetLegacyDevices(ReadLe32(buffer));
      return Complete(irp, STATUS_SUCCESS, 0);
    case EZUSB_SIM_SET_PLUGGED:
      if (in_size < 4) return Complete(irp, STATUS_INVALID_PARAMETER, 0);
      if (ReadLe32(buffer) != 0) {
        Replug();
      } else {
        Unplug();
      }
      return Complete(irp, STATUS_SUCCESS, 0);
    default: return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
  }
}

/* ---- Dispatch ----------------------------------------------------------------------------- */

static NTSTATUS NTAPI DispatchControl(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension* ext = (DeviceExtension*)device->DeviceExtension;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  switch (ext->kind) {
    case KIND_CONTROL: return SimControl(irp, stack);
    case KIND_LEGACY: return LegacyControl(irp, stack);
    case KIND_CYUSB: return CyControl(irp, stack);
  }
  return Complete(irp, STATUS_INVALID_DEVICE_REQUEST, 0);
}

static NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension* ext = (DeviceExtension*)device->DeviceExtension;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (ext->kind != KIND_CONTROL) {
    if (stack->MajorFunction == IRP_MJ_CREATE) {
      if (ext->kind == KIND_CYUSB && !g.plugged) {
        return Complete(irp, STATUS_NO_SUCH_DEVICE, 0);
      }
      ++g.counters.opens;
      ++g.counters.open_handles;
    } else if (stack->MajorFunction == IRP_MJ_CLEANUP) {
      /* The handle is going: what it left in flight ends cancelled. */
      CancelAll(stack->FileObject);
    } else if (stack->MajorFunction == IRP_MJ_CLOSE && g.counters.open_handles > 0) {
      --g.counters.open_handles;
    }
  }
  return Complete(irp, STATUS_SUCCESS, 0);
}

/* ---- Devices ------------------------------------------------------------------------------ */

static void MakeName(WCHAR* out, const WCHAR* prefix, int index) {
  int n = 0;
  int digits[4];
  int count = 0;
  while (prefix[n] != 0) {
    out[n] = prefix[n];
    ++n;
  }
  do {
    digits[count++] = index % 10;
    index /= 10;
  } while (index > 0 && count < 4);
  while (count > 0) out[n++] = (WCHAR)(L'0' + digits[--count]);
  out[n] = 0;
}

static NTSTATUS CreateNamedDevice(const WCHAR* name, const WCHAR* link, int kind, int index,
                                  PDEVICE_OBJECT* made) {
  UNICODE_STRING device_name, link_name;
  PDEVICE_OBJECT device;
  DeviceExtension* ext;
  NTSTATUS status;
  RtlInitUnicodeString(&device_name, name);
  RtlInitUnicodeString(&link_name, link);
  status = IoCreateDevice(g.driver, sizeof(DeviceExtension), &device_name, FILE_DEVICE_UNKNOWN,
                          0, FALSE, &device);
  if (!NT_SUCCESS(status)) return status;
  ext = (DeviceExtension*)device->DeviceExtension;
  RtlZeroMemory(ext, sizeof *ext);
  ext->kind = kind;
  ext->index = index;
  status = IoCreateSymbolicLink(&link_name, &device_name);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(device);
    return status;
  }
  device->Flags |= DO_DIRECT_IO;
  device->Flags &= ~DO_DEVICE_INITIALIZING;
  *made = device;
  return STATUS_SUCCESS;
}

static void SetLegacyDevices(ULONG mask) {
  int i;
  for (i = 0; i < MAX_LEGACY; ++i) {
    const BOOLEAN wanted = (mask >> i & 1u) != 0;
    WCHAR name[64], link[64];
    MakeName(name, L"\\Device\\EzusbSim-", i);
    MakeName(link, L"\\DosDevices\\Ezusb-", i);
    if (wanted && g.legacy[i] == NULL) {
      CreateNamedDevice(name, link, KIND_LEGACY, i, &g.legacy[i]);
    } else if (!wanted && g.legacy[i] != NULL) {
      UNICODE_STRING link_name;
      RtlInitUnicodeString(&link_name, link);
      IoDeleteSymbolicLink(&link_name);
      IoDeleteDevice(g.legacy[i]);
      g.legacy[i] = NULL;
    }
  }
}

static NTSTATUS NTAPI AddDevice(PDRIVER_OBJECT driver, PDEVICE_OBJECT pdo) {
  PDEVICE_OBJECT fdo;
  DeviceExtension* ext;
  NTSTATUS status;
  if (g.cyusb != NULL) return STATUS_DEVICE_ALREADY_ATTACHED;
  status = IoCreateDevice(driver, sizeof(DeviceExtension), NULL, FILE_DEVICE_UNKNOWN, 0, FALSE,
                          &fdo);
  if (!NT_SUCCESS(status)) return status;
  ext = (DeviceExtension*)fdo->DeviceExtension;
  RtlZeroMemory(ext, sizeof *ext);
  ext->kind = KIND_CYUSB;
  status = IoRegisterDeviceInterface(pdo, &kCyUsbInterfaceClass, NULL, &ext->interface_link);
  if (!NT_SUCCESS(status)) {
    IoDeleteDevice(fdo);
    return status;
  }
  ext->lower = IoAttachDeviceToDeviceStack(fdo, pdo);
  fdo->Flags &= ~DO_DEVICE_INITIALIZING;
  g.cyusb = fdo;
  return STATUS_SUCCESS;
}

static NTSTATUS NTAPI DispatchPnp(PDEVICE_OBJECT device, PIRP irp) {
  DeviceExtension* ext = (DeviceExtension*)device->DeviceExtension;
  PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
  if (ext->kind != KIND_CYUSB) return Complete(irp, STATUS_NOT_SUPPORTED, 0);
  switch (stack->MinorFunction) {
    case IRP_MN_START_DEVICE:
      if (g.plugged) SetInterface(TRUE);
      return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_SURPRISE_REMOVAL:
      SetInterface(FALSE);
      return Complete(irp, STATUS_SUCCESS, 0);
    case IRP_MN_REMOVE_DEVICE: {
      NTSTATUS status;
      SetInterface(FALSE);
      CancelAll(NULL);
      IoSkipCurrentIrpStackLocation(irp);
      status = ext->lower != NULL ? IoCallDriver(ext->lower, irp)
                                  : Complete(irp, STATUS_SUCCESS, 0);
      if (ext->lower != NULL) IoDetachDevice(ext->lower);
      RtlFreeUnicodeString(&ext->interface_link);
      g.cyusb = NULL;
      IoDeleteDevice(device);
      return status;
    }
    default:
      if (ext->lower == NULL) return Complete(irp, irp->IoStatus.Status, irp->IoStatus.Information);
      IoSkipCurrentIrpStackLocation(irp);
      return IoCallDriver(ext->lower, irp);
  }
}

static VOID NTAPI Unload(PDRIVER_OBJECT driver) {
  UNICODE_STRING link;
  (void)driver;
  completions.stop = TRUE;
  KeSetEvent(&completions.wake, IO_NO_INCREMENT, FALSE);
  CancelAll(NULL);
  SetLegacyDevices(0);
  RtlInitUnicodeString(&link, L"\\DosDevices\\EzusbSimControl");
  IoDeleteSymbolicLink(&link);
  if (driver->DeviceObject != NULL) IoDeleteDevice(driver->DeviceObject);
}

NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT driver, PUNICODE_STRING registry) {
  PDEVICE_OBJECT control;
  EzusbSimProfile profile;
  NTSTATUS status;
  HANDLE thread;
  (void)registry;
  g.driver = driver;
  KeInitializeSpinLock(&completions.lock);
  KeInitializeEvent(&completions.wake, SynchronizationEvent, FALSE);
  if (NT_SUCCESS(PsCreateSystemThread(&thread, THREAD_ALL_ACCESS, NULL, NULL, NULL,
                                      CompletionThread, NULL))) {
    completions.running = TRUE;
    ZwClose(thread);
  }
  DefaultProfile(&profile);
  ResetDevice(&profile);
  driver->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLEANUP] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
  driver->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchControl;
  driver->MajorFunction[IRP_MJ_PNP] = DispatchPnp;
  driver->DriverExtension->AddDevice = AddDevice;
  driver->DriverUnload = Unload;
  status = CreateNamedDevice(L"\\Device\\EzusbSimControl", L"\\DosDevices\\EzusbSimControl",
                             KIND_CONTROL, 0, &control);
  return status;
}
