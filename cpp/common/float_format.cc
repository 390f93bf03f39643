#include "common/float_format.h"

#include <charconv>
#include <clocale>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <locale.h>

#include "common/text.h"

namespace qaz {

namespace {

// "nan", "inf" and "-inf", as both number forms write them.
bool AppendNonFinite(double x, std::string* out) {
  if (std::isnan(x)) {
    out->append("nan");
    return true;
  }
  if (std::isinf(x)) {
    out->append(x < 0 ? "-inf" : "inf");
    return true;
  }
  return false;
}

}  // namespace

void AppendRepr(double x, std::string* out) {
  if (AppendNonFinite(x, out)) return;
  char buf[64];
  // Shortest round-trip digits in the form d[.ddd]e[+-]XX.
  auto res = std::to_chars(buf, buf + sizeof(buf), x,
                           std::chars_format::scientific);
  std::string_view sci(buf, res.ptr - buf);
  bool negative = false;
  if (!sci.empty() && sci[0] == '-') {
    negative = true;
    sci.remove_prefix(1);
  }
  size_t e_pos = sci.find('e');
  std::string digits;
  for (size_t k = 0; k < e_pos; ++k) {
    if (sci[k] != '.') digits.push_back(sci[k]);
  }
  int exponent = std::atoi(std::string(sci.substr(e_pos + 1)).c_str());
  while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
  const int ndigits = static_cast<int>(digits.size());
  const int decpt = exponent + 1;  // position of the decimal point
  if (negative) out->push_back('-');
  if (decpt <= -4 || decpt > 16) {
    out->push_back(digits[0]);
    if (ndigits > 1) {
      out->push_back('.');
      out->append(digits, 1, std::string::npos);
    }
    char ebuf[16];
    std::snprintf(ebuf, sizeof(ebuf), "e%c%02d", exponent < 0 ? '-' : '+',
                  std::abs(exponent));
    out->append(ebuf);
  } else if (decpt <= 0) {
    out->append("0.");
    out->append(static_cast<size_t>(-decpt), '0');
    out->append(digits);
  } else if (decpt >= ndigits) {
    out->append(digits);
    out->append(static_cast<size_t>(decpt - ndigits), '0');
    out->append(".0");
  } else {
    out->append(digits, 0, decpt);
    out->push_back('.');
    out->append(digits, decpt, std::string::npos);
  }
}

std::string FormatRepr(double x) {
  std::string s;
  AppendRepr(x, &s);
  return s;
}

void AppendFixed(double x, int decimals, std::string* out) {
  if (AppendNonFinite(x, out)) return;
  // Eight decimals of a value that a float holds (the probabilities of the
  // distribution files): x * 10^8 = x * 390625 * 2^8 needs at most 24 + 19
  // significant bits, so the product is exact and rounding it to an
  // integer, ties to even, is the correctly rounded result.
  const double magnitude = std::fabs(x);
  if (decimals == 8 && magnitude < 1e9 &&
      static_cast<double>(static_cast<float>(x)) == x) {
    const uint64_t n = static_cast<uint64_t>(std::nearbyint(magnitude * 1e8));
    char buf[32];
    char* end = buf + sizeof(buf);
    char* c = end;
    uint64_t frac = n % 100000000, whole = n / 100000000;
    for (int k = 0; k < 8; ++k) {
      *--c = static_cast<char>('0' + frac % 10);
      frac /= 10;
    }
    *--c = '.';
    do {
      *--c = static_cast<char>('0' + whole % 10);
      whole /= 10;
    } while (whole != 0);
    if (std::signbit(x)) *--c = '-';
    out->append(c, static_cast<size_t>(end - c));
    return;
  }
  // Correctly rounded from the exact value, as printf's "%.*f" (ties to
  // even), without printf's cost.
  char buf[400];
  auto res = std::to_chars(buf, buf + sizeof(buf), x, std::chars_format::fixed,
                           decimals);
  if (res.ec == std::errc()) {
    out->append(buf, res.ptr - buf);
    return;
  }
  std::string big(static_cast<size_t>(decimals) + 400, '\0');
  res = std::to_chars(big.data(), big.data() + big.size(), x,
                      std::chars_format::fixed, decimals);
  out->append(big.data(), res.ptr - big.data());
}

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// Copies a run of digits with single underscores between them into `out`;
// returns the number of characters consumed (0 when no digit).
size_t TakeDigits(std::string_view s, std::string* out) {
  size_t k = 0;
  if (k >= s.size() || !IsDigit(s[k])) return 0;
  while (k < s.size()) {
    if (IsDigit(s[k])) {
      out->push_back(s[k++]);
    } else if (s[k] == '_' && k + 1 < s.size() && IsDigit(s[k + 1])) {
      ++k;
    } else {
      break;
    }
  }
  return k;
}

bool EqualsNoCase(std::string_view a, const char* b) {
  size_t n = std::strlen(b);
  if (a.size() != n) return false;
  for (size_t k = 0; k < n; ++k) {
    char c = a[k];
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    if (c != b[k]) return false;
  }
  return true;
}

// Removes a leading "+" or "-" from `s`; true for "-".
bool TakeSign(std::string_view* s) {
  if (s->empty() || ((*s)[0] != '+' && (*s)[0] != '-')) return false;
  const bool negative = (*s)[0] == '-';
  s->remove_prefix(1);
  return negative;
}

locale_t CLocale() {
  static locale_t loc = newlocale(LC_ALL_MASK, "C", static_cast<locale_t>(0));
  return loc;
}

}  // namespace

namespace {

// The plain forms the model files hold: digits with at most one "." and an
// optional exponent, nothing else (no sign, space or "_").
bool PlainDecimal(std::string_view s) {
  if (s.empty() || s.size() > 64 || s[0] < '0' || s[0] > '9') return false;
  for (char c : s) {
    if (!((c >= '0' && c <= '9') || c == '.' || c == 'e' || c == 'E' ||
          c == '-' || c == '+')) {
      return false;
    }
  }
  return true;
}

}  // namespace

bool ParseFloat(std::string_view text, double* value) {
  if (PlainDecimal(text)) {
    // Correctly rounded, as strtod is; anything it does not take whole
    // (or out of range) goes the general way below.
    double v;
    const auto res = std::from_chars(text.data(), text.data() + text.size(), v);
    if (res.ec == std::errc() && res.ptr == text.data() + text.size()) {
      *value = v;
      return true;
    }
  }
  std::string_view s = StripSpace(text);
  const bool negative = TakeSign(&s);
  if (EqualsNoCase(s, "inf") || EqualsNoCase(s, "infinity")) {
    *value = negative ? -HUGE_VAL : HUGE_VAL;
    return true;
  }
  if (EqualsNoCase(s, "nan")) {
    *value = negative ? -NAN : NAN;
    return true;
  }
  std::string clean;
  size_t k = TakeDigits(s, &clean);
  bool any_digit = k > 0;
  if (k < s.size() && s[k] == '.') {
    clean.push_back('.');
    ++k;
    size_t frac = TakeDigits(s.substr(k), &clean);
    any_digit = any_digit || frac > 0;
    k += frac;
  }
  if (!any_digit) return false;
  if (k < s.size() && (s[k] == 'e' || s[k] == 'E')) {
    clean.push_back('e');
    ++k;
    if (k < s.size() && (s[k] == '+' || s[k] == '-')) clean.push_back(s[k++]);
    size_t exp_digits = TakeDigits(s.substr(k), &clean);
    if (exp_digits == 0) return false;
    k += exp_digits;
  }
  if (k != s.size()) return false;
  double v = strtod_l(clean.c_str(), nullptr, CLocale());
  *value = negative ? -v : v;
  return true;
}

bool ParseInt(std::string_view text, int64_t* value) {
  if (!text.empty() && text.size() <= 18) {
    // Plain digits, the form of the model files.
    int64_t v = 0;
    size_t k = 0;
    for (; k < text.size() && text[k] >= '0' && text[k] <= '9'; ++k) {
      v = v * 10 + (text[k] - '0');
    }
    if (k == text.size()) {
      *value = v;
      return true;
    }
  }
  std::string_view s = StripSpace(text);
  const bool negative = TakeSign(&s);
  std::string clean;
  size_t k = TakeDigits(s, &clean);
  if (k == 0 || k != s.size()) return false;
  if (negative) clean.insert(clean.begin(), '-');
  auto res = std::from_chars(clean.data(), clean.data() + clean.size(), *value);
  return res.ec == std::errc() && res.ptr == clean.data() + clean.size();
}

std::string Thousands(long long value) {
  // The magnitude as unsigned, so that the smallest value has one too.
  const unsigned long long magnitude =
      value < 0 ? 0ull - static_cast<unsigned long long>(value)
                : static_cast<unsigned long long>(value);
  const std::string digits = std::to_string(magnitude);
  std::string out;
  if (value < 0) out.push_back('-');
  const size_t n = digits.size();
  for (size_t k = 0; k < n; ++k) {
    out.push_back(digits[k]);
    const size_t left = n - 1 - k;
    if (left > 0 && left % 3 == 0) out.push_back(',');
  }
  return out;
}

}  // namespace qaz
