#pragma once
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "lists/ParamGroup.h"

// The parameter groups of a configuration and the two files they are kept in.
//
// A group's position in the list (0..6) is its group number in the controller. The list
// owns its groups; a group stays at the same address while it is in the list, so windows may
// hold on to it while others are added or removed.
//
// Group file "Zakaz" + suffix + ".fil": 44-byte records, no header. Per group a header
// record, then one entry record per entry:
//   header: 0 name (length byte 0..39 and cp1251 characters, 40 bytes), 40 entry count,
//           41..42 polling period in seconds (16 bits, little-endian), 43 reserved (0)
//   entry:  0 name (40 bytes as above), 40..42 class, number and index byte, 43 format code
// Tolerance file "Dopusk" + suffix + ".fil": 24-byte records, one per entry in use:
//   0 group position, 1 entry position, 2..7 padding (0), 8 lower bound, 16 upper bound
//   (IEEE doubles, little-endian).
//
// Reading never goes past what a file holds: a record cut short at the end is not read, a
// group whose entries end with the file keeps the entries that are there, an entry count
// above 64 keeps 64 entries (the records that follow still belong to that group), and the
// list stops at 7 groups. A missing group file gives an empty list; a missing tolerance file
// leaves every bound 0.

namespace kv {

constexpr int kMaxGroups = 7;
constexpr std::size_t kGroupRecordSize = 44;
constexpr std::size_t kToleranceRecordSize = 24;

class GroupList {
public:
    int size() const { return int(groups_.size()); }
    bool empty() const { return groups_.empty(); }
    bool full() const { return size() >= kMaxGroups; }

    ParamGroup& at(int pos) { return *groups_.at(std::size_t(pos)); }
    const ParamGroup& at(int pos) const { return *groups_.at(std::size_t(pos)); }
    // Position of a group in the list, -1 when it is not in it.
    int indexOf(const ParamGroup* g) const;

    // Puts a group at pos (appended for pos < 0 or beyond the end). Null, and the group is
    // dropped, when the list already holds 7 groups.
    ParamGroup* insert(int pos, std::unique_ptr<ParamGroup> group);
    ParamGroup* append(std::unique_ptr<ParamGroup> group) { return insert(-1, std::move(group)); }
    // Removes and destroys the group at pos (nothing for another pos).
    void remove(int pos);
    void clear() { groups_.clear(); }

    // Clears every group's previous-valid flag (the descriptors were just written).
    void resetPrevValid();

private:
    std::vector<std::unique_ptr<ParamGroup>> groups_;
};

// ---- records ----
using GroupRecord = std::array<uint8_t, kGroupRecordSize>;
using ToleranceRecord = std::array<uint8_t, kToleranceRecordSize>;

struct GroupHeader {
    std::string name;
    int count = 0;     // as stored, 0..255
    int period = 0;    // seconds
};
GroupHeader readHeaderRecord(std::span<const uint8_t, kGroupRecordSize> r);
GroupEntry readEntryRecord(std::span<const uint8_t, kGroupRecordSize> r);   // bounds 0
GroupRecord headerRecord(const ParamGroup& g);   // count above 255 or period above 65535 cut to the field
GroupRecord entryRecord(const GroupEntry& e);
ToleranceRecord toleranceRecord(int group, int entry, double lower, double upper);

// ---- whole files as bytes ----
// Clears the list and reads the group file's bytes into it.
void parseGroupFile(GroupList& list, std::span<const uint8_t> bytes);
// Sets the bounds the tolerance file's records address. A record for a group beyond the list
// ends the reading; one for an entry the group does not have is skipped.
void applyToleranceFile(GroupList& list, std::span<const uint8_t> bytes);
std::string groupFileBytes(const GroupList& list);
std::string toleranceFileBytes(const GroupList& list);

// ---- files on disk ----
// Load groups: clears the list, reads the group file and, when it could be opened, the
// tolerance file. True when at least one group was read.
bool loadGroups(GroupList& list, const std::string& groupPath, const std::string& tolerancePath);
// Save groups: the group file, then the tolerance file. Each write is atomic; on failure the
// old file stays, `error` says why, and a failed group file stops the save (so the tolerance
// file never describes a list the group file does not hold).
bool saveGroups(const GroupList& list, const std::string& groupPath, const std::string& tolerancePath,
                std::string* error = nullptr);
// Save tolerances: one record per entry in use of every group.
bool saveTolerances(const GroupList& list, const std::string& tolerancePath, std::string* error = nullptr);

} // namespace kv
