#pragma once
#include <memory>
#include <string>

namespace kv {

// Wave-file alarms. A file that cannot be played falls back to the system beep,
// so an alarm is never silent because of a bad file.
class SoundPlayer {
public:
    SoundPlayer();
    ~SoundPlayer();
    // True when the file exists and holds a wave sound we can play.
    bool canPlay(const std::string& path) const;
    void play(const std::string& path);
    void beep();

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace kv
