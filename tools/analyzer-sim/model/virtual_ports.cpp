#include "tools/analyzer-sim/model/virtual_ports.h"

#include <sstream>
#include <vector>

#include "link/port_discovery.h"

namespace tav::sim {
namespace {

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> out;
    std::istringstream in(text);
    std::string line;
    while (std::getline(in, line)) out.push_back(line);
    return out;
}

std::string Join(const std::vector<std::string>& lines) {
    std::string out;
    for (const auto& l : lines) out += l + "\n";
    return out;
}

std::string Stripped(std::string line) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    return line;
}

}  // namespace

std::string CableFriendlyName(int com) {
    return "Prolific USB-to-Serial Comm Port (COM" + std::to_string(com) + ")";
}

std::string FormatPortLine(const VirtualPort& p) {
    return FormatVirtualPortLine(tav::VirtualPort{p.com, p.device, p.usb, p.friendlyName, p.pid});
}

std::optional<VirtualPort> ParsePortLine(const std::string& line) {
    auto p = ParseVirtualPortLine(line);
    if (!p || p->comNumber <= 0) return std::nullopt;
    return VirtualPort{p->comNumber, p->devicePath, p->usb, p->friendlyName, p->ownerPid};
}

std::string WithPortLine(const std::string& text, const VirtualPort& port, int* replaced) {
    std::vector<std::string> out;
    bool placed = false;
    int dropped = 0;
    for (const auto& line : Lines(text)) {
        auto p = ParsePortLine(line);
        if (p && p->com == port.com) {
            ++dropped;
            if (!placed) out.push_back(FormatPortLine(port));
            placed = true;
            continue;
        }
        out.push_back(line);
    }
    if (!placed) out.push_back(FormatPortLine(port));
    if (replaced) *replaced = dropped;
    return Join(out);
}

std::string WithoutPortLine(const std::string& text, const VirtualPort& port, bool* removed) {
    const std::string mine = FormatPortLine(port);
    std::vector<std::string> out;
    bool any = false;
    for (const auto& line : Lines(text)) {
        if (Stripped(line) == mine) {
            any = true;
            continue;
        }
        out.push_back(line);
    }
    if (removed) *removed = any;
    return Join(out);
}

}  // namespace tav::sim
