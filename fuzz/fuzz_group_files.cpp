// The group and tolerance files, fed arbitrary bytes: the first byte says how many 24-byte
// tolerance records follow it (at most what is there); the rest is the group file.
#include <array>
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "lists/GroupList.h"

namespace {
void check(bool ok)
{
    if (!ok)
        std::abort();
}

std::span<const uint8_t> bytesOf(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> in(data, size);
    std::size_t tolSize = 0;
    if (!in.empty()) {
        tolSize = std::min<std::size_t>(std::size_t(in[0]) * kv::kToleranceRecordSize, in.size() - 1);
        in = in.subspan(1);
    }
    const auto tolerances = in.first(tolSize);
    const auto groups = in.subspan(tolSize);

    kv::GroupList list;
    kv::parseGroupFile(list, groups);
    kv::applyToleranceFile(list, tolerances);
    check(list.size() <= kv::kMaxGroups);

    std::size_t entries = 0;
    for (int gi = 0; gi < list.size(); ++gi) {
        kv::ParamGroup& g = list.at(gi);
        check(g.count() >= 0 && g.count() <= kv::kMaxGroupEntries);
        entries += std::size_t(g.count());

        std::array<uint8_t, kv::kDescrAreaSize> area{};
        const std::size_t n = g.makeDescr(area);
        check(n == std::size_t(g.count()) * 2 + (g.count() < kv::kMaxGroupEntries ? 1 : 0));
        // Any reply at all, then every text and the tolerance bookkeeping in both value formats.
        for (std::size_t i = 0; i < g.reply().size(); ++i)
            g.reply()[i] = groups.empty() ? uint8_t(i) : groups[i % groups.size()];
        for (bool legacy : {true, false}) {
            g.savePrev();
            g.tolChanged(legacy);
            g.tolChanged(legacy);
            for (int e = 0; e < g.count(); ++e) {
                const std::string t = g.valueStr(e, kv::ValueStyle{legacy, ',', nullptr});
                check(t.size() >= 13 && t.size() <= 383);
            }
        }
    }

    // Whatever was read is written in the canonical layout, and that layout reads back as itself.
    const std::string groupBytes = kv::groupFileBytes(list);
    const std::string tolBytes = kv::toleranceFileBytes(list);
    check(tolBytes.size() == entries * kv::kToleranceRecordSize);
    kv::GroupList again;
    kv::parseGroupFile(again, bytesOf(groupBytes));
    kv::applyToleranceFile(again, bytesOf(tolBytes));
    check(again.size() == list.size());
    check(kv::groupFileBytes(again) == groupBytes);
    check(kv::toleranceFileBytes(again).size() == tolBytes.size());
    return 0;
}
