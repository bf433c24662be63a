#include "Md5.h"

#include <cstring>

namespace kivoinstaller {

namespace {

inline uint32_t RotateLeft(uint32_t x, int n) {
    return (x << n) | (x >> (32 - n));
}

inline uint32_t LoadLittleEndian(const uint8_t* p) {
    return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
           (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}

inline void StoreLittleEndian(uint32_t value, uint8_t* p) {
    p[0] = static_cast<uint8_t>(value);
    p[1] = static_cast<uint8_t>(value >> 8);
    p[2] = static_cast<uint8_t>(value >> 16);
    p[3] = static_cast<uint8_t>(value >> 24);
}

// The four auxiliary functions of the RFC; F and G in the forms that need one
// operation less than the textbook ones and give the same bits.
inline uint32_t F(uint32_t x, uint32_t y, uint32_t z) {
    return z ^ (x & (y ^ z));
}
inline uint32_t G(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (z & (x ^ y));
}
inline uint32_t H(uint32_t x, uint32_t y, uint32_t z) {
    return x ^ y ^ z;
}
inline uint32_t I(uint32_t x, uint32_t y, uint32_t z) {
    return y ^ (x | ~z);
}

#define MD5_STEP(f, a, b, c, d, x, s, t)     \
    do {                                     \
        (a) += f((b), (c), (d)) + (x) + (t); \
        (a) = RotateLeft((a), (s)) + (b);    \
    } while (0)

}  // namespace

void Md5::Init() {
    state_[0] = 0x67452301u;
    state_[1] = 0xefcdab89u;
    state_[2] = 0x98badcfeu;
    state_[3] = 0x10325476u;
    length_ = 0;
}

void Md5::Update(const void* data, size_t size) {
    const uint8_t* input = static_cast<const uint8_t*>(data);
    size_t used = static_cast<size_t>(length_ % 64);
    length_ += size;
    if (used != 0) {
        size_t take = 64 - used;
        if (size < take) {
            memcpy(buffer_ + used, input, size);
            return;
        }
        memcpy(buffer_ + used, input, take);
        Transform(buffer_);
        input += take;
        size -= take;
    }
    // Whole blocks straight from the caller's memory: no copy on the hot path.
    for (; size >= 64; input += 64, size -= 64) {
        Transform(input);
    }
    if (size != 0) {
        memcpy(buffer_, input, size);
    }
}

void Md5::Final(uint8_t digest[kDigestSize]) {
    uint64_t bits = length_ * 8;
    uint8_t padding[72] = {0x80};
    size_t used = static_cast<size_t>(length_ % 64);
    size_t padLength = used < 56 ? 56 - used : 120 - used;
    uint8_t lengthBytes[8];
    for (int i = 0; i < 8; ++i) {
        lengthBytes[i] = static_cast<uint8_t>(bits >> (8 * i));
    }
    Update(padding, padLength);
    Update(lengthBytes, 8);
    for (int i = 0; i < 4; ++i) {
        StoreLittleEndian(state_[i], digest + 4 * i);
    }
}

std::string Md5::ToHex(const uint8_t digest[kDigestSize]) {
    static const char kDigits[] = "0123456789abcdef";
    std::string text(2 * kDigestSize, '0');
    for (size_t i = 0; i < kDigestSize; ++i) {
        text[2 * i] = kDigits[digest[i] >> 4];
        text[2 * i + 1] = kDigits[digest[i] & 0x0f];
    }
    return text;
}

std::string Md5::HexOf(const void* data, size_t size) {
    Md5 md5;
    md5.Update(data, size);
    uint8_t digest[kDigestSize];
    md5.Final(digest);
    return ToHex(digest);
}

void Md5::Transform(const uint8_t block[64]) {
    uint32_t x[16];
    for (int i = 0; i < 16; ++i) {
        x[i] = LoadLittleEndian(block + 4 * i);
    }
    uint32_t a = state_[0], b = state_[1], c = state_[2], d = state_[3];

    MD5_STEP(F, a, b, c, d, x[0], 7, 0xd76aa478u);
    MD5_STEP(F, d, a, b, c, x[1], 12, 0xe8c7b756u);
    MD5_STEP(F, c, d, a, b, x[2], 17, 0x242070dbu);
    MD5_STEP(F, b, c, d, a, x[3], 22, 0xc1bdceeeu);
    MD5_STEP(F, a, b, c, d, x[4], 7, 0xf57c0fafu);
    MD5_STEP(F, d, a, b, c, x[5], 12, 0x4787c62au);
    MD5_STEP(F, c, d, a, b, x[6], 17, 0xa8304613u);
    MD5_STEP(F, b, c, d, a, x[7], 22, 0xfd469501u);
    MD5_STEP(F, a, b, c, d, x[8], 7, 0x698098d8u);
    MD5_STEP(F, d, a, b, c, x[9], 12, 0x8b44f7afu);
    MD5_STEP(F, c, d, a, b, x[10], 17, 0xffff5bb1u);
    MD5_STEP(F, b, c, d, a, x[11], 22, 0x895cd7beu);
    MD5_STEP(F, a, b, c, d, x[12], 7, 0x6b901122u);
    MD5_STEP(F, d, a, b, c, x[13], 12, 0xfd987193u);
    MD5_STEP(F, c, d, a, b, x[14], 17, 0xa679438eu);
    MD5_STEP(F, b, c, d, a, x[15], 22, 0x49b40821u);

    MD5_STEP(G, a, b, c, d, x[1], 5, 0xf61e2562u);
    MD5_STEP(G, d, a, b, c, x[6], 9, 0xc040b340u);
    MD5_STEP(G, c, d, a, b, x[11], 14, 0x265e5a51u);
    MD5_STEP(G, b, c, d, a, x[0], 20, 0xe9b6c7aau);
    MD5_STEP(G, a, b, c, d, x[5], 5, 0xd62f105du);
    MD5_STEP(G, d, a, b, c, x[10], 9, 0x02441453u);
    MD5_STEP(G, c, d, a, b, x[15], 14, 0xd8a1e681u);
    MD5_STEP(G, b, c, d, a, x[4], 20, 0xe7d3fbc8u);
    MD5_STEP(G, a, b, c, d, x[9], 5, 0x21e1cde6u);
    MD5_STEP(G, d, a, b, c, x[14], 9, 0xc33707d6u);
    MD5_STEP(G, c, d, a, b, x[3], 14, 0xf4d50d87u);
    MD5_STEP(G, b, c, d, a, x[8], 20, 0x455a14edu);
    MD5_STEP(G, a, b, c, d, x[13], 5, 0xa9e3e905u);
    MD5_STEP(G, d, a, b, c, x[2], 9, 0xfcefa3f8u);
    MD5_STEP(G, c, d, a, b, x[7], 14, 0x676f02d9u);
    MD5_STEP(G, b, c, d, a, x[12], 20, 0x8d2a4c8au);

    MD5_STEP(H, a, b, c, d, x[5], 4, 0xfffa3942u);
    MD5_STEP(H, d, a, b, c, x[8], 11, 0x8771f681u);
    MD5_STEP(H, c, d, a, b, x[11], 16, 0x6d9d6122u);
    MD5_STEP(H, b, c, d, a, x[14], 23, 0xfde5380cu);
    MD5_STEP(H, a, b, c, d, x[1], 4, 0xa4beea44u);
    MD5_STEP(H, d, a, b, c, x[4], 11, 0x4bdecfa9u);
    MD5_STEP(H, c, d, a, b, x[7], 16, 0xf6bb4b60u);
    MD5_STEP(H, b, c, d, a, x[10], 23, 0xbebfbc70u);
    MD5_STEP(H, a, b, c, d, x[13], 4, 0x289b7ec6u);
    MD5_STEP(H, d, a, b, c, x[0], 11, 0xeaa127fau);
    MD5_STEP(H, c, d, a, b, x[3], 16, 0xd4ef3085u);
    MD5_STEP(H, b, c, d, a, x[6], 23, 0x04881d05u);
    MD5_STEP(H, a, b, c, d, x[9], 4, 0xd9d4d039u);
    MD5_STEP(H, d, a, b, c, x[12], 11, 0xe6db99e5u);
    MD5_STEP(H, c, d, a, b, x[15], 16, 0x1fa27cf8u);
    MD5_STEP(H, b, c, d, a, x[2], 23, 0xc4ac5665u);

    MD5_STEP(I, a, b, c, d, x[0], 6, 0xf4292244u);
    MD5_STEP(I, d, a, b, c, x[7], 10, 0x432aff97u);
    MD5_STEP(I, c, d, a, b, x[14], 15, 0xab9423a7u);
    MD5_STEP(I, b, c, d, a, x[5], 21, 0xfc93a039u);
    MD5_STEP(I, a, b, c, d, x[12], 6, 0x655b59c3u);
    MD5_STEP(I, d, a, b, c, x[3], 10, 0x8f0ccc92u);
    MD5_STEP(I, c, d, a, b, x[10], 15, 0xffeff47du);
    MD5_STEP(I, b, c, d, a, x[1], 21, 0x85845dd1u);
    MD5_STEP(I, a, b, c, d, x[8], 6, 0x6fa87e4fu);
    MD5_STEP(I, d, a, b, c, x[15], 10, 0xfe2ce6e0u);
    MD5_STEP(I, c, d, a, b, x[6], 15, 0xa3014314u);
    MD5_STEP(I, b, c, d, a, x[13], 21, 0x4e0811a1u);
    MD5_STEP(I, a, b, c, d, x[4], 6, 0xf7537e82u);
    MD5_STEP(I, d, a, b, c, x[11], 10, 0xbd3af235u);
    MD5_STEP(I, c, d, a, b, x[2], 15, 0x2ad7d2bbu);
    MD5_STEP(I, b, c, d, a, x[9], 21, 0xeb86d391u);

    state_[0] += a;
    state_[1] += b;
    state_[2] += c;
    state_[3] += d;
}

#undef MD5_STEP

}  // namespace kivoinstaller
