#include "tests/support/fake_sysfs_tree.h"

#include <filesystem>

namespace tav::testing {

namespace fs = std::filesystem;

void FakeSysfsTree::WriteFile(const std::string& path, const std::string& text) const {
    MakeDirs(fs::path(path).parent_path());
    test::WriteWholeFile(dir_.File(path), text);
}

void FakeSysfsTree::Link(const std::string& target, const std::string& link) const {
    MakeDirs(target);
    MakeDirs(fs::path(link).parent_path());
    if (!fs::exists(dir_.File(link)))
        fs::create_directory_symlink(dir_.File(target), dir_.File(link));
}

void FakeSysfsTree::AddTty(const std::string& port, const std::string& tty,
                           const std::string& type) const {
    const std::string ttyDir =
        port.empty() ? "sys/devices/virtual/tty/" + tty : port + "/tty/" + tty;
    WriteFile(ttyDir + "/uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + tty + "\n");
    if (!type.empty()) WriteFile(ttyDir + "/type", type + "\n");
    if (!port.empty()) Link(port, ttyDir + "/device");
    Link(ttyDir, "sys/class/tty/" + tty);
}

void FakeSysfsTree::AddUsbAdapter(const UsbAdapter& a) {
    const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + a.location;
    for (const auto& [file, text] : {std::pair{"idVendor", a.vid},
                                     {"idProduct", a.pid},
                                     {"manufacturer", a.manufacturer},
                                     {"product", a.product},
                                     {"serial", a.serial}})
        if (a.ids && !text.empty()) WriteFile(device + "/" + file, text + "\n");
    // usb-serial: interface, then a port device, then the tty.
    const std::string iface = device + "/" + a.location + ":1.0";
    Link("sys/bus/usb/drivers/" + a.driver, iface + "/driver");
    const std::string port = iface + "/" + a.tty;
    Link("sys/bus/usb-serial/drivers/" + a.driver, port + "/driver");
    AddTty(port, a.tty);
}

void FakeSysfsTree::AddOnBoardPort(int index) {
    const std::string n = "00:0" + std::to_string(index);
    const std::string pnp = "sys/devices/pnp0/" + n;
    WriteFile(pnp + "/id", "PNP0501\n");
    Link("sys/bus/pnp/drivers/serial", pnp + "/driver");
    const std::string port = pnp + "/" + n + ":0/" + n + ":0.0";
    Link("sys/bus/serial-base/drivers/port", port + "/driver");
    AddTty(port, "ttyS" + std::to_string(index), "4");
}

void FakeSysfsTree::AddPlaceholderPort(int index, bool oldLayout) {
    std::string port = "sys/devices/platform/serial8250";
    if (!oldLayout) port += "/serial8250:0/serial8250:0." + std::to_string(index);
    Link("sys/bus/platform/drivers/serial8250", port + "/driver");
    AddTty(port, "ttyS" + std::to_string(index), oldLayout ? "" : "0");
}

}  // namespace tav::testing
