#pragma once
#include <memory>
#include <string>

#include "protocol/SerialPort.h"

struct sp_port;

// The operating system's serial device through libserialport.

namespace kv {

class LibSerialPort final : public SerialPort {
public:
    // Opens an existing device for reading and writing, not shared with other programs;
    // nullptr when it does not exist, is busy or cannot be set up.
    static std::unique_ptr<LibSerialPort> open(const std::string& devicePath);
    ~LibSerialPort() override;
    LibSerialPort(const LibSerialPort&) = delete;
    LibSerialPort& operator=(const LibSerialPort&) = delete;

    bool setParams(const LineParams& p) override;
    LineParams params() const override { return params_; }
    bool setDtr(bool on) override;
    bool setRts(bool on) override;
    bool setBreak(bool on) override;
    ModemStatus modemStatus() override;
    void setTimeouts(int readTotalMs, int writePerByteMs) override;
    int read(uint8_t* buf, int n) override;
    int write(const uint8_t* buf, int n) override;
    void discardInput() override;

    const std::string& devicePath() const { return path_; }

private:
    LibSerialPort(sp_port* port, std::string path);
    bool readParams();

    sp_port* port_;
    std::string path_;
    LineParams params_;
    int readTimeoutMs_ = 1000;
    int writePerByteMs_ = 500;
    int lockFd_ = -1;
};

} // namespace kv
