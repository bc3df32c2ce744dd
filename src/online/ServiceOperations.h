#pragma once
#include <array>
#include <cstdint>
#include <functional>
#include <string>

#include "protocol/ExchangeResult.h"

// The controller's service commands, one at a time: failure reset, the switch to "РАБОТА"
// behind the access password, and the clock read; each with the completion wait that watches
// the status byte until the command shows. The service window only shows what these return;
// the time, the line, the message boxes and the "Выход" press come through the workspace's
// Clock, port, Operator and EventPump, so the whole workflow runs against the simulated
// controller in virtual time.

namespace kv {

class Workspace;

// The password values the controller treats as "no password set": the blank entry the
// password field starts with, and the value a controller without a password answers.
constexpr uint16_t kBlankPassword = 0x0000;
constexpr uint16_t kOpenPassword = 0xFFFF;

// The window's pages.
enum ServiceMode : int {
    kServiceResetFailures = 0,
    kServiceChangeSpeed = 1,
    kServiceReadClock = 2,
    kServiceSetClock = 3,
    kServiceRun = 4,
};
// Captions by mode.
extern const std::array<std::string, 5> kServiceTitles;

constexpr const char* kServiceDone = "Выполнено";
constexpr const char* kWrongPasswordMessage = "Задан неверный пароль доступа ";
constexpr const char* kResetCommandName = "СБРОС ОТКАЗОВ";
constexpr const char* kRunCommandName = "РАБОТА";

// "Признак о выполнении команды " CR name CR " не установлен".
std::string commandNotSetText(const std::string& commandName);
// Four upper-case hexadecimal digits.
std::string passwordText(uint16_t value);
// The hexadecimal digits of `text` as a number (other characters skipped; the low 16 bits kept).
uint16_t passwordValue(const std::string& text);
// Whether the password field takes this character (hex digits, backspace, LF, CR).
bool passwordCharAllowed(char32_t c);
// "января" .. "декабря"; "" outside 1..12.
std::string monthGenitive(int month);

// Result of a command that ends in a result text.
struct ServiceOutcome {
    // 0 confirmed; above 0 the exchange failure shown; kStatusDiffers when the status never
    // showed the command; kPasswordRefused for a wrong password.
    ExchangeResult result = 0;
    bool confirmed = false;   // the completion wait saw the status it waited for
    bool stopped = false;     // "Выход" ended the wait
    bool needPassword = false;   // the password field was empty: nothing was sent
    std::string text;         // the result text of the page
    std::string secondText;   // the second result text (the clock page: the time read back)
};

// The speed items of the speed page by speed index 0..6, and the two bytes the controller
// takes for each (the baud rate / 10 in BCD).
extern const std::array<std::string, 7> kServiceSpeedItems;
std::array<uint8_t, 2> speedBytes(int index);
// The item preselected for a configured speed index (above 6: the last item).
int speedItemFor(int configuredIndex);
std::string speedProgressText(int index);   // "Перевод на скорость " + the item

// What the clock page sets.
struct ClockSetting {
    int hour = 0, minute = 0;
    int year = 2000, month = 1, day = 1;
};

constexpr ExchangeResult kPasswordRefused = -1;

struct ClockText {
    ExchangeResult result = 0;
    std::string date;   // or the exchange message on failure
    std::string time;
};

class ServiceOperations {
public:
    // Called with 1, 2, ... as whole wait units pass; the first call is the moment to show the
    // progress bar.
    using Progress = std::function<void(int step)>;

    explicit ServiceOperations(Workspace& ws);

    // Activation of a page: clears the stop flag and, on the channel switch, selects the
    // configured switch channel.
    void begin();
    // "Выход": every running wait ends at its next check.
    void stop() { stop_ = true; }
    bool stopRequested() const { return stop_; }

    // Writes the entry as the access password and reads it back: 0 accepted, above 0 the
    // exchange failure, kPasswordRefused (with the message box when `showMessage`) otherwise.
    ExchangeResult checkPassword(const std::string& text, bool showMessage);

    // Polls the status until (status AND mask) = expected, for up to 10 wait units.
    ServiceOutcome completionWait(uint8_t mask, uint8_t expected, const std::string& commandName,
                                  const Progress& progress = {});

    // Page 0: the reset of the accumulated failures and its wait for status bit 2.
    ServiceOutcome resetFailures(const Progress& progress = {});
    // Page 4, "Установить": password, RUN command, the wait for state "РАБОТА".
    ServiceOutcome switchToRun(const std::string& password, const Progress& progress = {});
    // Page 2: the controller's date and time as texts.
    ClockText readClock();
    // Page 3, "Установить": password, then the time, and the date (with the year when it
    // differs) when it is not the controller's; the clock is read back into the two texts.
    ServiceOutcome setClock(const std::string& password, const ClockSetting& to);
    // Page 1, "Установить": the new speed written at the current one, then confirmed by a read
    // at the new one (two tries, 8 s apart); on success the settings keep the new index.
    // `progress` gets the seconds of the pause between the tries (1..8).
    ServiceOutcome changeSpeed(int index, const Progress& progress = {});
    // "Выход" of pages 1, 3 and 4: the port goes back to the configured speed. Only a port that
    // a speed change touched is set: the lines of the CAN adapter and the modems run at speeds
    // of their own that the configured index does not describe.
    void restoreSpeed();

private:
    void setPortSpeed(int index);

    Workspace& ws_;
    bool stop_ = false;
    bool portSpeedSet_ = false;
};

} // namespace kv
