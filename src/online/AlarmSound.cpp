#include "online/AlarmSound.h"

namespace kv {

void AlarmSoundState::play(int k)
{
    if (k < 1 || k > 3)
        return;
    ++count_[std::size_t(k)];
    const auto i = std::size_t(k - 1);
    if (playable_[i]) {
        if (player_)
            player_->playFile(paths_[i]);
        return;
    }
    ++beeps_;
    if (player_)
        player_->beep();
}

void AlarmSoundState::toggle()
{
    on_ = !on_;
    if (!on_ && (playable_[0] || playable_[1] || playable_[2]) && player_)
        player_->stop();
}

} // namespace kv
