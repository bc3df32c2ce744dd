#include "lists/GroupList.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <fstream>

#include "text/Files.h"
#include "text/ShortString.h"

namespace kv {

namespace {

constexpr std::size_t kNameField = 40;   // length byte + 39 characters
constexpr std::size_t kCountAt = 40;
constexpr std::size_t kPeriodAt = 41;
constexpr std::size_t kCodeAt = 40;
constexpr std::size_t kFormatAt = 43;
constexpr std::size_t kLowerAt = 8;
constexpr std::size_t kUpperAt = 16;

// Nothing beyond this can matter in a group file: 7 groups of a header and up to 255 entries.
constexpr std::size_t kGroupFileLimit = kMaxGroups * 256 * kGroupRecordSize;
// A tolerance file may repeat records; what lies beyond this is not looked at.
constexpr std::size_t kToleranceFileLimit = std::size_t(1) << 20;

void putDouble(uint8_t* at, double v)
{
    static_assert(std::endian::native == std::endian::little, "the files are little-endian");
    std::memcpy(at, &v, sizeof v);
}

double getDouble(const uint8_t* at)
{
    double v = 0;
    std::memcpy(&v, at, sizeof v);
    return v;
}

// The first `limit` bytes of a file; false when it cannot be opened.
bool readPrefix(const std::string& path, std::size_t limit, std::string& out)
{
    out.clear();
    if (!text::fileExists(path))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    out.resize(limit);
    in.read(out.data(), std::streamsize(limit));
    out.resize(std::size_t(in.gcount()));
    return true;
}

std::span<const uint8_t> asBytes(const std::string& s)
{
    return {reinterpret_cast<const uint8_t*>(s.data()), s.size()};
}

template <std::size_t N>
void appendRecord(std::string& out, const std::array<uint8_t, N>& r)
{
    out.append(reinterpret_cast<const char*>(r.data()), r.size());
}

} // namespace

// ---- list ----

int GroupList::indexOf(const ParamGroup* g) const
{
    for (std::size_t i = 0; i < groups_.size(); ++i)
        if (groups_[i].get() == g)
            return int(i);
    return -1;
}

ParamGroup* GroupList::insert(int pos, std::unique_ptr<ParamGroup> group)
{
    if (full() || !group)
        return nullptr;
    ParamGroup* p = group.get();
    if (pos < 0 || pos >= size())
        groups_.push_back(std::move(group));
    else
        groups_.insert(groups_.begin() + pos, std::move(group));
    return p;
}

void GroupList::remove(int pos)
{
    if (pos >= 0 && pos < size())
        groups_.erase(groups_.begin() + pos);
}

void GroupList::resetPrevValid()
{
    for (auto& g : groups_)
        g->setPrevValid(false);
}

// ---- records ----

GroupHeader readHeaderRecord(std::span<const uint8_t, kGroupRecordSize> r)
{
    GroupHeader h;
    h.name = text::readShortString(r.first(kNameField), kGroupNameCapacity);
    h.count = r[kCountAt];
    h.period = r[kPeriodAt] | (r[kPeriodAt + 1] << 8);
    return h;
}

GroupEntry readEntryRecord(std::span<const uint8_t, kGroupRecordSize> r)
{
    GroupEntry e;
    e.name = text::readShortString(r.first(kNameField), kGroupNameCapacity);
    e.code = {r[kCodeAt], r[kCodeAt + 1], r[kCodeAt + 2]};
    e.format = r[kFormatAt];
    return e;
}

GroupRecord headerRecord(const ParamGroup& g)
{
    GroupRecord r{};
    text::writeShortString(std::span<uint8_t>(r).first(kNameField), kGroupNameCapacity, g.name());
    r[kCountAt] = uint8_t(std::min(g.count(), 255));
    const int period = std::clamp(g.period(), 0, 0xFFFF);
    r[kPeriodAt] = uint8_t(period & 0xFF);
    r[kPeriodAt + 1] = uint8_t(period >> 8);
    return r;
}

GroupRecord entryRecord(const GroupEntry& e)
{
    GroupRecord r{};
    text::writeShortString(std::span<uint8_t>(r).first(kNameField), kGroupNameCapacity, e.name);
    r[kCodeAt] = e.code[0];
    r[kCodeAt + 1] = e.code[1];
    r[kCodeAt + 2] = e.code[2];
    r[kFormatAt] = e.format;
    return r;
}

ToleranceRecord toleranceRecord(int group, int entry, double lower, double upper)
{
    ToleranceRecord r{};
    r[0] = uint8_t(group);
    r[1] = uint8_t(entry);
    putDouble(r.data() + kLowerAt, lower);
    putDouble(r.data() + kUpperAt, upper);
    return r;
}

// ---- whole files ----

void parseGroupFile(GroupList& list, std::span<const uint8_t> bytes)
{
    list.clear();
    const std::size_t records = bytes.size() / kGroupRecordSize;
    auto record = [&](std::size_t i) {
        return std::span<const uint8_t, kGroupRecordSize>(bytes.data() + i * kGroupRecordSize, kGroupRecordSize);
    };
    std::size_t i = 0;
    while (i < records && !list.full()) {
        const GroupHeader h = readHeaderRecord(record(i++));
        auto g = std::make_unique<ParamGroup>();
        g->setGroup(h.name, h.period);
        for (int pos = 0; pos < h.count && i < records; ++pos, ++i)
            if (pos < kMaxGroupEntries)
                g->loadParam(pos, readEntryRecord(record(i)));
        list.append(std::move(g));
    }
}

void applyToleranceFile(GroupList& list, std::span<const uint8_t> bytes)
{
    const std::size_t records = bytes.size() / kToleranceRecordSize;
    for (std::size_t i = 0; i < records; ++i) {
        const uint8_t* r = bytes.data() + i * kToleranceRecordSize;
        if (r[0] >= list.size())
            return;
        ParamGroup& g = list.at(r[0]);
        if (r[1] >= g.count())
            continue;
        g.setBound(r[1], 0, getDouble(r + kLowerAt));
        g.setBound(r[1], 1, getDouble(r + kUpperAt));
    }
}

std::string groupFileBytes(const GroupList& list)
{
    std::string out;
    for (int gi = 0; gi < list.size(); ++gi) {
        const ParamGroup& g = list.at(gi);
        appendRecord(out, headerRecord(g));
        for (const GroupEntry& e : g.entries())
            appendRecord(out, entryRecord(e));
    }
    return out;
}

std::string toleranceFileBytes(const GroupList& list)
{
    std::string out;
    for (int gi = 0; gi < list.size(); ++gi) {
        const ParamGroup& g = list.at(gi);
        for (int ei = 0; ei < g.count(); ++ei)
            appendRecord(out, toleranceRecord(gi, ei, g.getBound(ei, 0), g.getBound(ei, 1)));
    }
    return out;
}

// ---- files on disk ----

bool loadGroups(GroupList& list, const std::string& groupPath, const std::string& tolerancePath)
{
    list.clear();
    std::string bytes;
    if (!readPrefix(groupPath, kGroupFileLimit, bytes))
        return false;
    parseGroupFile(list, asBytes(bytes));
    if (readPrefix(tolerancePath, kToleranceFileLimit, bytes))
        applyToleranceFile(list, asBytes(bytes));
    return !list.empty();
}

bool saveGroups(const GroupList& list, const std::string& groupPath, const std::string& tolerancePath,
                std::string* error)
{
    if (!text::writeFileAtomic(groupPath, groupFileBytes(list), error))
        return false;
    return saveTolerances(list, tolerancePath, error);
}

bool saveTolerances(const GroupList& list, const std::string& tolerancePath, std::string* error)
{
    return text::writeFileAtomic(tolerancePath, toleranceFileBytes(list), error);
}

} // namespace kv
