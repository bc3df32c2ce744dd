#pragma once
#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/Clock.h"
#include "app/EventPump.h"
#include "app/TraceLog.h"
#include "protocol/SerialPort.h"

// The AT-command dialogue with a Hayes modem on the telephone line (channel type 6) or a GSM
// modem (channel type 8): the line signals, the GSM preparation (echo off, network
// registration, signal quality), the initialisation commands, the dial command, the reading
// and classification of the modem's answers, and the hang-up. It runs on the open port
// directly, byte by byte, and lets the user interface through while it waits so that the
// modem window's "Отказ" can end any wait within one read time-out.

namespace kv {

namespace modem {
// Answer codes of one modem line, and the dialogue's own failures (below 0).
constexpr int Ok = 0;
constexpr int Connect = 1;
constexpr int Ring = 2;
constexpr int NoCarrier = 3;
constexpr int Error = 4;
constexpr int NoDialTone = 6;
constexpr int Busy = 7;
constexpr int NoAnswer = 8;
constexpr int Ringing = 9;
constexpr int Unknown = -1;          // a line that is no result code

constexpr int Cancelled = -1;        // the operator pressed "Отказ"
constexpr int NotRegistered = -2;    // the GSM modem is not registered in its home network
constexpr int GsmSilent = -25;       // the GSM modem answered at neither speed

constexpr std::size_t kReplyCapacity = 200;   // printable characters kept per reply text
} // namespace modem

// The modem link as the whole program shares it.
struct ModemState {
    bool connected = false;          // the call is up (set only by a successful dial)
    bool cancel = false;             // "Отказ" was pressed: every wait ends at its next check
    bool redialInProgress = false;   // the online view redials: the modem window dials at once
};

// The code of one answer line: the line in upper case compared whole with the word forms
// ("OK", "CONNECT", ...) or, in the digit answer mode, with the digit forms; -1 for none.
int modemAnswerCode(std::string_view line, bool words);

// What a whole reply text says (word answers): CONNECT 1, NO CARRIER 3, ERROR 4,
// NO DIAL TONE 6, BUSY 7, NO ANSWER 8, RINGING 9, RING 2, CARRIER 1, else 0 with "OK", else 3.
int classifyModemReply(std::string_view text);

// A dial result that means the call is up: positive and none of 3, 4, 6, 7, 8, 9 (the digit
// answers 5 and 10 and above are the connect-with-speed codes of many modems).
bool countsAsConnected(int result);

// The connect wait the modem window derives from its init field: the number after "S7=" plus
// 20 seconds, or 120 seconds when there is none.
int windowConnectWait(std::string_view initField);
// The wait the dial itself uses: 35 s for short waits without "S7=", n + 10 when the S7 value
// n exceeds the wait, never above 300 s.
int dialConnectWait(std::string_view init, int wait);

// The init string sent from the modem window's field: upper case, its first "AT" removed,
// blanks trimmed, "AT " in front. A Hayes modem gets the answer form first ("V0" for digit,
// "V1" for word answers), and echo off after the operator's commands when they set no echo,
// because the answers are only read right with both in effect.
std::string modemInitString(std::string_view field, bool hayes, bool words);

// The dial command: "AT D" + "P"/"T" + " " + phone + CR for a Hayes modem, "ATD" + phone +
// CR LF for a GSM modem.
std::vector<uint8_t> modemDialCommand(bool hayes, bool tone, std::string_view phone);

// The modem's lines before a dial: a Hayes modem gets a DTR pulse (DTR and RTS on, 500 ms,
// DTR off, 500 ms) so that it drops any call and is ready for commands; then DTR and RTS on.
void prepareModemLines(SerialPort& port, Clock& clock, int channelType);

// The hang-up: a GSM modem gets "+++" and "ATH" (twice at most), and when it ignores both the
// call is ended by dropping DTR; any other modem by dropping DTR and RTS for a second.
// Returns true when the port must be closed now (the GSM modem needed the DTR drop); the
// caller opens it again when next needed. The caller clears the connected flag.
bool hangUpModem(SerialPort& port, Clock& clock, TraceLog& trace, int channelType);

struct DialRequest {
    std::string init;          // the init string as sent (see modemInitString)
    std::string phone;
    bool hayes = true;         // false: GSM modem
    bool words = false;        // the modem answers with words (else with digits)
    bool tone = true;          // tone dialling (else pulse)
    int connectWait = 120;     // seconds
};

struct ReplyRead {
    int digits = 0;            // the digits received (digit answers), -1 when cancelled
    int code = modem::Unknown; // the code of the last line read
};

// One dial's dialogue. The reply texts and the dialogue log stay readable afterwards.
class ModemDialogue {
public:
    ModemDialogue(SerialPort& port, Clock& clock, EventPump& pump, TraceLog& trace, ModemState& state);

    // The whole dial: GSM preparation, the initialisation commands, the dial command and its
    // answer. Returns the dialogue result: the classification (word answers) or the digits
    // (digit answers) of the last reply, or a negative failure of the dialogue.
    int dial(const DialRequest& request);

    // Reads the modem's answer for up to `seconds` into reply slot 0 or 1. In counting mode
    // the read ends with the `expected`-th line (RING and RINGING lines not counted); otherwise
    // with a line whose code is `expected`, or with any positive code when `expected` is -1
    // (a connect-with-speed line also ends that wait). Both trace texts go to the trace.
    ReplyRead readReply(int seconds, int slot, bool counting, int expected, bool words);

    // GSM: echo off at 9600, then 19200 baud; true when the modem answered. The port stays at
    // the speed that answered (or 19200).
    bool gsmProbe();
    // GSM: the registration check for up to 30 s; 0 when registered in the home network.
    int registrationCheck(bool words);
    // GSM: the signal quality, only logged.
    void signalQuality(bool words);

    const std::string& reply(int slot) const { return replies_[slot == 0 ? 0 : 1]; }
    // The dialogue log: initialisation, dial answer, GSM (registration and signal), spare.
    const std::array<std::string, 4>& log() const { return log_; }
    // The readable form of what the last readReply received.
    const std::string& lastReadable() const { return readable_; }
    // The connect wait the dial used (after its own adjustment).
    int connectWait() const { return connectWait_; }
    // The port failed during the dialogue (every further wait ended at once).
    bool portFailed() const { return portFailed_; }

private:
    bool cancelled() const { return state_.cancel; }
    void send(std::string_view text);
    void traceSent(std::string_view text);
    int initCommands(const std::string& init, bool words);

    SerialPort& port_;
    Clock& clock_;
    EventPump& pump_;
    TraceLog& trace_;
    ModemState& state_;
    bool hayes_ = true;
    std::array<std::string, 2> replies_;
    std::array<std::string, 4> log_;
    std::string readable_;
    int connectWait_ = 0;
    bool portFailed_ = false;
};

// Two-digit upper-case hexadecimal bytes separated by blanks.
std::string modemHex(std::string_view bytes);
// Bytes as text, control bytes as "<0D>".
std::string modemReadable(std::string_view bytes);

} // namespace kv
