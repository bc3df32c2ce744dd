#pragma once
#include <optional>
#include <string>
#include <string_view>

#include "app/Settings.h"

// The rules of the poll-frequency window: how often the online view reads the controller's
// failure page ("Timotk") and its telesignals ("TimTc"), and which wave file each of those
// alarms plays ("Voice2", "Voice3").

namespace kv {

constexpr const char* kPollFrequencyCaption = "Частота опроса ";
constexpr const char* kSaveChangesQuestion = "Сохранить изменения ?";
// Without described bit signals the telesignal watch keeps this period.
constexpr int kDefaultTelesignalPeriod = 10;

// Keys the period fields take: digits, blank, backspace (8) and carriage return (13).
bool acceptPeriodKey(char typed);

// A period field read as seconds: 1..255 (the configuration keeps one byte). nullopt for
// 0, a larger number or a text that is not a number.
std::optional<int> readPeriod(std::string_view field);

// What the window shows and what the operator made of it.
struct PollFrequencyForm {
    bool failureWatch = false;        // "Периодический опрос страницы отказов "
    std::string failurePeriod;
    bool failureSound = false;        // its "Звувой файл"
    std::string failureSoundFile;
    bool telesignalsShown = false;    // bit signals are described
    std::string telesignalPeriod;
    bool telesignalSound = false;
    std::string telesignalSoundFile;
};

// The form for the settings held.
PollFrequencyForm pollFrequencyForm(const ChannelSettings& s, bool telesignalsShown);

enum class PollField { None, FailurePeriod, TelesignalPeriod };
// "Сохранить": writes the periods and sound files into `s`, or names the field that refuses
// (then `s` is untouched).
PollField savePollFrequency(const PollFrequencyForm& form, ChannelSettings& s);

} // namespace kv
