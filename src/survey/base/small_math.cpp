#include "small_math.h"

#include <cstdint>
#include <cstring>

namespace
{

constexpr double LN2 = 0.69314718055994530942;
constexpr double HALF_LN_TWO_PI = 0.91893853320467274178;
constexpr double SQRT2 = 1.41421356237309504880;
// Stirling's series is good to ten digits from here up.
constexpr double STIRLING_FROM = 10;

} // namespace

double natural_log(double x)
{
    if (!(x > 0))
        return -1e300;
    std::uint64_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    int exponent = static_cast<int>((bits >> 52) & 0x7FF);
    if (exponent == 0) {
        // Below the normal numbers: scaled up by 2^52 first.
        x *= 4503599627370496.0;
        std::memcpy(&bits, &x, sizeof bits);
        exponent = static_cast<int>((bits >> 52) & 0x7FF) - 52;
    }
    exponent -= 1023;
    bits = (bits & 0x000FFFFFFFFFFFFFu) | 0x3FF0000000000000u;
    double mantissa;
    std::memcpy(&mantissa, &bits, sizeof mantissa);
    if (mantissa > SQRT2) {
        mantissa /= 2;
        exponent++;
    }
    // ln m = 2 atanh z with z = (m - 1) / (m + 1), |z| < 0.172.
    double z = (mantissa - 1) / (mantissa + 1);
    double z2 = z * z;
    double series = 1.0 / 17;
    for (int odd = 15; odd >= 1; odd -= 2)
        series = 1.0 / odd + z2 * series;
    return exponent * LN2 + 2 * z * series;
}

double log_gamma(double x)
{
    // Γ(x + 1) = x Γ(x) carries x up to where Stirling's series holds.
    double shift = 0;
    while (x < STIRLING_FROM) {
        shift -= natural_log(x);
        x += 1;
    }
    double inverse = 1 / x, inverse2 = inverse * inverse;
    double series = inverse * (1.0 / 12 - inverse2 * (1.0 / 360 - inverse2 / 1260));
    return shift + (x - 0.5) * natural_log(x) - x + HALF_LN_TWO_PI + series;
}
