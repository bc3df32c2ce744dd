#include "platform/LibSerialPort.h"

#include <libserialport.h>

#include <climits>

#if defined(__unix__) || defined(__APPLE__)
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#define KV_UNIX_TTY 1
#endif

namespace kv {

namespace {

sp_parity toSp(Parity p)
{
    switch (p) {
    case Parity::Odd: return SP_PARITY_ODD;
    case Parity::Even: return SP_PARITY_EVEN;
    case Parity::Mark: return SP_PARITY_MARK;
    case Parity::Space: return SP_PARITY_SPACE;
    case Parity::None: break;
    }
    return SP_PARITY_NONE;
}

Parity fromSp(sp_parity p)
{
    switch (p) {
    case SP_PARITY_ODD: return Parity::Odd;
    case SP_PARITY_EVEN: return Parity::Even;
    case SP_PARITY_MARK: return Parity::Mark;
    case SP_PARITY_SPACE: return Parity::Space;
    default: return Parity::None;
    }
}

// The whole-call time-out of a write: per byte times the bytes, kept within what the
// library takes (0 would mean no limit at all).
unsigned writeTimeout(int perByteMs, int n)
{
    if (perByteMs <= 0)
        return 0;
    const long long ms = static_cast<long long>(perByteMs) * n;
    return ms > INT_MAX ? unsigned(INT_MAX) : unsigned(ms < 1 ? 1 : ms);
}

} // namespace

std::unique_ptr<LibSerialPort> LibSerialPort::open(const std::string& devicePath)
{
    if (devicePath.empty())
        return nullptr;
    sp_port* port = nullptr;
    if (sp_get_port_by_name(devicePath.c_str(), &port) != SP_OK || port == nullptr)
        return nullptr;
    if (sp_open(port, SP_MODE_READ_WRITE) != SP_OK) {
        sp_free_port(port);
        return nullptr;
    }
    std::unique_ptr<LibSerialPort> self(new LibSerialPort(port, devicePath));
#ifdef KV_UNIX_TTY
    // Not shared: an advisory lock keeps out other instances of this program and every tool
    // that honours it; TIOCEXCL refuses further opens of the terminal device.
    int fd = -1;
    if (sp_get_port_handle(port, &fd) == SP_OK && fd >= 0) {
        if (flock(fd, LOCK_EX | LOCK_NB) != 0)
            return nullptr;
        self->lockFd_ = fd;
        ioctl(fd, TIOCEXCL);
    }
#endif
    if (!self->readParams())
        return nullptr;
    return self;
}

LibSerialPort::LibSerialPort(sp_port* port, std::string path) : port_(port), path_(std::move(path)) {}

LibSerialPort::~LibSerialPort()
{
#ifdef KV_UNIX_TTY
    if (lockFd_ >= 0) {
        ioctl(lockFd_, TIOCNXCL);
        flock(lockFd_, LOCK_UN);
    }
#endif
    sp_close(port_);
    sp_free_port(port_);
}

bool LibSerialPort::readParams()
{
    sp_port_config* config = nullptr;
    if (sp_new_config(&config) != SP_OK)
        return false;
    bool ok = sp_get_config(port_, config) == SP_OK;
    if (ok) {
        int baud = 0, bits = 0, stop = 0;
        sp_parity parity = SP_PARITY_NONE;
        sp_cts cts = SP_CTS_IGNORE;
        sp_get_config_baudrate(config, &baud);
        sp_get_config_bits(config, &bits);
        sp_get_config_parity(config, &parity);
        sp_get_config_stopbits(config, &stop);
        sp_get_config_cts(config, &cts);
        params_ = LineParams{baud, bits, fromSp(parity), stop, cts == SP_CTS_FLOW_CONTROL};
    }
    sp_free_config(config);
    return ok;
}

bool LibSerialPort::setParams(const LineParams& p)
{
    sp_port_config* config = nullptr;
    if (sp_new_config(&config) != SP_OK)
        return false;
    // Start from the device's own settings so that whatever is not named here stays as it was.
    bool ok = sp_get_config(port_, config) == SP_OK
        && sp_set_config_baudrate(config, p.baud) == SP_OK
        && sp_set_config_bits(config, p.dataBits) == SP_OK
        && sp_set_config_parity(config, toSp(p.parity)) == SP_OK
        && sp_set_config_stopbits(config, p.stopBits) == SP_OK;
    if (ok) {
        sp_cts cts = SP_CTS_IGNORE;
        sp_get_config_cts(config, &cts);
        if (p.ctsFlow) {
            sp_set_config_cts(config, SP_CTS_FLOW_CONTROL);
        } else if (cts == SP_CTS_FLOW_CONTROL) {
            sp_set_config_cts(config, SP_CTS_IGNORE);
            sp_set_config_rts(config, SP_RTS_ON);
        }
        ok = sp_set_config(port_, config) == SP_OK;
        if (!ok && p.ctsFlow) {
            // POSIX terminals know only RTS and CTS flow control together.
            sp_set_config_rts(config, SP_RTS_FLOW_CONTROL);
            ok = sp_set_config(port_, config) == SP_OK;
        }
    }
    sp_free_config(config);
    if (ok)
        params_ = p;
    return ok;
}

bool LibSerialPort::setDtr(bool on)
{
    return sp_set_dtr(port_, on ? SP_DTR_ON : SP_DTR_OFF) == SP_OK;
}

bool LibSerialPort::setRts(bool on)
{
    return sp_set_rts(port_, on ? SP_RTS_ON : SP_RTS_OFF) == SP_OK;
}

bool LibSerialPort::setBreak(bool on)
{
    return (on ? sp_start_break(port_) : sp_end_break(port_)) == SP_OK;
}

ModemStatus LibSerialPort::modemStatus()
{
    sp_signal mask{};
    if (sp_get_signals(port_, &mask) != SP_OK)
        return {};
    return ModemStatus{(mask & SP_SIG_CTS) != 0, (mask & SP_SIG_DSR) != 0, (mask & SP_SIG_DCD) != 0};
}

void LibSerialPort::setTimeouts(int readTotalMs, int writePerByteMs)
{
    readTimeoutMs_ = readTotalMs;
    writePerByteMs_ = writePerByteMs;
}

int LibSerialPort::read(uint8_t* buf, int n)
{
    if (n <= 0)
        return 0;
    // The library takes a zero time-out as "wait for ever"; here it means "what is there".
    const sp_return r = readTimeoutMs_ > 0
        ? sp_blocking_read(port_, buf, size_t(n), unsigned(readTimeoutMs_))
        : sp_nonblocking_read(port_, buf, size_t(n));
    return r < 0 ? -1 : int(r);
}

int LibSerialPort::write(const uint8_t* buf, int n)
{
    if (n <= 0)
        return 0;
    const sp_return r = sp_blocking_write(port_, buf, size_t(n), writeTimeout(writePerByteMs_, n));
    return r < 0 ? -1 : int(r);
}

void LibSerialPort::discardInput()
{
    sp_flush(port_, SP_BUF_INPUT);
}

} // namespace kv
