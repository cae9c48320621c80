// The serial devices the operating system has, described the way Windows
// describes its COM ports: a device-interface path whose fifth to seventh
// characters name the bus ("USB", "ACP"), a display name from the device's
// own descriptors, the USB flag and a description. COM numbers are given by
// the port discovery in link/, which keeps them stable across runs.
#pragma once

#include <string>
#include <vector>

namespace tav {

struct SystemPort {
    // Stable identity of the device, the key of its COM number:
    // "USB\VID_067B&PID_2303\<serial or bus location>" or "ACPI\PNP0501\ttyS0".
    std::string identity;
    // "\\?\USB#VID_067B&PID_2303#<serial or bus location>#{86e0d1e0-...}".
    std::string devicePath;
    // "<manufacturer> <product>", the display name without " (COMn)".
    std::string friendlyBase;
    std::string description;
    bool usb = false;
    // What the serial driver opens: "/dev/ttyUSB0".
    std::string deviceNode;
    // The COM number the device should get when it has none yet (an on-board
    // ttyS<n> is COM<n+1>); 0 for none.
    int preferredNumber = 0;
};

struct SystemPortList {
    std::vector<SystemPort> ports;  // in device-name order
    std::string error;              // "" or why the listing stopped early
};

// Lists the serial devices under `sysfsRoot` ("/sys"); device nodes are named
// under `devRoot` ("/dev").
SystemPortList ListSystemPorts(const std::string& sysfsRoot, const std::string& devRoot);

// The interface class of COM ports, the last part of every device path.
inline constexpr const char* kComPortInterfaceClass = "{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

}  // namespace tav
