#pragma once
#include <string>
#include <vector>

// The configuration file with the semantics of the Windows profile functions:
// sections and keys match without regard to letter case, a value is the text after the
// first "=", every section and key we do not touch is kept as it was. The file is cp1251
// with CR LF on disk; the API speaks UTF-8. Writing is atomic (temporary file + rename).

namespace kv {

class IniFile {
public:
    IniFile() = default;
    explicit IniFile(std::string path);

    // Reads the file; a missing file is an empty configuration (returns false).
    bool load();
    // Writes the whole file atomically; false (and `lastError`) on failure.
    bool save();
    const std::string& path() const { return path_; }
    const std::string& lastError() const { return error_; }

    std::vector<std::string> sections() const;                 // in file order
    bool hasSection(const std::string& section) const;
    // The section's raw lines ("key=value" as written), in order, blank lines dropped.
    std::vector<std::string> sectionLines(const std::string& section) const;
    std::vector<std::string> keys(const std::string& section) const;

    bool hasKey(const std::string& section, const std::string& key) const;
    std::string readString(const std::string& section, const std::string& key,
                           const std::string& def = {}) const;
    // Decimal integer (leading blanks allowed, "$"/"0x" for hexadecimal); `def` when not a number.
    long readInt(const std::string& section, const std::string& key, long def) const;

    // Adds the section and key when missing; changes only this key's line otherwise.
    void writeString(const std::string& section, const std::string& key, const std::string& value);
    void writeInt(const std::string& section, const std::string& key, long value);
    void eraseSection(const std::string& section);
    void deleteKey(const std::string& section, const std::string& key);

    // Parsing from / to the cp1251 text of a whole file (used by load/save and by the fuzzer).
    void parse(const std::string& cp1251Bytes);
    std::string serialize() const;   // cp1251, CR LF

private:
    struct Line { std::string text; };
    struct Section { std::string name; std::vector<std::string> lines; };
    std::string path_;
    std::string error_;
    std::vector<std::string> preamble_;   // lines before the first section, kept
    std::vector<Section> sections_;
    Section* find(const std::string& name);
    const Section* find(const std::string& name) const;
};

} // namespace kv
