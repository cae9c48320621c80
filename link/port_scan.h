// The port scans that pick the analyzer's cable out of the ports present, the
// lists they keep, and the logic of the port-select dialog.
//
// The analyzer's cable is a USB port whose friendly name begins with
// "Prolific". ComPortList holds every COM port (offered in the dialog),
// AnalyzerPortList the cable candidates (tried by the controller in turn).
#pragma once

#include <atomic>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "link/link_channel.h"
#include "link/link_state.h"
#include "link/port_discovery.h"
#include "link/serial_link.h"

namespace tav {

// Controller commands the scans send.
inline constexpr int kCommandManualMode = 50;      // after a full scan, controller idle
inline constexpr int kCommandNoAnalyzerPort = 32;  // analyzer scan found no candidate
inline constexpr const char* kAnalyzerNamePrefix = "Prolific";
inline constexpr const char* kDefaultPortText = "COM3";

struct PortCandidate {
    std::string portName;        // "COM7", cut from the end of the friendly name
    std::string friendlyName;    // as enumerated
    std::string busTag;          // characters 5 to 7 of the device path, upper case: "USB"
    std::string portNumberText;  // "7"
};
using PortCandidateList = std::vector<PortCandidate>;

// Cuts the port name and number text from the end of the friendly name: the
// fifth character from the end decides between "...(COMn)" and
// "...(COMnn)"; a name shorter than the slice is taken whole.
PortCandidate ParsePortCandidate(const PortInfo& info);
// Bus tag "USB" and a friendly name beginning with "Prolific".
bool IsAnalyzerCable(const PortCandidate& candidate);

struct AnalyzerPort {
    std::string portName;
    std::string friendlyName;
    std::string busTag;
};

// The lists and flags of the scans, one object for the whole program. Scans
// on the link worker replace the lists while the window thread reads them,
// so every access takes the lock and reads return copies.
class PortLists {
  public:
    PortCandidateList ComPortList() const;
    PortCandidateList AnalyzerPortList() const;
    int AnalyzerPortFound() const { return analyzerPortFound_.load(); }
    void SetAnalyzerPortFound(int found) { analyzerPortFound_ = found; }
    // The last candidate found; its port name is also the controller's
    // current port name, which the controller overwrites when it opens one.
    AnalyzerPort LastAnalyzerPort() const;
    void SetLastAnalyzerPortName(const std::string& portName);
    // The text the user confirmed in the port-select dialog.
    std::string SelectedPortText() const;
    void SetSelectedPortText(const std::string& text);
    // COM number -> device, from the latest scan.
    PortNameTable NameTable() const;
    // "" or the failure the latest enumeration reported.
    std::string LastEnumerationError() const;

    // For the scans.
    void ReplaceAll(PortCandidateList comPorts, PortCandidateList analyzerPorts,
                    PortNameTable table, std::string error);
    void ReplaceAnalyzerPorts(PortCandidateList analyzerPorts, PortNameTable table,
                              std::string error);
    void SetLastAnalyzerPort(const AnalyzerPort& port);

  private:
    mutable std::mutex mutex_;
    PortCandidateList comPorts_;
    PortCandidateList analyzerPorts_;
    std::atomic<int> analyzerPortFound_{0};
    AnalyzerPort lastAnalyzerPort_;
    std::string selectedPortText_;
    PortNameTable nameTable_;
    std::string enumerationError_;
};

using PortEnumerator = std::function<PortEnumeration()>;
// Enumerates the system's ports (sysfs, /dev) with the COM numbers and
// virtual ports of `homeDir`.
PortEnumerator SystemPortEnumerator(std::string homeDir, std::string sysfsRoot = "/sys",
                                    std::string devRoot = "/dev");

class PortScanner {
  public:
    PortScanner(PortLists& lists, PortEnumerator enumerate, LinkState& state, LinkChannel& channel);

    // Rebuilds both lists and the name table. When the controller is idle
    // (LinkPhase 0 or -1) sets DownloadState to 0 and sends command 50.
    // Runs on the link worker, and on the window thread from the dialog's
    // search button. A failed enumeration keeps the ports found before it.
    void ScanAllPorts();
    // Rebuilds AnalyzerPortList (and the name table) only; sends command 32
    // when no candidate was found.
    void ScanAnalyzerPorts();

  private:
    PortLists& lists_;
    PortEnumerator enumerate_;
    LinkState& state_;
    LinkChannel& channel_;
    std::mutex scanMutex_;  // one enumeration at a time (it updates the COM numbers file)
};

// The port-select dialog's drop-down list: "COM" + number text for every
// entry of ComPortList, and the item to select: the last one equal to the
// last analyzer port name, else 0; -1 when the list is empty.
struct PortSelectList {
    std::vector<std::string> items;
    int selected = -1;
};
PortSelectList FillPortSelectList(const PortLists& lists);

// A port text resolved to the device the driver opens.
struct PortChoice {
    bool ok = false;
    std::string text;    // the text resolved ("COM3" for an empty OK)
    int number = 0;      // 1..100 when ok
    std::string device;  // PortNameTable entry; "" when no device holds the number
    std::string error;   // why the text was refused, when not ok
};
// Takes the number from the text's last characters (see PortNumberFromText)
// and looks it up. A text with no table entry ("M100", "COM101", "COMX") is
// refused with an explanation.
PortChoice ResolvePortName(const std::string& text, const PortNameTable& table);

// OK in the port-select dialog: an empty text means COM3. On success stores
// the selected port text, sets the driver's device name and the line
// settings 9600 8-N-1 without XON/XOFF. On refusal changes nothing; the
// dialog shows `error` and stays open.
PortChoice AcceptPortSelection(const std::string& text, PortLists& lists, SerialLink& link);

}  // namespace tav
