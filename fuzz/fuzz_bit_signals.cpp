// The bit-signal file, fed arbitrary bytes: the table it gives must keep its descriptions
// together at the front, survive writing and reading back unchanged, and give row texts,
// editor fields and buffer selections for every controller model without reading outside
// the lists.
#include <cstdint>
#include <cstdlib>
#include <span>
#include <string>

#include "telecontrol/BitSignals.h"
#include "telecontrol/TelesignalWatch.h"

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
    kv::BitSignalTable table = kv::BitSignalTable::fromBytes({data, size});
    check(table.count() >= 0 && table.count() <= kv::kBitSignalSlots);
    for (int i = 0; i < kv::kBitSignalSlots; ++i)
        check(table.at(i).used() == (i < table.count()));

    const std::string bytes = table.toBytes();
    check(bytes.size() == (table.empty() ? 0 : kv::kBitSignalFileSize));
    check(kv::BitSignalTable::fromBytes(bytesOf(bytes)).toBytes() == bytes);

    for (int model = 0; model < 4; ++model) {
        for (int i = 0; i < table.count(); ++i) {
            const kv::BitSignal& s = table.at(i);
            check(!kv::bitSignalRow(s, model).empty());
            (void)kv::TelesignalWatch::selectionBit(s.kind);
            const kv::BitSignalForm form = kv::formOnEntry(table, kv::BitSignalEdit::Change, i, model);
            check(form.kindItem < int(kv::signalKinds(model).size()));
            kv::BitSignalTable copy = table;
            const kv::BitSignalSave saved = kv::saveForm(copy, kv::BitSignalEdit::Change, i, model, form);
            check(copy.count() == table.count());
            if (saved.saved)
                check(copy.at(i).bit <= 63 && copy.at(i).side == 0);
        }
    }
    return 0;
}
