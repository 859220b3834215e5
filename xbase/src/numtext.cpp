#include "numtext.h"

#include <charconv>
#include <cmath>
#include <cstring>

#include "bytes.h"

namespace xb {

namespace {

constexpr double kPow10[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9, 1e10, 1e11, 1e12, 1e13, 1e14, 1e15};

// Plain "[-]digits[.digits]" with at most 15 digits: exact mantissa divided by an
// exact power of ten gives the correctly rounded value, the same as a full parse.
bool parseSimple(std::string_view s, double* out)
{
    size_t i = 0;
    bool negative = false;
    if (i < s.size() && (s[i] == '-' || s[i] == '+')) {
        negative = s[i] == '-';
        ++i;
    }
    uint64_t mantissa = 0;
    int digits = 0;
    int fraction = 0;
    bool point = false;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        if (c >= '0' && c <= '9') {
            if (++digits > 15)
                return false;
            mantissa = mantissa * 10 + static_cast<uint64_t>(c - '0');
            if (point)
                ++fraction;
        } else if (c == '.' && !point) {
            point = true;
        } else {
            return false;
        }
    }
    if (digits == 0)
        return false;
    double v = static_cast<double>(mantissa) / kPow10[fraction];
    *out = negative ? -v : v;
    return true;
}

}  // namespace

double parseNumeric(std::string_view text, bool* blank)
{
    std::string_view s = trimRight(trimLeft(text));
    if (blank)
        *blank = s.empty();
    if (s.empty())
        return 0.0;
    double v = 0.0;
    if (parseSimple(s, &v))
        return v == 0.0 ? 0.0 : v;
    if (s.front() == '+')
        s.remove_prefix(1);
    const char* end = s.data() + s.size();
    auto [ptr, ec] = std::from_chars(s.data(), end, v, std::chars_format::fixed);
    if (ec != std::errc() || ptr != end || !std::isfinite(v))
        return 0.0;
    return v == 0.0 ? 0.0 : v;
}

double parseLeadingNumber(std::string_view text)
{
    std::string_view s = trimLeft(text);
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    double v = 0.0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || !std::isfinite(v))
        return 0.0;
    (void)ptr;
    return v == 0.0 ? 0.0 : v;
}

bool formatNumeric(double value, int width, int decimals, char* out)
{
    if (!std::isfinite(value) || width <= 0 || decimals < 0)
        return false;
    if (value == 0.0)
        value = 0.0;  // no "-0"
    char buf[400];
    auto [ptr, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    if (ec != std::errc())
        return false;
    size_t len = static_cast<size_t>(ptr - buf);
    // A value that rounds to zero at this precision is written without a sign.
    bool allZero = true;
    for (size_t i = 1; i < len && allZero; ++i)
        allZero = buf[i] == '0' || buf[i] == '.';
    if (buf[0] == '-' && allZero) {
        std::memmove(buf, buf + 1, len - 1);
        --len;
    }
    const size_t w = static_cast<size_t>(width);
    if (len > w)
        return false;
    std::memset(out, ' ', w - len);
    std::memcpy(out + (w - len), buf, len);
    return true;
}

std::string numberToText(double value, int decimals)
{
    char buf[400];
    std::to_chars_result r;
    if (decimals >= 0)
        r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
    else
        r = std::to_chars(buf, buf + sizeof buf, value);
    if (r.ec != std::errc())
        return "0";
    return std::string(buf, r.ptr);
}

}  // namespace xb
