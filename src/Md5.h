#pragma once

// MD5 message digest (RFC 1321): the digest of downloaded packages and of the
// machine fingerprint. Initialise, feed any number of byte blocks, finish.

#include <cstddef>
#include <cstdint>
#include <string>

namespace kivoinstaller {

class Md5 {
public:
    static constexpr size_t kDigestSize = 16;

    Md5() { Init(); }

    void Init();
    void Update(const void* data, size_t size);
    // Pads, appends the bit length and writes the digest; the context must be
    // initialised again before it is reused.
    void Final(uint8_t digest[kDigestSize]);

    // The digest of one byte string, as 32 lower-case hexadecimal digits.
    static std::string HexOf(const void* data, size_t size);
    // Each byte as two lower-case hexadecimal digits, in order.
    static std::string ToHex(const uint8_t digest[kDigestSize]);

private:
    void Transform(const uint8_t block[64]);

    uint32_t state_[4];
    uint64_t length_;  // bytes fed so far
    uint8_t buffer_[64];
};

}  // namespace kivoinstaller
