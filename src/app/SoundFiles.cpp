#include "app/SoundFiles.h"

#include <cstring>
#include <fstream>

namespace kv {

bool isPlayableWaveFile(const std::string& path)
{
    if (path.empty())
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    char head[16] = {};
    in.read(head, sizeof head);
    if (in.gcount() < 16)
        return false;
    return std::memcmp(head, "RIFF", 4) == 0 && std::memcmp(head + 8, "WAVE", 4) == 0
        && std::memcmp(head + 12, "fmt ", 4) == 0;
}

} // namespace kv
