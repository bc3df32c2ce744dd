#include "online/ServiceOperations.h"

#include <cmath>

#include "app/Workspace.h"
#include "protocol/LineControl.h"
#include "text/DateTime.h"

namespace kv {

const std::array<std::string, 5> kServiceTitles{
    "Сброс накопленных отказов ЗЕНТАР",
    "Изменить скорость обмена с ЗЕНТАР",
    "Чтение текущего времени ЗЕНТАР",
    "Установить время ЗЕНТАР",
    "Первести ЗЕНТАР в режим РАБОТА",
};

const std::array<std::string, 7> kServiceSpeedItems{
    "   300 бод", "   600 бод", "  1200 бод", "  2400 бод", "  4800 бод", "  9600 бод", "19200 бод ",
};

namespace {

constexpr int kWaitLimitUnits = 10;
constexpr int kWaitPollMs = 100;
constexpr ParamCode kPasswordCode{0x40, 0x08, 0x00};
constexpr ParamCode kSpeedCode{0x40, 0x06, 0x00};
constexpr ParamCode kTimeCode{0x40, 0x15, 0x00};
constexpr ParamCode kDateCode{0x40, 0x16, 0x00};
constexpr ParamCode kYearCode{0x40, 0x17, 0x00};
constexpr int kSpeedRetryPauseSeconds = 8;

bool isCanType(int channelType) { return channelType == 11 || channelType == 12; }

int hexDigit(char32_t c)
{
    if (c >= '0' && c <= '9')
        return int(c - '0');
    if (c >= 'A' && c <= 'F')
        return int(c - 'A' + 10);
    if (c >= 'a' && c <= 'f')
        return int(c - 'a' + 10);
    return -1;
}

bool isNoPassword(uint16_t v) { return v == kBlankPassword || v == kOpenPassword; }

// A busy cursor for the length of a command.
class BusyCursor {
public:
    explicit BusyCursor(Operator& op) : op_(op) { op_.setBusy(true); }
    ~BusyCursor() { op_.setBusy(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

private:
    Operator& op_;
};

std::string dateText(int day, int month, int year)
{
    // A month byte with no name still shows, as its number, so a bad clock is visible.
    std::string name = monthGenitive(month);
    if (name.empty())
        name = std::to_string(month);
    return std::to_string(day) + "  " + name + "  " + std::to_string(year) + "  года";
}

std::string timeText(int hour, int minute)
{
    return std::to_string(hour) + "  часов  " + std::to_string(minute) + "  минут";
}

} // namespace

std::string commandNotSetText(const std::string& commandName)
{
    return "Признак о выполнении команды \r" + commandName + "\r не установлен";
}

std::string passwordText(uint16_t value)
{
    static const char* digits = "0123456789ABCDEF";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i) {
        s[std::size_t(i)] = digits[value & 0xF];
        value = uint16_t(value >> 4);
    }
    return s;
}

uint16_t passwordValue(const std::string& text)
{
    uint32_t n = 0;
    for (char c : text) {
        const int d = hexDigit(char32_t(static_cast<unsigned char>(c)));
        if (d >= 0)
            n = ((n << 4) | uint32_t(d)) & 0xFFFFu;
    }
    return uint16_t(n);
}

bool passwordCharAllowed(char32_t c)
{
    return hexDigit(c) >= 0 || c == 8 || c == 10 || c == 13;
}

std::string monthGenitive(int month)
{
    static const std::array<const char*, 12> names{"января", "февраля", "марта",    "апреля",
                                                   "мая",    "июня",    "июля",     "августа",
                                                   "сентября", "октября", "ноября", "декабря"};
    return month >= 1 && month <= 12 ? names[std::size_t(month - 1)] : "";
}

std::array<uint8_t, 2> speedBytes(int index)
{
    static const std::array<std::array<uint8_t, 2>, 7> bytes{{
        {0x00, 0x30}, {0x00, 0x60}, {0x01, 0x20}, {0x02, 0x40}, {0x04, 0x80}, {0x09, 0x60}, {0x19, 0x20},
    }};
    return bytes[std::size_t(speedItemFor(index))];
}

int speedItemFor(int configuredIndex)
{
    return configuredIndex < 0 ? 0 : configuredIndex > 6 ? 6 : configuredIndex;
}

std::string speedProgressText(int index)
{
    return "Перевод на скорость " + kServiceSpeedItems[std::size_t(speedItemFor(index))];
}

ServiceOperations::ServiceOperations(Workspace& ws) : ws_(ws) {}

void ServiceOperations::setPortSpeed(int index)
{
    SerialPort* port = ws_.port();
    if (!port || index < 0 || std::size_t(index) >= kSpeedBaud.size())
        return;
    LineParams p = port->params();
    p.baud = kSpeedBaud[std::size_t(index)];
    port->setParams(p);
    ws_.exchange().state().speedIndex = index;   // reply waits follow the line speed
}

void ServiceOperations::restoreSpeed()
{
    if (portSpeedSet_)
        setPortSpeed(ws_.settings().speed);
    portSpeedSet_ = false;
}

void ServiceOperations::begin()
{
    stop_ = false;
    if (ws_.settings().channelType == 7 && ws_.port())
        selectSwitchChannel(*ws_.port(), ws_.clock(), ws_.settings().multNumb);
}

ExchangeResult ServiceOperations::checkPassword(const std::string& text, bool showMessage)
{
    SerialPort* port = ws_.port();
    if (!port)
        return xr::WriteFailed;
    const int type = ws_.settings().channelType;
    const uint16_t n = passwordValue(text);
    const std::array<uint8_t, 2> entry{uint8_t(n >> 8), uint8_t(n & 0xFF)};
    if (const auto r = ws_.commands().writeParam(*port, type, kPasswordCode, entry, ValueKind::Plain); r > 0)
        return r;
    std::array<uint8_t, 2> back{};
    if (const auto r = ws_.commands().readRaw(*port, type, kPasswordCode, back); r > 0)
        return r;
    const auto m = uint16_t(back[0] << 8 | back[1]);
    if (m == n || (isNoPassword(n) && isNoPassword(m)))
        return 0;
    if (showMessage)
        ws_.op().message(MessageKind::Warning, kWrongPasswordMessage);
    return kPasswordRefused;
}

ServiceOutcome ServiceOperations::completionWait(uint8_t mask, uint8_t expected, const std::string& commandName,
                                                 const Progress& progress)
{
    ServiceOutcome out;
    SerialPort* port = ws_.port();
    if (!port) {
        out.result = xr::WriteFailed;
        out.text = exchangeMessage(out.result);
        return out;
    }
    const int type = ws_.settings().channelType;
    const double start = ws_.clock().now();
    int64_t elapsed = 0;
    int nextStep = 1;
    ExchangeResult last = kStatusDiffers;
    {
        BusyCursor busy(ws_.op());
        while (elapsed < kWaitLimitUnits) {
            ws_.pump().processEvents();
            if (stop_) {
                out.stopped = true;
                break;
            }
            last = ws_.commands().readStatus(*port, type, mask, expected);
            if (last == 0) {
                out.confirmed = true;
                break;
            }
            elapsed = text::waitUnits(start, ws_.clock().now());
            // A slow status read can pass more than one unit; the bar still moves by each.
            while (nextStep <= elapsed && nextStep <= kWaitLimitUnits) {
                if (progress)
                    progress(nextStep);
                ++nextStep;
            }
            ws_.clock().sleepMs(kWaitPollMs);
        }
    }
    out.result = out.stopped ? 0 : last;
    if (out.confirmed)
        out.text = kServiceDone;
    else if (out.stopped)
        out.text.clear();
    else if (last > 0)
        out.text = exchangeMessage(last);
    else
        out.text = commandNotSetText(commandName);
    return out;
}

ServiceOutcome ServiceOperations::resetFailures(const Progress& progress)
{
    ServiceOutcome out;
    SerialPort* port = ws_.port();
    ExchangeResult r = xr::WriteFailed;
    if (port) {
        BusyCursor busy(ws_.op());
        r = ws_.commands().resetFailures(*port, ws_.settings().channelType);
    }
    if (r > 0) {
        out.result = r;
        out.text = exchangeMessage(r);
        return out;
    }
    return completionWait(kFailureResetBit, kFailureResetBit, kResetCommandName, progress);
}

ServiceOutcome ServiceOperations::switchToRun(const std::string& password, const Progress& progress)
{
    ServiceOutcome out;
    if (password.empty()) {
        out.needPassword = true;
        return out;
    }
    ExchangeResult r = 0;
    {
        BusyCursor busy(ws_.op());
        r = checkPassword(password, true);
        if (r == 0 && ws_.port())
            r = ws_.commands().setRunMode(*ws_.port(), ws_.settings().channelType);
    }
    if (r != 0) {
        out.result = r;
        if (r > 0)
            out.text = exchangeMessage(r);
        return out;
    }
    return completionWait(kStateMask, 0, kRunCommandName, progress);
}

ServiceOutcome ServiceOperations::setClock(const std::string& password, const ClockSetting& to)
{
    ServiceOutcome out;
    if (password.empty()) {
        out.needPassword = true;
        return out;
    }
    SerialPort* port = ws_.port();
    ExchangeResult r = xr::WriteFailed;
    {
        BusyCursor busy(ws_.op());
        r = port ? checkPassword(password, true) : r;
        const int type = ws_.settings().channelType;
        double controllerNow = 0;
        if (r == 0)
            r = ws_.archives().readClock(*port, type, kClockAsRead, controllerNow);
        const auto write = [&](const ParamCode& code, int a, int b) {
            const std::array<uint8_t, 2> v{uint8_t(a), uint8_t(b)};
            return ws_.commands().writeParam(*port, type, code, v, ValueKind::Plain);
        };
        if (r == 0)
            r = write(kTimeCode, to.hour, to.minute);
        const auto d = text::decodeDateTime(controllerNow);
        if (r == 0 && (d.year != to.year || d.month != to.month || d.day != to.day)) {
            if (d.year != to.year)
                r = write(kYearCode, to.year / 100, to.year % 100);
            if (r == 0)
                r = write(kDateCode, to.day, to.month);
        }
    }
    if (r != 0) {
        out.result = r;
        if (r > 0)
            out.text = exchangeMessage(r);
        return out;
    }
    const ClockText c = readClock();
    out.result = c.result;
    out.confirmed = c.result == 0;
    out.text = c.date;
    out.secondText = c.time;
    return out;
}

ServiceOutcome ServiceOperations::changeSpeed(int index, const Progress& progress)
{
    ServiceOutcome out;
    index = speedItemFor(index);
    SerialPort* port = ws_.port();
    if (!port) {
        out.result = xr::WriteFailed;
        out.text = exchangeMessage(out.result);
        return out;
    }
    const int type = ws_.settings().channelType;
    portSpeedSet_ = true;
    setPortSpeed(ws_.settings().speed);
    BusyCursor busy(ws_.op());
    const auto bytes = speedBytes(index);
    ExchangeResult r = ws_.commands().writeParam(*port, type, kSpeedCode, bytes, ValueKind::Plain);
    if (r > 0) {
        out.result = r;
        out.text = exchangeMessage(r);
        return out;
    }
    setPortSpeed(index);
    ws_.clock().sleepMs(200);
    r = kStatusDiffers;
    for (int attempt = 0; attempt < 2 && !stop_; ++attempt) {
        std::array<uint8_t, 2> back{};
        r = ws_.commands().readRaw(*port, type, kSpeedCode, back);
        if (r == 0)
            break;
        for (int second = 1; second <= kSpeedRetryPauseSeconds && !stop_; ++second) {
            ws_.clock().sleepMs(1000);
            if (progress)
                progress(second);
            ws_.pump().processEvents();
        }
    }
    out.result = r;
    out.stopped = stop_ && r != 0;
    if (r == 0) {
        out.confirmed = true;
        out.text = exchangeMessage(0);   // "  OK"
        ws_.settings().speed = uint8_t(index);
    } else if (r > 0) {
        out.text = exchangeMessage(r);
    }
    return out;
}

ClockText ServiceOperations::readClock()
{
    ClockText out;
    SerialPort* port = ws_.port();
    if (!port) {
        out.result = xr::WriteFailed;
        out.date = exchangeMessage(out.result);
        return out;
    }
    BusyCursor busy(ws_.op());
    const int type = ws_.settings().channelType;
    if (isCanType(type)) {
        double dt = 0;
        out.result = ws_.archives().readCanClock(*port, type, type == 12 ? CanClockForm::Gateway : CanClockForm::Frames,
                                                 true, dt);
        if (out.result == 0) {
            const auto c = text::decodeDateTime(dt);
            out.date = dateText(c.day, c.month, c.year);
            out.time = timeText(c.hour, c.minute);
        }
    } else {
        std::array<uint8_t, 2> date{}, year{}, time{};
        out.result = ws_.commands().readAddress(*port, type, 0x4016, date);
        if (out.result <= 0)
            out.result = ws_.commands().readAddress(*port, type, 0x4017, year);
        if (out.result <= 0)
            out.result = ws_.commands().readAddress(*port, type, 0x4015, time);
        if (out.result <= 0) {
            out.result = 0;
            out.date = dateText(date[0], date[1], year[0] * 100 + year[1]);
            out.time = timeText(time[0], time[1]);
        }
    }
    if (out.result > 0)
        out.date = exchangeMessage(out.result);
    return out;
}

} // namespace kv
