#include "protocol/analyzer_ports.h"

#include "link/port_scan.h"

namespace tav {

int ScannedAnalyzerPorts::Count() const {
    return static_cast<int>(lists_.AnalyzerPortList().size());
}

std::string ScannedAnalyzerPorts::PortName(int index) const {
    const PortCandidateList list = lists_.AnalyzerPortList();
    if (index < 0 || index >= static_cast<int>(list.size())) return {};
    return list[index].portName;
}

bool ScannedAnalyzerPorts::Found() const {
    return lists_.AnalyzerPortFound() == 1;
}

void ScannedAnalyzerPorts::SetFound(bool found) {
    lists_.SetAnalyzerPortFound(found ? 1 : 0);
}

std::string ScannedAnalyzerPorts::DeviceName(int number) const {
    return lists_.NameTable().DeviceFor(number).value_or(std::string());
}

void ScannedAnalyzerPorts::SetCurrentPortName(const std::string& name) {
    lists_.SetLastAnalyzerPortName(name);
}

}  // namespace tav
