#include "shell/shell_services.h"

namespace flashwright {

namespace {
ShellServices* the_shell = nullptr;
}  // namespace

ShellServices* Shell() { return the_shell; }

void SetShell(ShellServices* shell) { the_shell = shell; }

}  // namespace flashwright
