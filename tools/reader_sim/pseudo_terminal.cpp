#include "tools/reader_sim/pseudo_terminal.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <utility>

namespace flashwright::sim {

PseudoTerminal::PseudoTerminal(PseudoTerminal&& other) noexcept
    : master_(std::exchange(other.master_, -1)),
      slave_(std::exchange(other.slave_, -1)),
      slave_path_(std::move(other.slave_path_)) {}

PseudoTerminal& PseudoTerminal::operator=(PseudoTerminal&& other) noexcept {
  if (this != &other) {
    Close();
    master_ = std::exchange(other.master_, -1);
    slave_ = std::exchange(other.slave_, -1);
    slave_path_ = std::move(other.slave_path_);
  }
  return *this;
}

bool PseudoTerminal::Open() {
  Close();
  // Close-on-exec matters: a program that a test starts must not hold our end open, or
  // closing it would no longer hang the line up.
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0) return false;
  char name[128];
  if (grantpt(master) != 0 || unlockpt(master) != 0 || ptsname_r(master, name, sizeof name) != 0) {
    close(master);
    return false;
  }
  // On Linux the master's line settings are the slave's: raw mode here means no echo, no
  // line editing and no byte translation until the host sets its own.
  termios settings{};
  if (tcgetattr(master, &settings) == 0) {
    cfmakeraw(&settings);
    cfsetispeed(&settings, B19200);
    cfsetospeed(&settings, B19200);
    settings.c_cflag |= CLOCAL | CREAD;
    tcsetattr(master, TCSANOW, &settings);
  }
  int slave = open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (slave < 0) {
    close(master);
    return false;
  }
  int flags = fcntl(master, F_GETFL);
  fcntl(master, F_SETFL, flags | O_NONBLOCK);
  master_ = master;
  slave_ = slave;
  slave_path_ = name;
  return true;
}

void PseudoTerminal::Close() {
  if (slave_ >= 0) close(slave_);
  if (master_ >= 0) close(master_);
  slave_ = -1;
  master_ = -1;
}

long PseudoTerminal::PendingForHost() const {
  int queued = 0;
  // The slave's input queue is shared by every descriptor of the slave, the host's included.
  if (slave_ < 0 || ioctl(slave_, FIONREAD, &queued) != 0) return -1;
  return queued;
}

}  // namespace flashwright::sim
