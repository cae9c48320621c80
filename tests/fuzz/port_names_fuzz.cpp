// The port-name parse and the virtual ports file. A COM number read from a
// port text is 1 to 100, the text ends in its digits, and "COMn" reads as n; a
// well-formed virtual port line survives formatting and parsing again; the
// ports read from a file of any content have distinct numbers in range and
// a device each, keep file order, and read the same from the file written
// back from them. Input: 0x01 separates the port text from the file.
#include <cstdint>
#include <set>
#include <sstream>
#include <string>

#include "link/port_discovery.h"
#include "tests/fuzz/fuzz_check.h"

namespace tav::fuzz {

// A CR that ends a line belongs to its line end, so a name that ends in CR
// cannot be written: names are compared without trailing CRs.
bool Same(const VirtualPort& a, const VirtualPort& b) {
    auto name = [](std::string s) { return s.erase(s.find_last_not_of('\r') + 1); };
    return a.comNumber == b.comNumber && a.devicePath == b.devicePath && a.usb == b.usb &&
           name(a.friendlyName) == name(b.friendlyName);
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto [portText, file] = Fields<2>(data, size);
    // A COM number read from the port text is in range and the text's last digits.
    if (const std::optional<int> n = PortNumberFromText(portText)) {
        const std::string digits = std::to_string(*n);
        FUZZ_CHECK(*n >= kFirstPortNumber && *n <= kLastPortNumber);
        FUZZ_CHECK(portText.ends_with(digits));
        FUZZ_CHECK(PortNumberFromText("COM" + digits) == n);
    }

    // Each line on its own: a parsed line formats to a line that parses the same.
    std::istringstream lines(file);
    for (std::string line; std::getline(lines, line);) {
        const std::optional<VirtualPort> port = ParseVirtualPortLine(line);
        if (!port) continue;
        const std::optional<VirtualPort> again = ParseVirtualPortLine(FormatVirtualPortLine(*port));
        FUZZ_CHECK(again && Same(*again, *port));
    }

    static const std::string home = ScratchDir(), path = home + "/" + kVirtualPortsFile;
    test::WriteWholeFile(path, file);
    const std::vector<VirtualPort> ports = ReadVirtualPorts(home);
    std::set<int> numbers;
    for (const VirtualPort& p : ports) {
        FUZZ_CHECK(p.comNumber >= kFirstPortNumber && p.comNumber <= kLastPortNumber);
        FUZZ_CHECK(numbers.insert(p.comNumber).second);
        FUZZ_CHECK(!p.devicePath.empty());
    }
    std::string rewritten;
    for (const VirtualPort& p : ports) rewritten += FormatVirtualPortLine(p) + "\n";
    test::WriteWholeFile(path, rewritten);
    const std::vector<VirtualPort> again = ReadVirtualPorts(home);
    FUZZ_CHECK(again.size() == ports.size());
    for (size_t i = 0; i < ports.size(); ++i) FUZZ_CHECK(Same(again[i], ports[i]));
    return 0;
}

}  // namespace tav::fuzz
