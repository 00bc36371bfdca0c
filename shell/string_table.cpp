#include "shell/string_table.h"

#include <cstdarg>
#include <cstdio>
#include <iterator>

namespace flashwright {
namespace {

struct StringEntry {
  int id;
  const char* text;
};

constexpr StringEntry kStrings[] = {
    {129, "Press Begin Update to start firmware update."},
    {130, "Reader firmware on COM %d already updated."},
    {131, "Reader firmware on COM %d successfully updated."},
    {132, "No reader found."},
    {133, "Cannot update reader firmware on COM %d. The reader version is %s."},
    {134, "Reader update on COM %d failed. Check reader power and serial cables."},
    {136, "Firmware file %s not found. Check firmware directory at %s."},
    {137, "No reader found on COM %d. Select a different COM port%s."},
    {138, "Contact service."},
    {139, " using Advanced View"},
    {140, "Firmware update in progress...DO NOT POWER OFF THE DEVICE..."},
    {141, "Cannot detect reader on COM %d. Exit other applications and try again."},
    {142, "Select a firmware file%s."},
    {143, "Select a COM port%s."},
    {144, "No firmware files. Check firmware directory at %s."},
    {145, "COM %d does not exist. Select a different COM port%s."},
    {146, "Update error."},
    {147, "File error. File %s or directory %s may be invalid or damaged."},
    {148, "Reader response error. Reader may not support firmware update."},
    {149, "Try again?"},
    {150, "Update failed. File error. Check firmware file %s in directory %s."},
    {151, "Before trying again, reset power on device and select Tools: Recover from Download "
          "Error%s."},
    {152, "Reset configuration (%s) returned error %ld."},
    {153, "Reader may not support the command."},
    {154, "Reset configuration (%s) successful."},
    {155, "Updating reader firmware on COM %d is not allowed. The reader version is %s."},
    {156, "Firmware on %s already updated."},
    {157, "Firmware on %s successfully updated. Detach USB cable, reset power on device, and "
          "then re-attach USB cable."},
    {158, "Unknown device on %s. Select a different device."},
    {159, "No USB devices found. Check USB and power cables or install driver."},
    {163, "Response error. Device may not support firmware update."},
    {164, "Device is not compatible with firmware file."},
    {165, "Verify file error. Firmware file %s may not be supported by the reader."},
    {166, "RESET POWER ON READER."},
    {167, "Verify platform error. Firmware file %s is not compatible with the reader."},
    {57344, "Flashwright"},
};

std::string FormatList(const char* format, std::va_list args) {
  std::va_list measure;
  va_copy(measure, args);
  const int size = std::vsnprintf(nullptr, 0, format, measure);
  va_end(measure);
  if (size <= 0) return {};
  std::string text(static_cast<std::size_t>(size), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

}  // namespace

const char* LoadString(int id) {
  for (const StringEntry& entry : kStrings) {
    if (entry.id == id) return entry.text;
  }
  return "";
}

std::string FormatString(int id, ...) {
  std::va_list args;
  va_start(args, id);
  std::string text = FormatList(LoadString(id), args);
  va_end(args);
  return text;
}

std::string FormatText(const char* format, ...) {
  std::va_list args;
  va_start(args, format);
  std::string text = FormatList(format, args);
  va_end(args);
  return text;
}

}  // namespace flashwright
