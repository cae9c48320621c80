// Command codes of the main window's link command and the fixed texts the
// download controller shows.
#pragma once

namespace tav {

namespace cmd {
inline constexpr int kShowHome = 1;
inline constexpr int kShowDownload = 2;
inline constexpr int kShowList = 3;
inline constexpr int kShowGraph = 4;
inline constexpr int kManualStart = 10;
inline constexpr int kRefreshView = 12;
inline constexpr int kStartAuto = 30;
inline constexpr int kOpenNextPort = 31;
inline constexpr int kRestartScan = 32;
inline constexpr int kGreeting = 33;
inline constexpr int kMeasurementRequest = 34;
inline constexpr int kCartridgeRemoval = 35;
inline constexpr int kWatchdogScan = 36;
inline constexpr int kEnd = 37;
inline constexpr int kManualMode = 50;
inline constexpr int kLinkCheck = 51;
inline constexpr int kResultRequest = 52;
inline constexpr int kEndAfterDecode = 53;
inline constexpr int kClosePort = 54;
inline constexpr int kPurge = 65;
inline constexpr int kDownloadFinished = 500;
// The download processing refused the records: nothing was stored, the
// exchange is over and the user may download again.
inline constexpr int kDownloadFailed = 501;
}  // namespace cmd

// The link worker's events, in wait order (SignalWorker takes 1 to 3).
namespace ev {
inline constexpr int kStop = 0;
inline constexpr int kDecode = 1;
inline constexpr int kScanAll = 2;
inline constexpr int kScanAnalyzer = 3;
}  // namespace ev

// The controller's timers.
namespace timer {
inline constexpr int kLinkCheck = 3;
inline constexpr int kReceive = 5;
inline constexpr int kAuto = 10;
}  // namespace timer

namespace text {
inline constexpr const char* kPortOpenFailed =
    "Communication port connecting failure.\r\nPlease check the communication port again.";
inline constexpr const char* kConnectedSuffix = " is connected.";
inline constexpr const char* kAskDownload =
    "\r\nDo you want to download HbA1c results from analyzer?";
inline constexpr const char* kCheckingManual =
    "Checking if communication between analyzer and PC is established.(Manual)";
inline constexpr const char* kCheckingAuto =
    "Checking if communication between analyzer and PC is established.(Auto)";
inline constexpr const char* kNoResponse =
    "No response from the analyzer. Please check ready for use (Stand-by-mode) on the "
    "analyzer, check communication port and cable.";
inline constexpr const char* kDataTransferred = "Data is transferred from analyzer.";
inline constexpr const char* kDataBeingTransferred = "Data is being transferred from analyzer";
inline constexpr const char* kErrorCount = "Error count : %d";
inline constexpr const char* kFail1 =
    "1 Receiving the data from the analyzer is not working.\r\nPlease check the meter "
    "communication port and cable.";
inline constexpr const char* kFail2 =
    "2 Receiving the data from the analyzer is not working.\r\nPlease check the PC "
    "communication port and cable.";
inline constexpr const char* kFail3 =
    "3 Receiving the data from the analyzer is not working.\r\nPlease check the meter "
    "communication port and calbe.";
inline constexpr const char* kNoNewData = "No new data from analyzer.";
inline constexpr const char* kReceiving = "Receiving data from analyzer...";
inline constexpr const char* kReceivingEven = "Receiving data from analyzer... ";
inline constexpr const char* kReceivingOdd = "Receiving data from analyzer......";
inline constexpr const char* kBlankBox = "DATA buffer of TAVRINA1c Expert is blank!!!";
inline constexpr const char* kBlankProgress = "DATA of TAVRINA1c Expert is blank!";
inline constexpr const char* kInitAuto = " Initialize automatic mode and search connected port. ";
inline constexpr const char* kOpenPort = "Open communication port.";
inline constexpr const char* kWaiting = "Waiting...";
inline constexpr const char* kChecking = "Checking....";
inline constexpr const char* kAwaitingMeasurement =
    "Awaiting measurement data from connected analyzer";
inline constexpr const char* kMeasurementCompleted = "Measurement is completed";
inline constexpr const char* kRemoveCartridge =
    "Caution >> Please remove the cartridge from analyzer\r\n(Close this message box)";
inline constexpr const char* kCartridgeRemoved =
    "Please make sure the cartridge is removed from analyzer\r\n(Close this message box)";
inline constexpr const char* kAutoTerminated = "Automatic mode was terminated.";
inline constexpr const char* kAskManual = "Do you want to change in Manual-mode?";
inline constexpr const char* kAskAuto = "Do you want to switch to automatic mode?";
inline constexpr const char* kClose = "Close";
inline constexpr const char* kAutomatic = "automatic";
inline constexpr const char* kManual = "manual";
}  // namespace text

}  // namespace tav
