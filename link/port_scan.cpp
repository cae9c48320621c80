#include "link/port_scan.h"

#include <cctype>

namespace tav {

namespace {

// The last `n` characters of `s`, or all of it when shorter.
std::string Last(const std::string& s, size_t n) {
    return s.size() <= n ? s : s.substr(s.size() - n);
}

}  // namespace

PortCandidate ParsePortCandidate(const PortInfo& info) {
    const std::string& f = info.friendlyName;
    PortCandidate c;
    c.friendlyName = f;
    c.busTag = Last(info.devicePath.substr(0, 7), 3);
    for (char& ch : c.busTag) ch = static_cast<char>(std::toupper(static_cast<unsigned char>(ch)));
    if (f.size() >= 5 && f[f.size() - 5] == 'O') {
        c.portName = Last(f, 6).substr(0, 5);
        c.portNumberText = Last(c.portName, 2);
    } else {
        c.portName = Last(f, 5).substr(0, 4);
        c.portNumberText = Last(c.portName, 1);
    }
    return c;
}

bool IsAnalyzerCable(const PortCandidate& c) {
    return c.busTag == "USB" && c.friendlyName.rfind(kAnalyzerNamePrefix, 0) == 0;
}

PortCandidateList PortLists::ComPortList() const {
    std::lock_guard lock(mutex_);
    return comPorts_;
}

PortCandidateList PortLists::AnalyzerPortList() const {
    std::lock_guard lock(mutex_);
    return analyzerPorts_;
}

AnalyzerPort PortLists::LastAnalyzerPort() const {
    std::lock_guard lock(mutex_);
    return lastAnalyzerPort_;
}

void PortLists::SetLastAnalyzerPort(const AnalyzerPort& port) {
    std::lock_guard lock(mutex_);
    lastAnalyzerPort_ = port;
}

void PortLists::SetLastAnalyzerPortName(const std::string& portName) {
    std::lock_guard lock(mutex_);
    lastAnalyzerPort_.portName = portName;
}

std::string PortLists::SelectedPortText() const {
    std::lock_guard lock(mutex_);
    return selectedPortText_;
}

void PortLists::SetSelectedPortText(const std::string& text) {
    std::lock_guard lock(mutex_);
    selectedPortText_ = text;
}

PortNameTable PortLists::NameTable() const {
    std::lock_guard lock(mutex_);
    return nameTable_;
}

std::string PortLists::LastEnumerationError() const {
    std::lock_guard lock(mutex_);
    return enumerationError_;
}

void PortLists::ReplaceAll(PortCandidateList comPorts, PortCandidateList analyzerPorts,
                           PortNameTable table, std::string error) {
    std::lock_guard lock(mutex_);
    comPorts_ = std::move(comPorts);
    analyzerPorts_ = std::move(analyzerPorts);
    nameTable_ = std::move(table);
    enumerationError_ = std::move(error);
}

void PortLists::ReplaceAnalyzerPorts(PortCandidateList analyzerPorts, PortNameTable table,
                                     std::string error) {
    std::lock_guard lock(mutex_);
    analyzerPorts_ = std::move(analyzerPorts);
    nameTable_ = std::move(table);
    enumerationError_ = std::move(error);
}

PortEnumerator SystemPortEnumerator(std::string homeDir, std::string sysfsRoot,
                                    std::string devRoot) {
    return [=] { return EnumeratePorts(sysfsRoot, homeDir, devRoot); };
}

PortScanner::PortScanner(PortLists& lists, PortEnumerator enumerate, LinkState& state,
                         LinkChannel& channel)
    : lists_(lists), enumerate_(std::move(enumerate)), state_(state), channel_(channel) {}

void PortScanner::ScanAllPorts() {
    {
        std::lock_guard scan(scanMutex_);
        lists_.SetAnalyzerPortFound(0);
        PortEnumeration found = enumerate_();
        PortCandidateList comPorts, analyzerPorts;
        for (const PortInfo& info : found.ports) {
            PortCandidate c = ParsePortCandidate(info);
            if (IsAnalyzerCable(c)) {
                lists_.SetLastAnalyzerPort({c.portName, c.friendlyName, c.busTag});
                lists_.SetAnalyzerPortFound(1);
                analyzerPorts.push_back(c);
            }
            if (c.portName.rfind("COM", 0) == 0) comPorts.push_back(c);
        }
        lists_.ReplaceAll(std::move(comPorts), std::move(analyzerPorts),
                          PortNameTable::FromPorts(found.ports), std::move(found.error));
    }
    // The command runs on the window thread, which may itself be waiting to
    // scan: send it without holding the scan lock.
    int phase = state_.LinkPhase.load();
    if (phase == 0 || phase == -1) {
        state_.DownloadState = 0;
        channel_.SendLinkCommand(kCommandManualMode);
    }
}

void PortScanner::ScanAnalyzerPorts() {
    bool none;
    {
        std::lock_guard scan(scanMutex_);
        PortEnumeration found = enumerate_();
        PortCandidateList analyzerPorts;
        for (const PortInfo& info : found.ports) {
            PortCandidate c = ParsePortCandidate(info);
            if (!IsAnalyzerCable(c)) continue;
            lists_.SetLastAnalyzerPort({c.portName, c.friendlyName, c.busTag});
            analyzerPorts.push_back(c);
        }
        none = analyzerPorts.empty();
        lists_.ReplaceAnalyzerPorts(std::move(analyzerPorts), PortNameTable::FromPorts(found.ports),
                                    std::move(found.error));
    }
    if (none) channel_.SendLinkCommand(kCommandNoAnalyzerPort);
}

PortSelectList FillPortSelectList(const PortLists& lists) {
    PortSelectList list;
    const std::string last = lists.LastAnalyzerPort().portName;
    for (const PortCandidate& c : lists.ComPortList()) {
        list.items.push_back("COM" + c.portNumberText);
        if (list.items.back() == last) list.selected = static_cast<int>(list.items.size()) - 1;
    }
    if (list.selected < 0 && !list.items.empty()) list.selected = 0;
    return list;
}

PortChoice ResolvePortName(const std::string& text, const PortNameTable& table) {
    PortChoice choice;
    choice.text = text;
    std::optional<int> number = PortNumberFromText(text);
    std::optional<std::string> device = number ? table.DeviceFor(*number) : std::nullopt;
    if (!device) {
        choice.error = "\"" + text + "\" is not a communication port (COM1 to COM100).";
        return choice;
    }
    choice.ok = true;
    choice.number = *number;
    choice.device = *device;
    return choice;
}

PortChoice AcceptPortSelection(const std::string& text, PortLists& lists, SerialLink& link) {
    PortChoice choice = ResolvePortName(text.empty() ? kDefaultPortText : text, lists.NameTable());
    if (!choice.ok) return choice;
    lists.SetSelectedPortText(choice.text);
    link.SetPortDeviceName(choice.device);
    link.SetLineSettings(LineSettings{9600, 8, 0, 0, 0});
    return choice;
}

}  // namespace tav
