#pragma once
#include <string>
#include <string_view>

// Fixed number formats shown to the user ("%12.3f", "%10.3f", "%7.3f", "%13s", ...)
// with the decimal separator of the user's locale.

namespace kv::text {

// The separator in use and the one typed numbers may contain instead: "." in use means
// "," is replaced, anything else means "," in use and "." replaced.
struct DecimalSeparators {
    char inUse = '.';
    char toReplace = ',';
    static DecimalSeparators forSystem(char systemSeparator);
};

// printf-style formatting of one double (e.g. "%12.3f") with '.' replaced by `decimal`.
std::string formatReal(const char* printfFormat, double v, char decimal = '.');
// printf-style "%Ns"/"%-Ns" padding of a UTF-8 text, counted in characters, not bytes.
std::string padLeft(std::string_view utf8, std::size_t width);
std::string padRight(std::string_view utf8, std::size_t width);

// Parses a typed number: blanks trimmed, the separator to replace converted.
// Returns false when the text is not a number.
bool parseReal(std::string_view typed, const DecimalSeparators& seps, double& out);

} // namespace kv::text
