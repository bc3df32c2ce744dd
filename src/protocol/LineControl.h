#pragma once
#include <functional>
#include <memory>
#include <string>

#include "app/Clock.h"
#include "app/Operator.h"
#include "protocol/ExchangeResult.h"
#include "protocol/SerialPort.h"

// The electrical side of each connection kind: opening the port, the handshake lines around a
// transmission, the line turnaround waits, echo on two-wire lines, and the connect steps that
// must succeed before the first exchange (switch channel, wiring, ninth-bit addressing).

namespace kv {

class Exchange;

// ChannelType values with their own handling.
namespace channel {
constexpr int Rs232 = 0;
constexpr int Irps4 = 1;          // current loop, four wires
constexpr int Irps2 = 2;          // current loop, two wires: hears its own bytes
constexpr int Rs485 = 3;
constexpr int IsmLeased = 4;      // line modem on a leased line
constexpr int IsmSwitched = 5;    // line modem on a switched line
constexpr int Hayes = 6;
constexpr int Mux2 = 7;           // current-loop multiplexer, two wires
constexpr int Gsm = 8;
constexpr int Mux4 = 9;           // current-loop multiplexer, four wires
constexpr int Rs485Plus = 10;
constexpr int CanBus = 11;
constexpr int HayesCanBus = 12;
constexpr int Count = 13;
} // namespace channel

// The name stored in the configuration and shown to the user ("" outside 0..12).
const std::string& channelTypeName(int channelType);

constexpr int kSpeedCount = 11;
// Baud rate of a speed index (0..10: 300 ... 115200); indexes outside the table give 9600.
int baudRate(int speedIndex);

// Extra turnaround on current-loop lines: 3 ms at 300 baud, 2 ms at 600/1200, 1 ms above.
int loopTurnaroundMs(int speedIndex);
// Line-modem turnaround after sending: 65 ms at 300 baud, 55 ms otherwise.
int ismTurnaroundMs(int speedIndex);

bool echoesOwnBytes(int channelType);      // two-wire lines hear what they send
bool hasModemPowerTest(int channelType);   // modem lines: DSR tells the modem is powered
bool isIsmLine(int channelType);

// Turnaround before and after sending a frame.
void beforeSending(SerialPort& port, Clock& clock, int channelType, int speedIndex);
void afterSending(SerialPort& port, Clock& clock, int channelType, int speedIndex);

// Polls the modem status up to 1000 times; true as soon as DSR is on.
bool modemPowerTest(SerialPort& port);

// Line parameters set at open: the baud of the speed index, 8 data bits, no parity, two stop
// bits (one for a Hayes modem, and for the CAN adapter with CTS output flow control).
// Settings not named here stay as `current` had them.
LineParams lineParamsAtOpen(LineParams current, int speedIndex, int channelType);

// Set-up of the CAN adapter when its port opens; supplied by the CAN link.
using CanAdapterInit = std::function<bool(SerialPort&)>;

// Opens "Com1".."Com8" for a connection: remembers the speed index in the engine state, sets
// the line parameters and the handshake lines of the channel type (line-modem set-up with its
// trace line, Hayes DTR pulse, CAN adapter initialisation) and discards pending input.
// nullptr when the device cannot be opened or configured.
std::unique_ptr<SerialPort> openLine(PortOpener& opener, const std::string& portName,
                                     int speedIndex, int channelType, Exchange& exchange,
                                     const CanAdapterInit& initCanAdapter = {});

// Channel switch: sends the channel number bit-serially (data on break, clock on RTS) and reads
// it back on CTS (clock on break). True when the switch echoes the number.
bool selectSwitchChannel(SerialPort& port, Clock& clock, int channelNumber);

// Tells two-wire from four-wire current-loop lines by whether 0xFF comes back. Only for types
// 1, 2, 7 and 9 and only when enabled; otherwise the type is returned unchanged.
int detectWiring(SerialPort& port, Clock& clock, int channelType, bool enabled);

// Addresses one controller on a shared line: its network number goes out with the address
// parity (mark, or even when `channel` is not 0), the line then stays on the data parity
// (space, or odd). True when the controller answers with its number.
bool selectByNetworkNumber(SerialPort& port, Clock& clock, int networkNumber, int channel,
                           int channelType, int speedIndex);

// The release command (body 0x0B, receipt only) that frees an addressed controller.
ExchangeResult release(Exchange& exchange, SerialPort& port, int channelType);

// Release at the end of online work: only for channel types below 6 with a nonzero network
// number and the traditional protocol; sent once, whatever AttemptCount says. Returns 0 when
// nothing had to be sent.
ExchangeResult releaseAtEnd(Exchange& exchange, SerialPort& port, int channelType);

// What the connect step needs besides the engine state (network number, protocol, speed).
struct ConnectRequest {
    int channelType = 0;
    int switchChannel = 0;   // channel of the switch on types 7 and 9
    int channel = 0;         // 0 main channel, otherwise the interface module: ninth-bit parities
    bool autoDetect = false; // detect two- or four-wire lines
};

struct ConnectOutcome {
    bool connected = false;
    // The channel type to use from now on: wiring detection may have replaced the configured
    // one; the caller keeps it in the settings.
    int channelType = 0;
};

// Brings the modem link up (or reports it is already up) on modem channel types; supplied by
// the modem dialogue.
using ModemLink = std::function<bool()>;

ConnectOutcome connect(Exchange& exchange, SerialPort& port, const ConnectRequest& request,
                       Operator& op, const ModemLink& modemLink = {});

} // namespace kv
