#include "tests/support/fake_sysfs_tree.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace tav::testing {

namespace fs = std::filesystem;

FakeSysfsTree::FakeSysfsTree() {
    const char* base = getenv("TAV_TEST_TMP");
    std::string dir = base && *base ? base : "/tmp";
    fs::create_directories(dir);
    std::string pattern = dir + "/fake-sysfs-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        ADD_FAILURE() << "no temporary folder under " << dir;
        return;
    }
    root_ = pattern;
    MakeDirs("sys/class/tty");
    MakeDirs("sys/bus/usb/drivers");
    MakeDirs("dev");
    MakeDirs("home");
}

FakeSysfsTree::~FakeSysfsTree() {
    std::error_code ignored;
    if (!root_.empty()) fs::remove_all(root_, ignored);
}

void FakeSysfsTree::MakeDirs(const std::string& path) const {
    fs::create_directories(root_ + "/" + path);
}

void FakeSysfsTree::WriteFile(const std::string& path, const std::string& text) const {
    fs::path full = root_ + "/" + path;
    fs::create_directories(full.parent_path());
    std::ofstream(full, std::ios::trunc) << text;
}

std::string FakeSysfsTree::ReadFile(const std::string& path) const {
    std::ifstream in(root_ + "/" + path);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::string FakeSysfsTree::MakeDeviceNode(const std::string& name) const {
    WriteFile("dev/" + name, "");
    return DevRoot() + "/" + name;
}

void FakeSysfsTree::Link(const std::string& target, const std::string& link) const {
    fs::path full = root_ + "/" + link;
    fs::create_directories(full.parent_path());
    fs::create_directory_symlink(root_ + "/" + target, full);
}

void FakeSysfsTree::ClassLink(const std::string& tty, const std::string& ttyDir) const {
    WriteFile(ttyDir + "/uevent", "MAJOR=188\nMINOR=0\nDEVNAME=" + tty + "\n");
    Link(ttyDir, "sys/class/tty/" + tty);
}

void FakeSysfsTree::AddUsbAdapter(const UsbAdapter& a) {
    const std::string device = "sys/devices/pci0000:00/0000:00:14.0/usb1/" + a.location;
    if (a.ids) {
        WriteFile(device + "/idVendor", a.vid + "\n");
        WriteFile(device + "/idProduct", a.pid + "\n");
        WriteFile(device + "/bNumInterfaces", " " + std::to_string(a.interfaces) + "\n");
        if (!a.manufacturer.empty()) WriteFile(device + "/manufacturer", a.manufacturer + "\n");
        if (!a.product.empty()) WriteFile(device + "/product", a.product + "\n");
        if (!a.serial.empty()) WriteFile(device + "/serial", a.serial + "\n");
    } else {
        MakeDirs(device);
    }
    const std::string iface = device + "/" + a.location + ":1." + std::to_string(a.interfaceNumber);
    char number[8];
    snprintf(number, sizeof number, "%02x\n", a.interfaceNumber);
    WriteFile(iface + "/bInterfaceNumber", number);
    MakeDirs("sys/bus/usb/drivers/" + a.driver);
    if (!fs::exists(root_ + "/" + iface + "/driver"))
        Link("sys/bus/usb/drivers/" + a.driver, iface + "/driver");

    std::string deviceDir;
    if (a.tty.rfind("ttyACM", 0) == 0) {
        deviceDir = iface;  // cdc_acm: the tty hangs off the interface
    } else {
        deviceDir = iface + "/" + a.tty;  // usb-serial: a port device in between
        MakeDirs("sys/bus/usb-serial/drivers/" + a.driver);
        Link("sys/bus/usb-serial/drivers/" + a.driver, deviceDir + "/driver");
        WriteFile(deviceDir + "/port_number", "0\n");
    }
    const std::string ttyDir = deviceDir + "/tty/" + a.tty;
    Link(deviceDir, ttyDir + "/device");
    ClassLink(a.tty, ttyDir);
}

void FakeSysfsTree::AddOnBoardPort(int index) {
    const std::string pnp = "sys/devices/pnp0/00:0" + std::to_string(index);
    WriteFile(pnp + "/id", "PNP0501\n");
    MakeDirs("sys/bus/pnp/drivers/serial");
    Link("sys/bus/pnp/drivers/serial", pnp + "/driver");
    const std::string tty = "ttyS" + std::to_string(index);
    const std::string port =
        pnp + "/00:0" + std::to_string(index) + ":0/00:0" + std::to_string(index) + ":0.0";
    MakeDirs("sys/bus/serial-base/drivers/port");
    Link("sys/bus/serial-base/drivers/port", port + "/driver");
    const std::string ttyDir = port + "/tty/" + tty;
    WriteFile(ttyDir + "/type", "4\n");
    Link(port, ttyDir + "/device");
    ClassLink(tty, ttyDir);
}

void FakeSysfsTree::AddPlaceholderPort(int index, bool oldLayout) {
    const std::string tty = "ttyS" + std::to_string(index);
    std::string port = "sys/devices/platform/serial8250";
    if (!oldLayout) port += "/serial8250:0/serial8250:0." + std::to_string(index);
    MakeDirs("sys/bus/platform/drivers/serial8250");
    if (!fs::exists(root_ + "/" + port + "/driver"))
        Link("sys/bus/platform/drivers/serial8250", port + "/driver");
    const std::string ttyDir = port + "/tty/" + tty;
    if (!oldLayout) WriteFile(ttyDir + "/type", "0\n");
    Link(port, ttyDir + "/device");
    ClassLink(tty, ttyDir);
}

void FakeSysfsTree::AddVirtualTty(const std::string& name) {
    const std::string ttyDir = "sys/devices/virtual/tty/" + name;
    ClassLink(name, ttyDir);
}

void FakeSysfsTree::Unplug(const std::string& tty) {
    fs::remove(root_ + "/sys/class/tty/" + tty);
}

}  // namespace tav::testing
