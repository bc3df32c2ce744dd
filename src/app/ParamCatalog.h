#pragma once
#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The parameter reference: Sprav.txt in the work folder names every parameter a controller
// model offers, sorts them into reference groups and gives each its code, index range and
// value format. One section per model; the section of the model in use is the catalog.
//
// File layout (cp1251, one entry per line, blank lines ignored):
//   - the first line containing "0=" opens section 0 at the next line; then the first line
//     containing "1=" closes it (that line still belongs to section 0) and opens section 1,
//     and so on up to "3="; the last opened section runs to the end of the file; a file
//     without a "0=" line is one section 0 made of all its lines;
//   - a line without ";" is a reference group header, its text (35 characters at most)
//     the group's name;
//   - a line with ";" is a parameter: name (35 characters at most) before the first ";",
//     then up to four hexadecimal byte fields separated by ";": class, code, largest index,
//     format. Only hexadecimal digits and ";" count; each digit shifts the field left by
//     four bits and the field keeps its low byte; missing fields are 0.
//
// A reference group counts (is searched and offered) only when another header follows it,
// so every section needs a closing line without ";" after its last group: the next
// section's marker line, or a line of its own at the end of the file.
//
// Sizes: every entry and every header of a section is kept, however many there are; the
// positions are indexes into entries().

namespace kv {

// How many archives of each kind the controller model keeps.
struct ArchiveCounts {
    int hourly = 32;
    int daily = 64;
    int monthly = 64;
    int interval = 13;
    // By kind: 0 hourly, 1 daily, 2 monthly, 3 interval; 0 for any other kind.
    int count(int kind) const;
    // The model table: daily, monthly and interval counts of models 0..3; other models
    // change nothing.
    void applyModel(int model);
    bool operator==(const ArchiveCounts&) const = default;
};

enum class ReferenceLoad {
    Loaded,           // lines read
    MissingOrEmpty,   // no Sprav.txt, or nothing in it: work with the controller is forbidden
    ReadError,        // the file exists but could not be read
};

// Sprav.txt as lines with the bounds of its sections.
class ReferenceFile {
public:
    static constexpr const char* kFileName = "Sprav.txt";

    // Reads the file from the work folder (its name found whatever its case).
    ReferenceLoad load(const std::string& workFolder);
    // The cp1251 text of a whole file (used by load and by the fuzzer).
    void parse(std::string_view cp1251Bytes);
    void clear();

    bool empty() const { return lines_.empty(); }
    // The non-blank lines, UTF-8, line ends removed.
    const std::vector<std::string>& lines() const { return lines_; }
    // 1..4 for a loaded file, 0 when empty.
    int sectionCount() const { return sectionCount_; }
    struct Bounds {
        std::size_t begin = 0;   // first line of the section
        std::size_t end = 0;     // one past its last line
    };
    // The lines of a model's section; section 0 for a model the file has no section for.
    Bounds section(int model) const;

private:
    std::vector<std::string> lines_;
    std::array<Bounds, 4> sections_{};
    int sectionCount_ = 0;
};

struct ParamCatalogEntry {
    static constexpr uint8_t kHeaderFormat = 0xFF;
    static constexpr uint8_t kSpecialClass = 0x40;

    std::string name;         // display name, at most 35 characters
    uint8_t cls = 0;          // class: 0x00 sensors, 0x80 pipelines, 0x40 special entries, ...
    uint8_t code = 0;         // the address low byte (a selector for special entries)
    uint8_t maxIndex = 0;     // largest index the parameter accepts (0: no index)
    uint8_t format = 0;       // value format 0..10; kHeaderFormat for a group header
    bool header = false;      // a reference group header (a line without ";")

    bool isSpecial() const { return !header && cls == kSpecialClass; }
};

// Parses one line of a section (UTF-8) into an entry.
ParamCatalogEntry parseCatalogLine(std::string_view line);

// A reference group offered for choice: its header and the entries that may be picked.
struct ReferenceGroup {
    std::string name;
    std::size_t header = 0;             // position of the header in ParamCatalog::entries()
    std::vector<std::size_t> entries;   // positions of the entries offered, in file order
};

class ParamCatalog {
public:
    void clear();
    // Builds the catalog from the model's section (section 0 when the file has fewer
    // sections) and, when `counts` is given, applies the special entries' overrides to it.
    // The order against ArchiveCounts::applyModel is the caller's: whichever runs last wins.
    void build(const ReferenceFile& file, int model, ArchiveCounts* counts = nullptr);

    bool empty() const { return entries_.empty(); }
    // Every entry of the section in file order, headers included.
    const std::vector<ParamCatalogEntry>& entries() const { return entries_; }
    // Positions of the reference group headers, in file order.
    const std::vector<std::size_t>& headers() const { return headers_; }

    // The entry of a parameter code (class-and-index byte, code byte): the top two bits of
    // the first byte must equal the entry's class and the code byte its code. Only groups
    // followed by another header are searched; the first match wins. nullopt: not found
    // (a command then fails with "not described in SPRAV.TXT").
    std::optional<std::size_t> find(uint8_t classIndexByte, uint8_t code) const;
    std::optional<uint8_t> findFormat(uint8_t classIndexByte, uint8_t code) const;
    // The same for a parameter code of (at least) two bytes; nullopt for a shorter one.
    std::optional<uint8_t> findFormat(std::span<const uint8_t> paramCode) const;

    // The reference groups offered to the group editor: those followed by another header,
    // in file order, leaving out the special entries with the codes 'P' and 'Q' (0x50,
    // 0x51: the group parameter descriptor and values).
    std::vector<ReferenceGroup> referenceGroups() const;

    // Special entries with the codes 10, 11, 12 set the hourly, daily and monthly counts to
    // their largest index + 1, but only in a group whose first entry is a special entry.
    void applySpecialOverrides(ArchiveCounts& counts) const;

private:
    std::vector<ParamCatalogEntry> entries_;
    std::vector<std::size_t> headers_;
};

} // namespace kv
