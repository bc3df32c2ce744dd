#pragma once
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "sim/Archives.h"
#include "sim/Memory.h"
#include "sim/Models.h"
#include "sim/ParamTable.h"
#include "sim/VirtualClock.h"

// The simulated controller itself: its parameter memory, its state and the commands it
// carries out. It knows nothing of frames; the responders unwrap a request body from the
// line's frames, hand it here, and wrap the reply again.

namespace kv::sim {

enum class RunState : uint8_t { Work = 0, Stop = 1, Restart = 2 };

struct ControllerOptions {
    int model = 0;
    uint8_t networkNumber = 0;
    std::string spravPath;            // reference file to seed the parameters from; empty: built-in
    int baud = 9600;                  // the controller's line speed
    RunState state = RunState::Work;
    std::optional<uint16_t> password; // access password; none: the controller has no password
    int restartMs = 1500;             // "ПЕРЕЗАПУСК" lasts this long after the RUN command
    int resetMs = 300;                // a failure reset shows in the status after this time
    int bitOpMs = 50;                 // a bit operation shows in the status after this time
};

// What the controller answers to one request body.
struct Reply {
    enum class Kind : uint8_t { Data, Ack, Refused };
    Kind kind = Kind::Refused;
    std::vector<uint8_t> data;
    bool release = false;   // the controller lets go of the line after its receipt
    int newBaud = 0;        // the controller changes its line speed after its receipt

    static Reply refused() { return {}; }
    static Reply ack() { return {Kind::Ack, {}, false, 0}; }
    static Reply withData(std::vector<uint8_t> d) { return {Kind::Data, std::move(d), false, 0}; }
};

struct ExecContext {
    Face face = Face::Serial;
    int64_t atUs = 0;
    bool gateway = false;       // the controller is a CAN-BUS gateway reached over a modem
    bool traditional = true;    // which form of the gateway read body to expect
};

class Controller {
public:
    // The password value the controller answers when it has no password set.
    static constexpr uint16_t kOpenPassword = 0xFFFF;

    Controller(SimClock& clock, ControllerOptions options = {});

    const ControllerOptions& options() const { return opt_; }
    const ModelInfo& model() const { return modelInfo(opt_.model); }
    uint8_t networkNumber() const { return opt_.networkNumber; }
    void setNetworkNumber(uint8_t n) { opt_.networkNumber = n; }
    int baud() const { return baud_; }
    void setBaud(int baud) { baud_ = baud; }
    SimClock& clock() { return clock_; }
    ParamMemory& memory() { return mem_; }
    // Where the parameters came from: the reference file's path, or "" for the built-in table.
    const std::string& seededFrom() const { return seededFrom_; }
    const std::vector<ParamDef>& params() const { return params_; }
    // The hourly, daily and monthly archives and the reporting settings they follow.
    Archives& archives() { return archives_; }
    const Archives& archives() const { return archives_; }

    // One request body (function code first).
    Reply execute(std::span<const uint8_t> body, const ExecContext& ctx);

    // The CAN side: a control command, and the value image of an address.
    void canControl(uint8_t value, int64_t atUs);
    std::optional<std::vector<uint8_t>> canRead(uint16_t address, int64_t atUs);
    int lastCanControl() const { return lastCanControl_; }

    // ---- state a test or the demo looks at or changes --------------------------------------
    double dateTime(int64_t atUs) const;    // the controller's own clock
    double dateTime() const { return dateTime(clock_.nowUs()); }
    void setDateTime(double dt);
    RunState state(int64_t atUs) const;
    RunState state() const { return state(clock_.nowUs()); }
    void setState(RunState s);
    uint8_t statusByte(int64_t atUs) const;
    void setPassword(std::optional<uint16_t> p) { opt_.password = p; unlocked_ = false; }

    // Current failure bits (area byte 0..47); a failure that shows is also accumulated.
    void setFailure(int areaByte, uint8_t mask, bool on);
    // Ends the current failure period: the record goes into the history ring.
    void closeFailurePeriod();
    const std::array<uint8_t, 128>& currentFailureRecord() const { return current_; }
    const std::array<uint8_t, 128>& historyRecord(int n) const { return history_[n & 7]; }
    int historyPointer() const { return historyPtr_; }

    enum class Buffer : uint8_t { Input, Output, Indication };
    bool bit(Buffer b, int buffer, int bit) const;
    void setBit(Buffer b, int buffer, int bit, bool on);
    // An output bit whose state an input bit follows (a contactor with a feedback contact).
    void linkFeedback(int outBuffer, int outBit, int inBuffer, int inBit);

    // The group descriptor n as the controller holds it (addresses in order).
    const std::vector<uint16_t>& groupAddresses(int n) const { return groups_[n & 7]; }

private:
    void seed();
    void defineOwnCells();
    Access access(Face face, int64_t atUs) const { return {face, dateTime(atUs), atUs}; }
    Reply read(uint16_t address, const ExecContext& ctx);
    Reply write(uint16_t address, std::span<const uint8_t> value, const ExecContext& ctx);
    Reply bitOperation(uint8_t bitNo, uint8_t op, int64_t atUs);
    Reply gatewayRead(std::span<const uint8_t> body, const ExecContext& ctx);
    bool setClockPart(int which, uint8_t a, uint8_t b);
    bool passwordAllows() const { return !opt_.password || unlocked_; }
    std::array<uint8_t, 8>& buffer(Buffer b, int n);
    const std::array<uint8_t, 8>& buffer(Buffer b, int n) const;
    void stampPeriod();

    SimClock& clock_;
    ControllerOptions opt_;
    ParamMemory mem_;
    std::vector<ParamDef> params_;
    std::string seededFrom_;
    int baud_;
    double clockOffset_ = 0;           // controller clock minus the sim clock, days
    RunState state_;
    int64_t restartUntilUs_ = 0;
    int64_t doneBitFromUs_ = INT64_MAX;  // status bit 2 shows from this moment on
    std::optional<uint16_t> enabledWrite_;
    uint16_t passwordEntered_ = 0;
    bool unlocked_ = false;
    int lastCanControl_ = -1;

    std::array<uint8_t, 128> current_{};
    std::array<std::array<uint8_t, 128>, 8> history_{};
    int historyPtr_ = 7;
    std::array<std::array<uint8_t, 8>, 4> inputs_{}, outputs_{}, indications_{};
    std::map<int, int> feedback_;      // output (buffer*64+bit) -> input (buffer*64+bit)
    std::array<std::vector<uint16_t>, 8> groups_{};
    std::array<std::vector<uint8_t>, 8> groupImages_{};
    Archives archives_;
};

} // namespace kv::sim
