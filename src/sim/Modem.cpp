#include "sim/Modem.h"

#include <algorithm>
#include <cctype>

namespace kv::sim {

namespace {

constexpr int64_t kMs = 1000;
constexpr int64_t kAnswerDelayUs = 5 * kMs;   // the modem's own turnaround after a command line
constexpr std::size_t kLineCap = 255;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

struct CodeText {
    int code;
    const char* word;
};

constexpr CodeText kResults[] = {
    {0, "OK"},   {1, "CONNECT"},      {2, "RING"}, {3, "NO CARRIER"}, {4, "ERROR"},
    {6, "NO DIAL TONE"}, {7, "BUSY"}, {8, "NO ANSWER"}, {9, "RINGING"},
};

// The digit answer that names a connect speed (as many modems number them).
int connectDigit(int speed)
{
    switch (speed) {
    case 1200: return 5;
    case 2400: return 10;
    case 4800: return 11;
    case 9600: return 12;
    case 7200: return 13;
    case 12000: return 14;
    case 14400: return 15;
    case 19200: return 16;
    default: return 1;
    }
}

// The far modem's output reaches the computer only while the call is up, one network delay
// later.
class ThroughCall final : public OutputSink {
public:
    ThroughCall(const Modem& modem, OutputSink& out, int64_t delayUs)
        : modem_(modem), out_(out), delayUs_(delayUs) {}
    void emit(std::span<const uint8_t> bytes, int64_t startUs) override
    {
        if (modem_.inCall())
            out_.emit(bytes, startUs + delayUs_);
    }

private:
    const Modem& modem_;
    OutputSink& out_;
    int64_t delayUs_;
};

} // namespace

ModemOptions modemOptionsFor(int channelType)
{
    ModemOptions o;
    o.gsm = channelType == 8;
    return o;
}

Modem::Modem(std::shared_ptr<LineDevice> far, ModemOptions options)
    : far_(std::move(far)), opt_(std::move(options))
{
    reset();
}

void Modem::reset()
{
    echo_ = true;
    words_ = true;
    quiet_ = false;
    dtrMode_ = 2;
    cregMode_ = 0;
    std::fill(std::begin(s_), std::end(s_), 0);
    s_[2] = '+';
    s_[3] = '\r';
    s_[4] = '\n';
    s_[5] = 8;
    s_[6] = 2;
    s_[7] = 50;
    s_[8] = 2;
    s_[10] = 14;
    s_[12] = 50;
}

int64_t Modem::guardUs() const { return int64_t(s_[12]) * 20 * kMs; }

std::string Modem::result(int code) const
{
    if (quiet_)
        return {};
    for (const CodeText& r : kResults)
        if (r.code == code)
            return words_ ? "\r\n" + std::string(r.word) + "\r\n" : std::to_string(code) + "\r";
    return {};
}

std::string Modem::info(const std::string& text) const
{
    return words_ ? "\r\n" + text + "\r\n" : text + "\r\n";
}

std::string Modem::connectText() const
{
    if (quiet_)
        return {};
    if (words_)
        return "\r\nCONNECT" + (opt_.connectSpeed > 0 ? " " + std::to_string(opt_.connectSpeed) : std::string())
               + "\r\n";
    return std::to_string(opt_.connectSpeed > 0 ? connectDigit(opt_.connectSpeed) : 1) + "\r";
}

void Modem::emitAt(OutputSink& out, const std::string& text, int64_t atUs)
{
    if (text.empty())
        return;
    out.emit(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()), atUs);
}

void Modem::schedule(int64_t atUs, EventKind kind, int code)
{
    events_.push_back(Event{atUs, kind, code, callSerial_});
}

int64_t Modem::nextTimerUs() const
{
    int64_t t = far_->nextTimerUs();
    if (!toFar_.empty())
        t = std::min(t, toFar_.front().atUs);
    for (const Event& e : events_)
        t = std::min(t, e.atUs);
    return t;
}

void Modem::onTimer(int64_t us, OutputSink& out)
{
    ThroughCall through(*this, out, int64_t(opt_.linkDelayMs) * kMs);
    for (;;) {
        auto ev = std::min_element(events_.begin(), events_.end(),
                                   [](const Event& a, const Event& b) { return a.atUs < b.atUs; });
        const int64_t te = ev == events_.end() ? kNever : ev->atUs;
        const int64_t tb = toFar_.empty() ? kNever : toFar_.front().atUs;
        const int64_t tf = far_->nextTimerUs();
        const int64_t first = std::min({te, tb, tf});
        if (first > us || first == kNever)
            break;
        if (te == first) {
            const Event e = *ev;
            events_.erase(ev);
            runEvent(e, out);
        } else if (tb == first) {
            const WireByte b = toFar_.front();
            toFar_.pop_front();
            far_->onByte(b, through);
        } else {
            far_->onTimer(tf, through);
        }
    }
}

void Modem::runEvent(const Event& e, OutputSink& out)
{
    if (e.serial != callSerial_)
        return;   // the call it belonged to is over
    switch (e.kind) {
    case EventKind::Text:
        emitAt(out, result(e.code), e.atUs);
        break;
    case EventKind::Connect:
        mode_ = Mode::Online;
        lastByteUs_ = e.atUs;
        plus_ = 0;
        emitAt(out, connectText(), e.atUs);
        break;
    case EventKind::CallFailed:
        mode_ = Mode::Command;
        ++callSerial_;
        emitAt(out, result(e.code), e.atUs);
        break;
    case EventKind::Escape:
        if (mode_ == Mode::Online && plus_ == 3 && lastByteUs_ == lastPlusUs_) {
            mode_ = Mode::OnlineCommand;
            emitAt(out, result(0), e.atUs);
        }
        plus_ = 0;
        break;
    case EventKind::FarHangUp:
        if (inCall() || mode_ == Mode::Dialling) {
            endCall();
            emitAt(out, result(3), e.atUs);
        }
        break;
    }
}

void Modem::endCall()
{
    mode_ = Mode::Command;
    ++callSerial_;
    toFar_.clear();
    plus_ = 0;
}

void Modem::farEndHangsUp(int64_t us) { schedule(us, EventKind::FarHangUp); }

void Modem::onControl(const ControlLines& lines, int64_t)
{
    if (opt_.silent) {
        dtr_ = lines.dtr;
        return;
    }
    // A falling DTR ends the call (&D2) or leaves data mode (&D1).
    if (dtr_ && !lines.dtr && mode_ != Mode::Command) {
        if (dtrMode_ >= 2 || mode_ == Mode::Dialling) {
            endCall();
            ++hangUps_;
        } else if (dtrMode_ == 1 && mode_ == Mode::Online) {
            mode_ = Mode::OnlineCommand;
        }
    }
    dtr_ = lines.dtr;
}

void Modem::onByte(const WireByte& b, OutputSink& out)
{
    if (opt_.silent)
        return;
    if (opt_.baud != 0 && b.baud != 0 && b.baud != opt_.baud) {
        // Sent at another speed: a framing error, nothing the modem can read.
        line_.clear();
        plus_ = 0;
        return;
    }
    if (mode_ == Mode::Online)
        onlineByte(b);
    else
        commandByte(b, out);
}

void Modem::onlineByte(const WireByte& b)
{
    const int64_t guard = guardUs();
    if (b.value == s_[2]) {
        const bool first = plus_ == 0 && b.atUs - lastByteUs_ >= guard;
        const bool next = plus_ > 0 && plus_ < 3 && b.atUs - lastPlusUs_ < guard;
        if (first || next) {
            ++plus_;
            lastPlusUs_ = b.atUs;
            if (plus_ == 3 && !opt_.ignoresHangUp)
                schedule(b.atUs + guard, EventKind::Escape);
        } else {
            plus_ = 0;
        }
    } else {
        plus_ = 0;
    }
    lastByteUs_ = b.atUs;
    // The escape characters go to the far end too, as on a real line.
    toFar_.push_back(WireByte{b.value, b.ninthBit, 0, b.atUs + int64_t(opt_.linkDelayMs) * kMs});
}

void Modem::commandByte(const WireByte& b, OutputSink& out)
{
    if (mode_ == Mode::Dialling) {
        // Any key aborts a dial in progress; the line feed after the command's CR is no key.
        if (b.value == s_[4])
            return;
        endCall();
        emitAt(out, result(3), b.atUs + kAnswerDelayUs);
        return;
    }
    if (echo_) {
        const std::string e(1, char(b.value));
        emitAt(out, e, b.atUs);
    }
    const char c = char(b.value);
    if (c == char(s_[3])) {
        std::string up = line_;
        for (char& ch : up)
            ch = char(std::toupper(static_cast<unsigned char>(ch)));
        const bool tooLong = lineTooLong_;
        line_.clear();
        lineTooLong_ = false;
        const std::size_t at = up.find("AT");
        if (at == std::string::npos)
            return;
        if (tooLong) {
            emitAt(out, result(4), b.atUs + kAnswerDelayUs);
            return;
        }
        execute(up.substr(at + 2), b.atUs, out);
        return;
    }
    if (c == char(s_[4]))
        return;
    if (c == char(s_[5])) {
        if (!line_.empty())
            line_.pop_back();
        return;
    }
    if (line_.size() < kLineCap)
        line_ += c;
    else
        lineTooLong_ = true;
}

bool Modem::dial(const std::string& dialString, int64_t atUs)
{
    std::string digits;
    bool pulse = false;
    int pauses = 0;
    for (char c : dialString) {
        if (isDigit(c) || c == '*' || c == '#' || c == '+')
            digits += c;
        else if (c == 'P')
            pulse = true;
        else if (c == 'T')
            pulse = false;
        else if (c == ',')
            ++pauses;
    }
    if (digits.empty())
        return false;
    dialled_ = digits;
    pulse_ = pulse;
    ++calls_;
    ++callSerial_;
    mode_ = Mode::Dialling;

    const int64_t dialUs = (1500 + int64_t(digits.size()) * (pulse ? 700 : 100)) * kMs
                           + int64_t(pauses) * s_[8] * 1000 * kMs;
    const int64_t s7Us = int64_t(s_[7]) * 1000 * kMs;
    const int64_t answerUs = dialUs + int64_t(opt_.answerMs) * kMs;
    CallFate fate = opt_.fate;
    if (!opt_.number.empty() && digits != opt_.number)
        fate = CallFate::NoCarrier;   // nobody's modem is on that number

    const auto failAt = [&](int64_t afterUs, int code) {
        schedule(atUs + afterUs, EventKind::CallFailed, code);
    };
    if (fate == CallFate::NoDialTone) {
        failAt(1500 * kMs, 6);
        return true;
    }
    if (fate == CallFate::Busy) {
        failAt(answerUs, 7);
        return true;
    }
    const int64_t endUs = fate == CallFate::NoAnswer ? answerUs : std::min(answerUs, s7Us);
    for (int k = 1; k <= opt_.rings; ++k) {
        const int64_t ringUs = dialUs + int64_t(opt_.answerMs) * kMs * k / (opt_.rings + 1);
        if (ringUs < endUs)
            schedule(atUs + ringUs, EventKind::Text, opt_.ringing ? 9 : 2);
    }
    if (fate == CallFate::Connect && answerUs <= s7Us)
        schedule(atUs + answerUs, EventKind::Connect);
    else
        failAt(endUs, fate == CallFate::NoAnswer ? 8 : 3);
    return true;
}

void Modem::execute(const std::string& cmd, int64_t atUs, OutputSink& out)
{
    commands_.push_back("AT" + cmd);
    std::string answer;
    bool error = false;
    std::size_t i = 0;
    const auto number = [&]() {
        int v = 0;
        while (i < cmd.size() && isDigit(cmd[i])) {
            v = std::min(v * 10 + (cmd[i] - '0'), 99999);
            ++i;
        }
        return v;
    };
    const auto skipBlanks = [&]() {
        while (i < cmd.size() && cmd[i] == ' ')
            ++i;
    };
    const int64_t replyUs = atUs + kAnswerDelayUs;

    while (i < cmd.size() && !error) {
        const char c = cmd[i++];
        switch (c) {
        case ' ':
            break;
        case 'E': echo_ = number() != 0; break;
        case 'V': words_ = number() != 0; break;
        case 'Q': quiet_ = number() != 0; break;
        case 'Z': number(); reset(); break;
        case 'X': case 'L': case 'M': case 'B': case 'N': case 'W': case 'C': case 'Y':
            number();
            break;
        case 'H':
            if (number() == 0 && inCall()) {
                endCall();
                ++hangUps_;
            }
            break;
        case 'O':
            number();
            if (inCall()) {
                mode_ = Mode::Online;
                lastByteUs_ = atUs;
                emitAt(out, answer + connectText(), replyUs);
            } else {
                emitAt(out, answer + result(3), replyUs);
            }
            return;
        case 'A':
            emitAt(out, answer + result(3), replyUs);   // nobody is calling
            return;
        case 'I':
            number();
            answer += info("SIMULATED MODEM");
            break;
        case 'S': {
            const int reg = number();
            skipBlanks();
            if (i < cmd.size() && cmd[i] == '=') {
                ++i;
                skipBlanks();
                const int v = number();
                if (reg >= kRegisters || v > 255)
                    error = true;
                else
                    s_[reg] = v;
            } else if (i < cmd.size() && cmd[i] == '?') {
                ++i;
                if (reg >= kRegisters) {
                    error = true;
                } else {
                    std::string v = std::to_string(s_[reg]);
                    answer += info(std::string(3 - std::min<std::size_t>(3, v.size()), '0') + v);
                }
            }
            break;
        }
        case 'D':
            if (inCall() || !dial(cmd.substr(i), atUs)) {
                error = true;
                break;
            }
            emitAt(out, answer, replyUs);
            return;   // the answer to the dial comes when the call is decided
        case '&': {
            const char what = i < cmd.size() ? cmd[i++] : ' ';
            const int v = number();
            if (what == 'F')
                reset();
            else if (what == 'D')
                dtrMode_ = v;
            break;
        }
        case '+': {
            std::string name;
            while (i < cmd.size() && std::isalpha(static_cast<unsigned char>(cmd[i])))
                name += cmd[i++];
            skipBlanks();
            enum { Action, Query, Test, Set } form = Action;
            std::string value;
            if (i < cmd.size() && cmd[i] == '?') {
                form = Query;
                ++i;
            } else if (i < cmd.size() && cmd[i] == '=') {
                ++i;
                skipBlanks();
                if (i < cmd.size() && cmd[i] == '?') {
                    form = Test;
                    ++i;
                } else {
                    form = Set;
                    while (i < cmd.size() && cmd[i] != ';')
                        value += cmd[i++];
                }
            }
            if (i < cmd.size() && cmd[i] == ';')
                ++i;
            if (!opt_.gsm) {
                error = true;
            } else if (name == "CREG") {
                if (form == Query)
                    answer += info("+CREG: " + std::to_string(cregMode_) + "," + std::to_string(opt_.registration));
                else if (form == Test)
                    answer += info("+CREG: (0-2)");
                else if (form == Set && !value.empty() && isDigit(value[0]) && value[0] <= '2')
                    cregMode_ = value[0] - '0';
                else
                    error = true;
            } else if (name == "CSQ") {
                if (form == Action)
                    answer += info("+CSQ: " + std::to_string(opt_.signal) + ",99");
                else if (form == Test)
                    answer += info("+CSQ: (0-31,99),(0-7,99)");
                else
                    error = true;
            } else if (name == "CPIN" && form == Query) {
                answer += info("+CPIN: READY");
            } else if (name == "CBST" || name == "IPR" || name == "CMEE" || name == "CRC") {
                // accepted as they are
            } else {
                error = true;
            }
            break;
        }
        default:
            error = true;
            break;
        }
    }
    emitAt(out, answer + result(error ? 4 : 0), replyUs);
}

} // namespace kv::sim
