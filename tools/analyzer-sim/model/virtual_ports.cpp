#include "tools/analyzer-sim/model/virtual_ports.h"

#include <charconv>
#include <sstream>
#include <vector>

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
    return std::to_string(p.com) + "\t" + p.device + "\t" + (p.usb ? "1" : "0") + "\t" +
           p.friendlyName;
}

std::optional<VirtualPort> ParsePortLine(const std::string& raw) {
    std::string line = Stripped(raw);
    if (line.empty() || line[0] == '#') return std::nullopt;
    std::vector<std::string> f;
    size_t pos = 0;
    for (int i = 0; i < 3; ++i) {
        size_t tab = line.find('\t', pos);
        if (tab == std::string::npos) return std::nullopt;
        f.push_back(line.substr(pos, tab - pos));
        pos = tab + 1;
    }
    f.push_back(line.substr(pos));
    VirtualPort p;
    auto [end, ec] = std::from_chars(f[0].data(), f[0].data() + f[0].size(), p.com);
    if (ec != std::errc() || end != f[0].data() + f[0].size() || p.com <= 0) return std::nullopt;
    if (f[2] != "0" && f[2] != "1") return std::nullopt;
    p.device = f[1];
    p.usb = f[2] == "1";
    p.friendlyName = f[3];
    return p;
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
