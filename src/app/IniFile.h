#pragma once
#include <string>
#include <vector>

// The configuration file with the semantics of the Windows profile functions:
// sections and keys match without regard to letter case (ASCII and Cyrillic), a value is the
// text after the first "=" with blanks around it removed (and one pair of enclosing quotes),
// every section, key, comment and blank line we do not touch is kept byte for byte.
// The file is cp1251 with CR LF on disk (LF-only files are read too); the API speaks UTF-8.
// Writing is atomic (temporary file + rename).
//
// Lines: "[name]" opens a section; "key=value" is a key; a line whose first non-blank
// character is ";" is a comment; lines before the first section belong to no section and
// are kept. When a section or key occurs twice, the first occurrence is the one read and
// written.

namespace kv {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path);

    // Reads the file; a missing or unreadable file is an empty configuration (returns false).
    bool load();
    // Writes the whole file atomically; false (and `lastError`) on failure.
    bool save();
    const std::string& path() const { return path_; }
    void setPath(std::string path) { path_ = std::move(path); }
    const std::string& lastError() const { return error_; }

    std::vector<std::string> sections() const;                 // in file order, each name once
    bool hasSection(const std::string& section) const;
    // The section's lines as written ("key=value", also lines without "="), in order;
    // blank lines and comments dropped.
    std::vector<std::string> sectionLines(const std::string& section) const;
    std::vector<std::string> keys(const std::string& section) const;   // in order, each once

    bool hasKey(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def = {}) const;
    // Whole-text integer (blanks around allowed, optional sign, "$"/"0x" for hexadecimal,
    // 32-bit range); `def` when missing or not a number.
    long readInt(const std::string& section, const std::string& key, long def) const;

    // Adds the section (at the end of the file) and the key (after the section's last
    // non-blank line) when missing; otherwise rewrites only this key's line, keeping the key's
    // spelling. Line breaks in names and values become blanks, and "=" in a key name too,
    // so that a value can never inject lines.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInt(const std::string& section, const std::string& key, long value);
    // Removes the section with all its lines (every occurrence).
    void eraseSection(const std::string& section);
    // Empties the section but keeps its header where it stands (later occurrences removed);
    // nothing happens when it is missing. Rewriting a section this way keeps the order of
    // sections in the file.
    void clearSection(const std::string& section);
    void deleteKey(const std::string& section, const std::string& key);   // every occurrence

    // Parsing from / to the cp1251 text of a whole file (used by load/save and by the fuzzer).
    void parse(const std::string& cp1251Bytes);
    std::string serialize() const;   // cp1251, CR LF

private:
    struct Section {
        std::string header;              // the header line as written (cp1251)
        std::string match;               // upper-cased trimmed name, for comparisons
        std::vector<std::string> lines;  // the lines after the header, as written (cp1251)
    };
    std::string path_;
    std::string error_;
    std::vector<std::string> preamble_;   // lines before the first section, kept
    std::vector<Section> sections_;
    Section* find(const std::string& name);
    Section* findMatch(const std::string& match);
    const Section* find(const std::string& name) const;
};

} // namespace kv
