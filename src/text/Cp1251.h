#pragma once
#include <cstdint>
#include <string>
#include <string_view>

// Files and the wire use Windows-1251; inside the program every text is UTF-8.
// Conversion happens only at those boundaries.

namespace kv::text {

// cp1251 bytes to UTF-8. Every byte maps (0x98, unassigned, maps to U+FFFD).
std::string fromCp1251(std::string_view bytes);
// UTF-8 to cp1251; characters without a cp1251 form, and malformed UTF-8, become '?'.
// Each character gives exactly one byte, so character counts survive the conversion.
std::string toCp1251(std::string_view utf8);

// Number of characters (code points) in a UTF-8 text.
std::size_t charCount(std::string_view utf8);
// The first n characters of a UTF-8 text (never cuts a character in half).
std::string leftChars(std::string_view utf8, std::size_t n);

// Upper case of ASCII letters only (the configuration compares names this way).
std::string asciiUpper(std::string_view s);
// Upper case of ASCII and Cyrillic letters (UTF-8 in, UTF-8 out).
std::string upper(std::string_view utf8);
// Upper case of ASCII and Cyrillic letters of a cp1251 text (bytes in, bytes out).
std::string upperCp1251(std::string_view bytes);
// Comparison of two UTF-8 texts without regard to the case of ASCII and Cyrillic letters.
bool equalsNoCase(std::string_view a, std::string_view b);

// Blanks and tabs removed from both ends.
std::string_view trimBlanks(std::string_view s);

} // namespace kv::text
