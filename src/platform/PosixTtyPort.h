#pragma once
#include <memory>
#include <string>

#include "protocol/SerialPort.h"

// A terminal device driven through termios directly, for the terminals the serial library
// does not list as ports: pseudo-terminals, such as the one the simulated controller program
// offers. Only on POSIX systems; elsewhere open() always gives nullptr.

namespace kv {

class PosixTtyPort final : public SerialPort {
public:
    static std::unique_ptr<PosixTtyPort> open(const std::string& devicePath);
    ~PosixTtyPort() override;
    PosixTtyPort(const PosixTtyPort&) = delete;
    PosixTtyPort& operator=(const PosixTtyPort&) = delete;

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

private:
    explicit PosixTtyPort(int fd) : fd_(fd) {}
    bool modemLine(int bit, bool on);

    int fd_;
    LineParams params_;
    int readTimeoutMs_ = 1000;
    int writePerByteMs_ = 500;
};

} // namespace kv
