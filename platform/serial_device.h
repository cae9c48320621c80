// One serial line of the operating system: open and configure, read one byte
// at a time with a wait that another thread can cut short, write, purge.
// SerialPort (link/) runs its watcher on top of it; tests put a fake behind it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace tav {

struct SerialLineConfig {
    uint32_t baudRate = 9600;
    int dataBits = 8;  // 5..8
    enum class Parity { None, Odd, Even } parity = Parity::None;
    int stopBits = 1;  // 1 or 2
    bool xonXoffIn = false;
    bool xonXoffOut = false;
    bool discardNul = false;
};

enum class SerialRead {
    Byte,      // one byte was read
    Timeout,   // nothing arrived within the wait
    Released,  // Release() was called: the reader should stop
    Gone,      // the device went away (cable pulled, hang-up)
};

class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens `path` for exclusive use and configures the line. On failure
    // returns false and sets `error` to the system's reason
    // ("Permission denied", "No such file or directory", ...).
    virtual bool Open(const std::string& path, const SerialLineConfig& config,
                      std::string& error) = 0;
    // Waits up to `timeoutMs` for one byte. Only one thread reads.
    virtual SerialRead ReadByte(uint8_t& byte, int timeoutMs) = 0;
    // Makes a ReadByte in progress, and every later one, return Released.
    // Safe to call from any thread while another reads.
    virtual void Release() = 0;
    // Writes the block and returns once it has gone out on the line; returns
    // the count written (short or 0 on failure).
    virtual size_t Write(const uint8_t* data, size_t count) = 0;
    // Discards what is queued in both directions.
    virtual bool Purge() = 0;
    // Closes the line; the reader must have stopped.
    virtual void Close() = 0;
};

using SerialDeviceFactory = std::function<std::unique_ptr<SerialDevice>()>;

// The operating system's serial device.
std::unique_ptr<SerialDevice> MakeSystemSerialDevice();

}  // namespace tav
