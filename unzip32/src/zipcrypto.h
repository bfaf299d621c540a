// Traditional PKWARE stream cipher ("ZipCrypto"). Encryption is kept for the
// tests, which build encrypted archives that no tool here can make on demand.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace uz {

class ZipCrypto {
public:
    explicit ZipCrypto(std::string_view password);

    // Decrypts the 12-byte header in place and returns its last byte, which
    // the writer set to the check byte.
    uint8_t decrypt_header(uint8_t header[12]);

    void decrypt(uint8_t *data, size_t n);
    void encrypt(uint8_t *data, size_t n);

private:
    void update(uint8_t plain);
    uint8_t stream_byte() const {
        const uint32_t t = (k2_ | 2) & 0xFFFF;
        return static_cast<uint8_t>((t * (t ^ 1)) >> 8);
    }

    uint32_t k0_ = 0x12345678, k1_ = 0x23456789, k2_ = 0x34567890;
};

} // namespace uz
