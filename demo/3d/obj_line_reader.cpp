// The OBJ line reader: words, `>> int` and `>> double` as a "C"-locale stream reads them.
#include "demo/3d/obj_line_reader.h"

#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace demo {

namespace {

// White space as the stream extractors skip it in the "C" locale.
inline bool is_space(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}
inline bool is_digit(char c) {
    return static_cast<unsigned char>(c - '0') < 10;
}

// The powers of ten that a double holds exactly.
const double exact_tens[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};

} // namespace

void obj_line_reader::skip_space() {
    while (p < end && is_space(*p))
        ++p;
}

bool obj_line_reader::word(const char *&from, const char *&to) {
    skip_space();
    from = p;
    while (p < end && !is_space(*p))
        ++p;
    to = p;
    return from != to;
}

void obj_line_reader::skip_word() {
    while (p < end && !is_space(*p))
        ++p;
}

bool obj_line_reader::at_word_end() const {
    return p == end || is_space(*p);
}

bool obj_line_reader::read_int(int &out) {
    skip_space();
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p == end || !is_digit(*p))
        return false;
    long long v = 0;
    bool too_big = false;
    for (; p < end && is_digit(*p); ++p) {
        v = v * 10 + (*p - '0');
        if (v > 2147483648LL) {
            too_big = true;
            v = 2147483648LL;
        }
    }
    if (negative)
        v = -v;
    if (too_big || v > 2147483647LL)
        return false;
    out = static_cast<int>(v);
    return true;
}

bool obj_line_reader::read_double(double &out) {
    skip_space();
    const char *const start = p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    const char *const unsigned_start = p;
    // Mantissa: up to 19 significant digits kept exactly in m; scale is
    // the power of ten that m stands for (digits dropped or after the
    // point).
    std::uint64_t m = 0;
    int kept = 0;
    long scale = 0;
    bool digits = false, point = false, exact = true;
    for (; p < end; ++p) {
        const char c = *p;
        if (is_digit(c)) {
            digits = true;
            if (m == 0 && c == '0') {
                scale -= point;
            } else if (kept < 19) {
                m = m * 10 + static_cast<unsigned>(c - '0');
                ++kept;
                scale -= point;
            } else {
                exact = exact && c == '0';
                scale += !point;
            }
        } else if (c == '.' && !point) {
            point = true;
        } else {
            break;
        }
    }
    if (!digits)
        return false;
    long exponent = 0;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        bool exponent_negative = false;
        if (p < end && (*p == '+' || *p == '-'))
            exponent_negative = *p++ == '-';
        if (p == end || !is_digit(*p))
            return false;
        for (; p < end && is_digit(*p); ++p)
            if (exponent < 100000)
                exponent = exponent * 10 + (*p - '0');
        if (exponent_negative)
            exponent = -exponent;
    }
    // One correctly rounded operation on exact operands gives the
    // correctly rounded result, which is what strtod gives; anything
    // else goes to the library. Where doubles are computed in a wider
    // format (x87), the product would be rounded twice and could miss
    // by one unit, so there the library reads every number.
    const long e = exponent + scale;
    if (FLT_EVAL_METHOD == 0 && exact && m <= (std::uint64_t(1) << 53) && e >= -22 && e <= 22) {
        double v = static_cast<double>(m);
        v = e < 0 ? v / exact_tens[-e] : v * exact_tens[e];
        out = negative ? -v : v;
        return true;
    }
    if (m == 0 && exact) {
        out = negative ? -0.0 : 0.0;
        return true;
    }
    double v;
    const std::from_chars_result r = std::from_chars(negative ? start : unsigned_start, p, v);
    if (r.ec != std::errc() || r.ptr != p) {
        const std::string text(start, p);
        v = std::strtod(text.c_str(), nullptr);
    }
    if (std::isinf(v))
        return false;
    out = v;
    return true;
}

bool is_word(const char *from, const char *to, const char *literal) {
    const std::size_t n = std::strlen(literal);
    return static_cast<std::size_t>(to - from) == n && std::memcmp(from, literal, n) == 0;
}

} // namespace demo
