// The serial ports present, as PortInfo records, and the table that turns a
// COM number into the device the serial driver opens.
//
// Every device keeps its COM number across runs: the numbers are kept in
// "com_ports.txt" in the home folder (one "<number>\t<identity>" a line); a
// new device gets its preferred number when free (an on-board ttyS<n> is
// COM<n+1>), otherwise the lowest free number from 3 up. Numbers of devices
// that are unplugged stay reserved for them.
//
// Extra ports come from "virtual_ports.txt" in the home folder, one a line:
// "<COM number>\t<device path>\t<usb 0/1>\t<friendly name>[\t<process id>]";
// '#' starts a comment line, blank lines are skipped. The analyzer simulator
// registers its pseudo-terminal there while it runs, with its process id: a
// line whose device is gone, or whose process has ended (a simulator killed
// before it could take its line out, its terminal's name perhaps given to
// another program since), is left out.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/port_enum.h"

namespace tav {

inline constexpr const char* kComNumbersFile = "com_ports.txt";
inline constexpr const char* kVirtualPortsFile = "virtual_ports.txt";
inline constexpr int kFirstPortNumber = 1;
inline constexpr int kLastPortNumber = 100;

struct PortInfo {
    std::string devicePath;    // "\\?\USB#VID_067B&PID_2303#...#{86e0d1e0-...}"
    std::string portName;      // always "" (device-interface enumeration)
    std::string friendlyName;  // "<manufacturer> <product> (COMn)"
    bool usb = false;
    std::string description;
    int comNumber = 0;       // the n of COMn (1..100)
    std::string deviceNode;  // what the serial driver opens: "/dev/ttyUSB0"
};
using PortInfoList = std::vector<PortInfo>;

struct PortEnumeration {
    PortInfoList ports;  // ordered by COM number
    // "" or the message of the step that failed; `ports` then holds what
    // was found before it.
    std::string error;
};

// Lists the serial devices under `sysfsRoot` with their COM numbers (kept in
// `homeDir`), then the virtual ports of `homeDir`.
PortEnumeration EnumeratePorts(const std::string& sysfsRoot, const std::string& homeDir,
                               const std::string& devRoot = "/dev");

// Fills an empty friendly name from the port name, and an empty description
// from the friendly name less a trailing " (...)" that starts at position 1
// or later.
void CompletePortInfo(PortInfo& info);

// COM number -> device to open, for COM1 to COM100.
class PortNameTable {
  public:
    // The table of the ports found.
    static PortNameTable FromPorts(const PortInfoList& ports);

    void Assign(int number, std::string device);
    // The device for COM<number>: nullopt outside 1..100 (there is no such
    // entry); "" when no device holds the number (opening it fails).
    std::optional<std::string> DeviceFor(int number) const;

  private:
    std::array<std::string, kLastPortNumber + 1> devices_;
};

// The COM number a port text names, read from its last characters: the last
// one of a 4-character text, the last 2 of a 5-character text, otherwise the
// last 3. nullopt when those are not all decimal digits or the number is
// outside 1..100 ("M100", "COM101", "COMX").
std::optional<int> PortNumberFromText(std::string_view text);

struct VirtualPort {
    int comNumber = 0;
    std::string devicePath;  // the device to open
    bool usb = false;
    std::string friendlyName;
    int ownerPid = 0;  // the process that registered the port; 0: none named
};

// One line of the virtual ports file; nullopt for comments, blank and
// malformed lines. The number, the device and the process are not checked
// further here. The process id is written only when there is one.
std::optional<VirtualPort> ParseVirtualPortLine(const std::string& line);
std::string FormatVirtualPortLine(const VirtualPort& port);

// The well-formed lines of the virtual ports file, in file order.
std::vector<VirtualPort> ReadVirtualPorts(const std::string& homeDir);

}  // namespace tav
