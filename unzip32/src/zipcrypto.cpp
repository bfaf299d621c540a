#include "zipcrypto.h"

#include <zlib.h>

namespace uz {
namespace {

// The cipher's key schedule steps a CRC-32 one byte at a time; zlib's table is
// the same polynomial, so it is used rather than a second copy.
const z_crc_t *crc_table() {
    static const z_crc_t *table = get_crc_table();
    return table;
}

inline uint32_t crc_step(uint32_t crc, uint8_t b) {
    return crc_table()[(crc ^ b) & 0xFF] ^ (crc >> 8);
}

} // namespace

ZipCrypto::ZipCrypto(std::string_view password) {
    for (char c : password) update(static_cast<uint8_t>(c));
}

void ZipCrypto::update(uint8_t plain) {
    k0_ = crc_step(k0_, plain);
    k1_ = (k1_ + (k0_ & 0xFF)) * 134775813u + 1;
    k2_ = crc_step(k2_, static_cast<uint8_t>(k1_ >> 24));
}

uint8_t ZipCrypto::decrypt_header(uint8_t header[12]) {
    decrypt(header, 12);
    return header[11];
}

void ZipCrypto::decrypt(uint8_t *data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t plain = data[i] ^ stream_byte();
        data[i] = plain;
        update(plain);
    }
}

void ZipCrypto::encrypt(uint8_t *data, size_t n) {
    for (size_t i = 0; i < n; ++i) {
        const uint8_t plain = data[i];
        data[i] = plain ^ stream_byte();
        update(plain);
    }
}

} // namespace uz
