#pragma once
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/ParamCatalog.h"
#include "lists/ParamGroup.h"

// The rules of the group editor that need no window: how a reference parameter's index is
// labelled, how an entry is made from a reference parameter, and how an entry finds its
// reference parameter again.

namespace kv {

constexpr const char* kTooManyGroupsMessage = "Количество объектов не может быть бльше 7";
constexpr const char* kTooManyEntriesMessage = "Количество параметров в списке не может быть больше 64";
constexpr const char* kTooLongMessage = "Длина списка параметров не должна превышать 192 байта";
constexpr const char* kNoEntriesQuestion = "Не выбраны параметры для чтения. Продолжить ввод ? ";

// What the index of a reference parameter means: label and hint of the index field, whether
// the field is shown, and the largest index it offers.
struct IndexLabel {
    std::string label;
    std::string hint;
    bool shown = false;
    int maxIndex = 0;
    bool operator==(const IndexLabel&) const = default;
};
IndexLabel indexLabel(const ParamCatalogEntry& ref);

// Clicking another reference parameter keeps the chosen index (so that several parameters
// can be taken for the same sensor or pipeline) when the index field offers 15 or more
// values and the clicked parameter's index means the same and has the same range; otherwise
// the field is labelled for the clicked parameter and the index starts at 0.
bool keepIndexOnClick(const IndexLabel& current, const IndexLabel& clicked);

// Index field stepping: below 0 gives the largest index, past it gives 0.
int wrapIndex(int value, int maxIndex);

// Whether an entry made from `ref` keeps the group's values within 192 bytes; with
// `replacing`, the entry at that position gives up its place (a change, not an addition).
bool fitsLengthLimit(const ParamGroup& group, const ParamCatalogEntry& ref, int replacing = -1);

struct NewEntry {
    ParamCode4 code{};   // class, number, chosen index, reference format
    std::string name;
};
// The entry made from `ref` with `index`: its name is `typedName` when that is not empty,
// else the reference name, followed by " (" + index + ")" when the index is shown.
NewEntry makeEntry(const ParamCatalogEntry& ref, int index, bool indexShown, std::string_view typedName);

// Where a group entry's reference parameter stands among the offered reference groups:
// the first parameter, scanning the groups in order, with the entry's number byte and its
// class byte (a reference class with its low four bits zero is compared without bit 0x10).
struct ReferencePlace {
    int group = 0;   // index into the offered groups
    int row = 0;     // index into that group's offered entries
};
std::optional<ReferencePlace> findReference(const ParamCatalog& catalog, const std::vector<ReferenceGroup>& groups,
                                            const ParamCode3& code);

} // namespace kv
