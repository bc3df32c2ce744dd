#include "lists/ParamGroup.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "protocol/ControllerReal.h"
#include "text/Cp1251.h"
#include "text/NumberFormat.h"

namespace kv {

namespace {

constexpr uint8_t kDateClass = 0x40;
constexpr uint8_t kDateNumber = 0x16;
constexpr uint8_t kYearNumber = 0x17;

// ValueStr pads texts up to this many characters to a column of 13.
constexpr std::size_t kPadLimit = 15;
constexpr std::size_t kPadWidth = 13;

std::string cutName(std::string_view name) { return text::leftChars(name, kGroupNameCapacity); }

std::string twoDigits(uint8_t b)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02u", unsigned(b));
    return buf;
}

double decodeReal(std::span<const uint8_t, 4> b, const ValueStyle& style)
{
    return style.legacy ? decodeControllerReal(b, style.trace) : decodeIeeeSingle(b);
}

} // namespace

uint8_t entryFormat(uint8_t cls, uint8_t number, uint8_t referenceFormat)
{
    if (cls == kDateClass && number == kDateNumber)
        return kFormatDate;
    if (cls == kDateClass && number == kYearNumber)
        return kFormatYear;
    return referenceFormat;
}

int valueLength(uint8_t format)
{
    static constexpr int kLengths[] = {2, 2, 4, 2, 128, 2, 8, 4, 4, 4, 128};
    if (format < std::size(kLengths))
        return kLengths[format];
    if (format == kFormatDate || format == kFormatYear)
        return 2;
    return 0;
}

bool insideBounds(const GroupEntry& e, double value)
{
    if (!e.hasBounds())
        return true;
    return e.lower <= value && value <= e.upper;   // false for NaN
}

const GroupEntry* ParamGroup::entry(int pos) const
{
    if (pos < 0 || pos >= count())
        return nullptr;
    return &entries_[std::size_t(pos)];
}

bool ParamGroup::setGroup(std::string_view name, int period)
{
    name_ = cutName(name);
    period_ = std::max(period, 0);
    return true;
}

bool ParamGroup::addParam(const ParamCode4& code, int pos, std::string_view name)
{
    if (count() >= kMaxGroupEntries)
        return false;
    GroupEntry e;
    e.code = {code[0], code[1], code[2]};
    e.format = entryFormat(code[0], code[1], code[3]);
    e.name = cutName(name);
    if (pos < 0 || pos >= count())
        entries_.push_back(std::move(e));
    else
        entries_.insert(entries_.begin() + pos, std::move(e));
    return true;
}

bool ParamGroup::changeParam(const ParamCode4& code, int pos, std::string_view name)
{
    if (pos < 0 || pos >= count())
        return false;
    GroupEntry& e = entries_[std::size_t(pos)];
    e.code = {code[0], code[1], code[2]};
    e.format = entryFormat(code[0], code[1], code[3]);
    e.name = cutName(name);
    return true;
}

bool ParamGroup::delParam(int pos)
{
    if (pos < 0 || pos >= count())
        return false;
    entries_.erase(entries_.begin() + pos);
    return true;
}

bool ParamGroup::loadParam(int pos, const GroupEntry& stored)
{
    if (pos < 0 || pos >= kMaxGroupEntries)
        return false;
    if (pos >= count())
        entries_.resize(std::size_t(pos) + 1);
    GroupEntry& e = entries_[std::size_t(pos)];
    e = GroupEntry{};
    e.code = stored.code;
    e.format = stored.format;
    e.name = cutName(stored.name);
    return true;
}

ParamCode3 ParamGroup::getCode(int pos) const
{
    const GroupEntry* e = entry(pos);
    return e ? e->code : ParamCode3{};
}

std::string ParamGroup::getName(int pos) const
{
    const GroupEntry* e = entry(pos);
    return e ? e->name : std::string();
}

int ParamGroup::paramLen(int pos) const
{
    const GroupEntry* e = entry(pos);
    return e ? valueLength(e->format) : 0;
}

int ParamGroup::lengthSum() const
{
    int sum = 0;
    for (const auto& e : entries_)
        sum += valueLength(e.format);
    return sum;
}

void ParamGroup::assignDefinition(const ParamGroup& other)
{
    name_ = other.name_;
    entries_ = other.entries_;
    period_ = other.period_;
}

std::size_t ParamGroup::makeDescr(std::span<uint8_t> out)
{
    const std::size_t length = entries_.size() * 2 + (count() < kMaxGroupEntries ? 1 : 0);
    if (out.size() < length)
        return 0;
    reply_.fill(0);
    std::size_t offset = 0;
    std::size_t at = 0;
    for (auto& e : entries_) {
        e.replyOffset = uint16_t(offset);
        out[at++] = uint8_t(e.code[0] + e.code[2]);
        out[at++] = e.code[1];
        offset += std::size_t(valueLength(e.format));
    }
    if (count() < kMaxGroupEntries)
        out[at++] = kDescrTerminator;
    replyLength_ = int(offset);
    return at;
}

std::string ParamGroup::valueText(int pos, std::span<const uint8_t> buffer, std::size_t offset,
                                  const ValueStyle& style)
{
    inTol_ = true;
    const GroupEntry* e = entry(pos);
    if (!e)
        return {};
    const std::size_t len = std::size_t(valueLength(e->format));
    if (offset > buffer.size() || buffer.size() - offset < len)
        return {};
    const auto v = buffer.subspan(offset, len);

    switch (e->format) {
    case 0:
    case 1:
    case kFormatDate:
    case kFormatYear: {
        const char* sep = e->format == 0 ? " " : e->format == 1 ? ":" : e->format == kFormatDate ? "." : "";
        const uint8_t first = style.legacy ? v[0] : v[1];
        const uint8_t second = style.legacy ? v[1] : v[0];
        return twoDigits(first) + sep + twoDigits(second);
    }
    case 2:
        return std::to_string(decodeControllerInteger(v.first<4>(), style.trace));
    case kFormatReal: {
        const double x = decodeReal(v.first<4>(), style);
        std::string t = x < kInvalidValue ? text::formatReal("%12.3f", x, style.decimal) : std::string(kInvalidValueText);
        inTol_ = insideBounds(*e, x);
        return t;
    }
    default: {
        std::string t = hexBytes(v);
        if (!t.empty())
            t.pop_back();   // single blanks between the bytes, none after the last
        return t;
    }
    }
}

std::string ParamGroup::valueStr(int pos, const ValueStyle& style)
{
    const GroupEntry* e = entry(pos);
    std::string t = valueText(pos, reply_, e ? e->replyOffset : 0, style);
    if (text::charCount(t) <= kPadLimit)
        t = text::padLeft(t, kPadWidth);
    return t;
}

void ParamGroup::setBound(int pos, int which, double value)
{
    if (pos < 0 || pos >= count())
        return;
    GroupEntry& e = entries_[std::size_t(pos)];
    if (which == 0)
        e.lower = value;
    else if (which == 1)
        e.upper = value;
}

double ParamGroup::getBound(int pos, int which) const
{
    const GroupEntry* e = entry(pos);
    if (!e)
        return 0.0;
    return which == 0 ? e->lower : which == 1 ? e->upper : 0.0;
}

bool ParamGroup::tolChanged(const ValueStyle& style)
{
    bool changed = false;
    if (prevValid_) {
        for (auto& e : entries_) {
            if (e.format != kFormatReal || !e.hasBounds())
                continue;
            const std::size_t at = e.replyOffset;
            if (at + 4 > kReplyBufferSize)
                continue;   // the value never reached the buffer
            const double before = decodeReal(std::span<const uint8_t, 4>(previous_.data() + at, 4), style);
            const double now = decodeReal(std::span<const uint8_t, 4>(reply_.data() + at, 4), style);
            e.tolChanged = insideBounds(e, before) != insideBounds(e, now);
            changed = changed || e.tolChanged;
        }
    }
    prevValid_ = true;
    return changed;
}

} // namespace kv
