// Serial devices from sysfs: /sys/class/tty/ttyUSB*, ttyACM* and the on-board
// ttyS* that have hardware behind them.
#include <dirent.h>
#include <errno.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <optional>
#include <sstream>
#include <tuple>

#include "platform/port_enum.h"

namespace tav {

namespace {

std::string Trim(std::string s) {
    while (!s.empty() && std::isspace(static_cast<unsigned char>(s.back()))) s.pop_back();
    size_t start = 0;
    while (start < s.size() && std::isspace(static_cast<unsigned char>(s[start]))) ++start;
    return s.substr(start);
}

std::optional<std::string> ReadAttr(const std::string& path) {
    std::ifstream in(path);
    if (!in) return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return Trim(text.str());
}

bool Exists(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0;
}

std::optional<std::string> RealPath(const std::string& path) {
    char buf[PATH_MAX];
    if (realpath(path.c_str(), buf) == nullptr) return std::nullopt;
    return std::string(buf);
}

std::string BaseName(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Parent(const std::string& path) {
    size_t slash = path.find_last_of('/');
    return slash == std::string::npos || slash == 0 ? "/" : path.substr(0, slash);
}

std::string Upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
}

// Keeps a descriptor text usable inside a '#'-separated device path.
std::string PathSafe(const std::string& s) {
    std::string out;
    for (char c : s) {
        unsigned char u = static_cast<unsigned char>(c);
        out.push_back(std::isalnum(u) || c == '-' || c == '.' || c == '_' || c == '&' ? c : '_');
    }
    return out;
}

enum class Kind { Usb, Acm, OnBoard };

struct TtyName {
    Kind kind;
    std::string prefix;
    int index;
    std::string name;
};

std::optional<TtyName> ParseTtyName(const std::string& name) {
    static const std::pair<const char*, Kind> kPrefixes[] = {
        {"ttyUSB", Kind::Usb}, {"ttyACM", Kind::Acm}, {"ttyS", Kind::OnBoard}};
    for (const auto& [prefix, kind] : kPrefixes) {
        std::string p = prefix;
        if (name.size() <= p.size() || name.compare(0, p.size(), p) != 0) continue;
        std::string digits = name.substr(p.size());
        if (digits.size() > 6 || !std::all_of(digits.begin(), digits.end(), ::isdigit)) continue;
        return TtyName{kind, p, std::stoi(digits), name};
    }
    return std::nullopt;
}

std::string DeviceNode(const std::string& classDir, const TtyName& tty,
                       const std::string& devRoot) {
    std::string devName = tty.name;
    if (auto uevent = ReadAttr(classDir + "/uevent")) {
        std::istringstream lines(*uevent);
        std::string line;
        while (std::getline(lines, line)) {
            if (line.rfind("DEVNAME=", 0) == 0) devName = Trim(line.substr(8));
        }
    }
    return devRoot + "/" + devName;
}

// An on-board port is real when the kernel found a UART at it: a placeholder
// port of the 8250 driver reports type 0 (unknown), and on kernels without
// the type attribute it hangs off the serial8250 platform device.
bool OnBoardPortIsReal(const std::string& classDir, const std::string& deviceDir) {
    if (auto type = ReadAttr(classDir + "/type")) {
        try {
            return std::stoi(*type) != 0;
        } catch (...) {
            return false;
        }
    }
    return deviceDir.find("/serial8250") == std::string::npos;
}

// The ACPI/PnP hardware id above an on-board port ("PNP0501"), found in the
// `id` attribute or the firmware node of the device or one of its parents.
std::string PnpId(const std::string& deviceDir, const std::string& stopAt) {
    for (std::string dir = deviceDir; dir.size() > stopAt.size(); dir = Parent(dir)) {
        if (auto id = ReadAttr(dir + "/id")) {
            std::string first = id->substr(0, id->find_first_of(" \n"));
            if (!first.empty()) return Upper(first);
        }
        if (auto node = RealPath(dir + "/firmware_node")) {
            std::string base = BaseName(*node);
            return Upper(base.substr(0, base.find(':')));
        }
    }
    return "PNP0501";
}

std::optional<SystemPort> OnBoardPort(const TtyName& tty, const std::string& classDir,
                                      const std::string& deviceDir, const std::string& sysfsRoot) {
    if (!OnBoardPortIsReal(classDir, deviceDir)) return std::nullopt;
    SystemPort port;
    std::string pnp = PnpId(deviceDir, sysfsRoot + "/devices");
    port.identity = "ACPI\\" + pnp + "\\" + tty.name;
    port.devicePath =
        "\\\\?\\ACPI#" + pnp + "#" + std::to_string(tty.index + 1) + "#" + kComPortInterfaceClass;
    port.friendlyBase = "Communications Port";
    port.description = port.friendlyBase;
    port.usb = false;
    port.preferredNumber = tty.index + 1;
    return port;
}

// The name Windows' driver would give a USB adapter whose descriptors carry
// no manufacturer or product text.
std::string FallbackUsbName(const std::string& vid, const std::string& driver) {
    if (vid == "067b") return "Prolific USB-to-Serial Comm Port";
    if (driver == "cdc_acm") return "USB Serial Device";
    return "USB Serial Port";
}

std::optional<SystemPort> UsbPort(const std::string& deviceDir, const std::string& sysfsRoot) {
    // Walk up from the tty's device to the USB device that carries the ids;
    // the directory just below it is the interface.
    const std::string top = sysfsRoot + "/devices";
    std::string usbDir, interfaceDir;
    for (std::string dir = deviceDir, below; dir.size() > top.size();
         below = dir, dir = Parent(dir)) {
        if (Exists(dir + "/idVendor") && Exists(dir + "/idProduct")) {
            usbDir = dir;
            interfaceDir = below;
            break;
        }
    }
    if (usbDir.empty()) return std::nullopt;
    auto vid = ReadAttr(usbDir + "/idVendor");
    auto pid = ReadAttr(usbDir + "/idProduct");
    if (!vid || !pid || vid->empty() || pid->empty()) return std::nullopt;

    std::string hardwareId = "VID_" + Upper(*vid) + "&PID_" + Upper(*pid);
    int interfaces = 1;
    if (auto n = ReadAttr(usbDir + "/bNumInterfaces")) {
        try {
            interfaces = std::stoi(*n);
        } catch (...) {
        }
    }
    if (interfaces > 1 && !interfaceDir.empty()) {
        std::string number = ReadAttr(interfaceDir + "/bInterfaceNumber").value_or("00");
        hardwareId += "&MI_" + Upper(number);
    }
    std::string serial = PathSafe(ReadAttr(usbDir + "/serial").value_or(""));
    std::string instance = serial.empty() ? PathSafe(BaseName(usbDir)) : serial;
    // Adapters with several lines on one interface number them.
    if (auto portNumber = ReadAttr(deviceDir + "/port_number"); portNumber && *portNumber != "0")
        instance += "&PORT_" + PathSafe(*portNumber);

    std::string manufacturer = ReadAttr(usbDir + "/manufacturer").value_or("");
    std::string product = ReadAttr(usbDir + "/product").value_or("");
    std::string name = manufacturer;
    if (!product.empty()) name += (name.empty() ? "" : " ") + product;
    if (name.empty()) {
        std::string driver;
        if (auto link = RealPath(interfaceDir + "/driver")) driver = BaseName(*link);
        name = FallbackUsbName(*vid, driver);
    }

    SystemPort port;
    port.identity = "USB\\" + hardwareId + "\\" + instance;
    port.devicePath = "\\\\?\\USB#" + hardwareId + "#" + instance + "#" + kComPortInterfaceClass;
    port.friendlyBase = name;
    port.description = name;
    port.usb = true;
    return port;
}

}  // namespace

SystemPortList ListSystemPorts(const std::string& sysfsRootIn, const std::string& devRoot) {
    SystemPortList result;
    // Device folders are compared as resolved paths.
    const std::string sysfsRoot = RealPath(sysfsRootIn).value_or(sysfsRootIn);
    const std::string classRoot = sysfsRoot + "/class/tty";
    DIR* dir = opendir(classRoot.c_str());
    if (dir == nullptr) {
        result.error = "Could not read " + classRoot + ". (" + strerror(errno) + ")";
        return result;
    }
    std::vector<TtyName> names;
    while (dirent* entry = readdir(dir)) {
        if (auto tty = ParseTtyName(entry->d_name)) names.push_back(*tty);
    }
    closedir(dir);
    std::sort(names.begin(), names.end(), [](const TtyName& a, const TtyName& b) {
        return std::tie(a.prefix, a.index) < std::tie(b.prefix, b.index);
    });

    for (const TtyName& tty : names) {
        const std::string classDir = classRoot + "/" + tty.name;
        // A tty without a device behind it is a virtual one (console, pty).
        auto deviceDir = RealPath(classDir + "/device");
        if (!deviceDir || !Exists(*deviceDir + "/driver")) continue;
        std::optional<SystemPort> port = tty.kind == Kind::OnBoard
                                             ? OnBoardPort(tty, classDir, *deviceDir, sysfsRoot)
                                             : UsbPort(*deviceDir, sysfsRoot);
        if (!port) continue;
        port->deviceNode = DeviceNode(classDir, tty, devRoot);
        result.ports.push_back(std::move(*port));
    }
    return result;
}

}  // namespace tav
