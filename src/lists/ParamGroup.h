#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/TraceLog.h"

// A parameter group: a named set of up to 64 controller parameters that the controller
// returns together in one reply (its group parameter). The group knows how to describe
// itself to the controller (`makeDescr`), where each value lies in the reply, how each value
// is shown, and whether a value is inside the operator's tolerance bounds.
//
// Positions are 0-based entry positions. Operations given a position outside the entries in
// use do nothing and report that (false, empty text, zero).

namespace kv {

constexpr int kMaxGroupEntries = 64;
constexpr std::size_t kGroupNameCapacity = 39;      // group and entry names, in characters
constexpr std::size_t kReplyBufferSize = 200;       // reply and previous reply buffers
constexpr std::size_t kDescrAreaSize = 200;         // the area the descriptor is built in
constexpr std::size_t kDescrMinBuffer = 129;        // 64 entries × 2 bytes + terminator
constexpr int kMaxReplyLength = 192;                // what the editors let a group's values sum to
constexpr uint8_t kDescrTerminator = 255;

// The controller marks a value it does not hold with kInvalidValue; it is shown as this.
constexpr const char* kInvalidValueText = "    ...";

// Four code bytes as a reference entry gives them: class byte, number byte, index byte (the
// reference's largest index replaced by the chosen index), format code.
using ParamCode4 = std::array<uint8_t, 4>;
using ParamCode3 = std::array<uint8_t, 3>;

// Format codes of the group entries: the value formats 0..10 and two of their own for the
// controller's date parameters (class 0x40, numbers 0x16 and 0x17), shown as "dd.mm" and "yyyy".
constexpr uint8_t kFormatDate = 41;
constexpr uint8_t kFormatYear = 51;
constexpr uint8_t kFormatReal = 8;

// The format code an entry gets from a reference entry's class, number and format.
uint8_t entryFormat(uint8_t cls, uint8_t number, uint8_t referenceFormat);
// Value length in bytes of a format code: 2 2 4 2 128 2 8 4 4 4 128 for 0..10, 2 for 41 and
// 51. A format code the program does not know (only a damaged file holds one) has length 0:
// it takes no room in the reply and shows as an empty text.
int valueLength(uint8_t format);

// How values become texts: the channel's value format (legacy: the controller's own real and
// byte order, every channel type but the CAN-BUS ones), the user's decimal separator for
// "%12.3f", and the trace that every value decoded from its bits is written to.
struct ValueStyle {
    bool legacy = true;
    char decimal = '.';
    TraceLog* trace = nullptr;
};

struct GroupEntry {
    ParamCode3 code{};          // class byte, number byte, index byte
    uint8_t format = 0;         // format code (see entryFormat)
    std::string name;           // UTF-8, at most 39 characters
    uint16_t replyOffset = 0;   // where the value lies in the reply; set by makeDescr
    double lower = 0.0;         // tolerance bounds; both exactly 0: the entry has none
    double upper = 0.0;
    bool tolChanged = false;    // crossed a bound between the previous and the current reply

    bool hasBounds() const { return !(lower == 0.0 && upper == 0.0); }
    bool operator==(const GroupEntry&) const = default;
};

class ParamGroup {
public:
    using Buffer = std::array<uint8_t, kReplyBufferSize>;

    // An empty group: no name, no entries, period 0.
    ParamGroup() = default;

    // ---- the definition ----
    const std::string& name() const { return name_; }
    int count() const { return int(entries_.size()); }
    int period() const { return period_; }
    const std::vector<GroupEntry>& entries() const { return entries_; }
    const GroupEntry* entry(int pos) const;

    // Name (cut to 39 characters) and polling period in seconds (never below 0).
    bool setGroup(std::string_view name, int period);

    // Appends (pos < 0, or pos at or beyond the count) or inserts before pos. The name is cut
    // to 39 characters; a new entry starts without bounds. False, and nothing changes, when the
    // group already holds 64 entries.
    bool addParam(const ParamCode4& code, int pos, std::string_view name);
    // Replaces code, format and name of an entry; its bounds stay. False for no such entry.
    bool changeParam(const ParamCode4& code, int pos, std::string_view name);
    // False when pos is not an entry in use; else the entries after it move down one place.
    bool delParam(int pos);
    // Puts an entry as the group file holds it at slot pos (0..63): name, code and format as
    // stored, bounds 0. The slots before pos are filled with empty entries when missing; the
    // entry count becomes at least pos + 1. False for a slot outside 0..63.
    bool loadParam(int pos, const GroupEntry& stored);

    ParamCode3 getCode(int pos) const;
    std::string getName(int pos) const;
    // Value length of the entry's format code (0 for no such entry).
    int paramLen(int pos) const;
    // Sum of the value lengths of all entries (what the reply will hold).
    int lengthSum() const;

    // Copies the definition of another group (name, entries with their bounds, period), as
    // accepting an edited working copy does; reply buffers and flags stay.
    void assignDefinition(const ParamGroup& other);

    // ---- exchange with the controller ----
    // Builds the group descriptor into `out`: per entry (class + index) mod 256 and the
    // number byte, then 255 when fewer than 64 entries. Sets every reply offset and the reply
    // length, and clears the reply buffer. Returns the descriptor's length in bytes (with the
    // terminator); 0, writing nothing, when `out` is shorter than that.
    std::size_t makeDescr(std::span<uint8_t> out);
    // Sum of the value lengths as of the last makeDescr. It can exceed the reply buffer only
    // for a group read from a damaged file; the reader must then refuse the reply.
    int replyLength() const { return replyLength_; }

    Buffer& reply() { return reply_; }
    const Buffer& reply() const { return reply_; }
    const Buffer& previousReply() const { return previous_; }

    // ---- values and tolerances ----
    // Display text of the entry's value, read from `buffer` at `offset`. Sets the in-tolerance
    // flag. A value that does not lie wholly inside the buffer gives an empty text.
    std::string valueText(int pos, std::span<const uint8_t> buffer, std::size_t offset, const ValueStyle& style);
    std::string valueText(int pos, std::span<const uint8_t> buffer, bool legacy, std::size_t offset)
    {
        return valueText(pos, buffer, offset, ValueStyle{legacy});
    }
    // The same from the reply buffer at the entry's reply offset; a text of at most 15
    // characters comes right-aligned in 13.
    std::string valueStr(int pos, const ValueStyle& style);
    std::string valueStr(int pos, bool legacy) { return valueStr(pos, ValueStyle{legacy}); }
    // 1 when the value last formatted was inside its bounds or had none.
    bool inTol() const { return inTol_; }

    // which = 0 lower, 1 upper; other positions or `which` values do nothing / give 0.
    void setBound(int pos, int which, double value);
    double getBound(int pos, int which) const;

    // Copies the reply buffer into the previous reply buffer (before each poll).
    void savePrev() { previous_ = reply_; }
    // After a successful reply: for each real entry with bounds, whether it went in or out of
    // its bounds since the previous reply (its tolChanged flag); true when any did. Without a
    // comparable previous reply it only arms itself (false). The previous reply is comparable
    // from then on.
    bool tolChanged(const ValueStyle& style);
    bool tolChanged(bool legacy) { return tolChanged(ValueStyle{legacy}); }
    bool prevValid() const { return prevValid_; }
    // Cleared whenever the descriptors are written into the controller.
    void setPrevValid(bool v) { prevValid_ = v; }

private:
    std::string name_;
    std::vector<GroupEntry> entries_;   // never more than 64
    int period_ = 0;
    int replyLength_ = 0;
    Buffer reply_{};
    Buffer previous_{};
    bool inTol_ = true;
    bool prevValid_ = false;
};

// Whether `value` lies inside the bounds of an entry: always when it has none; a value that
// does not compare (NaN) never does otherwise.
bool insideBounds(const GroupEntry& e, double value);

} // namespace kv
