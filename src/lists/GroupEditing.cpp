#include "lists/GroupEditing.h"

namespace kv {

namespace {
constexpr uint8_t kSensorClass = 0x00;
constexpr uint8_t kPipelineClass = 0x80;
constexpr uint8_t kFirstIndexedSensorCode = 25;   // sensor parameters from here on take an index, not a sensor
constexpr int kKeepIndexFrom = 15;
} // namespace

IndexLabel indexLabel(const ParamCatalogEntry& ref)
{
    IndexLabel l;
    l.maxIndex = ref.maxIndex;
    l.shown = true;
    if (ref.cls == kSensorClass && ref.code < kFirstIndexedSensorCode) {
        l.label = "Номер датчика";
        l.hint = "Ввод номера датчика";
    } else if (ref.cls == kPipelineClass) {
        l.label = "Номер трубопровода";
        l.hint = "Ввод номера трубопровода";
    } else if (ref.cls == kSensorClass || ref.maxIndex != 0) {
        l.label = "Индекс";
        l.hint = "Ввод индекса";
    } else {
        l.shown = false;
    }
    return l;
}

bool keepIndexOnClick(const IndexLabel& current, const IndexLabel& clicked)
{
    return current.shown && current.maxIndex + 1 >= kKeepIndexFrom && current == clicked;
}

int wrapIndex(int value, int maxIndex)
{
    if (value < 0)
        return maxIndex;
    if (value > maxIndex)
        return 0;
    return value;
}

bool fitsLengthLimit(const ParamGroup& group, const ParamCatalogEntry& ref, int replacing)
{
    const int others = group.lengthSum() - group.paramLen(replacing);
    return others + valueLength(entryFormat(ref.cls, ref.code, ref.format)) <= kMaxReplyLength;
}

NewEntry makeEntry(const ParamCatalogEntry& ref, int index, bool indexShown, std::string_view typedName)
{
    NewEntry e;
    e.code = {ref.cls, ref.code, uint8_t(index), ref.format};
    if (!typedName.empty())
        e.name = std::string(typedName);
    else if (indexShown)
        e.name = ref.name + " (" + std::to_string(index) + ")";
    else
        e.name = ref.name;
    return e;
}

std::optional<ReferencePlace> findReference(const ParamCatalog& catalog, const std::vector<ReferenceGroup>& groups,
                                            const ParamCode3& code)
{
    const auto& entries = catalog.entries();
    for (std::size_t g = 0; g < groups.size(); ++g) {
        for (std::size_t r = 0; r < groups[g].entries.size(); ++r) {
            const std::size_t at = groups[g].entries[r];
            if (at >= entries.size())
                continue;
            const ParamCatalogEntry& ref = entries[at];
            uint8_t cls = ref.cls;
            if ((cls & 0x0F) == 0)
                cls &= uint8_t(~0x10);
            if (ref.code == code[1] && cls == code[0])
                return ReferencePlace{int(g), int(r)};
        }
    }
    return std::nullopt;
}

} // namespace kv
