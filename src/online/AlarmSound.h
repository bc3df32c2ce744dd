#pragma once
#include <array>
#include <string>

// The alarm sound of online work: one wave file per lamp kind (1 parameters out of
// tolerance, 2 controller failures, 3 telesignals), the system beep when a file cannot be
// played, and the operator's switch that silences it.

namespace kv {

inline constexpr const char* kSoundOnText = "Звуковое оповещение включено";
inline constexpr const char* kSoundOffText = "Звуковое оповещение выключено";
inline constexpr const char* kSoundOffItem = "Выключить звук";   // the menu item while sound is on
inline constexpr const char* kSoundOnItem = "Включить звук";     // ... and while it is off
inline constexpr const char* kSpeakerHint = "Отключения звукового сигнала";

// What actually makes a noise; the online view implements it with the platform's player.
class AlarmSound {
public:
    virtual ~AlarmSound() = default;
    // Plays the wave file from its start (a player that holds another file takes this one).
    virtual void playFile(const std::string& path) = 0;
    virtual void beep() = 0;
    // Stops a file that is playing.
    virtual void stop() = 0;
};

// Which noise an alarm makes. The sound-on flag is the configuration's "avarYes", held by
// reference so that it outlives the view and is written back with the configuration.
class AlarmSoundState {
public:
    explicit AlarmSoundState(bool& soundOn) : on_(soundOn) {}

    // The player to use (none: alarms stay silent, as in a headless run).
    void setPlayer(AlarmSound* player) { player_ = player; }
    // The wave files and whether each could be opened for playing (checked by the main window).
    void setFiles(const std::array<std::string, 3>& paths, const std::array<bool, 3>& playable)
    {
        paths_ = paths;
        playable_ = playable;
    }

    bool on() const { return on_; }
    // Sound of file k (1..3): the file when it can be played, the beep otherwise.
    void play(int k);
    // Inverts the sound-on flag; turning it off stops a playing file.
    void toggle();

    // The texts of the current state: status panel 1 and the menu item.
    const char* stateText() const { return on_ ? kSoundOnText : kSoundOffText; }
    const char* menuText() const { return on_ ? kSoundOffItem : kSoundOnItem; }

    // How often each file was asked for since the start (0: the beep), for tests and the log.
    int played(int k) const { return (k >= 0 && k <= 3) ? count_[std::size_t(k)] : 0; }
    int beeps() const { return beeps_; }

private:
    bool& on_;
    AlarmSound* player_ = nullptr;
    std::array<std::string, 3> paths_{};
    std::array<bool, 3> playable_{};
    std::array<int, 4> count_{};
    int beeps_ = 0;
};

} // namespace kv
