// Lines of the virtual ports file in the program's home folder, through which
// the simulator's pseudo-terminal shows up as a serial port:
//   <COM number> TAB <device path> TAB <usb 0/1> TAB <friendly name> TAB <pid>
// with '#' comment lines. These functions only edit the text; the program
// does the locking and the file replacement.
#pragma once

#include <optional>
#include <string>

namespace tav::sim {

struct VirtualPort {
    int com = 7;
    std::string device;
    bool usb = true;
    std::string friendlyName;
    int pid = 0;  // the simulator's process, so that a line it left behind is known
    friend bool operator==(const VirtualPort&, const VirtualPort&) = default;
};

constexpr const char* kVirtualPortsFile = "virtual_ports.txt";

// "Prolific USB-to-Serial Comm Port (COM7)": the name the analyzer's cable has.
std::string CableFriendlyName(int com);

std::string FormatPortLine(const VirtualPort& port);
// nullopt for comments, blank and malformed lines.
std::optional<VirtualPort> ParsePortLine(const std::string& line);

// `text` with `port`'s line in place of the first line for the same COM
// number (appended when there is none); other lines for that number are
// dropped. `replaced` gets how many lines were taken out.
std::string WithPortLine(const std::string& text, const VirtualPort& port, int* replaced);
// `text` without the lines that are exactly `port`'s line; every other line,
// comments included, is kept as it was.
std::string WithoutPortLine(const std::string& text, const VirtualPort& port, bool* removed);

}  // namespace tav::sim
