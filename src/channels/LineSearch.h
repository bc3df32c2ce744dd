#pragma once
#include <functional>
#include <string>
#include <vector>

// Finding the speed and network number at which a controller on a directly wired line answers:
// every combination asked is tried with one version read until one answers. The window only
// shows the texts this class keeps and passes on the operator's input.

namespace kv {

class Workspace;

inline constexpr const char* kLineSearchCaption = "Подбор параметров обмена";
inline constexpr int kTryAllNumbers = 255;
inline constexpr int kMaxNetworkNumber = 127;

// The speed list: "Подбор" (every speed), then the speeds the line can carry (up to 1200 baud on
// the line modems of types 4 and 5, up to 19200 baud otherwise). Item k + 1 is speed index k.
std::vector<std::string> searchSpeedItems(int channelType);

// The network number field takes digits, Backspace, LF and CR, and the letters A..F only in
// the hexadecimal form.
bool searchKeyAccepted(char32_t ch, bool hex);

// The field as a number: kTryAllNumbers for an empty field, -1 for a number above 127. Digits
// and the letters A..F count in the chosen base; anything else is skipped.
int searchNumberFromText(const std::string& text, bool hex);
// A number as the field and the progress text show it: two upper-case hexadecimal digits or
// decimal.
std::string searchNumberText(int number, bool hex);

// The model name shown after a success, by model index (empty outside 0..3).
std::string searchModelName(int modelIndex);

struct LineSearchTexts {
    std::string number;    // "Сетевой номер  " + the number being tried
    std::string speed;     // "Скорость обмена " + the speed being tried
    std::string outcome;   // "OK" or "не установлена"
    std::string model;     // model name + "  версия " + version, after a success
    std::string status;    // input messages
};

class LineSearch {
public:
    explicit LineSearch(Workspace& ws);

    // Called with the texts whenever they change, before the messages are let through.
    void setDisplay(std::function<void(const LineSearchTexts&)> show) { show_ = std::move(show); }

    // Creating and closing the window: texts cleared, every number to be tried.
    void reset();
    // The window opens: the search may run again; the field shows the number asked last time.
    std::string opened(bool hex);

    // "Подбор": the field, its form, and the chosen speed item (0 = every speed). True when a
    // combination answered; "Speed" and "SetNumber" of the settings then hold it.
    bool search(const std::string& field, bool hex, int speedItem);
    // "Выход": the search ends at its next speed step; outside a search an addressed
    // controller is released.
    void exit();
    bool running() const { return running_; }
    // A key typed into the number field; false when it is to be dropped.
    bool keyPressed(char32_t ch, bool hex);

    // What the main window looks at after the window closed: not 0 when a release is due.
    int numberToTry() const { return numberToTry_; }
    const LineSearchTexts& texts() const { return texts_; }

private:
    bool trySpeed(int number, int speedIndex);
    void releaseIfAddressed(bool anyProtocol);
    void show();

    Workspace& ws_;
    std::function<void(const LineSearchTexts&)> show_;
    LineSearchTexts texts_;
    int numberToTry_ = kTryAllNumbers;
    bool stop_ = false;
    bool running_ = false;
};

} // namespace kv
