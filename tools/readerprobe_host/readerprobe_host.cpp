// Loads the readerprobe plug-in and calls DetectReader the way an installer script does, then
// pops the five results off the string stack and prints them.
//
//   readerprobe-host [--string-size N] [path/to/readerprobe.so]
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "readerprobe/probe_stack.h"

namespace {

using flashwright::probe::DetectReaderFunction;
using flashwright::probe::stack_t;

// What each popped entry is, in the order the host pops them.
constexpr const char* kPopped[] = {"version number", "power text", "version text", "COM port",
                                   "device search"};

int Usage() {
  std::fprintf(stderr,
               "usage: readerprobe-host [--string-size N] [MODULE]\n"
               "  Calls DetectReader of MODULE (default: readerprobe.so of this build) and\n"
               "  prints the five values it pushed, in the order they are popped.\n");
  return 2;
}

bool Exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

// The module of the build this program belongs to: <build>/readerprobe/readerprobe.so, or one
// lying beside the program.
std::string DefaultModule() {
  char self[PATH_MAX];
  ssize_t length = ::readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return "readerprobe.so";
  std::string folder(self, static_cast<std::size_t>(length));
  folder.erase(folder.rfind('/'));
  for (const std::string& candidate :
       {folder + "/../../readerprobe/readerprobe.so", folder + "/readerprobe.so"}) {
    if (Exists(candidate)) return candidate;
  }
  return folder + "/readerprobe.so";
}

// Control characters are shown as escapes, so the multi-line version text stays on one line.
std::string Printable(const char* text) {
  std::string out;
  for (const char* c = text; *c != '\0'; ++c) {
    switch (*c) {
      case '\r': out += "\\r"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      default:
        if (static_cast<unsigned char>(*c) < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\x%02x", static_cast<unsigned char>(*c));
          out += escaped;
        } else {
          out += *c;
        }
    }
  }
  return out;
}

}  // namespace

int main(int argc, char** argv) {
  int string_size = 1024;
  std::string module;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--string-size" && i + 1 < argc) {
      char* end = nullptr;
      long value = std::strtol(argv[++i], &end, 10);
      if (*end != '\0' || value < 1 || value > 1 << 20) return Usage();
      string_size = static_cast<int>(value);
    } else if (argument == "--help" || argument == "-h" || argument.rfind("--", 0) == 0 ||
               !module.empty()) {
      return Usage();
    } else {
      module = argument;
    }
  }
  if (module.empty()) module = DefaultModule();

  void* library = ::dlopen(module.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (library == nullptr) {
    std::fprintf(stderr, "readerprobe-host: cannot load %s: %s\n", module.c_str(), ::dlerror());
    return 2;
  }
  auto detect = reinterpret_cast<DetectReaderFunction>(
      ::dlsym(library, flashwright::probe::kDetectReaderSymbol));
  if (detect == nullptr) {
    std::fprintf(stderr, "readerprobe-host: %s has no DetectReader\n", module.c_str());
    ::dlclose(library);
    return 2;
  }

  char variables[1] = {};
  stack_t* top = nullptr;
  detect(nullptr, string_size, variables, &top, nullptr);

  int popped = 0;
  while (top != nullptr) {
    stack_t* entry = top;
    top = entry->next;
    const char* what = popped < 5 ? kPopped[popped] : "unexpected entry";
    std::printf("pop %d (%s): %s\n", popped + 1, what, Printable(entry->text).c_str());
    std::free(entry);
    ++popped;
  }
  ::dlclose(library);
  if (popped != 5) {
    std::fprintf(stderr, "readerprobe-host: %d values were pushed, not 5\n", popped);
    return 1;
  }
  return 0;
}
