// A throw-away system for port discovery tests: a sysfs tree laid out as the
// kernel lays out serial devices, a /dev folder and a home folder, all in a
// fresh temporary folder that is removed afterwards.
#pragma once

#include <filesystem>
#include <string>

#include "tests/support/temp_dir.h"

namespace tav::testing {

class FakeSysfsTree {
  public:
    FakeSysfsTree() {
        for (const char* dir : {"sys/class/tty", "dev", "home"}) MakeDirs(dir);
    }

    std::string SysRoot() const { return dir_.File("sys"); }
    std::string DevRoot() const { return dir_.File("dev"); }
    std::string HomeDir() const { return dir_.File("home"); }

    struct UsbAdapter {
        std::string tty = "ttyUSB0";
        std::string location = "1-1";  // USB bus path of the device
        std::string vid = "067b";
        std::string pid = "2303";
        std::string manufacturer = "Prolific Technology Inc.";  // "" leaves the file out
        std::string product = "USB-Serial Controller";
        std::string serial = "";        // "" leaves the file out
        std::string driver = "pl2303";  // interface driver
        bool ids = true;                // false: no idVendor/idProduct anywhere
    };
    void AddUsbAdapter(const UsbAdapter& adapter);

    // ttyS<index> found by the kernel at an ACPI PNP0501 device.
    void AddOnBoardPort(int index);
    // ttyS<index> the 8250 driver registers without hardware: type 0 on the
    // serial-base layout, or the old layout without a type attribute.
    void AddPlaceholderPort(int index, bool oldLayout = false);
    // A tty with no device behind it (console, virtual terminal).
    void AddVirtualTty(const std::string& name) { AddTty("", name); }
    // Takes a tty away again (the adapter was unplugged).
    void Unplug(const std::string& tty) {
        std::filesystem::remove(dir_.File("sys/class/tty/" + tty));
    }

    // Writes `text` to `path` below the temporary folder, making folders.
    void WriteFile(const std::string& path, const std::string& text) const;

  private:
    void MakeDirs(const std::string& path) const {
        std::filesystem::create_directories(dir_.File(path));
    }
    void Link(const std::string& target, const std::string& link) const;
    // The tty below `port` ("": a virtual one), its type attribute unless
    // `type` is empty, and its entry in the tty class.
    void AddTty(const std::string& port, const std::string& tty,
                const std::string& type = "") const;

    test::TempDir dir_;
};

}  // namespace tav::testing
