/* The control requests of the simulated EZ-USB kernel driver (ezusb_sim.sys): how a test sets
 * up the device the shipped program is then run against, and reads back what it did. The
 * requests go to the driver's control device "\\.\EzusbSimControl"; they are the test's side
 * of the simulator and never reach the program under test. C, for the driver, and C++ alike.
 * Every field is little-endian, as the machine is. */
#ifndef FLASHWRIGHT_TOOLS_WINE_EZUSB_SIM_CONTROL_H
#define FLASHWRIGHT_TOOLS_WINE_EZUSB_SIM_CONTROL_H

#include <stdint.h>

#define EZUSB_SIM_CONTROL_NAME "\\\\.\\EzusbSimControl"
#define EZUSB_SIM_SERVICE "ezusb_sim"
#define EZUSB_SIM_HARDWARE_ID "ROOT\\EZUSB_SIM"

/* CTL_CODE(FILE_DEVICE_UNKNOWN, 0x900 + n, METHOD_BUFFERED, FILE_ANY_ACCESS) */
#define EZUSB_SIM_CODE(n) (0x00220000u | ((0x900u + (n)) << 2))

/* in: EzusbSimProfile. Puts the device back to a plugged, fault-free state with the given
 * identity: counters zero, the EEPROM all 0xFF but byte 0 = first_byte. */
#define EZUSB_SIM_RESET EZUSB_SIM_CODE(0)
/* in: a 32-bit address, then the bytes to store there. */
#define EZUSB_SIM_WRITE_EEPROM EZUSB_SIM_CODE(1)
/* in: 32-bit address and length; out: that many bytes. */
#define EZUSB_SIM_READ_EEPROM EZUSB_SIM_CODE(2)
/* in: EzusbSimFault. */
#define EZUSB_SIM_SET_FAULT EZUSB_SIM_CODE(3)
/* out: EzusbSimCounters. */
#define EZUSB_SIM_GET_COUNTERS EZUSB_SIM_CODE(4)
/* in: 32-bit mask; bit n set: the legacy driver's device "\\.\Ezusb-n" exists (n < 32). */
#define EZUSB_SIM_SET_LEGACY_DEVICES EZUSB_SIM_CODE(5)
/* in: 32-bit 0 or 1: the CyUSB device's interface is disabled (unplugged) or enabled. */
#define EZUSB_SIM_SET_PLUGGED EZUSB_SIM_CODE(6)

#define EZUSB_SIM_TEXT_SIZE 64

typedef struct EzusbSimProfile {
  uint16_t vendor_id;
  uint16_t product_id;
  uint16_t device_release;
  uint8_t first_byte;
  uint8_t real_time; /* 1: requests take the EEPROM's and I2C bus's modelled time */
  char manufacturer[EZUSB_SIM_TEXT_SIZE];
  char product[EZUSB_SIM_TEXT_SIZE];
  char serial_number[EZUSB_SIM_TEXT_SIZE];
  uint32_t cyusb_driver_version; /* major, minor, build, revision, most significant first */
  uint16_t legacy_driver_version[3];
  uint16_t reserved;
} EzusbSimProfile;

enum EzusbSimFaultKind {
  EZUSB_SIM_FAULT_NONE = 0,
  /* EEPROM write request number a (counted from 1 since the reset) and the b - 1 after it fail with
   * system error code `code`; nothing of them is stored. */
  EZUSB_SIM_FAULT_FAIL_WRITES = 1,
  /* The next a vendor requests move one byte less than asked and say they succeeded. */
  EZUSB_SIM_FAULT_SHORT = 2,
  /* The next a vendor requests stall. */
  EZUSB_SIM_FAULT_STALL = 3,
  /* Reads answer data beginning DE AD while a is 1. */
  EZUSB_SIM_FAULT_DEAD = 4,
  /* The next a vendor requests never complete: CyUSB requests until cancelled or aborted,
   * legacy requests until the driver's own limit of b milliseconds (200 when 0), when they fail
   * with the system's time-out code. */
  EZUSB_SIM_FAULT_NEVER = 5,
  /* The device is gone once a write would take the bytes written from now beyond a. */
  EZUSB_SIM_FAULT_UNPLUG_AFTER = 6,
  /* From address a on, writes are acknowledged but not stored. */
  EZUSB_SIM_FAULT_WRITE_PROTECT = 7
};

typedef struct EzusbSimFault {
  uint32_t kind;
  uint32_t a;
  uint32_t b;
  uint32_t code;
  /* Short, stall and never: when not 0, they wait for EEPROM write request number
   * from_write (counted from 1 since the reset) and then take write requests only. */
  uint32_t from_write;
} EzusbSimFault;

typedef struct EzusbSimCounters {
  uint32_t vendor_requests; /* 0xA2 requests that reached the device */
  uint32_t eeprom_writes;   /* 0xA2 writes that stored bytes */
  uint32_t eeprom_bytes_written;
  uint32_t eeprom_bytes_read;
  uint32_t resets;
  uint32_t aborts;
  uint32_t cancelled; /* requests that ended cancelled */
  uint32_t opens;
  uint32_t open_handles;
  uint32_t plugged;
  uint32_t pending; /* requests in flight now */
  uint32_t reserved;
  uint64_t modelled_100ns; /* time the EEPROM and its bus took, in 100 ns units */
} EzusbSimCounters;

#endif
