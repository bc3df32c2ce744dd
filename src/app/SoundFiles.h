#pragma once
#include <string>

namespace kv {

// A wave file the player can open: exists, and starts with a RIFF/WAVE header holding
// a "fmt " chunk. Anything else is treated as "no sound file" and the alarm beeps instead.
bool isPlayableWaveFile(const std::string& path);

} // namespace kv
