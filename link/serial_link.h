// The serial line as the download controller uses it. SerialPort implements it
// on the operating system's serial device; controller tests put the
// simulator's protocol model behind it in virtual time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace tav {

// Receives every byte from the line, one call per byte, on the window thread
// (the serial watcher hands each byte over synchronously). A NUL byte and a
// long silence both arrive as a blank (0x20).
class SerialReceiver {
  public:
    virtual ~SerialReceiver() = default;
    virtual void OnSerialByte(uint8_t byte) = 0;
};

struct LineSettings {
    uint32_t baudRate = 9600;
    uint8_t byteSize = 8;
    uint8_t stopBits = 0;  // 0 = one stop bit
    uint8_t parity = 0;    // 0 = none
    // bit 0 XON/XOFF in, bit 1 XON/XOFF out, bit 2 discard NUL bytes.
    uint32_t flowWord = 0;
};

class SerialLink {
  public:
    virtual ~SerialLink() = default;

    // The device the next Open uses (from PortNameTable).
    virtual void SetPortDeviceName(const std::string& name) = 0;
    virtual std::string PortDeviceName() const = 0;
    virtual void SetLineSettings(const LineSettings& settings) = 0;

    // Closes an open line, stores the receiver and the buffer size.
    virtual bool Prepare(SerialReceiver* owner, uint32_t bufferSize) = 0;
    // Opens the line, starts delivering bytes, settles 800 ms (through the
    // clock) and returns true; false on any failure (see LastOpenError).
    virtual bool Open() = 0;
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // Returns the number of bytes written (0 when closed or failed).
    virtual size_t Write(const uint8_t* data, size_t count) = 0;
    virtual bool Purge() = 0;
    // The operating system's reason for the last failed Open ("" when none).
    virtual std::string LastOpenError() const = 0;
};

}  // namespace tav
