// The reader link of the Windows build against the reader simulator, which runs on Linux on a
// pseudo-terminal that the Wine prefix knows as a COM port (tools/wine/wine-tests.sh starts it).
//   FLASHWRIGHT_WINE_COM         the simulated reader (default version and bootloader)
//   FLASHWRIGHT_WINE_SILENT_COM  a simulated reader that never answers
//   FLASHWRIGHT_WINE_MISSING_COM a COM port that does not exist
#include <windows.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "platform/clock.h"
#include "platform/port_map.h"
#include "reader_link/commands.h"
#include "reader_link/transport.h"

namespace flashwright {
namespace {

std::uint16_t PortFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? 0 : static_cast<std::uint16_t>(std::atoi(value));
}

class WineLinkTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reader_ = PortFromEnvironment("FLASHWRIGHT_WINE_COM");
    silent_ = PortFromEnvironment("FLASHWRIGHT_WINE_SILENT_COM");
    missing_ = PortFromEnvironment("FLASHWRIGHT_WINE_MISSING_COM");
    if (reader_ == 0) GTEST_SKIP() << "no simulated reader: run through tools/wine/wine-tests.sh";
  }
  void TearDown() override { CloseReaderPort(); }

  std::uint16_t reader_ = 0;
  std::uint16_t silent_ = 0;
  std::uint16_t missing_ = 0;
};

std::size_t NeverRecognised(const std::uint8_t*, std::size_t count, ReplyResult*) { return count; }

TEST_F(WineLinkTest, AsksTheSimulatedReaderForItsVersion) {
  ASSERT_EQ(OpenReaderPort(reader_), 0);
  std::uint32_t version = 0;
  std::uint16_t bootloader = 0;
  std::uint8_t flags = 0xFF;
  ASSERT_EQ(ReadReaderVersion(&version, &bootloader, &flags), 0);
  EXPECT_EQ(version, 0x0A04F108u);
  EXPECT_EQ(bootloader, 0x0203u);
  EXPECT_EQ(flags, 0x01u);
  // A second exchange on the same open port: nothing of the first is left over.
  std::uint8_t power_class = 0;
  EXPECT_EQ(ReadPowerRange(&power_class), 0);
  EXPECT_EQ(power_class, 1u);
}

TEST_F(WineLinkTest, OneReaderPortAtATime) {
  ASSERT_EQ(OpenReaderPort(reader_), 0);
  EXPECT_EQ(OpenReaderPort(reader_), kLinkPortAlreadyOpen);
  std::uint32_t version = 0;
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0) << "the first port stays usable";
  CloseReaderPort();
  CloseReaderPort();  // closing twice does nothing
  EXPECT_EQ(OpenReaderPort(reader_), 0) << "the port is free again after closing";
}

// Wine's serial layer cannot signal events on a pseudo-terminal, and each event wait it is
// asked for runs a helper thread that fails it; a library loaded while such a thread ended
// could hang in the loader. The port is polled there, and libraries load after exchanges.
TEST_F(WineLinkTest, LibrariesLoadAfterExchanges) {
  for (const char* library : {"version.dll", "serialui.dll", "msacm32.dll"}) {
    ASSERT_EQ(OpenReaderPort(reader_), 0);
    std::uint32_t version = 0;
    EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0);
    CloseReaderPort();
    HMODULE module = ::LoadLibraryA(library);
    EXPECT_NE(module, nullptr) << library;
    if (module != nullptr) ::FreeLibrary(module);
  }
}

TEST_F(WineLinkTest, PortsThatCannotBeOpened) {
  ASSERT_NE(missing_, 0);
  EXPECT_FALSE(platform::PortExists(missing_ + 10u)) << "no port above COM9 unless linked";
  EXPECT_EQ(OpenReaderPort(missing_), kLinkPortOpenFailed);
  EXPECT_EQ(ReaderPortHandle(), nullptr);
}

TEST_F(WineLinkTest, PortHeldByAnotherProgram) {
  const std::string name = "COM" + std::to_string(reader_);
  auto open_unshared = [&] {
    return ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                         0, nullptr);
  };
  HANDLE other = open_unshared();
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
  HANDLE probe = open_unshared();
  if (probe != INVALID_HANDLE_VALUE) {
    // Windows' serial driver allows one opener; Wine does not apply that rule to a COM port
    // that is a Linux device, so there is nothing to hold the port with.
    ::CloseHandle(probe);
    ::CloseHandle(other);
    GTEST_SKIP() << "this system lets a COM port be opened twice";
  }
  EXPECT_EQ(OpenReaderPort(reader_), kLinkPortOpenFailed);
  EXPECT_EQ(ReaderPortHandle(), nullptr);
  ::CloseHandle(other);
  EXPECT_EQ(OpenReaderPort(reader_), 0);
}

TEST_F(WineLinkTest, ReceiveWithoutAPortReturnsAtOnce) {
  ReplyResult result{};
  const std::uint32_t start = platform::TickCount();
  EXPECT_EQ(ReceiveReply(1250, NeverRecognised, &result), kLinkPortNotOpen);
  EXPECT_LT(ElapsedMs(start), 100u);
  EXPECT_EQ(SendBytes(1, true, reinterpret_cast<const std::uint8_t*>("x")), kLinkPortNotOpen);
}

TEST_F(WineLinkTest, SilentReaderTimesOutAtTheLimit) {
  ASSERT_NE(silent_, 0);
  ASSERT_EQ(OpenReaderPort(silent_), 0);
  ReplyResult result{};
  const std::uint32_t start = platform::TickCount();
  EXPECT_EQ(ReceiveReply(1250, NeverRecognised, &result), kLinkTimeout);
  const std::uint32_t elapsed = ElapsedMs(start);
  EXPECT_GE(elapsed, 1250u);
  EXPECT_LT(elapsed, 1750u) << "the wait for input is bounded by the time left";
  std::uint32_t version = 0;
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), kLinkTimeout);
}

TEST_F(WineLinkTest, SettingsAreRestoredOnClose) {
  const std::string name = "COM" + std::to_string(reader_);
  auto read_baud = [&](DWORD* baud) {
    HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
    if (handle == INVALID_HANDLE_VALUE) return false;
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    const bool read = ::GetCommState(handle, &dcb) != FALSE;
    *baud = dcb.BaudRate;
    ::CloseHandle(handle);
    return read;
  };
  HANDLE handle = ::CreateFileA(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(handle, INVALID_HANDLE_VALUE);
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  ASSERT_TRUE(::GetCommState(handle, &dcb));
  dcb.BaudRate = CBR_9600;
  ASSERT_TRUE(::SetCommState(handle, &dcb));
  ::CloseHandle(handle);

  ASSERT_EQ(OpenReaderPort(reader_), 0);
  std::uint32_t version = 0;
  EXPECT_EQ(ReadReaderVersion(&version, nullptr, nullptr), 0) << "19200 baud while open";
  CloseReaderPort();
  DWORD baud = 0;
  ASSERT_TRUE(read_baud(&baud));
  EXPECT_EQ(baud, static_cast<DWORD>(CBR_9600));
}

}  // namespace
}  // namespace flashwright
