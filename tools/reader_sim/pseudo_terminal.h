// One pseudo-terminal as the simulated reader's end of the serial line.
#pragma once

#include <cstddef>
#include <string>

namespace flashwright::sim {

class PseudoTerminal {
 public:
  PseudoTerminal() = default;
  ~PseudoTerminal() { Close(); }
  PseudoTerminal(const PseudoTerminal&) = delete;
  PseudoTerminal& operator=(const PseudoTerminal&) = delete;
  PseudoTerminal(PseudoTerminal&& other) noexcept;
  PseudoTerminal& operator=(PseudoTerminal&& other) noexcept;

  // Makes a pty with raw line settings. The master is non-blocking. A slave descriptor stays
  // open here, so the line does not hang up whenever the host closes its side between tasks.
  bool Open();
  // Closes both ends: the host's descriptor sees end of input and write errors (a pulled cable).
  void Close();
  bool IsOpen() const { return master_ >= 0; }
  int master() const { return master_; }
  const std::string& slave_path() const { return slave_path_; }
  // Bytes written by us that the host has not read yet (or -1 when unknown).
  long PendingForHost() const;

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slave_path_;
};

}  // namespace flashwright::sim
