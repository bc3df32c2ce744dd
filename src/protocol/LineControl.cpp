#include "protocol/LineControl.h"

#include <array>
#include <cmath>

#include "protocol/Exchange.h"

namespace kv {

namespace {

constexpr int kWritePerByteMs = 500;

bool validType(int t) { return t >= 0 && t < channel::Count; }

bool isLoopLine(int t)
{
    return t == channel::Irps4 || t == channel::Irps2 || t == channel::Mux2 || t == channel::Mux4;
}

bool isIrps(int t) { return t == channel::Irps4 || t == channel::Irps2; }
bool isMux(int t) { return t == channel::Mux2 || t == channel::Mux4; }

void setLines(SerialPort& port, bool dtr, bool rts)
{
    port.setDtr(dtr);
    port.setRts(rts);
}

int64_t msBetween(double earlier, double later)
{
    return std::llround((later - earlier) * 86400000.0);
}

bool setParity(SerialPort& port, Parity parity)
{
    LineParams p = port.params();
    p.parity = parity;
    p.stopBits = 1;
    return port.setParams(p);
}

// Line modem: with DTR down and RTS up, the modem at the far end answers on CTS (it drops CTS
// at 300 baud and raises it at 1200). Only logged: the open goes on either way.
void setUpIsmLine(SerialPort& port, Exchange& exchange, int speedIndex)
{
    Clock& clock = exchange.clock();
    setLines(port, false, true);
    const double start = clock.now();
    bool up = false;
    for (;;) {
        const bool cts = port.modemStatus().cts;
        if (speedIndex == 0 ? !cts : cts) {
            up = true;
            break;
        }
        if (msBetween(start, clock.now()) >= 1000)
            break;
        clock.sleepMs(1);
    }
    if (up)
        setLines(port, true, false);
    exchange.debugLog(std::string(up ? "установлен тракт модема " : "тракт модема не установлен ")
                      + (speedIndex == 0 ? "(300)" : "(1200)"));
}

// A Hayes modem resets on a DTR drop; the pulse leaves it ready for its commands.
void pulseDtr(SerialPort& port, Clock& clock)
{
    setLines(port, true, true);
    clock.sleepMs(500);
    setLines(port, false, true);
    clock.sleepMs(500);
    setLines(port, true, true);
}

} // namespace

const std::string& channelTypeName(int channelType)
{
    static const std::array<std::string, channel::Count> names = {
        "Rs 232",
        "ИРПС (4-х проводной)",
        "ИРПС (2-х проводной)",
        "Rs 485",
        "ИСМ-1200 (выделенная линия)",
        "ИСМ-1200 (коммутир. линия)",
        "Hayes-модем ",
        "Мультиплексор токовой петли(2-х проводной)",
        "GSM-модем",
        "Мультиплексор токовой петли(4-х проводной)",
        "RS 485+",
        "Can-Bus",
        "Hayes-модем - Can-Bus",
    };
    static const std::string none;
    return validType(channelType) ? names[std::size_t(channelType)] : none;
}

int baudRate(int speedIndex)
{
    static constexpr std::array<int, kSpeedCount> bauds = {300,   600,   1200,  2400,
                                                           4800,  9600,  19200, 38400,
                                                           56000, 57600, 115200};
    if (speedIndex < 0 || speedIndex >= kSpeedCount)
        return 9600;
    return bauds[std::size_t(speedIndex)];
}

int loopTurnaroundMs(int speedIndex)
{
    if (speedIndex <= 0)
        return 3;
    if (speedIndex <= 2)
        return 2;
    return 1;
}

int ismTurnaroundMs(int speedIndex)
{
    return speedIndex == 0 ? 65 : 55;
}

bool echoesOwnBytes(int channelType)
{
    return channelType == channel::Irps2 || channelType == channel::Mux2;
}

bool hasModemPowerTest(int channelType)
{
    return channelType == channel::IsmLeased || channelType == channel::IsmSwitched
        || channelType == channel::Hayes;
}

bool isIsmLine(int channelType)
{
    return channelType == channel::IsmLeased || channelType == channel::IsmSwitched;
}

void beforeSending(SerialPort& port, Clock& clock, int channelType, int speedIndex)
{
    switch (channelType) {
    case channel::Irps4:
    case channel::Irps2:
        setLines(port, true, false);
        clock.sleepMs(loopTurnaroundMs(speedIndex) + 2);
        break;
    case channel::Mux2:
    case channel::Mux4:
        clock.sleepMs(loopTurnaroundMs(speedIndex) + 2);
        break;
    case channel::IsmLeased:
    case channel::IsmSwitched:
        setLines(port, true, true);
        clock.sleepMs(57);
        break;
    case channel::Hayes:
    case channel::Gsm:
        setLines(port, true, true);
        clock.sleepMs(2);
        break;
    case channel::CanBus:
        break;
    default:
        clock.sleepMs(2);
        break;
    }
}

void afterSending(SerialPort& port, Clock& clock, int channelType, int speedIndex)
{
    switch (channelType) {
    case channel::IsmLeased:
    case channel::IsmSwitched:
        clock.sleepMs(ismTurnaroundMs(speedIndex));
        setLines(port, true, false);
        break;
    case channel::Hayes:
    case channel::Gsm:
        setLines(port, true, true);
        break;
    default:
        break;
    }
}

bool modemPowerTest(SerialPort& port)
{
    for (int i = 0; i < 1000; ++i)
        if (port.modemStatus().dsr)
            return true;
    return false;
}

LineParams lineParamsAtOpen(LineParams current, int speedIndex, int channelType)
{
    LineParams p = current;
    p.baud = baudRate(speedIndex);
    p.dataBits = 8;
    p.parity = Parity::None;
    p.stopBits = 2;
    if (channelType == channel::Hayes)
        p.stopBits = 1;
    if (channelType == channel::CanBus) {
        p.stopBits = 1;
        p.ctsFlow = true;
    }
    return p;
}

std::unique_ptr<SerialPort> openLine(PortOpener& opener, const std::string& portName,
                                     int speedIndex, int channelType, Exchange& exchange,
                                     const CanAdapterInit& initCanAdapter)
{
    exchange.state().speedIndex = speedIndex;
    auto port = opener.open(portName);
    if (!port)
        return nullptr;
    if (!port->setParams(lineParamsAtOpen(port->params(), speedIndex, channelType)))
        return nullptr;

    switch (channelType) {
    case channel::Rs232:
    case channel::Rs485Plus:
        setLines(*port, false, false);
        break;
    case channel::Irps4:
    case channel::Irps2:
        setLines(*port, true, false);
        break;
    case channel::Rs485:
    case channel::Gsm:
        setLines(*port, true, true);
        break;
    case channel::IsmLeased:
    case channel::IsmSwitched:
        setUpIsmLine(*port, exchange, speedIndex);
        break;
    case channel::Hayes:
        pulseDtr(*port, exchange.clock());
        break;
    case channel::CanBus:
        // A failed set-up is not fatal here: every CAN frame checks the carrier and sets the
        // adapter up again when it is missing.
        if (initCanAdapter)
            initCanAdapter(*port);
        break;
    default:
        break;
    }
    port->discardInput();
    return port;
}

bool selectSwitchChannel(SerialPort& port, Clock& clock, int channelNumber)
{
    setLines(port, false, false);
    // Data on the transmit line (break for 0), clocked in by a pulse on RTS.
    for (int bit = 7; bit >= 0; --bit) {
        port.setBreak(((channelNumber >> bit) & 1) == 0);
        port.setRts(true);
        port.setRts(false);
    }
    port.setBreak(false);
    port.setDtr(true);
    port.setRts(true);
    port.setDtr(false);
    // The switch shifts the number back out on CTS, clocked by a pulse on the transmit line.
    int echoed = 0;
    for (int i = 0; i < 8; ++i) {
        clock.sleepMs(2);
        echoed = (echoed << 1) | (port.modemStatus().cts ? 1 : 0);
        port.setBreak(true);
        port.setBreak(false);
    }
    port.setDtr(true);
    return echoed == channelNumber;
}

int detectWiring(SerialPort& port, Clock& clock, int channelType, bool enabled)
{
    if (!enabled || !isLoopLine(channelType))
        return channelType;
    port.setTimeouts(50, kWritePerByteMs);
    port.discardInput();
    for (int i = 0; i < 2; ++i) {
        const uint8_t probe = 0xFF;
        uint8_t back = 0;
        port.write(&probe, 1);
        if (port.read(&back, 1) == 1 && back == probe) {
            clock.sleepMs(300);
            return isIrps(channelType) ? channel::Irps2 : channel::Mux2;
        }
        clock.sleepMs(50);
    }
    return isMux(channelType) ? channel::Mux4 : channel::Irps4;
}

bool selectByNetworkNumber(SerialPort& port, Clock& clock, int networkNumber, int channel,
                           int channelType, int speedIndex)
{
    const Parity addressParity = channel == 0 ? Parity::Mark : Parity::Even;
    const Parity dataParity = channel == 0 ? Parity::Space : Parity::Odd;
    const auto number = uint8_t(networkNumber);

    clock.sleepMs(50);
    port.setTimeouts(100, kWritePerByteMs);
    setParity(port, addressParity);
    beforeSending(port, clock, channelType, speedIndex);
    port.discardInput();
    const std::array<uint8_t, 2> address{number, 0xFF};
    port.write(address.data(), int(address.size()));
    if (echoesOwnBytes(channelType)) {
        uint8_t echo = 0;
        port.read(&echo, 1);
    }
    setParity(port, dataParity);
    if (isIsmLine(channelType))
        clock.sleepMs(20);
    if (isIrps(channelType) || isIsmLine(channelType))
        setLines(port, true, false);

    const double start = clock.now();
    for (int reads = 0; reads < (1 << 16) && waitUnitsBetween(start, clock.now()) < 2; ++reads) {
        uint8_t b = 0;
        const int got = port.read(&b, 1);
        if (got < 0)
            break;
        if (got == 1 && b == number) {
            clock.sleepMs(20);
            return true;
        }
    }
    return false;
}

ExchangeResult release(Exchange& exchange, SerialPort& port, int channelType)
{
    static constexpr std::array<uint8_t, 1> body{0x0B};
    return exchange.transact(port, body, {}, channelType, 0);
}

ExchangeResult releaseAtEnd(Exchange& exchange, SerialPort& port, int channelType)
{
    ExchangeState& st = exchange.state();
    if (channelType >= channel::Hayes || st.networkNumber == 0
        || frameEngineFor(st.protocol) != FrameEngine::Traditional)
        return xr::Ok;
    const int saved = st.attemptCount;
    st.attemptCount = 1;
    const ExchangeResult r = release(exchange, port, channelType);
    st.attemptCount = saved;
    return r;
}

ConnectOutcome connect(Exchange& exchange, SerialPort& port, const ConnectRequest& request,
                       Operator& op, const ModemLink& modemLink)
{
    ConnectOutcome out{false, request.channelType};
    const int type = request.channelType;
    Clock& clock = exchange.clock();
    const ExchangeState& st = exchange.state();

    if (type == channel::Hayes || type == channel::Gsm) {
        out.connected = modemLink && modemLink();
        return out;
    }
    if (type == channel::CanBus) {
        out.connected = true;
        return out;
    }

    op.setBusy(true);
    if (isMux(type)) {
        if (!selectSwitchChannel(port, clock, request.switchChannel)) {
            op.setBusy(false);
            op.message(MessageKind::Warning, "Не получено подтверждение номера канала. "
                                                 + std::to_string(request.switchChannel)
                                                 + "  Проверьте подключение коммутатора");
            return out;
        }
        out.channelType = detectWiring(port, clock, type, request.autoDetect);
        out.connected = true;
        op.setBusy(false);
        return out;
    }

    out.channelType = detectWiring(port, clock, type, request.autoDetect);
    if (st.networkNumber == 0 || frameEngineFor(st.protocol) != FrameEngine::Traditional) {
        out.connected = true;
        op.setBusy(false);
        return out;
    }
    for (int attempt = 0; attempt < 2 && !out.connected; ++attempt) {
        if (attempt > 0)
            release(exchange, port, out.channelType);
        out.connected = selectByNetworkNumber(port, clock, st.networkNumber, request.channel,
                                              out.channelType, st.speedIndex);
    }
    op.setBusy(false);
    if (!out.connected)
        op.message(MessageKind::Warning, "Задан неверный сетевой номер ЗЕНТАР или ошибка обмена");
    return out;
}

} // namespace kv
