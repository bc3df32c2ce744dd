// The client of the pseudo-terminal check: the platform's port opener with the terminal as
// "Com1", the engine with the chosen protocol, a version read and a status read.
// Arguments: terminal path, protocol, CRC mode. Exit status 0 when both reads answer as the
// simulated controller should.
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "platform/DevicePortOpener.h"
#include "protocol/Exchange.h"
#include "protocol/LineControl.h"
#include "sim/RealTimeClock.h"

int main(int argc, char** argv)
{
    if (argc < 4)
        return 2;
    const std::string path = argv[1];
    kv::DevicePortOpener opener(std::map<std::string, std::string>{{"Com1", path}});
    kv::sim::RealTimeClock clock;
    kv::NullEventPump pump;
    kv::NullTraceLog trace;
    kv::Exchange ex(clock, pump, trace);
    ex.state().protocol = uint8_t(std::atoi(argv[2]));
    ex.state().crcMode = uint8_t(std::atoi(argv[3]));
    ex.state().networkNumber = 1;
    auto port = kv::openLine(opener, "Com1", 5, 0, ex);
    if (!port) {
        std::printf("cannot open %s\n", path.c_str());
        return 3;
    }
    if (ex.state().protocol == 1) {
        const int probe = ex.probeFrameCounter(*port, 0);
        std::printf("frame counter probe %d, protocol %d; ", probe, int(ex.state().protocol));
    }
    const uint8_t version[3] = {0x01, 0x40, 0x1E};
    uint8_t v[2] = {0, 0};
    const int r1 = ex.transact(*port, version, v, 0, 2);
    const uint8_t status[3] = {0x01, 0x40, 0x00};
    uint8_t s[2] = {0xFF, 0xFF};
    const int r2 = ex.transact(*port, status, s, 0, 2);
    std::printf("version: %d %02X %02X, status: %d %02X %02X\n", r1, v[0], v[1], r2, s[0], s[1]);
    return (r1 == 0 && v[0] == 0x07 && v[1] == 0x01 && r2 == 0 && s[1] == 0x00) ? 0 : 1;
}
