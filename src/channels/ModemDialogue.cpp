#include "channels/ModemDialogue.h"

#include <algorithm>
#include <cctype>
#include <charconv>

#include "protocol/LineControl.h"
#include "text/Cp1251.h"

namespace kv {

namespace {

constexpr uint8_t kCr = 0x0D;
constexpr uint8_t kLf = 0x0A;
constexpr int kReadTimeoutMs = 1000;
constexpr int kWritePerByteMs = 500;
// A babbling line must not grow the trace or the line buffer without bound.
constexpr std::size_t kTraceCap = 4096;
constexpr std::size_t kLineCap = 255;
// Digit answers past this stop growing (they only need to stay nonzero and large).
constexpr int kDigitsCap = 99999999;
// A count of lines no reply reaches: the read takes its whole time.
constexpr int kUnreachableCount = 1000000;
constexpr double kSecondsPerDay = 86400.0;
constexpr int kRegistrationSeconds = 30;

struct CodeEntry {
    const char* word;
    const char* digit;
    int code;
};

// The order of the search matters: "RINGING" before "RING".
constexpr CodeEntry kCodes[] = {
    {"OK", "0", modem::Ok},
    {"NO CARRIER", "3", modem::NoCarrier},
    {"ERROR", "4", modem::Error},
    {"NO DIAL TONE", "6", modem::NoDialTone},
    {"BUSY", "7", modem::Busy},
    {"NO ANSWER", "8", modem::NoAnswer},
    {"RINGING", "9", modem::Ringing},
    {"RING", "2", modem::Ring},
    {"CONNECT", "1", modem::Connect},
    {"CARRIER", "1", modem::Connect},
};

bool startsWith(std::string_view s, std::string_view prefix)
{
    return s.substr(0, prefix.size()) == prefix;
}

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// The number made of the digits from `pos` on; `skipLead` skips non-digits before the first
// digit. -1 when there is no digit.
int numberAt(std::string_view s, std::size_t pos, bool skipLead)
{
    if (skipLead)
        while (pos < s.size() && !isDigit(s[pos]))
            ++pos;
    if (pos >= s.size() || !isDigit(s[pos]))
        return -1;
    int n = 0;
    for (; pos < s.size() && isDigit(s[pos]); ++pos)
        n = n > 100000 ? n : n * 10 + (s[pos] - '0');
    return n;
}

// True when the AT commands set the echo (E, E0, E1) somewhere. Extended commands (+...),
// ampersand commands (&E...), register settings and the dial string are read past, so an
// "E" inside them is not taken for the echo command.
bool setsEcho(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const char c = s[i];
        if (c == '+') {
            while (i < s.size() && s[i] != ';' && s[i] != ' ')
                ++i;
        } else if (c == '&' || c == '%' || c == '\\' || c == '*' || c == '#' || c == '$') {
            i += 2;
            while (i < s.size() && isDigit(s[i]))
                ++i;
        } else if (c == 'S' && i + 1 < s.size() && isDigit(s[i + 1])) {
            ++i;
            while (i < s.size() && (isDigit(s[i]) || s[i] == '=' || s[i] == '?'))
                ++i;
        } else if (c == 'D') {
            return false;   // the rest of the command is the number to dial
        } else if (c == 'E') {
            return true;
        } else {
            ++i;
        }
    }
    return false;
}

std::string trimmed(std::string_view s) { return std::string(text::trimBlanks(s)); }

} // namespace

std::string modemHex(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(bytes.size() * 3);
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (i > 0)
            out += ' ';
        const auto b = uint8_t(bytes[i]);
        out += digits[b >> 4];
        out += digits[b & 0x0F];
    }
    return out;
}

std::string modemReadable(std::string_view bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : bytes) {
        const auto b = uint8_t(ch);
        if (b < 0x20) {
            out += '<';
            out += digits[b >> 4];
            out += digits[b & 0x0F];
            out += '>';
        } else if (b < 0x80) {
            out += ch;
        } else {
            out += text::fromCp1251(std::string_view(&ch, 1));
        }
    }
    return out;
}

int modemAnswerCode(std::string_view line, bool words)
{
    const std::string up = text::asciiUpper(line);
    for (const CodeEntry& e : kCodes)
        if (up == (words ? e.word : e.digit))
            return e.code;
    return modem::Unknown;
}

int classifyModemReply(std::string_view replyText)
{
    static constexpr CodeEntry kOrder[] = {
        {"CONNECT", "", modem::Connect},       {"NO CARRIER", "", modem::NoCarrier},
        {"ERROR", "", modem::Error},           {"NO DIAL TONE", "", modem::NoDialTone},
        {"BUSY", "", modem::Busy},             {"NO ANSWER", "", modem::NoAnswer},
        {"RINGING", "", modem::Ringing},       {"RING", "", modem::Ring},
        {"CARRIER", "", modem::Connect},
    };
    const std::string up = text::asciiUpper(replyText);
    for (const CodeEntry& e : kOrder)
        if (up.find(e.word) != std::string::npos)
            return e.code;
    return up.find("OK") != std::string::npos ? modem::Ok : modem::NoCarrier;
}

bool countsAsConnected(int result)
{
    switch (result) {
    case modem::NoCarrier:
    case modem::Error:
    case modem::NoDialTone:
    case modem::Busy:
    case modem::NoAnswer:
    case modem::Ringing:
        return false;
    default:
        return result > 0;
    }
}

int windowConnectWait(std::string_view initField)
{
    const std::string up = text::asciiUpper(initField);
    const std::size_t at = up.find("S7=");
    if (at == std::string::npos)
        return 120;
    const int n = numberAt(up, at + 3, true);
    return n < 0 ? 120 : n + 20;
}

int dialConnectWait(std::string_view init, int wait)
{
    const std::string up = text::asciiUpper(init);
    const std::size_t at = up.find("S7=");
    if (at == std::string::npos)
        return wait < 30 ? 35 : wait;
    const int n = std::max(0, numberAt(up, at + 3, false));
    if (n > wait)
        wait = n + 10;
    return std::min(wait, 300);
}

std::string modemInitString(std::string_view field, bool hayes, bool words)
{
    std::string s = text::upper(field);
    if (const std::size_t at = s.find("AT"); at != std::string::npos)
        s.erase(at, 2);
    s = trimmed(s);
    if (hayes) {
        const std::string v = words ? "V1" : "V0";
        if (s.find('V') != std::string::npos) {
            s = v + " " + s;
        } else {
            // Without V the answers cannot be read; the operator's own commands stay.
            const bool echoSet = setsEcho(s);
            s = s.empty() ? v : v + " " + s;
            if (!echoSet)
                s += " E0";
        }
    }
    return "AT " + s;
}

std::vector<uint8_t> modemDialCommand(bool hayes, bool tone, std::string_view phone)
{
    // A control character in a stored number would end the command early and let the rest
    // of the number be taken as a command of its own.
    std::string number;
    for (char c : text::toCp1251(phone))
        if (uint8_t(c) >= 0x20)
            number += c;
    const std::string cmd = hayes ? std::string("AT D") + (tone ? "T" : "P") + " " + number + "\r"
                                  : "ATD" + number + "\r\n";
    return {cmd.begin(), cmd.end()};
}

void prepareModemLines(SerialPort& port, Clock& clock, int channelType)
{
    if (channelType == channel::Hayes) {
        port.setDtr(true);
        port.setRts(true);
        clock.sleepMs(500);
        port.setDtr(false);
        port.setRts(true);
        clock.sleepMs(500);
    }
    port.setDtr(true);
    port.setRts(true);
}

bool hangUpModem(SerialPort& port, Clock& clock, TraceLog& trace, int channelType)
{
    if (channelType == channel::Gsm) {
        static const std::string plus = "+++";
        static const std::string ath = "ATH\r\n";
        port.setTimeouts(2000, kWritePerByteMs);
        for (int attempt = 0; attempt < 2; ++attempt) {
            trace.debugLog(">> " + modemHex(plus) + "  (+++)");
            clock.sleepMs(1200);
            // Whatever is still waiting (the end of the last reply) is no answer to the hang-up.
            port.discardInput();
            port.write(reinterpret_cast<const uint8_t*>(plus.data()), int(plus.size()));
            clock.sleepMs(1200);
            trace.debugLog(">> " + modemHex(ath) + "  (ATH)");
            port.write(reinterpret_cast<const uint8_t*>(ath.data()), int(ath.size()));
            uint8_t got[5];
            const int n = port.read(got, int(sizeof got));
            if (n > 0) {
                const std::string_view rx(reinterpret_cast<const char*>(got), std::size_t(n));
                trace.debugLog("<< " + modemHex(rx) + " (" + modemReadable(rx) + ")");
                return false;
            }
        }
    }
    port.setDtr(false);
    port.setRts(false);
    clock.sleepMs(1000);
    if (channelType != channel::Gsm)
        return false;
    trace.debugLog("Сброс DTR GSM-модема, порт закрыт");
    return true;
}

// ---- ModemDialogue --------------------------------------------------------------------------

ModemDialogue::ModemDialogue(SerialPort& port, Clock& clock, EventPump& pump, TraceLog& trace,
                             ModemState& state)
    : port_(port), clock_(clock), pump_(pump), trace_(trace), state_(state)
{
}

void ModemDialogue::send(std::string_view textToSend)
{
    const std::string bytes = text::toCp1251(textToSend);
    if (port_.write(reinterpret_cast<const uint8_t*>(bytes.data()), int(bytes.size())) < 0)
        portFailed_ = true;
}

void ModemDialogue::traceSent(std::string_view command)
{
    const std::string end = hayes_ ? "\r" : "\r\n";
    trace_.debugLog(">> " + modemHex(text::toCp1251(command) + end));
    trace_.debugLog("   " + std::string(command) + (hayes_ ? "<0D>" : "<0D><0A>"));
}

ReplyRead ModemDialogue::readReply(int seconds, int slot, bool counting, int expected, bool words)
{
    port_.setTimeouts(kReadTimeoutMs, kWritePerByteMs);
    std::string& slotText = replies_[slot == 0 ? 0 : 1];
    slotText.clear();
    readable_.clear();
    std::string hex = "<< ";
    const double deadline = clock_.now() + seconds / kSecondsPerDay;
    ReplyRead r;
    int digits = 0;
    int digitsBeforeLine = 0;
    int counter = 0;
    std::string line;
    bool stopped = false;
    while (!stopped && clock_.now() < deadline) {
        pump_.processEvents();
        if (cancelled()) {
            digits = modem::Cancelled;
            break;
        }
        uint8_t b = 0;
        const int n = port_.read(&b, 1);
        if (n < 0) {
            // The port is gone: nothing more can arrive.
            portFailed_ = true;
            break;
        }
        if (n == 0)
            continue;
        const char ch = char(b);
        if (hex.size() < kTraceCap) {
            if (hex.size() > 3)
                hex += ' ';
            hex += modemHex(std::string_view(&ch, 1));
        }
        if (readable_.size() < kTraceCap)
            readable_ += modemReadable(std::string_view(&ch, 1));

        if ((b == kCr || b == kLf) && !line.empty()) {
            if (slotText.size() < modem::kReplyCapacity)
                slotText += ' ';
            r.code = modemAnswerCode(line, words);
            if (readable_.size() < kTraceCap)
                readable_ += " m=" + std::to_string(r.code);
            if (r.code == modem::Ring || r.code == modem::Ringing) {
                // A ring is news, not an answer: its digit must not join the answer's digits.
                digits = digitsBeforeLine;
            } else if (counting) {
                stopped = ++counter == expected;
            } else {
                stopped = r.code == expected || (r.code > 0 && expected == modem::Unknown);
                if (!stopped && expected == modem::Unknown && r.code == modem::Unknown) {
                    // "CONNECT 9600" or a digit code such as 12: the call is up, the wait is over.
                    const std::string up = text::asciiUpper(line);
                    const bool allDigits = std::all_of(up.begin(), up.end(), isDigit);
                    stopped = words ? startsWith(up, "CONNECT")
                                    : allDigits && countsAsConnected(numberAt(up, 0, false));
                }
            }
            line.clear();
            digitsBeforeLine = digits;
            continue;
        }
        if (b >= 0x20 && line.size() < kLineCap)
            line += ch;
        if (b >= 0x20 && b <= 0x7E && slotText.size() < modem::kReplyCapacity)
            slotText += ch;
        if (!words && isDigit(ch))
            digits = digits > kDigitsCap / 10 ? kDigitsCap : digits * 10 + (ch - '0');
    }
    trace_.debugLog(hex);
    trace_.debugLog("   " + readable_);
    r.digits = digits;
    return r;
}

bool ModemDialogue::gsmProbe()
{
    static const std::string probe = "ATE0\r\n";
    port_.setTimeouts(kReadTimeoutMs, kWritePerByteMs);
    bool answered = false;
    for (int speed : {5, 6}) {
        for (int attempt = 0; attempt < 2 && !answered && !portFailed_; ++attempt) {
            LineParams p = port_.params();
            p.baud = baudRate(speed);
            port_.setParams(p);
            send(probe);
            uint8_t got[11];
            const int n = port_.read(got, int(sizeof got));
            if (n < 0)
                portFailed_ = true;
            if (n > 0) {
                trace_.debugLog("Эхо откл скор " + std::to_string(speed));
                answered = true;
            }
        }
        if (answered)
            break;
    }
    clock_.sleepMs(100);
    port_.discardInput();
    return answered;
}

int ModemDialogue::registrationCheck(bool words)
{
    static const std::string command = "AT V1 E0 +CREG ?";
    const double start = clock_.now();
    int result = modem::NotRegistered;
    do {
        result = modem::NotRegistered;
        ReplyRead rr;
        for (int attempt = 0; attempt < 2; ++attempt) {
            traceSent(command);
            port_.discardInput();
            send(command + "\r\n");
            rr = readReply(1, 0, true, kUnreachableCount, words);
            if (rr.code == modem::Ring || rr.code == modem::NoCarrier || rr.code == modem::Error
                || rr.digits == 0 || cancelled() || portFailed_)
                break;
        }
        log_[2] = "(>>" + command + "  <<" + replies_[0] + ")";
        if (cancelled())
            return modem::Cancelled;
        if (portFailed_)
            return modem::NotRegistered;
        if (rr.digits != 0) {
            result = modem::NotRegistered;
        } else if (rr.code == modem::Ring || rr.code == modem::NoCarrier) {
            result = rr.code;
        } else if (rr.code == modem::Error) {
            result = 0;   // a modem that does not know +CREG is taken as registered
        } else if (const std::size_t comma = replies_[0].find(','); comma != std::string::npos) {
            std::string stat = replies_[0].substr(comma + 1);
            stat = stat.substr(0, stat.find(','));
            stat = trimmed(stat.substr(0, stat.find(' ')));
            int value = -1;
            const auto [end, ec] = std::from_chars(stat.data(), stat.data() + stat.size(), value);
            if (ec == std::errc() && end == stat.data() + stat.size() && value == 1)
                result = 0;   // registered in the home network
        }
    } while (result != 0 && (clock_.now() - start) * kSecondsPerDay < kRegistrationSeconds);
    return result;
}

void ModemDialogue::signalQuality(bool words)
{
    static const std::string command = "AT +CSQ";
    for (int attempt = 0; attempt < 2; ++attempt) {
        port_.discardInput();
        send(command + "\r\n");
        const ReplyRead rr = readReply(3, 0, true, 4, words);
        const int result = words ? classifyModemReply(replies_[0]) : rr.digits;
        if (rr.code == modem::Error || result == 0 || cancelled() || portFailed_)
            break;
    }
    log_[2] += "(>>" + command + "  <<" + replies_[0] + ")";
}

int ModemDialogue::initCommands(const std::string& init, bool words)
{
    int result = 0;
    std::size_t from = 0;
    while (from <= init.size() && !cancelled() && !portFailed_) {
        std::size_t cr = init.find('\r', from);
        if (cr == std::string::npos)
            cr = init.size();
        std::string piece = init.substr(from, cr - from);
        from = cr + 1;
        if (piece.empty())
            continue;
        piece = text::upper(piece);
        if (!startsWith(piece, "AT"))
            piece = "AT" + piece;
        for (int attempt = 0; attempt < 2; ++attempt) {
            clock_.sleepMs(1000);
            traceSent(piece);
            send(piece + (hayes_ ? "\r" : "\r\n"));
            const ReplyRead rr = readReply(2, 0, true, 2, words);
            result = words ? classifyModemReply(replies_[0]) : rr.digits;
            if (rr.code == modem::Error || result == 0 || cancelled() || portFailed_)
                break;
        }
        log_[0] += "/( >>" + readable_ + " <<" + replies_[0] + ")";
    }
    return result;
}

int ModemDialogue::dial(const DialRequest& request)
{
    hayes_ = request.hayes;
    connectWait_ = dialConnectWait(request.init, request.connectWait);
    state_.cancel = false;
    for (auto& r : replies_)
        r.clear();
    for (auto& l : log_)
        l.clear();

    if (hayes_) {
        prepareModemLines(port_, clock_, channel::Hayes);
    } else {
        if (!gsmProbe())
            return modem::GsmSilent;
        const int registered = registrationCheck(request.words);
        if (registered != 0) {
            // A RING during the check means an incoming call, not a call of ours.
            return countsAsConnected(registered) ? modem::NoCarrier : registered;
        }
        signalQuality(request.words);
    }

    int result = initCommands(request.init, request.words);
    if (cancelled() || result != 0 || request.phone.empty())
        return result;

    if (hayes_)
        clock_.sleepMs(1000);
    const std::vector<uint8_t> cmd = modemDialCommand(hayes_, request.tone, request.phone);
    port_.discardInput();
    trace_.debugLog(">> " + modemHex(std::string_view(reinterpret_cast<const char*>(cmd.data()), cmd.size())));
    trace_.debugLog(hayes_ ? "  AT D" + std::string(request.tone ? "T " : "P ") + request.phone + "<0D>"
                           : "  ATD" + request.phone + "<0D><0A>");
    if (port_.write(cmd.data(), int(cmd.size())) < 0)
        portFailed_ = true;

    const ReplyRead rr = readReply(connectWait_, 1, false, modem::Unknown, request.words);
    result = request.words ? classifyModemReply(replies_[1]) : rr.digits;
    log_[1] = replies_[1];
    if (hayes_)
        clock_.sleepMs(1000);
    return result;
}

} // namespace kv
