// The simulated controller on a pseudo-terminal: the program (or any serial tool) opens the
// device path printed on the first line of standard output as if it were a serial port.
// The controller serves until it is killed or its standard input is closed.

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "sim/Controller.h"
#include "sim/Faults.h"
#include "sim/RealTimeClock.h"
#include "sim/Responders.h"

using namespace kv::sim;

namespace {

void usage()
{
    std::fprintf(stderr,
                 "kvarnik-sim: a simulated controller on a pseudo-terminal\n"
                 "  --protocol trad|ft11|ft12   frame protocol (trad)\n"
                 "  --crc 0|1|2                 FT1.2 CRC mode (0)\n"
                 "  --no-counter-echo           FT1.2 replies with control byte 0 always\n"
                 "  --net N                     network number (0)\n"
                 "  --model N                   model index 0..3 (0)\n"
                 "  --line plain|can|gateway    the controller itself, a CAN adapter, a gateway\n"
                 "  --sprav PATH                reference file to take the parameters from\n"
                 "  --fault NAME[:TIMES]        arm a fault (TIMES -1: until the end)\n"
                 "The device path goes to standard output; closing standard input ends it.\n");
}

// Replies wait for their moment here and are written to the terminal when it comes.
class PtySink final : public OutputSink {
public:
    void emit(std::span<const uint8_t> bytes, int64_t startUs) override
    {
        for (uint8_t b : bytes)
            pending_.push_back({b, startUs});
        std::stable_sort(pending_.begin(), pending_.end(),
                         [](const Item& a, const Item& b) { return a.atUs < b.atUs; });
    }
    int64_t nextUs() const { return pending_.empty() ? kNever : pending_.front().atUs; }
    bool flush(int fd, int64_t nowUs)
    {
        std::vector<uint8_t> out;
        while (!pending_.empty() && pending_.front().atUs <= nowUs) {
            out.push_back(pending_.front().value);
            pending_.pop_front();
        }
        std::size_t done = 0;
        while (done < out.size()) {
            const ssize_t n = ::write(fd, out.data() + done, out.size() - done);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return false;
            }
            done += std::size_t(n);
        }
        return true;
    }

private:
    struct Item {
        uint8_t value;
        int64_t atUs;
    };
    std::deque<Item> pending_;
};

bool intArg(const char* s, int lo, int hi, int& out)
{
    char* end = nullptr;
    const long v = std::strtol(s, &end, 0);
    if (!s[0] || *end || v < lo || v > hi)
        return false;
    out = int(v);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    ControllerOptions copt;
    copt.baud = 0;   // a pseudo-terminal has no line speed
    ResponderOptions ropt;
    std::string line = "plain";
    std::vector<std::pair<Fault, int>> faults;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const char* v = i + 1 < argc ? argv[i + 1] : nullptr;
        int n = 0;
        if (a == "--help" || a == "-h") {
            usage();
            return 0;
        } else if (a == "--no-counter-echo") {
            ropt.echoCounter = false;
        } else if (!v) {
            usage();
            return 2;
        } else if (a == "--protocol") {
            const std::string p = v;
            if (p == "trad")
                ropt.protocol = Protocol::Traditional;
            else if (p == "ft11")
                ropt.protocol = Protocol::Ft11;
            else if (p == "ft12")
                ropt.protocol = Protocol::Ft12;
            else {
                usage();
                return 2;
            }
            ++i;
        } else if (a == "--crc" && intArg(v, 0, 2, n)) {
            ropt.crcMode = n;
            ++i;
        } else if (a == "--net" && intArg(v, 0, 255, n)) {
            copt.networkNumber = uint8_t(n);
            ++i;
        } else if (a == "--model" && intArg(v, 0, 3, n)) {
            copt.model = n;
            ++i;
        } else if (a == "--line") {
            line = v;
            if (line != "plain" && line != "can" && line != "gateway") {
                usage();
                return 2;
            }
            ++i;
        } else if (a == "--sprav") {
            copt.spravPath = v;
            ++i;
        } else if (a == "--fault") {
            std::string name = v;
            int times = 1;
            if (const auto colon = name.find(':'); colon != std::string::npos) {
                if (!intArg(name.c_str() + colon + 1, -1, 1000000, times)) {
                    usage();
                    return 2;
                }
                name.resize(colon);
            }
            const auto f = faultByName(name);
            if (!f) {
                std::fprintf(stderr, "kvarnik-sim: unknown fault %s\n", name.c_str());
                return 2;
            }
            faults.emplace_back(*f, times);
            ++i;
        } else {
            usage();
            return 2;
        }
    }

    const int master = posix_openpt(O_RDWR | O_NOCTTY);
    if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
        std::perror("kvarnik-sim: pseudo-terminal");
        return 1;
    }
    const char* name = ptsname(master);
    if (!name) {
        std::perror("kvarnik-sim: ptsname");
        return 1;
    }
    const std::string path = name;
    // Holding the terminal open keeps it alive between the program's sessions, and raw mode
    // keeps the line discipline from echoing or translating the controller's bytes.
    const int slave = ::open(path.c_str(), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios t{};
        if (tcgetattr(slave, &t) == 0) {
            cfmakeraw(&t);
            tcsetattr(slave, TCSANOW, &t);
        }
    }
    fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);

    RealTimeClock clock;
    auto ctl = std::make_shared<Controller>(clock, copt);
    auto fl = std::make_shared<Faults>();
    for (const auto& [f, times] : faults)
        fl->arm(f, times);
    std::shared_ptr<LineDevice> device;
    if (line == "can") {
        device = std::make_shared<CanAdapter>(ctl, fl);
    } else {
        ropt.gateway = line == "gateway";
        device = std::make_shared<SerialResponder>(ctl, fl, ropt);
    }

    std::printf("%s\n", path.c_str());
    std::fflush(stdout);
    std::fprintf(stderr, "kvarnik-sim: %s, model %d, network number %d, parameters from %s\n",
                 path.c_str(), copt.model, copt.networkNumber,
                 ctl->seededFrom().empty() ? "the built-in table" : ctl->seededFrom().c_str());

    PtySink sink;
    bool stdinOpen = true;
    for (;;) {
        const int64_t now = clock.nowUs();
        if (!sink.flush(master, now))
            break;
        while (device->nextTimerUs() <= now)
            device->onTimer(device->nextTimerUs(), sink);
        const int64_t next = std::min(sink.nextUs(), device->nextTimerUs());
        int timeoutMs = -1;
        if (next != kNever)
            timeoutMs = int(std::clamp<int64_t>((next - now + 999) / 1000, 0, 1000));
        pollfd fds[2] = {{master, POLLIN, 0}, {0, POLLIN, 0}};
        const int r = ::poll(fds, stdinOpen ? 2 : 1, timeoutMs);
        if (r < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (stdinOpen && (fds[1].revents & (POLLIN | POLLHUP))) {
            char buf[256];
            const ssize_t n = ::read(0, buf, sizeof buf);
            if (n <= 0)
                break;   // standard input closed: the end
        }
        if (fds[0].revents & POLLIN) {
            uint8_t buf[512];
            const ssize_t n = ::read(master, buf, sizeof buf);
            const int64_t at = clock.nowUs();
            for (ssize_t i = 0; i < n; ++i)
                device->onByte(WireByte{buf[i], true, 0, at}, sink);
        }
    }
    if (slave >= 0)
        ::close(slave);
    ::close(master);
    return 0;
}
