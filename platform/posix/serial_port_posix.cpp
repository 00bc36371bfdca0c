#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>

#include "platform/port_map.h"
#include "platform/serial_port.h"

namespace flashwright::platform {
namespace {

int LastError() { return errno != 0 ? errno : EIO; }

class PosixSerialPort final : public SerialPort {
 public:
  explicit PosixSerialPort(int fd) : fd_(fd) {}
  ~PosixSerialPort() override { ::close(fd_); }

  int SaveSettings() override {
    if (::tcgetattr(fd_, &saved_) != 0) return LastError();
    return 0;
  }

  int ApplyReaderSettings() override {
    termios settings = saved_;
    // A Windows COM port carries bytes unchanged: raw mode on top of 19200 8N1.
    ::cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | CSTOPB | CRTSCTS);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    settings.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
    // Reads return at once with whatever is queued.
    settings.c_cc[VMIN] = 0;
    settings.c_cc[VTIME] = 0;
    if (::cfsetispeed(&settings, B19200) != 0 || ::cfsetospeed(&settings, B19200) != 0) {
      return LastError();
    }
    if (::tcsetattr(fd_, TCSANOW, &settings) != 0) return LastError();
    // DTR and RTS off. Pseudo-terminals have no modem lines and refuse this; that is fine.
    int lines = TIOCM_DTR | TIOCM_RTS;
    if (::ioctl(fd_, TIOCMBIC, &lines) != 0 && errno != ENOTTY && errno != EINVAL) {
      return LastError();
    }
    return 0;
  }

  int RestoreSettings() override {
    if (::tcsetattr(fd_, TCSANOW, &saved_) != 0) return LastError();
    return 0;
  }

  int PurgeInput() override {
    if (::tcflush(fd_, TCIFLUSH) != 0) return LastError();
    return 0;
  }

  int QueuedInput(std::uint32_t* count) override {
    int queued = 0;
    if (::ioctl(fd_, FIONREAD, &queued) != 0) return LastError();
    if (queued <= 0) {
      // An empty queue on a device that has gone away (far end closed, adapter unplugged)
      // is an error, not silence: otherwise the caller would wait out its time limit.
      pollfd look{fd_, POLLIN, 0};
      if (::poll(&look, 1, 0) > 0 && (look.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
        *count = 0;
        return EIO;
      }
      queued = 0;
    }
    *count = static_cast<std::uint32_t>(queued);
    return 0;
  }

  void ClearError() override {
    // A tty keeps no error state that later calls would trip over.
  }

  int Read(std::uint8_t* destination, std::size_t count, std::size_t* got) override {
    *got = 0;
    if (count == 0) return 0;
    for (;;) {
      const ssize_t n = ::read(fd_, destination, count);
      if (n >= 0) {
        *got = static_cast<std::size_t>(n);
        return 0;
      }
      if (errno == EINTR) continue;
      if (errno == EAGAIN) return 0;
      return LastError();
    }
  }

  int Write(const std::uint8_t* bytes, std::size_t count, std::size_t* written) override {
    *written = 0;
    while (*written < count) {
      const ssize_t n = ::write(fd_, bytes + *written, count - *written);
      if (n < 0) {
        if (errno == EINTR) continue;
        return LastError();
      }
      if (n == 0) break;
      *written += static_cast<std::size_t>(n);
    }
    return 0;
  }

  bool WaitForInput(int timeout_ms) override {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms < 0 ? 0 : timeout_ms);
    for (;;) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
      pollfd look{fd_, POLLIN, 0};
      const int ready = ::poll(&look, 1, left.count() > 0 ? static_cast<int>(left.count()) : 0);
      if (ready > 0) return true;  // input, or a hang-up the next queue look reports
      if (ready == 0) return false;
      if (errno != EINTR) return false;
    }
  }

 private:
  int fd_;
  termios saved_{};
};

}  // namespace

int OpenSerialPort(unsigned port, std::unique_ptr<SerialPort>* opened) {
  opened->reset();
  const std::string path = PortDevicePath(port);
  if (path.empty()) return ENOENT;
  // Non-blocking so that a port without carrier does not block the open.
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return LastError();
  // Exclusive use, as a Windows COM port has: a second opener fails like a port in use.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = LastError();
    ::close(fd);
    return error;
  }
  const int flags = ::fcntl(fd, F_GETFL);
  if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
    const int error = LastError();
    ::close(fd);
    return error;
  }
  *opened = std::make_unique<PosixSerialPort>(fd);
  return 0;
}

}  // namespace flashwright::platform
