// Registers the simulator's terminal in the home folder's virtual ports file
// and takes exactly that line out again.
#pragma once

#include <string>

#include "tools/analyzer-sim/model/virtual_ports.h"

namespace tav::sim {

class PortRegistration {
  public:
    // Adds `port` to <home>/virtual_ports.txt, replacing any line for the
    // same COM number (a leftover of a killed run). The file is changed under
    // an exclusive lock of the home folder and replaced in one rename, so the
    // program never reads half a file.
    PortRegistration(std::string home, VirtualPort port);
    ~PortRegistration();  // Remove()
    PortRegistration(const PortRegistration&) = delete;
    PortRegistration& operator=(const PortRegistration&) = delete;

    bool ok() const { return ok_; }
    const std::string& error() const { return error_; }
    int replacedLines() const { return replaced_; }
    // Takes our line out (once); the file goes away when nothing is left.
    void Remove();

  private:
    std::string home_;
    VirtualPort port_;
    bool ok_ = false;
    bool registered_ = false;
    int replaced_ = 0;
    std::string error_;
};

}  // namespace tav::sim
