#pragma once
#include <array>
#include <functional>
#include <string>

#include "app/Clock.h"
#include "app/EventPump.h"
#include "app/Operator.h"
#include "app/Settings.h"
#include "app/TraceLog.h"
#include "channels/ModemDialogue.h"
#include "protocol/SerialPort.h"

// The modem link of the program: its state (connected, cancel, redial in progress), what the
// modem initialisation window does when it opens and when "Набор" or "Отказ" is pressed, the
// hang-up, and the automatic redial of the online view.
//
// Wiring, in the program:
//  - the connect step brings the link up through the modem window, whose `bringUp()` returns
//    `state().connected`; without a window (command-line tool) `bringUp()` of this class dials
//    the configured fields directly;
//  - "Закончить обмен по Hayes-модему", the end of online work and the program's close call
//    `hangUp()` when the link is up, and close the port when it answers true;
//  - each activation of the main window calls `markDown()`; the start of online work clears
//    `state().redialInProgress`;
//  - the CAN link's cancel request reads `state().cancel`.

namespace kv {

// The fields of the modem window: filled from the settings at each opening, changed by the
// operator for this dial only.
struct ModemFields {
    std::string init;      // "Строка инициализации модема"
    std::string phone;     // "Номер телефона "
    bool words = false;    // "Символьный" (else "Цифровой")
    bool tone = true;      // "Тональный" (else "Импульсный")
};

// The fields as the window shows them at opening: the init string in upper case, the phone,
// the answer type and the dial mode of the settings.
ModemFields modemFieldsFrom(const ChannelSettings& settings);

// Texts shown after a dial.
constexpr const char* kModemNoAnswerPrefix = "Нет ответа от модема в течении ";
constexpr const char* kModemNoAnswerSuffix = "  секунд";
constexpr const char* kGsmSilentMessage = "Нет ответа от Gsm-модема ";
constexpr const char* kGsmNotRegisteredMessage = "Отсутствует регистрация Gsm-модема в сети ";
constexpr const char* kModemOffMessage = "Выключено питание модема или выход по запросу оператора";
constexpr const char* kModemTimeoutPrefix = "ERR (time-out) код =";

// What one "Набор" gave.
struct ModemDialOutcome {
    int result = 0;              // the dialogue result
    bool connected = false;
    int connectWait = 0;         // seconds the dial waited at most for the answer
    std::string afterInit;       // upper result field: the initialisation log
    std::string afterDial;       // lower result field: the dial answer, or a message
    std::array<std::string, 4> log;   // the dialogue log of the dial
};

class ModemSession {
public:
    ModemSession(Clock& clock, EventPump& pump, TraceLog& trace, Operator& op);

    ModemState& state() { return state_; }
    const ModemState& state() const { return state_; }
    bool connected() const { return state_.connected; }

    // The modem window opens: the cancel flag is cleared and the link marked down.
    void windowOpened();
    // "Набор": prepares the lines, dials with the fields, writes the dialogue log to the
    // trace, and marks the link up when the answer counts as connected (then waits a second,
    // after which the window closes). Without a port the dial fails as if the modem were off.
    ModemDialOutcome dial(SerialPort* port, int channelType, const ModemFields& fields);
    // "Отказ": every wait of a running dial ends at its next check.
    void cancel() { state_.cancel = true; }

    // The link without a window: open, dial the fields, true when the call is up.
    bool bringUp(SerialPort* port, int channelType, const ModemFields& fields);

    // Hangs up (GSM: +++ and ATH, else the DTR drop) and marks the link down. True when the
    // caller must close the port now.
    bool hangUp(SerialPort& port, int channelType);
    // The link is known to be down (activation of the main window).
    void markDown() { state_.connected = false; }

    // The last dial's outcome (for a window that shows it again).
    const ModemDialOutcome& lastDial() const { return last_; }

private:
    Clock& clock_;
    EventPump& pump_;
    TraceLog& trace_;
    Operator& op_;
    ModemState state_;
    ModemDialOutcome last_;
};

// The online view's automatic redial of a Hayes modem line that has been silent for the
// redial minutes. The view renews the deadline after every successful exchange, asks `due`
// on every poll tick, and when it is due stops its timer, calls `run` and starts the timer
// again with the interval `run` returns.
class AutoRedial {
public:
    struct Hooks {
        std::function<void()> release;   // the release command (body 0B) on the traditional protocol
        std::function<void()> hangUp;    // hang up the modem (the link is marked down here)
        std::function<bool()> connect;   // the connect step: the modem window dials at once
    };

    static constexpr int kNormalIntervalMs = 1000;
    static constexpr int kRetryIntervalMs = 30000;

    AutoRedial(Clock& clock, ModemState& state, int minutes);

    int minutes() const { return minutes_; }
    void setMinutes(int minutes) { minutes_ = minutes < 0 ? 0 : minutes; }
    // Deadline := now + the redial minutes (at activation and after each successful exchange).
    void renew();
    double deadline() const { return deadline_; }

    // A redial is due: minutes above 0, the deadline passed, a Hayes modem line (type 6) and
    // no window opened from the view's menu (redial allowed).
    bool due(int channelType, bool redialAllowed) const;

    // One redial: sets the redial-in-progress flag, sends the release on the traditional
    // protocol, hangs up a connected modem, connects again. Returns the poll timer interval
    // from now on: 1000 ms after a successful redial (the deadline renewed), 30000 ms after a
    // failed one (the deadline stays past, so the next tick tries again).
    int run(int protocol, int channelType, const Hooks& hooks);

    bool lastSucceeded() const { return lastOk_; }

private:
    Clock& clock_;
    ModemState& state_;
    int minutes_ = 0;
    double deadline_ = 0;
    bool lastOk_ = false;
};

} // namespace kv
