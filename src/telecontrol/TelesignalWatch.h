#pragma once
#include <array>
#include <cstdint>
#include <string>

#include "app/Clock.h"
#include "protocol/Commands.h"
#include "protocol/SerialPort.h"
#include "telecontrol/BitSignals.h"

// The telesignal watch: every `TimTc` seconds it reads the controller's signal buffers that
// the bit-signal descriptions name, compares each described bit with its normal state and
// lights the telesignal lamp ("Аварийные сигналы ТС") red while any description is in alarm
// or not yet evaluated, sounding alarm file 3 at every such poll.
//
// Entry points for the online view (its one-second timer drives everything):
//
//     TelesignalWatch watch(ws.commands(), ws.clock(), bitSignals);   // lives with the view
//     // activation of the view:
//     watch.start(ws.settings().timTc);
//     teleindicationAction->setVisible(watch.shown());   // and the lamp with its captions
//     // every poll tick, after the group polling, with the elapsed tick units:
//     watch.tickStep(units, host);                        // host: the view (TelesignalHost)
//     // "Телеуправление" of the teleindication window, so the next tick polls at once:
//     watch.pollSoon();
//
// The view implements TelesignalHost: its poll-allowed flag, status panel 0, the busy cursor,
// the redial deadline, pending messages, the debug marks, the lamp drawing and the sound.
// The teleindication window reads states() and signalsRead().
//
// Buffers: input buffer n is 0x40+n / 0x47, output buffer n 0x40+n / 0x49, indication buffer n
// 0x40+n / 0x4A (n = 0..3), 8 bytes each, read by address (the CAN read on the CAN-BUS types).
// They are read by address rather than through the reference catalog so that the watch also
// works where the reference file is missing.

namespace kv {

// The alarm state of one description.
enum : uint8_t { kSignalNormal = 0, kSignalAlarm = 1, kSignalNotEvaluated = 2 };
// Lamp states as the online view draws them: 0 white (no text), 1 green "отсутствуют", 2 red.
enum : int { kLampOff = 0, kLampNormal = 1, kLampAlarm = 2 };

inline constexpr const char* kInputBufferText = "Чтение буфера входных сигналов ";
inline constexpr const char* kOutputBufferText = "Чтение буфера выходных сигналов ";
inline constexpr const char* kIndicationBufferText = "Чтение буфера сигналов индикации ";

// What the watch needs from whoever drives it (the online view, or the teleindication window
// when it runs on its own).
class TelesignalHost {
public:
    virtual ~TelesignalHost() = default;

    // The open port (null: every read counts as unanswered) and its line.
    virtual SerialPort* port() = 0;
    virtual int channelType() const = 0;
    virtual int switchChannel() const = 0;   // channel of the switch on channel type 7

    // The view's poll-allowed flag: no poll starts while it is off, and a poll holds it off.
    virtual bool pollAllowed() const = 0;
    virtual void setPollAllowed(bool allowed) = 0;

    // Status panel 0 of the view (a failed buffer read).
    virtual void showStatus(const std::string& text) = 0;
    virtual void setBusy(bool busy) = 0;
    // A buffer was read: the line is alive, the redial can wait.
    virtual void renewRedialDeadline() {}
    virtual void processEvents() {}
    // "F+ TCId1" and "T TCId1" (the view writes them only in the debug mode).
    virtual void debugMark(const std::string&) {}
    // The telesignal lamp with its text, in the state given.
    virtual void drawSignalLamp(int state) = 0;
    // Alarm sound: whether it is on, and playing wave file k (1..3; the beep when it cannot).
    virtual bool soundOn() const = 0;
    virtual void playSound(int file) = 0;
};

class TelesignalWatch {
public:
    TelesignalWatch(Commands& commands, Clock& clock, const BitSignalTable& table);

    // Activation of the online view: every description not yet evaluated, lamp off, the
    // buffer selection from the descriptions, the first poll on the first tick when
    // descriptions exist. `timTc` 0 switches the watch off.
    void start(int timTc);
    // Whether descriptions exist: the view shows "Телеиндикация" and the lamp only then.
    bool shown() const { return shown_; }

    // One poll tick of the view: counts the elapsed tick units down and polls when the
    // countdown reaches 0 and the poll-allowed flag is on. Periods are counted in full
    // integers, so every period up to 255 s is kept as given.
    void tickStep(int units, TelesignalHost& host);
    // Reads the selected buffers, evaluates the descriptions and updates the lamp.
    void pollSignals(TelesignalHost& host);
    // The next tick polls (the countdown becomes 0).
    void pollSoon() { countdown_ = 0; }

    // Per description slot: kSignalNormal, kSignalAlarm or kSignalNotEvaluated.
    const std::array<uint8_t, kBitSignalSlots>& states() const { return states_; }
    // Set after each poll; until then the teleindication shows white lamps without text.
    bool signalsRead() const { return signalsRead_; }
    int lampState() const { return lamp_; }
    int countdown() const { return countdown_; }
    int period() const { return period_; }
    // Bits 0..3 input buffers 0..3, 4..7 output buffers, 8..11 indication buffers.
    uint32_t selection() const { return selection_; }

    // The selection bit of a buffer byte (group × 16 + module), or -1 for a buffer the
    // controller does not have (group above 2 or module above 3).
    static int selectionBit(uint8_t bufferByte);

private:
    // Evaluates the descriptions of the main controller that name buffer `key` against its
    // bytes; false when one of them is in alarm.
    bool evaluate(const std::array<uint8_t, 8>& buffer, uint8_t key);

    Commands& commands_;
    Clock& clock_;
    const BitSignalTable& signals_;
    std::array<uint8_t, kBitSignalSlots> states_{};
    int countdown_ = 0;
    int period_ = 0;
    uint32_t selection_ = 0;
    int lamp_ = kLampOff;
    bool shown_ = false;
    bool signalsRead_ = false;
};

} // namespace kv
