#include "sim/Controller.h"

#include <algorithm>
#include <cmath>

#include "sim/Values.h"

namespace kv::sim {

namespace {

uint16_t A(uint8_t hi, uint8_t lo) { return ParamMemory::addr(hi, lo); }

// The operation byte of a bit operation is the class's operation code for a module, with the
// mode in its two top bits. Class 'G' reads the input buffers, 'I' switches the output
// buffers, 'J' reaches output bits 64..127, which live in output buffer 1.
struct BitOp {
    Controller::Buffer buffer;
    int module;      // buffer number; for 'J' always 1
    int mode;
    bool high;       // 'J': bit numbers 64..127
};

std::optional<BitOp> decodeBitOp(uint8_t op)
{
    static const uint8_t G[4] = {0x24, 0x28, 0x2C, 0x30};
    static const uint8_t I[4] = {0x26, 0x2A, 0x2E, 0x32};
    static const uint8_t J[4] = {0x27, 0x27, 0x27, 0x90};
    // Modes 0..3 of 'G' and 'I' are unambiguous. 'J' of module 3 has its top bit set, so its
    // modes 0 and 2 (and 1 and 3) give the same byte; the lower mode is taken.
    for (int mode = 0; mode < 4; ++mode)
        for (int m = 0; m < 4; ++m) {
            if (uint8_t(G[m] | mode << 6) == op)
                return BitOp{Controller::Buffer::Input, m, mode, false};
            if (uint8_t(I[m] | mode << 6) == op)
                return BitOp{Controller::Buffer::Output, m, mode, false};
            if (uint8_t(J[m] | mode << 6) == op)
                return BitOp{Controller::Buffer::Output, 1, mode, true};
        }
    return std::nullopt;
}

std::array<uint8_t, 4> periodStamp(double dt)
{
    const CivilTime c = civilFromDateTime(dt);
    return {toBcd(c.hour), toBcd(c.minute), toBcd(c.day), toBcd(c.month)};
}

} // namespace

Controller::Controller(SimClock& clock, ControllerOptions options)
    : clock_(clock), opt_(std::move(options)), baud_(opt_.baud), state_(opt_.state),
      archives_(modelInfo(opt_.model))
{
    seed();
    defineOwnCells();
    archives_.install(mem_, params_);
    stampPeriod();
}

void Controller::seed()
{
    if (!opt_.spravPath.empty()) {
        if (auto defs = loadSprav(opt_.spravPath, opt_.model)) {
            params_ = std::move(*defs);
            seededFrom_ = opt_.spravPath;
        }
    }
    if (params_.empty())
        params_ = builtinParams();

    for (const ParamDef& d : params_) {
        // Group reads and descriptors, and the controller's own cells, are not data.
        if (d.cls == 0x40 && (d.code == 0x50 || d.code == 0x51))
            continue;
        for (int idx = 0; idx <= d.maxIndex; ++idx) {
            const uint16_t a = A(uint8_t(d.cls + idx), d.code);
            if (mem_.has(a))
                continue;
            switch (d.format) {
            case 8:
            case 9:
                mem_.define(a, Cell::real(plausibleValue(d, idx)));
                break;
            case 2:
            case 7:
                mem_.define(a, Cell::integer(plausibleValue(d, idx)));
                break;
            case 0:
            case 1:
            case 3:
            case 5:
            case 41:
            case 51:
                mem_.define(a, Cell::word(plausibleValue(d, idx)));
                break;
            case 10: {
                std::string text = cp1251FromUtf8("Тепловой пункт " + std::to_string(idx + 1));
                std::vector<uint8_t> v(text.begin(), text.end());
                v.resize(128, 0xFF);
                mem_.define(a, Cell::bytes(std::move(v), true, true));
                break;
            }
            default:
                mem_.define(a, Cell::bytes(std::vector<uint8_t>(std::size_t(formatLength(d.format)), 0),
                                           true, d.format == 4));
                break;
            }
        }
    }
}

void Controller::stampPeriod()
{
    const auto s = periodStamp(dateTime(clock_.nowUs()));
    std::copy(s.begin(), s.end(), current_.begin() + 48);
}

void Controller::defineOwnCells()
{
    // Status: the status byte is the second byte on the serial side, the first over CAN.
    {
        Cell c;
        c.length = 2;
        c.read = [this](const Access& a) {
            const uint8_t s = statusByte(a.atUs);
            return a.face == Face::Can ? std::vector<uint8_t>{s, 0} : std::vector<uint8_t>{0, s};
        };
        mem_.define(A(0x40, 0x00), c);
    }
    // Line speed: the baud rate / 10 as four BCD digits. A new speed takes effect after the
    // receipt of the write has gone out at the old one.
    {
        Cell c;
        c.length = 2;
        c.read = [this](const Access& a) {
            const int v = baud_ / 10;
            std::vector<uint8_t> b{toBcd(v / 100), toBcd(v % 100)};
            if (a.face == Face::Can)
                std::swap(b[0], b[1]);
            return b;
        };
        c.write = [](std::span<const uint8_t>, const Access&) { return true; };   // see write()
        mem_.define(A(0x40, 0x06), c);
    }
    // Write enable: the complement of the address the next write may change.
    {
        Cell c;
        c.length = 2;
        c.read = [this](const Access&) {
            const uint16_t e = enabledWrite_.value_or(0);
            return std::vector<uint8_t>{uint8_t(~(e >> 8)), uint8_t(~e)};
        };
        c.write = [this](std::span<const uint8_t> v, const Access&) {
            if (v.size() != 2)
                return false;
            enabledWrite_ = A(uint8_t(~v[0]), uint8_t(~v[1]));
            return true;
        };
        mem_.define(A(0x40, 0x07), c);
    }
    // Access password: with no password set the controller answers the open value; with one
    // set it answers the entry only when the entry was right.
    {
        Cell c;
        c.length = 2;
        c.read = [this](const Access&) {
            uint16_t v = kOpenPassword;
            if (opt_.password) {
                if (unlocked_) {
                    v = *opt_.password;
                } else {
                    v = uint16_t(passwordEntered_ ^ 0x5A5A);
                    if (v == 0x0000 || v == 0xFFFF)
                        v ^= 0x0101;
                }
            }
            return std::vector<uint8_t>{uint8_t(v >> 8), uint8_t(v)};
        };
        c.write = [this](std::span<const uint8_t> v, const Access&) {
            if (v.size() != 2)
                return false;
            passwordEntered_ = uint16_t(v[0] << 8 | v[1]);
            unlocked_ = opt_.password && passwordEntered_ == *opt_.password;
            return true;
        };
        mem_.define(A(0x40, 0x08), c);
    }
    // Failure history pointer: the record the ring starts after (the newest record).
    {
        Cell c;
        c.length = 2;
        c.read = [this](const Access& a) {
            const auto p = uint8_t(historyPtr_);
            return a.face == Face::Can ? std::vector<uint8_t>{0, p} : std::vector<uint8_t>{p, 0};
        };
        mem_.define(A(0x40, 0x14), c);
    }
    // Clock: time (hour, minute), date (day, month), year (century, year in century).
    for (int which = 0; which < 3; ++which) {
        Cell c;
        c.length = 2;
        c.read = [this, which](const Access& a) {
            const CivilTime t = civilFromDateTime(a.dateTime);
            std::vector<uint8_t> b;
            if (which == 0)
                b = {uint8_t(t.hour), uint8_t(t.minute)};
            else if (which == 1)
                b = {uint8_t(t.day), uint8_t(t.month)};
            else
                b = {uint8_t(t.year / 100), uint8_t(t.year % 100)};
            if (a.face == Face::Can)
                std::swap(b[0], b[1]);
            return b;
        };
        c.write = [this, which](std::span<const uint8_t> v, const Access& a) {
            if (v.size() != 2 || !passwordAllows())
                return false;
            return a.face == Face::Can ? setClockPart(which, v[1], v[0]) : setClockPart(which, v[0], v[1]);
        };
        mem_.define(A(0x40, uint8_t(0x15 + which)), c);
    }
    // Version and model.
    {
        const ModelInfo& m = model();
        mem_.define(A(0x40, 0x1E), Cell::bytes({m.version[0], m.version[1]}, false));
        mem_.define(A(0x41, 0x1E), Cell::bytes({m.modelReply[0], m.modelReply[1]}, false));
    }
    // Failure records: the current one and the eight of the history ring.
    {
        Cell c;
        c.length = 128;
        c.read = [this](const Access&) { return std::vector<uint8_t>(current_.begin(), current_.end()); };
        mem_.define(A(0x40, 0x32), c);
        for (int n = 0; n < 8; ++n) {
            Cell h;
            h.length = 128;
            h.read = [this, n](const Access&) {
                return std::vector<uint8_t>(history_[n].begin(), history_[n].end());
            };
            mem_.define(A(uint8_t(0x40 + n), 0x46), h);
        }
    }
    // Signal buffers: inputs, control outputs, indication outputs, 64 bits each.
    for (int n = 0; n < 4; ++n) {
        const std::pair<uint8_t, Buffer> kinds[] = {
            {0x47, Buffer::Input}, {0x49, Buffer::Output}, {0x4A, Buffer::Indication}};
        for (const auto& [lo, kind] : kinds) {
            Cell c;
            c.length = 8;
            c.read = [this, kind = kind, n](const Access&) {
                const auto& b = buffer(kind, n);
                return std::vector<uint8_t>(b.begin(), b.end());
            };
            mem_.define(A(uint8_t(0x40 + n), lo), c);
        }
    }
    // Group descriptors and group reads.
    for (int n = 0; n < 8; ++n) {
        Cell d;
        // 64 pairs, or fewer and the closing 0xFF; a writer that sends it as a text adds the
        // 0xFF even after 64 pairs.
        d.length = 129;
        d.variableLength = true;
        d.read = [this, n](const Access&) {
            std::vector<uint8_t> img = groupImages_[n];
            img.resize(128, 0xFF);
            return img;
        };
        d.write = [this, n](std::span<const uint8_t> v, const Access&) {
            std::vector<uint16_t> addrs;
            for (std::size_t i = 0; i + 1 < v.size() && addrs.size() < 64; i += 2) {
                if (v[i] == 0xFF)
                    break;
                const uint16_t a = A(v[i], v[i + 1]);
                // A group can only hold values the controller has; groups of groups are not values.
                if ((a & 0xFF) == 0x51 || !mem_.find(a, Face::Serial))
                    return false;
                addrs.push_back(a);
            }
            groups_[n] = std::move(addrs);
            groupImages_[n].assign(v.begin(), v.end());
            return true;
        };
        mem_.define(A(uint8_t(0x40 + n), 0x50), d);

        Cell g;
        g.length = 0;
        g.read = [this, n](const Access& a) {
            std::vector<uint8_t> out;
            for (uint16_t addr : groups_[n])
                if (auto c = mem_.find(addr, a.face)) {
                    auto v = c->read(a);
                    out.insert(out.end(), v.begin(), v.end());
                }
            return out;
        };
        mem_.define(A(uint8_t(0x40 + n), 0x51), g);
    }
    // The CAN side's identity and clock.
    {
        Cell id;
        id.length = 2;
        id.read = [this](const Access&) {
            const uint16_t v = model().canId;
            return std::vector<uint8_t>{uint8_t(v), uint8_t(v >> 8)};
        };
        mem_.defineCan(A(0xF0, 0x00), id);
        Cell date;
        date.length = 4;
        date.read = [](const Access& a) {
            const CivilTime t = civilFromDateTime(a.dateTime);
            return std::vector<uint8_t>{uint8_t(weekday(a.dateTime)), toBcd(t.day), toBcd(t.month),
                                        toBcd(t.year % 100)};
        };
        mem_.defineCan(A(0xF0, 0x17), date);
        Cell time;
        time.length = 4;
        time.read = [](const Access& a) {
            const CivilTime t = civilFromDateTime(a.dateTime);
            return std::vector<uint8_t>{0, toBcd(t.second), toBcd(t.minute), toBcd(t.hour)};
        };
        mem_.defineCan(A(0xF0, 0x18), time);
    }
}

double Controller::dateTime(int64_t atUs) const { return clock_.dateTimeAtUs(atUs) + clockOffset_; }

void Controller::setDateTime(double dt) { clockOffset_ = dt - clock_.dateTimeAtUs(clock_.nowUs()); }

bool Controller::setClockPart(int which, uint8_t a, uint8_t b)
{
    const double now = dateTime(clock_.nowUs());
    CivilTime t = civilFromDateTime(now);
    if (which == 0) {
        if (a > 23 || b > 59)
            return false;
        t.hour = a;
        t.minute = b;
        t.second = 0;
    } else if (which == 1) {
        if (!validDate(t.year, b, a))
            return false;
        t.day = a;
        t.month = b;
    } else {
        const int y = a * 100 + b;
        if (b > 99 || y < 1900 || y > 2999)
            return false;
        t.year = y;
        t.day = std::min(t.day, daysInMonth(y, t.month));
    }
    setDateTime(dateTimeFromCivil(t));
    return true;
}

RunState Controller::state(int64_t atUs) const
{
    return atUs < restartUntilUs_ ? RunState::Restart : state_;
}

void Controller::setState(RunState s)
{
    state_ = s;
    restartUntilUs_ = 0;
}

uint8_t Controller::statusByte(int64_t atUs) const
{
    uint8_t s = uint8_t(uint8_t(state(atUs)) << 3);
    if (atUs >= doneBitFromUs_)
        s |= 0x04;
    return s;
}

void Controller::setFailure(int areaByte, uint8_t mask, bool on)
{
    if (areaByte < 0 || areaByte >= 48)
        return;
    uint8_t& cur = current_[std::size_t(56 + areaByte)];
    cur = on ? uint8_t(cur | mask) : uint8_t(cur & ~mask);
    current_[std::size_t(areaByte)] |= cur;
}

void Controller::closeFailurePeriod()
{
    historyPtr_ = (historyPtr_ + 1) & 7;
    history_[std::size_t(historyPtr_)] = current_;
    std::copy(current_.begin() + 56, current_.begin() + 104, current_.begin());
    stampPeriod();
}

std::array<uint8_t, 8>& Controller::buffer(Buffer b, int n)
{
    auto& set = b == Buffer::Input ? inputs_ : b == Buffer::Output ? outputs_ : indications_;
    return set[std::size_t(n & 3)];
}

const std::array<uint8_t, 8>& Controller::buffer(Buffer b, int n) const
{
    const auto& set = b == Buffer::Input ? inputs_ : b == Buffer::Output ? outputs_ : indications_;
    return set[std::size_t(n & 3)];
}

bool Controller::bit(Buffer b, int n, int bitNo) const
{
    if (bitNo < 0 || bitNo > 63)
        return false;
    return (buffer(b, n)[std::size_t(bitNo / 8)] >> (bitNo % 8)) & 1;
}

void Controller::setBit(Buffer b, int n, int bitNo, bool on)
{
    if (bitNo < 0 || bitNo > 63)
        return;
    uint8_t& byte = buffer(b, n)[std::size_t(bitNo / 8)];
    byte = on ? uint8_t(byte | 1 << (bitNo % 8)) : uint8_t(byte & ~(1 << (bitNo % 8)));
    if (b == Buffer::Output)
        if (auto it = feedback_.find((n & 3) * 64 + bitNo); it != feedback_.end())
            setBit(Buffer::Input, it->second / 64, it->second % 64, on);
}

void Controller::linkFeedback(int outBuffer, int outBit, int inBuffer, int inBit)
{
    feedback_[(outBuffer & 3) * 64 + (outBit & 63)] = (inBuffer & 3) * 64 + (inBit & 63);
}

Reply Controller::execute(std::span<const uint8_t> body, const ExecContext& ctx)
{
    if (body.empty())
        return Reply::refused();
    switch (body[0]) {
    case 0x00:   // reset of the accumulated failures
        std::copy(current_.begin() + 56, current_.begin() + 104, current_.begin());
        doneBitFromUs_ = ctx.atUs + int64_t(opt_.resetMs) * 1000;
        return Reply::ack();
    case 0x01:
        if (body.size() < 3)
            return Reply::refused();
        return read(A(body[1], body[2]), ctx);
    case 0x05:
        if (body.size() < 4)
            return Reply::refused();
        return write(A(body[1], body[2]), body.subspan(3), ctx);
    case 0x08:   // RUN
        if (!passwordAllows())
            return Reply::refused();
        if (state(ctx.atUs) != RunState::Work) {
            state_ = RunState::Work;
            restartUntilUs_ = ctx.atUs + int64_t(opt_.restartMs) * 1000;
        }
        return Reply::ack();
    case 0x0B: {   // release
        Reply r = Reply::ack();
        r.release = true;
        unlocked_ = false;
        return r;
    }
    case 0x0C:
        if (body.size() < 3)
            return Reply::refused();
        return bitOperation(body[1], body[2], ctx.atUs);
    case 0x11:
        if (!ctx.gateway)
            return Reply::refused();
        return gatewayRead(body, ctx);
    case 0x14:   // gateway control command: 14 03 00 05 value
        if (!ctx.gateway || body.size() < 5 || body[1] != 0x03 || body[3] != 0x05)
            return Reply::refused();
        canControl(body[4], ctx.atUs);
        return Reply::ack();
    default:
        return Reply::refused();
    }
}

Reply Controller::read(uint16_t address, const ExecContext& ctx)
{
    auto cell = mem_.find(address, ctx.face);
    if (!cell || !cell->read)
        return Reply::refused();
    auto v = cell->read(access(ctx.face, ctx.atUs));
    if (v.empty())
        return Reply::refused();
    return Reply::withData(std::move(v));
}

Reply Controller::write(uint16_t address, std::span<const uint8_t> value, const ExecContext& ctx)
{
    const bool isEnable = address == A(0x40, 0x07);
    if (!isEnable) {
        // Every write must follow a write enable naming this very address.
        const bool enabled = enabledWrite_ && *enabledWrite_ == address;
        enabledWrite_.reset();
        if (!enabled)
            return Reply::refused();
    }
    auto cell = mem_.find(address, ctx.face);
    if (!cell || !cell->write || value.empty())
        return Reply::refused();
    // A text that fills its whole field still comes with its closing 0xFF.
    if (cell->variableLength && int(value.size()) == cell->length + 1 && value.back() == 0xFF)
        value = value.first(std::size_t(cell->length));
    if (int(value.size()) > cell->length)
        return Reply::refused();
    if (!cell->variableLength && int(value.size()) != cell->length)
        return Reply::refused();
    if (address == A(0x40, 0x06)) {
        // The speed is baud / 10 in four BCD digits; only real line speeds are taken.
        const int hi = fromBcd(value[0]), lo = fromBcd(value[1]);
        const int baud = (hi * 100 + lo) * 10;
        static const int speeds[] = {300, 600, 1200, 2400, 4800, 9600, 19200, 38400, 56000, 57600, 115200};
        if (hi < 0 || lo < 0 || std::find(std::begin(speeds), std::end(speeds), baud) == std::end(speeds))
            return Reply::refused();
        Reply r = Reply::ack();
        r.newBaud = baud;
        return r;
    }
    if (!cell->write(value, access(ctx.face, ctx.atUs)))
        return Reply::refused();
    return Reply::ack();
}

Reply Controller::bitOperation(uint8_t bitNo, uint8_t opByte, int64_t atUs)
{
    const auto op = decodeBitOp(opByte);
    if (!op)
        return Reply::refused();
    const int lo = op->high ? 64 : 0;
    if (bitNo < lo || bitNo > lo + 63)
        return Reply::refused();
    const int b = bitNo - lo;
    if (op->mode == 0) {
        const uint8_t byte = buffer(op->buffer, op->module)[std::size_t(b / 8)];
        return Reply::withData({uint8_t(byte & (1 << (b % 8)))});
    }
    if (op->buffer == Buffer::Input)
        return Reply::refused();   // inputs are read, never switched
    const bool now = bit(op->buffer, op->module, b);
    const bool v = op->mode == 1 ? true : op->mode == 2 ? false : !now;
    setBit(op->buffer, op->module, b, v);
    doneBitFromUs_ = atUs + int64_t(opt_.bitOpMs) * 1000;
    return Reply::ack();
}

Reply Controller::gatewayRead(std::span<const uint8_t> body, const ExecContext& ctx)
{
    // Traditional: 11 lo hi 04. FT protocols: 11 00 lo hi.
    if (body.size() < 4)
        return Reply::refused();
    const uint16_t address = ctx.traditional ? A(body[2], body[1]) : A(body[3], body[2]);
    // The gateway answers the first 4 bytes of the value at that address.
    auto v = canRead(address, ctx.atUs);
    if (!v)
        return Reply::refused();
    v->resize(4, 0);
    return Reply::withData(std::move(*v));
}

void Controller::canControl(uint8_t value, int64_t) { lastCanControl_ = value; }

std::optional<std::vector<uint8_t>> Controller::canRead(uint16_t address, int64_t atUs)
{
    auto cell = mem_.find(address, Face::Can);
    if (!cell || !cell->read)
        return std::nullopt;
    auto v = cell->read(access(Face::Can, atUs));
    if (v.empty())
        return std::nullopt;
    return v;
}

} // namespace kv::sim
