// The installer plug-in's one export.
#include "readerprobe/detect_reader.h"

#include <string>

namespace probe = flashwright::probe;
using probe::BeginCall;
using probe::EndCall;
using probe::PushInt;
using probe::PushString;

// The window handle, the host's variables and its extra data are not used.
extern "C" __attribute__((visibility("default"))) void DetectReader(
    void* /*hwnd*/, int string_size, char* /*variables*/, probe::stack_t** stacktop,
    void* /*extra*/) {
  BeginCall(string_size, stacktop);
  std::string service;
  const int search = probe::FindUsbReaderService(&service);
  PushInt(search);
  if (search <= 0) {
    PushString("0");
    PushString("No device!");
    PushString("NA");
    PushInt(0);
    EndCall();
    return;
  }
  std::string friendly_name;
  probe::FindReaderPortName(service, &friendly_name);
  if (friendly_name.empty()) {
    PushString("0");
    PushString("No port!");
    PushString("NA");
    PushInt(0);
    EndCall();
    return;
  }
  const int port = probe::ParsePortNumber(friendly_name);
  PushInt(port);
  if (port <= 0) {
    PushString("No version!");
    PushString("NA");
    PushInt(0);
    EndCall();
    return;
  }
  int version_number = -1;
  std::string version_text, power_text;
  probe::GetReaderInfo(port, &version_text, &power_text, &version_number);
  PushString(version_text);
  PushString(power_text);
  PushInt(version_number);
  EndCall();
}
