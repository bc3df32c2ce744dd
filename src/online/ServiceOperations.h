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

private:
    Workspace& ws_;
    bool stop_ = false;
};

} // namespace kv
