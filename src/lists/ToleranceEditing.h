#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/Operator.h"
#include "lists/GroupList.h"
#include "text/NumberFormat.h"

// The rules of the tolerance bounds editor and of the out-of-tolerance view that need no
// window: which entries take bounds, how a bound is shown, typed and read back, how a pair
// of bounds is stored, and which rows the out-of-tolerance view lists.

namespace kv {

constexpr const char* kToleranceEditorCaption = "Определение  допустимых значений параметров";
constexpr const char* kViolationViewCaption = "Выход параметров за допуск";
constexpr const char* kStoreBoundsQuestion = "Внести изменения ?";
constexpr const char* kSoundFileFilter = "Звуковые файлы (*.wav)|*.wav|Все файлы (*.*)|*.*";
constexpr std::size_t kSoundFileNameCapacity = 255;

// Sensor parameters (class byte 0) and pipeline parameters (class byte 0x80) take bounds.
bool takesBounds(const GroupEntry& e);

// A bound as the editor shows it: "%7.3f" with the locale's separator.
std::string boundText(double v, char decimal);

// What a key typed into a bound field becomes: the other decimal separator turns into the
// locale's; digits, '+', '-', blank, backspace (8), carriage return (13) and the locale's
// separator pass; anything else is dropped (nullopt).
std::optional<char> filterBoundKey(char typed, const text::DecimalSeparators& seps);

// A bound field read as a number: everything but digits, '+', '-' and the separators is
// removed first. nullopt when the rest is not a number.
std::optional<double> readBound(std::string_view field, const text::DecimalSeparators& seps);

// The sound file name as kept in the configuration: empty without the box, else cut to
// 255 characters.
std::string keptSoundFile(bool boxChecked, std::string_view field);

// The bounds of one entry being edited: which entry, the two field texts, whether the
// operator typed since the bounds were last shown or stored.
class BoundsEditing {
public:
    explicit BoundsEditing(GroupList& groups, text::DecimalSeparators seps = {}) : groups_(groups), seps_(seps) {}

    // The editor opened: no entry selected, nothing changed.
    void reset();
    // Selects entry `entry` of group `group` when it takes bounds (true): the fields show its
    // stored bounds and the modified state is cleared. Anything else clears the selection.
    bool select(int group, int entry);
    bool selected() const { return group_ >= 0; }
    int group() const { return group_; }
    int entry() const { return entry_; }
    std::string entryName() const;

    std::string lowerText() const { return lower_; }
    std::string upperText() const { return upper_; }
    // Typed texts; they mark the fields modified.
    void setTexts(std::string lower, std::string upper);
    bool modified() const { return modified_; }

    enum class Store {
        NothingToStore,   // nothing typed since the bounds were shown: nothing to do
        Invalid,          // a field is not a number or lower > upper: the lower field takes the focus
        Declined,         // the operator answered No to the question
        Stored,
    };
    // Stores the typed bounds into the selected entry. With `ask` the operator confirms
    // first. Only Invalid and Declined keep the operator where he is.
    Store store(Operator* ask);
    // "Отмена": the fields show the stored bounds again; the modified state stays.
    void cancel();

    // Set whenever a bound was stored since the editor opened.
    bool boundsChanged() const { return changed_; }

private:
    void showStored();

    GroupList& groups_;
    text::DecimalSeparators seps_;
    int group_ = -1;
    int entry_ = -1;
    std::string lower_, upper_;
    bool modified_ = false;
    bool changed_ = false;
};

// One row of the out-of-tolerance view.
struct ViolationRow {
    std::string group;   // the group name on the group's first row, empty on the following ones
    std::string entry;
    std::string lower;   // "%7.3f"
    std::string value;   // the display text of the last reply
    std::string upper;
    bool operator==(const ViolationRow&) const = default;
};
// Every entry whose value in the last reply is out of its bounds, groups and entries in order.
std::vector<ViolationRow> violationRows(GroupList& groups, const ValueStyle& style);

} // namespace kv
