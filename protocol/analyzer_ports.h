// What the download controller needs of the port scans: the analyzer-port
// list, its found flag and the COM-number-to-device table. The scans fill
// them on the link worker; the controller reads them on the window thread, so
// an implementation must make each call safe against a scan running meanwhile.
#pragma once

#include <cstdlib>
#include <string>

namespace tav {

class AnalyzerPorts {
  public:
    virtual ~AnalyzerPorts() = default;
    // Entries of the analyzer-port list (cables that look like the analyzer's).
    virtual int Count() const = 0;
    // Port name of entry `index` ("COM7"); "" when out of range.
    virtual std::string PortName(int index) const = 0;
    // The found flag of the latest full scan.
    virtual bool Found() const = 0;
    virtual void SetFound(bool found) = 0;
    // The device the driver opens for COM number `number`; "" when the number
    // has no entry.
    virtual std::string DeviceName(int number) const = 0;
};

// The COM number in a port name: the last character of a 4-character name,
// the last two of a 5-character name, the last three otherwise; 0 when they
// hold no number.
inline int PortNumberFromName(const std::string& name) {
    size_t digits = name.size() == 4 ? 1 : name.size() == 5 ? 2 : 3;
    if (digits > name.size()) digits = name.size();
    return std::atoi(name.substr(name.size() - digits).c_str());
}

}  // namespace tav
