// Number forms of the text files and the log: the interpreter's repr(float)
// and "%.Nf", float() and int() parsing, thousands separators.
#ifndef QAZ_COMMON_FLOAT_FORMAT_H_
#define QAZ_COMMON_FLOAT_FORMAT_H_

#include <cstdint>
#include <string>
#include <string_view>

namespace qaz {

// The shortest text that reads back to `x`, as the interpreter's repr(float)
// writes it: "0.25", "1.0", "1e-05", "1e+16", "inf", "nan".
void AppendRepr(double x, std::string* out);
std::string FormatRepr(double x);

// Fixed point with `decimals` digits, correctly rounded from the exact
// double ("%.8f" / "%.2f" of the interpreter).
void AppendFixed(double x, int decimals, std::string* out);

// Narrowing to 32-bit float, part of the file format.
inline double Narrow(double x) {
  return static_cast<double>(static_cast<float>(x));
}

// Parses `text` as the interpreter's float() does (surrounding white space,
// sign, digits with single underscores between them, exponent, "inf",
// "infinity", "nan" in any case).  Returns false when it is not a float.
bool ParseFloat(std::string_view text, double* value);

// Parses an integer as int() does (white space, sign, underscores between
// digits).  Returns false when it is not an integer or does not fit 64 bits.
bool ParseInt(std::string_view text, int64_t* value);

// "{:,d}" of an integer: digits in groups of three joined by commas.
std::string Thousands(long long value);

// "{:,d}" of an integer: digits grouped by three with commas.
std::string Thousands(long long value);

}  // namespace qaz

#endif  // QAZ_COMMON_FLOAT_FORMAT_H_
