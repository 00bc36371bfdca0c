/* ezusb_sim_ctl.exe: the test's hand on the simulated EZ-USB driver (ezusb_sim.sys) under
 * Wine. Each argument group is one command, run in order:
 *
 *   add-pnp-device                 make the root-enumerated device the CyUSB model serves
 *   reset [key=value...]           a plugged, fault-free device with this identity (keys:
 *                                  vid, pid, release, first, product, manufacturer, serial,
 *                                  realtime, cyversion)
 *   load FILE                      the EEPROM from address 0 takes the file's bytes
 *   save FILE                      the whole EEPROM into the file
 *   fault KIND [A [B [CODE]]] [@N] kinds: fail-writes, short, stall, dead, never, unplug-after,
 *                                  write-protect; @N: from EEPROM write N on (see
 *                                  ezusb_sim_control.h)
 *   legacy MASK                    which "\\.\Ezusb-<n>" exist (bit n)
 *   plugged 0|1                    unplug or replug the device
 *   counters FILE                  the device's counters, one "name value" a line
 *
 * Exit status 0 when every command succeeded, else 1 with the failing command on stderr. */
#include <windows.h>
#include <setupapi.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "ezusb_sim_control.h"

static HANDLE control = INVALID_HANDLE_VALUE;

static int Fail(const char* what) {
  fprintf(stderr, "ezusb_sim_ctl: %s failed (error %lu)\n", what, GetLastError());
  return 0;
}

static int Request(DWORD code, const void* in, DWORD in_size, void* out, DWORD out_size,
                   DWORD* returned, const char* what) {
  DWORD dummy = 0;
  if (control == INVALID_HANDLE_VALUE) {
    control = CreateFileA(EZUSB_SIM_CONTROL_NAME, GENERIC_READ | GENERIC_WRITE,
                          FILE_SHARE_READ | FILE_SHARE_WRITE, NULL, OPEN_EXISTING, 0, NULL);
    if (control == INVALID_HANDLE_VALUE) return Fail("opening the control device");
  }
  if (!DeviceIoControl(control, code, (void*)in, in_size, out, out_size,
                       returned != NULL ? returned : &dummy, NULL)) {
    return Fail(what);
  }
  return 1;
}

static int AddPnpDevice(void) {
  static const GUID system_class = {0x4d36e97d, 0xe325, 0x11ce,
                                    {0xbf, 0xc1, 0x08, 0x00, 0x2b, 0xe1, 0x03, 0x18}};
  static const char hardware_id[] = EZUSB_SIM_HARDWARE_ID "\0";
  static const char service[] = EZUSB_SIM_SERVICE;
  SP_DEVINFO_DATA device;
  HDEVINFO set = SetupDiCreateDeviceInfoList(&system_class, NULL);
  int ok = 0;
  memset(&device, 0, sizeof device);
  device.cbSize = sizeof device;
  if (set == INVALID_HANDLE_VALUE) return Fail("SetupDiCreateDeviceInfoList");
  if (!SetupDiCreateDeviceInfoA(set, "ROOT\\EZUSB_SIM\\0000", &system_class, NULL, NULL, 0,
                                &device)) {
    Fail("SetupDiCreateDeviceInfoA");
  } else if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_HARDWAREID,
                                                (const BYTE*)hardware_id, sizeof hardware_id)) {
    Fail("setting the hardware id");
  } else if (!SetupDiCallClassInstaller(DIF_REGISTERDEVICE, set, &device)) {
    Fail("DIF_REGISTERDEVICE");
  } else if (!SetupDiSetDeviceRegistryPropertyA(set, &device, SPDRP_SERVICE,
                                                (const BYTE*)service, sizeof service)) {
    Fail("setting the service");
  } else {
    ok = 1;
  }
  SetupDiDestroyDeviceInfoList(set);
  return ok;
}

static void Text(char* out, const char* value) {
  strncpy(out, value, EZUSB_SIM_TEXT_SIZE - 1);
  out[EZUSB_SIM_TEXT_SIZE - 1] = 0;
}

/* Consumes the key=value arguments after "reset". */
static int Reset(int argc, char** argv, int* at) {
  EzusbSimProfile profile;
  memset(&profile, 0, sizeof profile);
  profile.vendor_id = 0x04B4;
  profile.product_id = 0x8613;
  profile.device_release = 0xA001;
  profile.first_byte = 0xC2;
  Text(profile.manufacturer, "Orvane");
  Text(profile.product, "Orvane Folio Systems Gate 1.2.3.4");
  Text(profile.serial_number, "0001");
  profile.cyusb_driver_version = 0x01020304;
  profile.legacy_driver_version[0] = 1;
  profile.legacy_driver_version[1] = 2;
  profile.legacy_driver_version[2] = 3;
  while (*at < argc && strchr(argv[*at], '=') != NULL) {
    const char* arg = argv[(*at)++];
    const char* value = strchr(arg, '=') + 1;
    const size_t key = (size_t)(value - 1 - arg);
    if (strncmp(arg, "vid", key) == 0) profile.vendor_id = (uint16_t)strtoul(value, NULL, 16);
    else if (strncmp(arg, "pid", key) == 0) profile.product_id = (uint16_t)strtoul(value, NULL, 16);
    else if (strncmp(arg, "release", key) == 0) profile.device_release = (uint16_t)strtoul(value, NULL, 16);
    else if (strncmp(arg, "first", key) == 0) profile.first_byte = (uint8_t)strtoul(value, NULL, 16);
    else if (strncmp(arg, "realtime", key) == 0) profile.real_time = (uint8_t)atoi(value);
    else if (strncmp(arg, "cyversion", key) == 0) profile.cyusb_driver_version = (uint32_t)strtoul(value, NULL, 16);
    else if (strncmp(arg, "product", key) == 0) Text(profile.product, value);
    else if (strncmp(arg, "manufacturer", key) == 0) Text(profile.manufacturer, value);
    else if (strncmp(arg, "serial", key) == 0) Text(profile.serial_number, value);
    else {
      fprintf(stderr, "ezusb_sim_ctl: unknown setting %s\n", arg);
      return 0;
    }
  }
  return Request(EZUSB_SIM_RESET, &profile, sizeof profile, NULL, 0, NULL, "reset");
}

static int Load(const char* path) {
  static unsigned char buffer[4 + 65536];
  size_t count;
  FILE* file = fopen(path, "rb");
  if (file == NULL) return Fail(path);
  count = fread(buffer + 4, 1, 65536, file);
  fclose(file);
  memset(buffer, 0, 4);
  return Request(EZUSB_SIM_WRITE_EEPROM, buffer, (DWORD)(4 + count), NULL, 0, NULL, "load");
}

static int Save(const char* path) {
  static unsigned char buffer[65536];
  uint32_t range[2] = {0, 65536};
  DWORD returned = 0;
  FILE* file;
  if (!Request(EZUSB_SIM_READ_EEPROM, range, sizeof range, buffer, sizeof buffer, &returned,
               "save")) {
    return 0;
  }
  file = fopen(path, "wb");
  if (file == NULL) return Fail(path);
  fwrite(buffer, 1, returned, file);
  fclose(file);
  return returned == sizeof buffer;
}

static int Fault(int argc, char** argv, int* at) {
  static const char* kinds[] = {"none", "fail-writes", "short", "stall", "dead",
                                "never", "unplug-after", "write-protect"};
  EzusbSimFault fault = {0, 0, 0, 0, 0};
  uint32_t* fields[3] = {&fault.a, &fault.b, &fault.code};
  int i;
  if (*at >= argc) return 0;
  for (i = 0; i < (int)(sizeof kinds / sizeof kinds[0]); ++i) {
    if (strcmp(argv[*at], kinds[i]) == 0) fault.kind = (uint32_t)i;
  }
  if (fault.kind == 0) {
    fprintf(stderr, "ezusb_sim_ctl: unknown fault %s\n", argv[*at]);
    return 0;
  }
  ++*at;
  for (i = 0; i < 3 && *at < argc && argv[*at][0] >= '0' && argv[*at][0] <= '9'; ++i) {
    *fields[i] = (uint32_t)strtoul(argv[(*at)++], NULL, 0);
  }
  if (*at < argc && argv[*at][0] == '@') fault.from_write = (uint32_t)strtoul(argv[(*at)++] + 1, NULL, 0);
  return Request(EZUSB_SIM_SET_FAULT, &fault, sizeof fault, NULL, 0, NULL, "fault");
}

static int Counters(const char* path) {
  EzusbSimCounters c;
  DWORD returned = 0;
  FILE* file;
  if (!Request(EZUSB_SIM_GET_COUNTERS, NULL, 0, &c, sizeof c, &returned, "counters")) return 0;
  file = fopen(path, "wb");
  if (file == NULL) return Fail(path);
  fprintf(file,
          "vendor_requests %u\neeprom_writes %u\neeprom_bytes_written %u\n"
          "eeprom_bytes_read %u\nresets %u\naborts %u\ncancelled %u\nopens %u\n"
          "open_handles %u\nplugged %u\npending %u\nmodelled_us %llu\n",
          c.vendor_requests, c.eeprom_writes, c.eeprom_bytes_written, c.eeprom_bytes_read,
          c.resets, c.aborts, c.cancelled, c.opens, c.open_handles, c.plugged, c.pending,
          (unsigned long long)(c.modelled_100ns / 10));
  fclose(file);
  return 1;
}

static int Number(int argc, char** argv, int* at, DWORD code, const char* what) {
  uint32_t value;
  if (*at >= argc) return 0;
  value = (uint32_t)strtoul(argv[(*at)++], NULL, 0);
  return Request(code, &value, sizeof value, NULL, 0, NULL, what);
}

int main(int argc, char** argv) {
  int at = 1;
  while (at < argc) {
    const char* command = argv[at++];
    int ok;
    if (strcmp(command, "add-pnp-device") == 0) ok = AddPnpDevice();
    else if (strcmp(command, "reset") == 0) ok = Reset(argc, argv, &at);
    else if (strcmp(command, "load") == 0) ok = at < argc && Load(argv[at++]);
    else if (strcmp(command, "save") == 0) ok = at < argc && Save(argv[at++]);
    else if (strcmp(command, "fault") == 0) ok = Fault(argc, argv, &at);
    else if (strcmp(command, "legacy") == 0) ok = Number(argc, argv, &at, EZUSB_SIM_SET_LEGACY_DEVICES, "legacy");
    else if (strcmp(command, "plugged") == 0) ok = Number(argc, argv, &at, EZUSB_SIM_SET_PLUGGED, "plugged");
    else if (strcmp(command, "counters") == 0) ok = at < argc && Counters(argv[at++]);
    else {
      fprintf(stderr, "ezusb_sim_ctl: unknown command %s\n", command);
      ok = 0;
    }
    if (!ok) {
      fprintf(stderr, "ezusb_sim_ctl: %s did not succeed\n", command);
      return 1;
    }
  }
  return 0;
}
