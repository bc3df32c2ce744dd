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

// printf-style formatting of one double (e.g. "%12.3f", "%.2e", "Знач %7.3f ед") with the
// number's '.' replaced by `decimal`. The format must hold exactly one conversion of f, F,
// e, E, g or G (flags, width and precision allowed; "%%" is a percent sign); any other
// format gives an empty text rather than undefined behaviour.
std::string formatReal(const char* printfFormat, double v, char decimal = '.');
// printf-style padding of a UTF-8 text, counted in characters, not bytes; a longer text is
// not cut. padLeft is "%Ns" (blanks before the text), padRight is "%-Ns" (blanks after).
std::string padLeft(std::string_view utf8, std::size_t width);
std::string padRight(std::string_view utf8, std::size_t width);

// Parses a typed number: blanks trimmed, the separator to replace converted, an optional
// sign and exponent accepted. Returns false when the text is not a finite number.
bool parseReal(std::string_view typed, const DecimalSeparators& seps, double& out);

// Whole-text integer as the configuration reads it: blanks trimmed, optional sign, decimal
// digits, or hexadecimal after "$" or "0x". The value must fit in 32 bits (hexadecimal up to
// FFFFFFFF, which wraps to a negative number as a 32-bit word does). False otherwise.
bool parseInteger(std::string_view text, long& out);

} // namespace kv::text
