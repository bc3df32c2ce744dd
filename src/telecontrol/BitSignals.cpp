#include "telecontrol/BitSignals.h"

#include <algorithm>

#include "text/Cp1251.h"
#include "text/Files.h"
#include "text/ShortString.h"

namespace kv {

namespace {

constexpr std::size_t kNameAt = 3, kSideAt = 31, kNormalTextAt = 32, kAlarmTextAt = 48;

BitSignal decode(std::span<const uint8_t> r)
{
    BitSignal s;
    s.bit = r[0];
    s.normal = r[1];
    s.kind = r[2];
    s.name = text::readShortString(r.subspan(kNameAt, kBitSignalNameChars + 1), kBitSignalNameChars);
    s.side = r[kSideAt];
    s.normalText = text::readShortString(r.subspan(kNormalTextAt, kBitSignalTextChars + 1), kBitSignalTextChars);
    s.alarmText = text::readShortString(r.subspan(kAlarmTextAt, kBitSignalTextChars + 1), kBitSignalTextChars);
    return s;
}

void encode(const BitSignal& s, std::span<uint8_t> r)
{
    std::fill(r.begin(), r.end(), uint8_t(0));
    r[0] = s.bit;
    if (!s.used())
        return;   // a free slot: byte 0 = 255, the rest 0
    r[1] = s.normal;
    r[2] = s.kind;
    text::writeShortString(r.subspan(kNameAt, kBitSignalNameChars + 1), kBitSignalNameChars, s.name);
    r[kSideAt] = s.side;
    text::writeShortString(r.subspan(kNormalTextAt, kBitSignalTextChars + 1), kBitSignalTextChars, s.normalText);
    text::writeShortString(r.subspan(kAlarmTextAt, kBitSignalTextChars + 1), kBitSignalTextChars, s.alarmText);
}

std::vector<SignalKind> matrixKinds()
{
    std::vector<SignalKind> k;
    for (int m = 0; m < 4; ++m)
        k.push_back({"Вход ККД" + std::to_string(m), uint8_t(m), m * 64, m * 64 + 63});
    for (int m = 0; m < 4; ++m)
        k.push_back({"Выход ККД" + std::to_string(m), uint8_t(0x10 + m), m * 64, m * 64 + 63});
    return k;
}

int clampModel(int model) { return model < 0 || model > 3 ? 0 : model; }

// The first list item of a group, or -1 when the model has no such group.
int firstItemOfGroup(const std::vector<SignalKind>& kinds, int group)
{
    for (std::size_t i = 0; i < kinds.size(); ++i)
        if (kinds[i].code >> 4 == group)
            return int(i);
    return -1;
}

int lastGroup(const std::vector<SignalKind>& kinds) { return kinds.empty() ? 0 : kinds.back().code >> 4; }

std::string cutChars(const std::string& utf8, std::size_t n) { return text::leftChars(utf8, n); }

} // namespace

// ---- Table -------------------------------------------------------------------------------

void BitSignalTable::clear()
{
    slots_.fill(BitSignal{});
    count_ = 0;
}

BitSignalTable BitSignalTable::fromBytes(std::span<const uint8_t> bytes)
{
    BitSignalTable t;
    const std::size_t whole = std::min<std::size_t>(bytes.size() / kBitSignalRecordSize, kBitSignalSlots);
    for (std::size_t i = 0; i < whole; ++i) {
        const auto record = bytes.subspan(i * kBitSignalRecordSize, kBitSignalRecordSize);
        if (record[0] == kFreeBitSignal)
            continue;
        t.slots_[std::size_t(t.count_++)] = decode(record);
    }
    return t;
}

std::string BitSignalTable::toBytes() const
{
    if (count_ == 0)
        return {};
    std::array<uint8_t, kBitSignalFileSize> bytes{};
    for (std::size_t i = 0; i < kBitSignalSlots; ++i)
        encode(slots_[i], std::span<uint8_t>(bytes).subspan(i * kBitSignalRecordSize, kBitSignalRecordSize));
    return std::string(bytes.begin(), bytes.end());
}

bool BitSignalTable::load(const std::string& path)
{
    clear();
    std::string bytes;
    // Only the 64 slots matter; anything longer is not ours to read in full.
    if (!text::readFileBytes(path, bytes, 1024 * 1024))
        return false;
    *this = fromBytes(std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
    return true;
}

bool BitSignalTable::save(const std::string& path, std::string* error) const
{
    return text::writeFileAtomic(path, toBytes(), error);
}

bool BitSignalTable::append(const BitSignal& s) { return insert(count_, s); }

bool BitSignalTable::insert(int pos, const BitSignal& s)
{
    if (count_ >= kBitSignalSlots || pos < 0 || pos > count_ || !s.used())
        return false;
    for (int i = count_; i > pos; --i)
        slots_[std::size_t(i)] = slots_[std::size_t(i - 1)];
    slots_[std::size_t(pos)] = s;
    ++count_;
    return true;
}

bool BitSignalTable::remove(int pos)
{
    if (pos < 0 || pos >= count_)
        return false;
    for (int i = pos; i + 1 < count_; ++i)
        slots_[std::size_t(i)] = slots_[std::size_t(i + 1)];
    slots_[std::size_t(--count_)] = BitSignal{};
    return true;
}

// ---- Kinds -------------------------------------------------------------------------------

const std::vector<SignalKind>& signalKinds(int model)
{
    static const std::array<std::vector<SignalKind>, 4> kinds{
        std::vector<SignalKind>{{"Дискретный вход", 0x00, 0, 63},
                                {"Выход управления", 0x10, 0, 63},
                                {"Выход индикации", 0x20, 0, 63}},
        std::vector<SignalKind>{{"Вход", 0x00, 0, 7}, {"Выход", 0x10, 0, 1}},
        matrixKinds(),
        std::vector<SignalKind>{{"Вход", 0x00, 0, 63}, {"Выход", 0x10, 0, 63}},
    };
    return kinds[std::size_t(clampModel(model))];
}

int sideModel(int side, int mainModel) { return side == 0 ? clampModel(mainModel) : 1; }

int kindItemOf(const BitSignal& s, int model)
{
    const auto& kinds = signalKinds(model);
    int group = s.group();
    if (group > lastGroup(kinds))
        group = 0;
    const int first = firstItemOfGroup(kinds, group);
    int item = first;
    const int m = clampModel(model);
    if ((m == 2 || m == 3) && s.module() <= 3)
        item += s.module();
    // A module the model does not have must not point past the list.
    return item < int(kinds.size()) ? item : first;
}

int positionOf(const BitSignal& s, int mainModel)
{
    const int model = sideModel(s.side, mainModel);
    return signalKinds(model)[std::size_t(kindItemOf(s, model))].first + s.bit;
}

std::string padRight(const std::string& utf8, std::size_t width)
{
    const std::size_t n = text::charCount(utf8);
    return n >= width ? utf8 : utf8 + std::string(width - n, ' ');
}

std::string kindText(const BitSignal& s, int mainModel)
{
    const int model = sideModel(s.side, mainModel);
    return "[" + padRight(signalKinds(model)[std::size_t(kindItemOf(s, model))].name, 16) + " ";
}

std::string bitSignalRow(const BitSignal& s, int mainModel)
{
    const int position = positionOf(s, mainModel);
    return padRight(s.name, 30) + " " + kindText(s, mainModel) + (position <= 9 ? " " : "") +
           std::to_string(position) + "]";
}

// ---- Editor rules ------------------------------------------------------------------------

BitSignalForm formOnEntry(const BitSignalTable& table, BitSignalEdit mode, int pos, int model)
{
    BitSignalForm f;
    if (mode != BitSignalEdit::Change) {
        f.kindItem = 0;
        return f;
    }
    if (pos < 0 || pos >= kBitSignalSlots)
        return f;
    const BitSignal& s = table.at(pos);
    const auto& kinds = signalKinds(model);
    f.name = s.name;
    f.normalText = s.normalText;
    f.alarmText = s.alarmText;
    f.normal = s.normal;
    f.position = s.bit;
    if (s.group() <= lastGroup(kinds)) {
        f.kindItem = firstItemOfGroup(kinds, s.group());
        if (clampModel(model) == 2 && s.module() <= 3)
            f.kindItem += s.module();
        f.position = kinds[std::size_t(f.kindItem)].first + s.bit;
    }
    return f;
}

BitSignalSave saveForm(BitSignalTable& table, BitSignalEdit mode, int pos, int model, const BitSignalForm& form)
{
    using Focus = BitSignalSave::Focus;
    BitSignalSave out;
    if (form.name.empty()) {
        out.focus = Focus::Name;
        return out;
    }
    const auto& kinds = signalKinds(model);
    if (form.kindItem < 0 || form.kindItem >= int(kinds.size())) {
        out.focus = Focus::Kind;
        return out;
    }
    const SignalKind& kind = kinds[std::size_t(form.kindItem)];
    if (form.position < kind.first || form.position > kind.last) {
        out.focus = Focus::Position;
        return out;
    }
    const int limit = mode == BitSignalEdit::Change ? table.count() - 1 : table.count();
    if (mode == BitSignalEdit::None || pos < 0 || pos > limit)
        return out;
    if (mode != BitSignalEdit::Change && table.count() >= kBitSignalSlots) {
        out.message = kBitSignalLimitMessage;
        return out;
    }

    BitSignal s;
    s.bit = uint8_t(form.position - kind.first);
    s.kind = kind.code;
    s.side = 0;
    s.normal = uint8_t(form.normal != 0 ? 1 : 0);
    s.name = cutChars(form.name, kBitSignalNameChars);
    s.normalText = cutChars(form.normalText, kBitSignalTextChars);
    s.alarmText = cutChars(form.alarmText, kBitSignalTextChars);

    // Only the description being changed may hold the same bit; when inserting, the
    // description at pos stays in the list (it moves on), so it counts as well.
    for (int i = 0; i < table.count(); ++i) {
        if (mode == BitSignalEdit::Change && i == pos)
            continue;
        const BitSignal& o = table.at(i);
        if (o.bit == s.bit && o.kind == s.kind && o.side == s.side) {
            out.focus = Focus::Position;
            out.message = kind.name + " " + std::to_string(form.position) + " уже определен ";
            return out;
        }
    }

    if (mode == BitSignalEdit::Change)
        table.at(pos) = s;
    else
        table.insert(pos, s);
    out.saved = true;
    return out;
}

} // namespace kv
