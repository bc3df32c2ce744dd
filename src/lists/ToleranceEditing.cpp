#include "lists/ToleranceEditing.h"

#include "text/Cp1251.h"

namespace kv {

bool takesBounds(const GroupEntry& e)
{
    return e.code[0] == 0x00 || e.code[0] == 0x80;
}

std::string boundText(double v, char decimal)
{
    return text::formatReal("%7.3f", v, decimal);
}

std::optional<char> filterBoundKey(char typed, const text::DecimalSeparators& seps)
{
    if (typed == seps.toReplace)
        return seps.inUse;
    if ((typed >= '0' && typed <= '9') || typed == '+' || typed == '-' || typed == ' ' || typed == 8 ||
        typed == 13 || typed == seps.inUse)
        return typed;
    return std::nullopt;
}

std::optional<double> readBound(std::string_view field, const text::DecimalSeparators& seps)
{
    std::string kept;
    for (char ch : field)
        if ((ch >= '0' && ch <= '9') || ch == '+' || ch == '-' || ch == seps.inUse || ch == seps.toReplace)
            kept += ch;
    double v = 0;
    if (!text::parseReal(kept, seps, v))
        return std::nullopt;
    return v;
}

std::string keptSoundFile(bool boxChecked, std::string_view field)
{
    if (!boxChecked)
        return {};
    // Cut by characters, so that a Cyrillic name never ends in half a letter.
    std::string out;
    std::size_t chars = 0;
    for (std::size_t i = 0; i < field.size(); ++i) {
        const auto b = static_cast<unsigned char>(field[i]);
        if ((b & 0xC0) != 0x80) {
            if (chars == kSoundFileNameCapacity)
                break;
            ++chars;
        }
        out += field[i];
    }
    return out;
}

void BoundsEditing::reset()
{
    group_ = entry_ = -1;
    lower_.clear();
    upper_.clear();
    modified_ = false;
    changed_ = false;
}

bool BoundsEditing::select(int group, int entry)
{
    group_ = entry_ = -1;
    modified_ = false;
    if (group < 0 || group >= groups_.size())
        return false;
    const GroupEntry* e = groups_.at(group).entry(entry);
    if (!e || !takesBounds(*e))
        return false;
    group_ = group;
    entry_ = entry;
    showStored();
    return true;
}

std::string BoundsEditing::entryName() const
{
    return selected() ? groups_.at(group_).getName(entry_) : std::string();
}

void BoundsEditing::setTexts(std::string lower, std::string upper)
{
    lower_ = std::move(lower);
    upper_ = std::move(upper);
    modified_ = true;
}

void BoundsEditing::showStored()
{
    const ParamGroup& g = groups_.at(group_);
    lower_ = boundText(g.getBound(entry_, 0), seps_.inUse);
    upper_ = boundText(g.getBound(entry_, 1), seps_.inUse);
}

BoundsEditing::Store BoundsEditing::store(Operator* ask)
{
    if (!selected() || !modified_)
        return Store::NothingToStore;
    const auto lo = readBound(lower_, seps_);
    const auto hi = readBound(upper_, seps_);
    if (!lo || !hi || *lo > *hi)
        return Store::Invalid;
    if (ask && !ask->askYesNo(kStoreBoundsQuestion))
        return Store::Declined;
    ParamGroup& g = groups_.at(group_);
    g.setBound(entry_, 0, *lo);
    g.setBound(entry_, 1, *hi);
    modified_ = false;
    changed_ = true;
    showStored();
    return Store::Stored;
}

void BoundsEditing::cancel()
{
    if (selected())
        showStored();
}

std::vector<ViolationRow> violationRows(GroupList& groups, const ValueStyle& style)
{
    std::vector<ViolationRow> rows;
    for (int gi = 0; gi < groups.size(); ++gi) {
        ParamGroup& g = groups.at(gi);
        bool first = true;
        for (int k = 0; k < g.count(); ++k) {
            std::string value = g.valueStr(k, style);
            if (g.inTol())
                continue;
            rows.push_back({first ? g.name() : std::string(), g.getName(k), boundText(g.getBound(k, 0), style.decimal),
                            std::move(value), boundText(g.getBound(k, 1), style.decimal)});
            first = false;
        }
    }
    return rows;
}

} // namespace kv
