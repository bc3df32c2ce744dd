#pragma once
#include <cstdint>
#include <memory>
#include <string>

// The serial line as the exchange engine sees it. Production uses the operating system's
// device (libserialport); tests and the demo use the simulated line, whose reads and writes
// take the time the bytes need at the set baud on the injected clock.

namespace kv {

enum class Parity : uint8_t { None, Odd, Even, Mark, Space };

struct LineParams {
    int baud = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    int stopBits = 2;
    bool ctsFlow = false;   // output flow control by CTS
    bool operator==(const LineParams&) const = default;
};

struct ModemStatus {
    bool cts = false;
    bool dsr = false;
    bool rlsd = false;      // carrier detect
};

class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual bool setParams(const LineParams& p) = 0;
    virtual LineParams params() const = 0;

    virtual bool setDtr(bool on) = 0;
    virtual bool setRts(bool on) = 0;
    virtual bool setBreak(bool on) = 0;
    virtual ModemStatus modemStatus() = 0;

    // readTotalMs bounds one read() call as a whole; writePerByteMs bounds writing,
    // per byte (0 = no write time-out).
    virtual void setTimeouts(int readTotalMs, int writePerByteMs) = 0;

    // Reads up to n bytes; returns as soon as n bytes arrived or the read time-out passed.
    // Returns the number read (0 on time-out) or -1 when the device failed or vanished.
    virtual int read(uint8_t* buf, int n) = 0;
    // Writes n bytes; returns the number written or -1 on failure.
    virtual int write(const uint8_t* buf, int n) = 0;
    virtual void discardInput() = 0;
};

// Turns a port name of the configuration ("Com1".."Com8") into an open port, or nullptr.
class PortOpener {
public:
    virtual ~PortOpener() = default;
    virtual std::unique_ptr<SerialPort> open(const std::string& portName) = 0;
};

} // namespace kv
