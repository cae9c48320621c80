#include "link/port_discovery.h"

#include <gtest/gtest.h>

#include "tests/support/fake_sysfs_tree.h"

namespace tav {
namespace {

using testing::FakeSysfsTree;
using Adapter = FakeSysfsTree::UsbAdapter;

const std::string kGuid = "#{86e0d1e0-8089-11d0-9ce4-08003e301f73}";

Adapter Prolific(std::string tty = "ttyUSB0", std::string location = "1-1") {
    Adapter a;
    a.tty = tty;
    a.location = location;
    return a;
}

Adapter Ftdi(std::string tty = "ttyUSB1", std::string location = "1-2") {
    Adapter a;
    a.tty = tty;
    a.vid = "0403";
    a.pid = "6001";
    a.manufacturer = "FTDI";
    a.product = "FT232R USB UART";
    a.serial = "A50285BI";
    a.location = location;
    a.driver = "ftdi_sio";
    return a;
}

struct DiscoveryTest : ::testing::Test {
    PortEnumeration Enumerate() {
        return EnumeratePorts(tree.SysRoot(), tree.HomeDir(), tree.DevRoot());
    }
    // COM number of the port whose device node ends in `tty`, 0 if absent.
    int NumberOf(const PortEnumeration& e, const std::string& tty) {
        for (const PortInfo& p : e.ports)
            if (p.deviceNode == tree.DevRoot() + "/" + tty) return p.comNumber;
        return 0;
    }
    FakeSysfsTree tree;
};

TEST_F(DiscoveryTest, RealPortsAreListedAsWindowsDescribesThem) {
    tree.AddOnBoardPort(0);
    tree.AddPlaceholderPort(1);
    tree.AddPlaceholderPort(2, /*oldLayout=*/true);
    tree.AddVirtualTty("tty0");
    tree.AddVirtualTty("console");
    tree.AddUsbAdapter(Prolific());
    tree.AddUsbAdapter(Ftdi());
    Adapter acm;
    acm.tty = "ttyACM0";
    acm.vid = "2a03";
    acm.pid = "0043";
    acm.manufacturer = "Acme Instruments";
    acm.product = "Data Logger";
    acm.location = "2-1.4";
    acm.driver = "cdc_acm";
    acm.interfaces = 2;
    tree.AddUsbAdapter(acm);

    PortEnumeration e = Enumerate();
    EXPECT_EQ(e.error, "");
    // New devices in name order: ttyACM0, ttyS0 (keeps COM1), ttyUSB0, ttyUSB1.
    struct Expected {
        int com;
        std::string devicePath, friendlyName, description, node;
        bool usb;
    } expected[] = {
        {1, "\\\\?\\ACPI#PNP0501#1" + kGuid, "Communications Port (COM1)", "Communications Port",
         "ttyS0", false},
        {3, "\\\\?\\USB#VID_2A03&PID_0043&MI_00#2-1.4" + kGuid,
         "Acme Instruments Data Logger (COM3)", "Acme Instruments Data Logger", "ttyACM0", true},
        {4, "\\\\?\\USB#VID_067B&PID_2303#1-1" + kGuid,
         "Prolific Technology Inc. USB-Serial Controller (COM4)",
         "Prolific Technology Inc. USB-Serial Controller", "ttyUSB0", true},
        {5, "\\\\?\\USB#VID_0403&PID_6001#A50285BI" + kGuid, "FTDI FT232R USB UART (COM5)",
         "FTDI FT232R USB UART", "ttyUSB1", true},
    };
    ASSERT_EQ(e.ports.size(), std::size(expected));
    for (size_t i = 0; i < e.ports.size(); ++i) {
        const PortInfo& p = e.ports[i];
        SCOPED_TRACE(expected[i].friendlyName);
        EXPECT_EQ(p.comNumber, expected[i].com);
        EXPECT_EQ(p.devicePath, expected[i].devicePath);
        EXPECT_EQ(p.portName, "");
        EXPECT_EQ(p.friendlyName, expected[i].friendlyName);
        EXPECT_EQ(p.description, expected[i].description);
        EXPECT_EQ(p.usb, expected[i].usb);
        EXPECT_EQ(p.deviceNode, tree.DevRoot() + "/" + expected[i].node);
    }
}

TEST_F(DiscoveryTest, AdaptersWithoutTextDescriptorsAreNamedByTheirDriverAndWithoutIdsLeftOut) {
    Adapter bareProlific = Prolific("ttyUSB0", "1-1");
    bareProlific.manufacturer = bareProlific.product = "";
    Adapter bareOther = Ftdi("ttyUSB1", "1-2");
    bareOther.manufacturer = bareOther.product = "";
    Adapter noIds = Ftdi("ttyUSB2", "1-3");
    noIds.ids = false;
    for (const Adapter& a : {bareProlific, bareOther, noIds}) tree.AddUsbAdapter(a);

    PortEnumeration e = Enumerate();
    ASSERT_EQ(e.ports.size(), 2u);
    EXPECT_EQ(e.ports[0].friendlyName, "Prolific USB-to-Serial Comm Port (COM3)");
    EXPECT_EQ(e.ports[1].friendlyName, "USB Serial Port (COM4)");
}

TEST_F(DiscoveryTest, ComNumbersStayWithTheirDevicesAcrossRuns) {
    tree.AddUsbAdapter(Prolific("ttyUSB0", "1-1"));
    tree.AddUsbAdapter(Ftdi("ttyUSB1", "1-2"));
    PortEnumeration first = Enumerate();
    EXPECT_EQ(NumberOf(first, "ttyUSB0"), 3);
    EXPECT_EQ(NumberOf(first, "ttyUSB1"), 4);

    // Both unplugged; a second cable arrives, then the FTDI adapter comes back
    // in another socket (it has a serial number) under another tty name.
    tree.Unplug("ttyUSB0");
    tree.Unplug("ttyUSB1");
    tree.AddUsbAdapter(Prolific("ttyUSB0", "1-4"));
    tree.AddUsbAdapter(Ftdi("ttyUSB2", "1-5"));
    PortEnumeration second = Enumerate();
    EXPECT_EQ(NumberOf(second, "ttyUSB0"), 5) << "COM3 stays reserved for the absent cable";
    EXPECT_EQ(NumberOf(second, "ttyUSB2"), 4) << "a serial number follows the device";

    // The first cable back in its own socket gets COM3 again.
    tree.Unplug("ttyUSB0");
    tree.AddUsbAdapter(Prolific("ttyUSB3", "1-1"));
    PortEnumeration third = Enumerate();
    EXPECT_EQ(NumberOf(third, "ttyUSB3"), 3);
    EXPECT_NE(tree.ReadFile("home/com_ports.txt").find("3\tUSB\\VID_067B&PID_2303\\1-1"),
              std::string::npos);
}

TEST_F(DiscoveryTest, VirtualPortsFileAddsPortsAndSkipsWhatItCannotUse) {
    tree.AddUsbAdapter(Ftdi("ttyUSB0", "1-2"));
    ASSERT_EQ(NumberOf(Enumerate(), "ttyUSB0"), 3);
    const std::string sim = tree.MakeDeviceNode("pts-sim");
    const std::string other = tree.MakeDeviceNode("pts-other");
    tree.WriteFile("home/virtual_ports.txt",
                   "# simulator ports\n"
                   "\n"
                   "7\t" +
                       sim +
                       "\t1\tProlific USB-to-Serial Comm Port\n"
                       "8\t" +
                       other +
                       "\t0\tBench line (COM8)\n"
                       "3\t" +
                       other +
                       "\t0\tclashes with a real device\n"
                       "7\t" +
                       other +
                       "\t0\tsecond line for COM7\n"
                       "9\t" +
                       tree.DevRoot() +
                       "/gone\t1\tdevice no longer there\n"
                       "101\t" +
                       other +
                       "\t0\tbeyond COM100\n"
                       "x\t" +
                       other +
                       "\t0\tno number\n"
                       "10\t" +
                       other +
                       "\t2\tbad usb flag\n"
                       "11\t" +
                       other + "\n");
    PortEnumeration e = Enumerate();
    ASSERT_EQ(e.ports.size(), 3u);
    EXPECT_EQ(e.ports[0].deviceNode, tree.DevRoot() + "/ttyUSB0");
    const PortInfo& v = e.ports[1];
    EXPECT_EQ(v.comNumber, 7);
    EXPECT_EQ(v.friendlyName, "Prolific USB-to-Serial Comm Port (COM7)");
    EXPECT_EQ(v.description, "Prolific USB-to-Serial Comm Port");
    EXPECT_TRUE(v.usb);
    EXPECT_EQ(v.devicePath.substr(4, 3), "USB");
    EXPECT_EQ(v.deviceNode, sim);
    EXPECT_EQ(e.ports[2].friendlyName, "Bench line (COM8)");
    EXPECT_EQ(e.ports[2].devicePath.substr(4, 3), "ROO");
    EXPECT_FALSE(e.ports[2].usb);
}

TEST_F(DiscoveryTest, UnreadableSysfsIsReportedAndVirtualPortsStillListed) {
    const std::string pts = tree.MakeDeviceNode("pts-2");
    tree.WriteFile("home/virtual_ports.txt", "6\t" + pts + "\t1\tProlific Sim\n");
    PortEnumeration e = EnumeratePorts(tree.SysRoot() + "/missing", tree.HomeDir(), tree.DevRoot());
    EXPECT_EQ(e.error, "Could not read " + tree.SysRoot() +
                           "/missing/class/tty. (No such file or directory)");
    ASSERT_EQ(e.ports.size(), 1u);
    EXPECT_EQ(e.ports[0].comNumber, 6);
}

TEST(CompletePortInfo, FillsEmptyNamesAndCutsThePortFromTheDescription) {
    struct Row {
        const char* what;
        std::string portName, friendlyIn, descriptionIn;
        std::string friendlyName, description;
    } rows[] = {
        {"text, blank, port in parentheses", "COM3", "Comm Port (COM3)", "", "Comm Port (COM3)",
         "Comm Port"},
        {"starts with \" (\": copied whole", "COM3", " (COM3)", "", " (COM3)", " (COM3)"},
        {"no closing parenthesis", "COM3", "Comm Port (COM3", "", "Comm Port (COM3",
         "Comm Port (COM3"},
        {"no friendly name: the port name", "COM16", "", "", "COM16", "COM16"},
        {"a device description stays", "", "Cable (COM4)", "Device", "Cable (COM4)", "Device"},
    };
    for (const Row& row : rows) {
        PortInfo info;
        info.portName = row.portName;
        info.friendlyName = row.friendlyIn;
        info.description = row.descriptionIn;
        CompletePortInfo(info);
        EXPECT_EQ(info.friendlyName, row.friendlyName) << row.what;
        EXPECT_EQ(info.description, row.description) << row.what;
    }
}

TEST(PortNames, NumberComesFromTheLastCharactersAndMustHaveATableEntry) {
    struct Row {
        std::string text;
        std::optional<int> number;
    } rows[] = {
        {"COM7", 7},
        {"COM12", 12},
        {"COM100", 100},
        {"M100", std::nullopt},
        {"COM101", std::nullopt},
        {"COM0", std::nullopt},
        {"COMX", std::nullopt},
        {"COM 7", std::nullopt},
        {"", std::nullopt},
        {"9", 9},
    };
    for (const Row& row : rows) EXPECT_EQ(PortNumberFromText(row.text), row.number) << row.text;

    PortInfoList ports(2);
    ports[0].comNumber = 3;
    ports[0].deviceNode = "/dev/ttyUSB0";
    ports[1].comNumber = 100;
    ports[1].deviceNode = "/dev/pts/4";
    PortNameTable table = PortNameTable::FromPorts(ports);
    EXPECT_EQ(table.DeviceFor(3), "/dev/ttyUSB0");
    EXPECT_EQ(table.DeviceFor(100), "/dev/pts/4");
    EXPECT_EQ(table.DeviceFor(9), "") << "no device holds COM9";
    EXPECT_EQ(table.DeviceFor(0), std::nullopt);
    EXPECT_EQ(table.DeviceFor(101), std::nullopt);
}

}  // namespace
}  // namespace tav
