// The leading 28 bits of the SHA-256, SHA-1 and MD5 digests of a short text (the first seven hex
// digits of each hexdigest), computed natively so that making a pickle layout at import needs no
// hash module (one may be missing, or refuse MD5 under a FIPS policy). Not for long inputs or
// anything secret: a layout's names are a few hundred bytes.
#pragma once

#include <array>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace zelvar::py::digest {

namespace detail {

inline uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }
inline uint32_t rotr(uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }

// The message padded to whole 64-byte blocks: 0x80, zeros, then the bit length in 8 bytes.
inline std::string padded(std::string_view text, bool big_endian) {
    std::string m(text);
    m += static_cast<char>(0x80);
    while (m.size() % 64 != 56) m += '\0';
    const uint64_t bits = static_cast<uint64_t>(text.size()) * 8;
    for (int i = 0; i < 8; ++i) m += static_cast<char>(bits >> (big_endian ? 56 - 8 * i : 8 * i));
    return m;
}

inline uint32_t word(const std::string& m, std::size_t at, bool big_endian) {
    uint32_t w = 0;
    for (int i = 0; i < 4; ++i) {
        const auto byte = static_cast<uint32_t>(static_cast<unsigned char>(m[at + i]));
        w |= byte << (big_endian ? 24 - 8 * i : 8 * i);
    }
    return w;
}

// The first 32 bits of the fractional part of x.
inline uint32_t fraction_bits(long double x) { return static_cast<uint32_t>(std::ldexp(x - std::floor(x), 32)); }

}  // namespace detail

inline uint32_t sha256_prefix(std::string_view text) {
    static const std::array<uint32_t, 64> k = [] {
        std::array<uint32_t, 64> out{};
        int found = 0;
        for (int n = 2; found < 64; ++n) {
            bool prime = true;
            for (int d = 2; d * d <= n; ++d) prime = prime && n % d != 0;
            if (prime) out[found++] = detail::fraction_bits(std::cbrt(static_cast<long double>(n)));
        }
        return out;
    }();
    uint32_t h[8];
    const int primes[8] = {2, 3, 5, 7, 11, 13, 17, 19};
    for (int i = 0; i < 8; ++i) h[i] = detail::fraction_bits(std::sqrt(static_cast<long double>(primes[i])));
    const std::string m = detail::padded(text, true);
    for (std::size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[64];
        for (int t = 0; t < 16; ++t) w[t] = detail::word(m, block + 4 * t, true);
        for (int t = 16; t < 64; ++t) {
            const uint32_t s0 = detail::rotr(w[t - 15], 7) ^ detail::rotr(w[t - 15], 18) ^ (w[t - 15] >> 3);
            const uint32_t s1 = detail::rotr(w[t - 2], 17) ^ detail::rotr(w[t - 2], 19) ^ (w[t - 2] >> 10);
            w[t] = w[t - 16] + s0 + w[t - 7] + s1;
        }
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4], f = h[5], g = h[6], hh = h[7];
        for (int t = 0; t < 64; ++t) {
            const uint32_t t1 = hh + (detail::rotr(e, 6) ^ detail::rotr(e, 11) ^ detail::rotr(e, 25)) +
                                ((e & f) ^ (~e & g)) + k[t] + w[t];
            const uint32_t t2 =
                (detail::rotr(a, 2) ^ detail::rotr(a, 13) ^ detail::rotr(a, 22)) + ((a & b) ^ (a & c) ^ (b & c));
            hh = g;
            g = f;
            f = e;
            e = d + t1;
            d = c;
            c = b;
            b = a;
            a = t1 + t2;
        }
        const uint32_t v[8] = {a, b, c, d, e, f, g, hh};
        for (int i = 0; i < 8; ++i) h[i] += v[i];
    }
    return h[0] >> 4;
}

inline uint32_t sha1_prefix(std::string_view text) {
    uint32_t h[5] = {0x67452301, 0xEFCDAB89, 0x98BADCFE, 0x10325476, 0xC3D2E1F0};
    const std::string m = detail::padded(text, true);
    for (std::size_t block = 0; block < m.size(); block += 64) {
        uint32_t w[80];
        for (int t = 0; t < 16; ++t) w[t] = detail::word(m, block + 4 * t, true);
        for (int t = 16; t < 80; ++t) w[t] = detail::rotl(w[t - 3] ^ w[t - 8] ^ w[t - 14] ^ w[t - 16], 1);
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3], e = h[4];
        for (int t = 0; t < 80; ++t) {
            uint32_t f, k;
            if (t < 20) {
                f = (b & c) | (~b & d);
                k = 0x5A827999;
            } else if (t < 40) {
                f = b ^ c ^ d;
                k = 0x6ED9EBA1;
            } else if (t < 60) {
                f = (b & c) | (b & d) | (c & d);
                k = 0x8F1BBCDC;
            } else {
                f = b ^ c ^ d;
                k = 0xCA62C1D6;
            }
            const uint32_t temp = detail::rotl(a, 5) + f + e + k + w[t];
            e = d;
            d = c;
            c = detail::rotl(b, 30);
            b = a;
            a = temp;
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
        h[4] += e;
    }
    return h[0] >> 4;
}

inline uint32_t md5_prefix(std::string_view text) {
    static const std::array<uint32_t, 64> k = [] {
        std::array<uint32_t, 64> out{};
        for (int i = 0; i < 64; ++i) {
            out[i] = static_cast<uint32_t>(std::ldexp(std::fabs(std::sin(static_cast<long double>(i + 1))), 32));
        }
        return out;
    }();
    static const int shifts[4][4] = {{7, 12, 17, 22}, {5, 9, 14, 20}, {4, 11, 16, 23}, {6, 10, 15, 21}};
    uint32_t h[4] = {0x67452301, 0xefcdab89, 0x98badcfe, 0x10325476};
    const std::string m = detail::padded(text, false);
    for (std::size_t block = 0; block < m.size(); block += 64) {
        uint32_t a = h[0], b = h[1], c = h[2], d = h[3];
        for (int i = 0; i < 64; ++i) {
            uint32_t f;
            int g;
            if (i < 16) {
                f = (b & c) | (~b & d);
                g = i;
            } else if (i < 32) {
                f = (d & b) | (~d & c);
                g = (5 * i + 1) % 16;
            } else if (i < 48) {
                f = b ^ c ^ d;
                g = (3 * i + 5) % 16;
            } else {
                f = c ^ (b | ~d);
                g = (7 * i) % 16;
            }
            f += a + k[i] + detail::word(m, block + 4 * static_cast<std::size_t>(g), false);
            a = d;
            d = c;
            c = b;
            b += detail::rotl(f, shifts[i / 16][i % 4]);
        }
        h[0] += a;
        h[1] += b;
        h[2] += c;
        h[3] += d;
    }
    // The hex digest starts with the first word's bytes, lowest first.
    const uint32_t first = h[0];
    const uint32_t in_order =
        (first & 0xff) << 24 | (first >> 8 & 0xff) << 16 | (first >> 16 & 0xff) << 8 | first >> 24;
    return in_order >> 4;
}

}  // namespace zelvar::py::digest
