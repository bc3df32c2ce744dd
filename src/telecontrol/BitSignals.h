#pragma once
#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

// Bit-signal descriptions: the operator names up to 64 bits of the controller's signal buffers
// (inputs, control outputs, indication outputs, or the ККД modules of a matrix controller),
// says which state is normal and what to show for either state. The online view reads the
// buffers they name and raises the telesignal alarm; the teleindication window shows them.
//
// The table is kept decoded; the file holds the 64 slots of 64 bytes in order:
//   0 bit number 0..63 (255: free slot)      1 normal state 0/1
//   2 kind code: group × 16 + module          3 name: length byte + 27 cp1251 characters
//  31 side (0 main controller, 1 the other)  32 normal text: length byte + 15 characters
//  48 alarm text: length byte + 15 characters
// The kind code is also the signal buffer byte: group 0 inputs, 1 control outputs,
// 2 indication outputs; the module is the buffer number 0..3.

namespace kv {

inline constexpr int kBitSignalSlots = 64;
inline constexpr std::size_t kBitSignalRecordSize = 64;
inline constexpr std::size_t kBitSignalFileSize = 4096;
inline constexpr uint8_t kFreeBitSignal = 255;
inline constexpr std::size_t kBitSignalNameChars = 27;   // what the file holds
inline constexpr std::size_t kBitSignalTextChars = 15;
inline constexpr std::size_t kBitSignalNameTyping = 21;  // what the editor lets one type
inline constexpr std::size_t kBitSignalTextTyping = 14;

inline constexpr const char* kBitSignalLimitMessage = "Количество сигналов не может быть бльше 64";
inline constexpr const char* kNoBitSignalsMessage = "Не определен список входных сигналов";
inline constexpr const char* kBitSignalListCaption = "Список входных и выходных битовых сигналов матрицы ККД ";

struct BitSignal {
    uint8_t bit = kFreeBitSignal;   // bit number within its buffer
    uint8_t normal = 0;             // the bit's normal state
    uint8_t kind = 0;               // kind code = buffer byte: group × 16 + module
    std::string name;               // UTF-8
    uint8_t side = 0;               // 0 main controller; a 1 read from a file is kept
    std::string normalText;
    std::string alarmText;

    bool used() const { return bit != kFreeBitSignal; }
    int group() const { return kind >> 4; }
    int module() const { return kind & 0x0F; }
};

// The 64 slots; descriptions in use are slots 0 .. count() − 1, every later slot is free.
class BitSignalTable {
public:
    BitSignalTable() = default;

    int count() const { return count_; }
    bool empty() const { return count_ == 0; }
    const BitSignal& at(int slot) const { return slots_[std::size_t(slot)]; }
    BitSignal& at(int slot) { return slots_[std::size_t(slot)]; }

    void clear();

    // The descriptions from the file's bytes: every complete 64-byte slot up to the 64th; an
    // empty input gives an empty table. Used slots are gathered at the front in file order,
    // so a damaged file with free slots between used ones never leaves a free slot inside
    // 0 .. count − 1.
    static BitSignalTable fromBytes(std::span<const uint8_t> bytes);
    // The file's bytes: the whole 64 slots when a description exists, nothing otherwise.
    std::string toBytes() const;

    // Reads the bit-signal file; a missing, unreadable or empty file gives an empty table.
    bool load(const std::string& path);
    // Rewrites the file (atomically): 4096 bytes, or an empty file without descriptions.
    bool save(const std::string& path, std::string* error = nullptr) const;

    // Puts `s` at the end (false when full).
    bool append(const BitSignal& s);
    // Moves the descriptions pos .. count − 1 one slot on and puts `s` at pos (0..count);
    // false when full or pos is outside.
    bool insert(int pos, const BitSignal& s);
    // Removes the description at pos; the following ones move up, the freed last slot is free.
    bool remove(int pos);

private:
    std::array<BitSignal, kBitSignalSlots> slots_{};
    int count_ = 0;
};

// ---- Kinds per controller model -----------------------------------------------------------

// One item of the editor's kind list: its name, the kind code it stores and the range of the
// position the operator enters (the stored bit number is position − first).
struct SignalKind {
    std::string name;
    uint8_t code = 0;
    int first = 0;
    int last = 63;
};

// The kind list of a model index (0 "ЗЕНТАР 10 базовый", 1 "ЗЕНТАР 10 минимальный",
// 2 "ЗЕНТАР 10 базовый расширяемый" — the matrix controller with ККД modules — and
// 3 "ЗЕНТАР - 10 / 17"). An index outside 0..3 counts as 0.
const std::vector<SignalKind>& signalKinds(int model);
// The model whose kinds a description of `side` has: the main controller's model for side 0,
// model 1 for the other side.
int sideModel(int side, int mainModel);
// The kind list item of a description (its group's first item, plus the module on models
// 2 and 3 when the module is at most 3); the group's first item when that leaves the list;
// group 0 when the group is above the model's last group.
int kindItemOf(const BitSignal& s, int model);
// The position the operator sees for a description: the first position of its kind item +
// its bit number.
int positionOf(const BitSignal& s, int mainModel);

// "[" + the kind name left-aligned in 16 characters + " " (the list row's kind column).
std::string kindText(const BitSignal& s, int mainModel);
// The list window's row: the name left-aligned in 30 characters and a blank, the kind text,
// the position (one blank before a single digit) and "]".
std::string bitSignalRow(const BitSignal& s, int mainModel);

// Left-aligns a UTF-8 text in `width` characters (never cuts it).
std::string padRight(const std::string& utf8, std::size_t width);

// ---- The description editor's rules ------------------------------------------------------

enum class BitSignalEdit { None = 0, Change = 1, Add = 2, Insert = 3 };

// What the editor's fields hold.
struct BitSignalForm {
    std::string name;
    int kindItem = -1;      // -1: no item chosen
    int position = 0;
    int normal = 0;
    std::string normalText;
    std::string alarmText;
};

// The fields on entry: the description at `pos` in change mode; empty fields, position and
// normal state 0 and kind item 0 when adding or inserting. In change mode the kind item is the
// group's first item plus, on model 2 only, a module of at most 3; no item (-1) when the group
// is above the model's last group.
BitSignalForm formOnEntry(const BitSignalTable& table, BitSignalEdit mode, int pos, int model);

// What "Сохранить" did.
struct BitSignalSave {
    enum class Focus { None, Name, Kind, Position };
    bool saved = false;
    Focus focus = Focus::None;
    std::string message;    // shown to the operator when not empty
};

// "Сохранить": checks the form (name, kind item, position within the item's range, the
// uniqueness of bit, kind and side) and writes the description into slot `pos` — replacing
// it (Change), appending (Add, pos = count) or inserting before it (Insert). Texts are cut to
// what the file holds; the side becomes 0. A duplicate is refused with the kind name + " " +
// the position + " уже определен ".
BitSignalSave saveForm(BitSignalTable& table, BitSignalEdit mode, int pos, int model, const BitSignalForm& form);

} // namespace kv
