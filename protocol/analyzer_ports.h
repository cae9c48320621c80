// What the download controller needs of the port scans: the analyzer-port
// list, its found flag and the COM-number-to-device table. The scans fill
// them on the link worker; the controller reads them on the window thread, so
// an implementation must make each call safe against a scan running meanwhile.
#pragma once

#include <string>

namespace tav {

class PortLists;

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
    // has no entry or no device holds it.
    virtual std::string DeviceName(int number) const = 0;
    // The analyzer port automatic mode opened last (the port-select dialog
    // preselects it).
    virtual void SetCurrentPortName(const std::string& /*name*/) {}
};

// The program's port lists as the controller sees them.
class ScannedAnalyzerPorts final : public AnalyzerPorts {
  public:
    explicit ScannedAnalyzerPorts(PortLists& lists) : lists_(lists) {}
    int Count() const override;
    std::string PortName(int index) const override;
    bool Found() const override;
    void SetFound(bool found) override;
    std::string DeviceName(int number) const override;
    void SetCurrentPortName(const std::string& name) override;

  private:
    PortLists& lists_;
};

}  // namespace tav
