// A pseudo-terminal in raw mode whose slave side plays the serial device.
#pragma once

#include <memory>
#include <string>

namespace tav::sim {

class PseudoTerminal {
  public:
    // Opens the pair; nullptr with a reason on failure.
    static std::unique_ptr<PseudoTerminal> Open(std::string* error);
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Non-blocking master: what the PC writes is read here, and the
    // analyzer's bytes are written here.
    int MasterFd() const { return master_; }
    const std::string& SlavePath() const { return slavePath_; }
    // Bytes written to the master that no program has read from the slave yet.
    size_t UnreadBySlave() const;
    // Closes both sides: programs holding the slave see the line hang up.
    void Close();

  private:
    PseudoTerminal() = default;
    int master_ = -1;
    // Held open so the master keeps working while no program has the port
    // open (each manual download opens and closes it).
    int slave_ = -1;
    std::string slavePath_;
};

}  // namespace tav::sim
