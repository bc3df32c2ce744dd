#include "platform/PosixTtyPort.h"

#if defined(__unix__) || defined(__APPLE__)

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace kv {

namespace {

using SteadyClock = std::chrono::steady_clock;

speed_t speedFor(int baud)
{
    switch (baud) {
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    // A terminal without arbitrary rates gets the nearest standard one; on the
    // pseudo-terminals this class exists for, the rate has no effect anyway.
    case 56000:
    case 57600: return B57600;
    case 115200: return B115200;
    default: return 0;
    }
}

int remainingMs(SteadyClock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now());
    return left.count() < 0 ? 0 : int(std::min<long long>(left.count(), INT_MAX));
}

} // namespace

std::unique_ptr<PosixTtyPort> PosixTtyPort::open(const std::string& devicePath)
{
    if (devicePath.empty())
        return nullptr;
    const int fd = ::open(devicePath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return nullptr;
    if (!isatty(fd) || flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return nullptr;
    }
    ioctl(fd, TIOCEXCL);
    std::unique_ptr<PosixTtyPort> self(new PosixTtyPort(fd));
    termios t{};
    if (tcgetattr(fd, &t) != 0)
        return nullptr;
    // Raw bytes: no line editing, no echo, no translation, no signals.
    t.c_iflag &= ~tcflag_t(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF);
    t.c_oflag &= ~tcflag_t(OPOST);
    t.c_lflag &= ~tcflag_t(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 0;
    t.c_cc[VTIME] = 0;
    if (tcsetattr(fd, TCSANOW, &t) != 0)
        return nullptr;
    const speed_t s = cfgetospeed(&t);
    self->params_.baud = s == B300 ? 300 : s == B1200 ? 1200 : s == B19200 ? 19200 : 9600;
    self->params_.dataBits = (t.c_cflag & CSIZE) == CS7 ? 7 : 8;
    self->params_.stopBits = (t.c_cflag & CSTOPB) ? 2 : 1;
    self->params_.parity = Parity::None;
    self->params_.ctsFlow = false;
    return self;
}

PosixTtyPort::~PosixTtyPort()
{
    ioctl(fd_, TIOCNXCL);
    flock(fd_, LOCK_UN);
    ::close(fd_);
}

bool PosixTtyPort::setParams(const LineParams& p)
{
    termios t{};
    const speed_t speed = speedFor(p.baud);
    if (speed == 0 || p.dataBits < 5 || p.dataBits > 8 || tcgetattr(fd_, &t) != 0)
        return false;
    cfsetispeed(&t, speed);
    cfsetospeed(&t, speed);
    static const tcflag_t sizes[] = {CS5, CS6, CS7, CS8};
    t.c_cflag &= ~tcflag_t(CSIZE | PARENB | PARODD | CSTOPB);
#ifdef CMSPAR
    t.c_cflag &= ~tcflag_t(CMSPAR);
#endif
    t.c_cflag |= sizes[p.dataBits - 5];
    switch (p.parity) {
    case Parity::None: break;
    case Parity::Odd: t.c_cflag |= PARENB | PARODD; break;
    case Parity::Even: t.c_cflag |= PARENB; break;
#ifdef CMSPAR
    case Parity::Mark: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case Parity::Space: t.c_cflag |= PARENB | CMSPAR; break;
#else
    case Parity::Mark:
    case Parity::Space: return false;
#endif
    }
    if (p.stopBits == 2)
        t.c_cflag |= CSTOPB;
#ifdef CRTSCTS
    if (p.ctsFlow)
        t.c_cflag |= CRTSCTS;
    else
        t.c_cflag &= ~tcflag_t(CRTSCTS);
#endif
    if (tcsetattr(fd_, TCSANOW, &t) != 0)
        return false;
    params_ = p;
    return true;
}

bool PosixTtyPort::modemLine(int bit, bool on)
{
    return ioctl(fd_, on ? TIOCMBIS : TIOCMBIC, &bit) == 0;
}

bool PosixTtyPort::setDtr(bool on) { return modemLine(TIOCM_DTR, on); }
bool PosixTtyPort::setRts(bool on) { return modemLine(TIOCM_RTS, on); }

bool PosixTtyPort::setBreak(bool on)
{
    return ioctl(fd_, on ? TIOCSBRK : TIOCCBRK) == 0;
}

ModemStatus PosixTtyPort::modemStatus()
{
    int bits = 0;
    if (ioctl(fd_, TIOCMGET, &bits) != 0) {
        // A pseudo-terminal has no modem lines: it stands for a line that is connected and
        // powered, so the modem-power test and the CAN adapter's carrier see it up.
        return ModemStatus{false, true, true};
    }
    return ModemStatus{(bits & TIOCM_CTS) != 0, (bits & TIOCM_DSR) != 0, (bits & TIOCM_CD) != 0};
}

void PosixTtyPort::setTimeouts(int readTotalMs, int writePerByteMs)
{
    readTimeoutMs_ = readTotalMs;
    writePerByteMs_ = writePerByteMs;
}

int PosixTtyPort::read(uint8_t* buf, int n)
{
    if (n <= 0)
        return 0;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(std::max(0, readTimeoutMs_));
    int got = 0;
    for (;;) {
        const ssize_t r = ::read(fd_, buf + got, size_t(n - got));
        if (r > 0) {
            got += int(r);
            if (got == n)
                return got;
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return got > 0 ? got : -1;
        const int wait = remainingMs(deadline);
        if (wait == 0)
            return got;
        pollfd pfd{fd_, POLLIN, 0};
        const int pr = poll(&pfd, 1, wait);
        if (pr < 0 && errno != EINTR)
            return got > 0 ? got : -1;
        // The other side of a pseudo-terminal went away: the device is gone.
        if (pr > 0 && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) && !(pfd.revents & POLLIN))
            return got > 0 ? got : -1;
    }
}

int PosixTtyPort::write(const uint8_t* buf, int n)
{
    if (n <= 0)
        return 0;
    const long long limit = writePerByteMs_ > 0 ? static_cast<long long>(writePerByteMs_) * n : -1;
    const auto deadline = SteadyClock::now() + std::chrono::milliseconds(limit < 0 ? 0 : limit);
    int done = 0;
    while (done < n) {
        const ssize_t r = ::write(fd_, buf + done, size_t(n - done));
        if (r > 0) {
            done += int(r);
            continue;
        }
        if (r < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR)
            return -1;
        const int wait = limit < 0 ? -1 : remainingMs(deadline);
        if (wait == 0)
            return done;
        pollfd pfd{fd_, POLLOUT, 0};
        if (poll(&pfd, 1, wait) < 0 && errno != EINTR)
            return -1;
        if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))
            return -1;
    }
    return done;
}

void PosixTtyPort::discardInput()
{
    tcflush(fd_, TCIFLUSH);
}

} // namespace kv

#else

namespace kv {

std::unique_ptr<PosixTtyPort> PosixTtyPort::open(const std::string&) { return nullptr; }
PosixTtyPort::~PosixTtyPort() = default;
bool PosixTtyPort::setParams(const LineParams&) { return false; }
bool PosixTtyPort::setDtr(bool) { return false; }
bool PosixTtyPort::setRts(bool) { return false; }
bool PosixTtyPort::setBreak(bool) { return false; }
ModemStatus PosixTtyPort::modemStatus() { return {}; }
void PosixTtyPort::setTimeouts(int, int) {}
int PosixTtyPort::read(uint8_t*, int) { return -1; }
int PosixTtyPort::write(const uint8_t*, int) { return -1; }
void PosixTtyPort::discardInput() {}
bool PosixTtyPort::modemLine(int, bool) { return false; }

} // namespace kv

#endif
