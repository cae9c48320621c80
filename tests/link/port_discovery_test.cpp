#include "link/port_discovery.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include "tests/support/fake_sysfs_tree.h"

namespace tav {
namespace {

using Adapter = testing::FakeSysfsTree::UsbAdapter;

Adapter Ftdi(std::string tty, std::string location) {
    return {tty, location, "0403", "6001", "FTDI", "FT232R USB UART", "A50285BI", "ftdi_sio"};
}

struct DiscoveryTest : ::testing::Test {
    PortEnumeration Enumerate(const std::string& sysBelow = "") {
        return EnumeratePorts(tree.SysRoot() + sysBelow, tree.HomeDir(), tree.DevRoot());
    }
    // COM number of the port whose device node ends in `tty`, 0 if absent.
    int NumberOf(const std::string& tty) {
        for (const PortInfo& p : Enumerate().ports)
            if (p.deviceNode == tree.DevRoot() + "/" + tty) return p.comNumber;
        return 0;
    }
    testing::FakeSysfsTree tree;
};

TEST_F(DiscoveryTest, RealPortsAreListedAsWindowsDescribesThem) {
    tree.AddOnBoardPort(0);
    tree.AddPlaceholderPort(1);
    tree.AddPlaceholderPort(2, /*oldLayout=*/true);
    tree.AddVirtualTty("tty0");
    tree.AddVirtualTty("console");
    // Adapters without text descriptors are named by their driver; without ids left out.
    for (const Adapter& a : {Adapter{"ttyUSB0", "1-1"}, Ftdi("ttyUSB1", "1-2"),
                             Adapter{"ttyUSB2", "1-3", "067b", "2303", "", ""},
                             Adapter{"ttyUSB3", "1-4", "0403", "6001", "", "", "", "ftdi_sio"},
                             Adapter{"ttyUSB4", "1-5", "", "", "", "", "", "ftdi_sio", false}})
        tree.AddUsbAdapter(a);

    PortEnumeration e = Enumerate();
    EXPECT_EQ(e.error, "");
    // ttyS0 keeps COM1; new devices follow in name order from COM3.
    const std::tuple<int, std::string, std::string, std::string> expected[] = {
        {1, "ACPI#PNP0501#1", "Communications Port", "ttyS0"},
        {3, "USB#VID_067B&PID_2303#1-1", "Prolific Technology Inc. USB-Serial Controller",
         "ttyUSB0"},
        {4, "USB#VID_0403&PID_6001#A50285BI", "FTDI FT232R USB UART", "ttyUSB1"},
        {5, "USB#VID_067B&PID_2303#1-3", "Prolific USB-to-Serial Comm Port", "ttyUSB2"},
        {6, "USB#VID_0403&PID_6001#1-4", "USB Serial Port", "ttyUSB3"},
    };
    ASSERT_EQ(e.ports.size(), std::size(expected));
    for (size_t i = 0; i < e.ports.size(); ++i) {
        const PortInfo& p = e.ports[i];
        const auto& [com, path, description, node] = expected[i];
        EXPECT_EQ(
            std::tie(p.comNumber, p.devicePath, p.friendlyName, p.description, p.usb, p.deviceNode),
            std::tuple(com, "\\\\?\\" + path + "#{86e0d1e0-8089-11d0-9ce4-08003e301f73}",
                       description + " (COM" + std::to_string(com) + ")", description,
                       path.starts_with("USB"), tree.DevRoot() + "/" + node));
    }
}

TEST_F(DiscoveryTest, ComNumbersStayWithTheirDevicesAcrossRuns) {
    tree.AddUsbAdapter({"ttyUSB0", "1-1"});
    tree.AddUsbAdapter(Ftdi("ttyUSB1", "1-2"));
    EXPECT_EQ(NumberOf("ttyUSB0"), 3);  // and ttyUSB1 COM4, as in the first test

    // Both unplugged; a second cable arrives, then the FTDI adapter comes back
    // in another socket (it has a serial number) under another tty name.
    tree.Unplug("ttyUSB0");
    tree.Unplug("ttyUSB1");
    tree.AddUsbAdapter({"ttyUSB0", "1-4"});
    tree.AddUsbAdapter(Ftdi("ttyUSB2", "1-5"));
    EXPECT_EQ(NumberOf("ttyUSB0"), 5) << "COM3 stays reserved for the absent cable";
    EXPECT_EQ(NumberOf("ttyUSB2"), 4) << "a serial number follows the device";

    // The first cable back in its own socket gets COM3 again.
    tree.Unplug("ttyUSB0");
    tree.AddUsbAdapter({"ttyUSB3", "1-1"});
    EXPECT_EQ(NumberOf("ttyUSB3"), 3);
    EXPECT_NE(test::ReadWholeFile(tree.HomeDir() + "/com_ports.txt")
                  .find("3\tUSB\\VID_067B&PID_2303\\1-1"),
              std::string::npos);
}

TEST_F(DiscoveryTest, VirtualPortsFileAddsPortsAndSkipsWhatItCannotUse) {
    tree.AddUsbAdapter(Ftdi("ttyUSB0", "1-2"));
    ASSERT_EQ(NumberOf("ttyUSB0"), 3);  // it holds COM3 before the file claims it
    const std::string sim = tree.DevRoot() + "/pts-sim", other = tree.DevRoot() + "/pts-other";
    tree.WriteFile("dev/pts-sim", "");  // devices that exist
    tree.WriteFile("dev/pts-other", "");
    // A process that has ended: its id is free.
    const pid_t ended = fork();
    if (ended == 0) _exit(0);
    ASSERT_EQ(waitpid(ended, nullptr, 0), ended);
    // One good line each for COM7, COM8 and COM12; the rest are skipped. @ is an existing node.
    std::string text = "# simulator ports\n\n7\t" + sim +
                       "\t1\tProlific USB-to-Serial Comm Port\t" + std::to_string(getpid()) +
                       "\n8\t@\t0\tBench line (COM8)\n3\t@\t0\tclashes with a real device\n"
                       "7\t@\t0\tsecond line for COM7\n9\t@-gone\t1\tdevice no longer there\n"
                       "101\t@\t0\tbeyond COM100\nx\t@\t0\tno number\n"
                       "10\t@\t2\tbad usb flag\n11\t@\n12\t@\t1\tliving\t" +
                       std::to_string(getpid()) + "\n13\t@\t1\tregistered by an ended process\t" +
                       std::to_string(ended) + "\n14\t@\t1\tprocess id not a number\tx\n";
    for (size_t at; (at = text.find('@')) != std::string::npos;) text.replace(at, 1, other);
    tree.WriteFile("home/virtual_ports.txt", text);
    auto summaries = [](const PortEnumeration& e) {
        std::vector<std::string> out;
        for (const PortInfo& p : e.ports)
            out.push_back(std::to_string(p.comNumber) + " " + p.devicePath.substr(4, 3) +
                          (p.usb ? " usb " : " ") + p.friendlyName + " " + p.deviceNode);
        return out;
    };
    std::vector<std::string> expected = {
        "3 USB usb FTDI FT232R USB UART (COM3) " + tree.DevRoot() + "/ttyUSB0",
        "7 USB usb Prolific USB-to-Serial Comm Port (COM7) " + sim,
        "8 ROO Bench line (COM8) " + other, "12 USB usb living (COM12) " + other};
    EXPECT_EQ(summaries(Enumerate()), expected);
    EXPECT_EQ(Enumerate().ports[1].description, "Prolific USB-to-Serial Comm Port");

    // Sysfs unreadable: the error is reported and the file's ports are still
    // listed, the COM3 line too now that no device holds that number.
    const PortEnumeration e = Enumerate("/missing");
    EXPECT_EQ(e.error, "Could not read " + tree.SysRoot() +
                           "/missing/class/tty. (No such file or directory)");
    expected[0] = "3 ROO clashes with a real device (COM3) " + other;
    EXPECT_EQ(summaries(e), expected);
}

TEST(PortNames, NumberComesFromTheLastCharacters) {
    for (auto [text, number] : {std::pair<const char*, std::optional<int>>{"COM7", 7},
                                {"COM12", 12},
                                {"COM100", 100},
                                {"9", 9},
                                {"M100", {}},
                                {"COM101", {}},
                                {"COM0", {}},
                                {"COM 7", {}},
                                {"", {}}})
        EXPECT_EQ(PortNumberFromText(text), number) << text;
}

}  // namespace
}  // namespace tav
