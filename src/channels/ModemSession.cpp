#include "channels/ModemSession.h"

#include "protocol/LineControl.h"
#include "text/Cp1251.h"

namespace kv {

ModemFields modemFieldsFrom(const ChannelSettings& settings)
{
    ModemFields f;
    f.init = text::upper(settings.inimod);
    f.phone = settings.phone;
    f.words = settings.simbol;
    f.tone = !settings.pulse;
    return f;
}

ModemSession::ModemSession(Clock& clock, EventPump& pump, TraceLog& trace, Operator& op)
    : clock_(clock), pump_(pump), trace_(trace), op_(op)
{
}

void ModemSession::windowOpened()
{
    state_.cancel = false;
    state_.connected = false;
}

ModemDialOutcome ModemSession::dial(SerialPort* port, int channelType, const ModemFields& fields)
{
    ModemDialOutcome out;
    op_.setBusy(true);
    state_.cancel = false;
    const bool hayes = channelType != channel::Gsm;
    out.connectWait = windowConnectWait(fields.init);
    if (port) {
        prepareModemLines(*port, clock_, channelType);
        DialRequest request;
        request.init = modemInitString(fields.init, hayes, fields.words);
        request.phone = fields.phone;
        request.hayes = hayes;
        request.words = fields.words;
        request.tone = fields.tone;
        request.connectWait = out.connectWait;
        ModemDialogue dialogue(*port, clock_, pump_, trace_, state_);
        out.result = dialogue.dial(request);
        // The message below names the time really waited.
        out.connectWait = dialogue.connectWait();
        out.log = dialogue.log();
    } else {
        out.result = modem::Cancelled;
    }
    op_.setBusy(false);
    for (const std::string& t : out.log)
        if (!t.empty())
            trace_.debugLog(t);

    out.afterInit = out.log[0];
    out.afterDial = out.log[1];
    if (out.result == 0) {
        out.afterDial = kModemNoAnswerPrefix + std::to_string(out.connectWait) + kModemNoAnswerSuffix;
    } else if (out.result == modem::GsmSilent) {
        out.afterDial = kGsmSilentMessage;
    } else if (out.result == modem::NotRegistered) {
        out.afterDial = kGsmNotRegisteredMessage;
    } else if (out.result < 0) {
        out.afterDial = kModemOffMessage;
    } else {
        out.connected = countsAsConnected(out.result);
        if (out.afterInit.empty() && out.afterDial.empty())
            out.afterDial = kModemTimeoutPrefix + std::to_string(out.result);
    }
    if (out.connected) {
        state_.connected = true;
        clock_.sleepMs(1000);
    }
    last_ = out;
    return out;
}

bool ModemSession::bringUp(SerialPort* port, int channelType, const ModemFields& fields)
{
    windowOpened();
    dial(port, channelType, fields);
    return state_.connected;
}

bool ModemSession::hangUp(SerialPort& port, int channelType)
{
    const bool closePort = hangUpModem(port, clock_, trace_, channelType);
    state_.connected = false;
    return closePort;
}

// ---- AutoRedial -----------------------------------------------------------------------------

AutoRedial::AutoRedial(Clock& clock, ModemState& state, int minutes)
    : clock_(clock), state_(state), minutes_(minutes < 0 ? 0 : minutes)
{
    renew();
}

void AutoRedial::renew()
{
    deadline_ = clock_.now() + minutes_ / 1440.0;
}

bool AutoRedial::due(int channelType, bool redialAllowed) const
{
    return minutes_ > 0 && clock_.now() > deadline_ && channelType == channel::Hayes && redialAllowed;
}

int AutoRedial::run(int protocol, int channelType, const Hooks& hooks)
{
    state_.redialInProgress = true;
    if (protocol == 0 && channelType >= 0 && channelType <= 10 && hooks.release)
        hooks.release();
    if (state_.connected) {
        if (hooks.hangUp)
            hooks.hangUp();
        state_.connected = false;
    }
    lastOk_ = hooks.connect && hooks.connect();
    if (!lastOk_)
        return kRetryIntervalMs;
    renew();
    return kNormalIntervalMs;
}

} // namespace kv
