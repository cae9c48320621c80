#include "link/port_discovery.h"

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <map>
#include <set>
#include <sstream>

#include "platform/paths.h"
#include "platform/process.h"

namespace tav {

namespace {

bool InRange(int n) {
    return n >= kFirstPortNumber && n <= kLastPortNumber;
}

std::optional<int> ParseNumber(std::string_view text) {
    if (text.empty() || text.size() > 3) return std::nullopt;
    int n = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return std::nullopt;
        n = n * 10 + (c - '0');
    }
    return n;
}

std::vector<std::string> ReadLines(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines.push_back(line);
    }
    return lines;
}

bool IsCommentOrBlank(const std::string& line) {
    size_t first = line.find_first_not_of(" \t");
    return first == std::string::npos || line[first] == '#';
}

std::vector<std::string> SplitTabs(const std::string& line, size_t maxFields) {
    std::vector<std::string> fields;
    size_t start = 0;
    while (fields.size() + 1 < maxFields) {
        size_t tab = line.find('\t', start);
        if (tab == std::string::npos) break;
        fields.push_back(line.substr(start, tab - start));
        start = tab + 1;
    }
    fields.push_back(line.substr(start));
    return fields;
}

// Replaces `path` as a whole, so a reader never sees half a file.
bool WriteFileAtomically(const std::string& path, const std::string& text) {
    const std::string temp = path + ".new";
    {
        std::ofstream out(temp, std::ios::trunc | std::ios::binary);
        if (!out) return false;
        out << text;
        out.flush();
        if (!out) {
            std::remove(temp.c_str());
            return false;
        }
    }
    if (std::rename(temp.c_str(), path.c_str()) != 0) {
        std::remove(temp.c_str());
        return false;
    }
    return true;
}

// The kept COM numbers: identity -> number, in file order.
class ComNumberStore {
  public:
    explicit ComNumberStore(std::string path) : path_(std::move(path)) {
        for (const std::string& line : ReadLines(path_)) {
            if (IsCommentOrBlank(line)) continue;
            auto fields = SplitTabs(line, 2);
            if (fields.size() != 2 || fields[1].empty()) continue;
            auto n = ParseNumber(fields[0]);
            if (!n || !InRange(*n) || byIdentity_.count(fields[1])) continue;
            order_.push_back(fields[1]);
            byIdentity_[fields[1]] = *n;
        }
    }

    std::optional<int> Find(const std::string& identity) const {
        auto it = byIdentity_.find(identity);
        if (it == byIdentity_.end()) return std::nullopt;
        return it->second;
    }
    std::set<int> Numbers() const {
        std::set<int> used;
        for (const auto& [identity, n] : byIdentity_) used.insert(n);
        return used;
    }
    void Set(const std::string& identity, int n) {
        if (!byIdentity_.count(identity)) order_.push_back(identity);
        byIdentity_[identity] = n;
        changed_ = true;
    }
    // Gives up the number of the first kept device that is not present.
    std::optional<int> EvictAbsent(const std::set<std::string>& present) {
        for (auto it = order_.begin(); it != order_.end(); ++it) {
            if (present.count(*it)) continue;
            int n = byIdentity_[*it];
            byIdentity_.erase(*it);
            order_.erase(it);
            changed_ = true;
            return n;
        }
        return std::nullopt;
    }
    void SaveIfChanged() const {
        if (!changed_) return;
        std::ostringstream text;
        text << "# COM numbers of the serial devices seen: number<TAB>device\n";
        for (const std::string& identity : order_)
            text << byIdentity_.at(identity) << '\t' << identity << '\n';
        WriteFileAtomically(path_, text.str());  // a read-only home keeps numbers per run
    }

  private:
    std::string path_;
    std::vector<std::string> order_;
    std::map<std::string, int> byIdentity_;
    bool changed_ = false;
};

std::optional<int> LowestFree(const std::set<int>& used, int from, int to) {
    for (int n = from; n <= to; ++n)
        if (!used.count(n)) return n;
    return std::nullopt;
}

// Gives every present device its number: the kept one, else its preferred
// one, else the lowest free from 3 up, else 1 or 2, else the number of a
// device long gone. `reserved` are numbers virtual ports claim.
std::vector<int> AssignNumbers(const std::vector<SystemPort>& ports, ComNumberStore& store,
                               const std::set<int>& reserved) {
    std::vector<int> numbers(ports.size(), 0);
    std::set<int> taken;  // by present devices this run
    for (size_t i = 0; i < ports.size(); ++i) {
        auto kept = store.Find(ports[i].identity);
        if (kept && !taken.count(*kept)) {
            numbers[i] = *kept;
            taken.insert(*kept);
        }
    }
    std::set<std::string> present;
    for (const SystemPort& p : ports) present.insert(p.identity);
    for (size_t i = 0; i < ports.size(); ++i) {
        if (numbers[i] != 0) continue;
        std::set<int> used = store.Numbers();
        used.insert(taken.begin(), taken.end());
        used.insert(reserved.begin(), reserved.end());
        std::optional<int> n;
        int preferred = ports[i].preferredNumber;
        if (InRange(preferred) && !used.count(preferred)) n = preferred;
        if (!n) n = LowestFree(used, 3, kLastPortNumber);
        if (!n) n = LowestFree(used, kFirstPortNumber, 2);
        if (!n) n = store.EvictAbsent(present);
        if (!n) continue;  // more than a hundred devices present
        numbers[i] = *n;
        taken.insert(*n);
        store.Set(ports[i].identity, *n);
    }
    return numbers;
}

std::string WithComSuffix(const std::string& name, int n) {
    const std::string suffix = "(COM" + std::to_string(n) + ")";
    if (name.size() >= suffix.size() &&
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
        return name;
    return name.empty() ? suffix : name + " " + suffix;
}

}  // namespace

void CompletePortInfo(PortInfo& info) {
    if (info.friendlyName.empty()) info.friendlyName = info.portName;
    if (info.description.empty()) {
        info.description = info.friendlyName;
        size_t open = info.description.find(" (");
        if (open != std::string::npos && open >= 1 && info.description.back() == ')')
            info.description.erase(open);
    }
}

PortEnumeration EnumeratePorts(const std::string& sysfsRoot, const std::string& homeDir,
                               const std::string& devRoot) {
    PortEnumeration result;
    SystemPortList system = ListSystemPorts(sysfsRoot, devRoot);
    result.error = system.error;

    std::vector<VirtualPort> virtualPorts = ReadVirtualPorts(homeDir);
    std::set<int> reserved;
    for (const VirtualPort& v : virtualPorts) reserved.insert(v.comNumber);

    ComNumberStore store(JoinPath(homeDir, kComNumbersFile));
    std::vector<int> numbers = AssignNumbers(system.ports, store, reserved);
    store.SaveIfChanged();

    std::set<int> held;
    for (size_t i = 0; i < system.ports.size(); ++i) {
        const SystemPort& p = system.ports[i];
        if (numbers[i] == 0) continue;
        PortInfo info;
        info.devicePath = p.devicePath;
        info.friendlyName = WithComSuffix(p.friendlyBase, numbers[i]);
        info.usb = p.usb;
        info.description = p.description;
        info.comNumber = numbers[i];
        info.deviceNode = p.deviceNode;
        held.insert(numbers[i]);
        result.ports.push_back(std::move(info));
    }
    // A virtual port gives way to a device that already holds its number,
    // and is left out once its device is gone (the simulator has ended).
    for (const VirtualPort& v : virtualPorts) {
        if (held.count(v.comNumber) || !PathExists(v.devicePath)) continue;
        if (v.ownerPid != 0 && !ProcessExists(v.ownerPid)) continue;
        PortInfo info;
        const std::string com = "COM" + std::to_string(v.comNumber);
        info.devicePath = std::string("\\\\?\\") + (v.usb ? "USB" : "ROOT") + "#VIRTUAL#" + com +
                          "#" + kComPortInterfaceClass;
        info.friendlyName = WithComSuffix(v.friendlyName, v.comNumber);
        info.usb = v.usb;
        info.comNumber = v.comNumber;
        info.deviceNode = v.devicePath;
        held.insert(v.comNumber);
        result.ports.push_back(std::move(info));
    }
    std::stable_sort(
        result.ports.begin(), result.ports.end(),
        [](const PortInfo& a, const PortInfo& b) { return a.comNumber < b.comNumber; });
    for (PortInfo& info : result.ports) CompletePortInfo(info);
    return result;
}

PortNameTable PortNameTable::FromPorts(const PortInfoList& ports) {
    PortNameTable table;
    for (const PortInfo& p : ports) table.Assign(p.comNumber, p.deviceNode);
    return table;
}

void PortNameTable::Assign(int number, std::string device) {
    if (InRange(number)) devices_[number] = std::move(device);
}

std::optional<std::string> PortNameTable::DeviceFor(int number) const {
    if (!InRange(number)) return std::nullopt;
    return devices_[number];
}

std::optional<int> PortNumberFromText(std::string_view text) {
    size_t take = text.size() == 4 ? 1 : text.size() == 5 ? 2 : 3;
    take = std::min(take, text.size());
    auto n = ParseNumber(text.substr(text.size() - take));
    if (!n || !InRange(*n)) return std::nullopt;
    return n;
}

std::optional<VirtualPort> ParseVirtualPortLine(const std::string& raw) {
    std::string line = raw;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (IsCommentOrBlank(line)) return std::nullopt;
    auto fields = SplitTabs(line, 5);
    if (fields.size() < 4) return std::nullopt;
    auto n = ParseNumber(fields[0]);
    if (!n || (fields[2] != "0" && fields[2] != "1")) return std::nullopt;
    int pid = 0;
    if (fields.size() == 5) {
        const std::string& text = fields[4];
        if (text.empty() || text.size() > 9 ||
            text.find_first_not_of("0123456789") != std::string::npos)
            return std::nullopt;
        pid = std::stoi(text);
    }
    return VirtualPort{*n, fields[1], fields[2] == "1", fields[3], pid};
}

std::string FormatVirtualPortLine(const VirtualPort& port) {
    std::string line = std::to_string(port.comNumber) + "\t" + port.devicePath + "\t" +
                       (port.usb ? "1" : "0") + "\t" + port.friendlyName;
    if (port.ownerPid > 0) line += "\t" + std::to_string(port.ownerPid);
    return line;
}

std::vector<VirtualPort> ReadVirtualPorts(const std::string& homeDir) {
    std::vector<VirtualPort> ports;
    std::set<int> seen;
    for (const std::string& line : ReadLines(JoinPath(homeDir, kVirtualPortsFile))) {
        auto port = ParseVirtualPortLine(line);
        if (!port || port->devicePath.empty() || !InRange(port->comNumber)) continue;
        if (!seen.insert(port->comNumber).second) continue;  // the first line for a number wins
        ports.push_back(std::move(*port));
    }
    return ports;
}

}  // namespace tav
