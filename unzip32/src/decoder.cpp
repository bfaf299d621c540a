#include "decoder.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace uz {

Inflater::Inflater() {
    std::memset(&z_, 0, sizeof z_);
    if (inflateInit2(&z_, -MAX_WBITS) != Z_OK) throw std::bad_alloc();
}

namespace {

// Completes f with what produce writes into it and answers: closed when all
// went well, else discarded.
template <class Produce>
Decoded complete_file(Sink &sink, Sink::File *f, const Stamp &stamp, Produce produce) {
    Decoded d;
    try {
        d = produce();
    } catch (...) {
        sink.discard(f);
        throw;
    }
    if (d.outcome != Outcome::Ok) {
        sink.discard(f);
    } else if (!sink.close(f, stamp, d.error)) {
        d.outcome = Outcome::CloseError;
        d.why = "cannot complete file";
    }
    return d;
}

} // namespace

template <class Put> Decoded Decoder::decode(const Entry &en, ZipCrypto *crypto, Put put) {
    uint64_t pos = en.data_offset, remaining = en.csize;
    if (crypto) {
        pos += 12;
        remaining -= 12;
    }
    if (en.method == 0 && remaining != en.usize) return {Outcome::DataError, "stored sizes disagree"};

    uLong crc = crc32(0, nullptr, 0);
    uint64_t produced = 0;
    Sink::Failure why;
    bool ended = en.method == 0;
    z_stream &z = inflater_.stream();
    if (en.method == 8) inflater_.reset();

    while (remaining > 0) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(remaining, kReadChunk));
        const uint8_t *p = data_.view(pos, chunk);
        if (!p) return {Outcome::DataError, "archive cut short"};
        if (crypto) {
            if (scratch_.size() < chunk) scratch_.resize(kReadChunk);
            std::memcpy(scratch_.data(), p, chunk);
            crypto->decrypt(scratch_.data(), chunk);
            p = scratch_.data();
        }
        pos += chunk;
        remaining -= chunk;
        if (en.method == 0) {
            if (!put(p, chunk, why)) return {Outcome::WriteError, "write failed", why};
            crc = crc32(crc, p, static_cast<uInt>(chunk));
            produced += chunk;
            continue;
        }
        z.next_in = const_cast<Bytef *>(p);
        z.avail_in = static_cast<uInt>(chunk);
        // A full output buffer may hide more pending output; anything less
        // means zlib has used up this input.
        do {
            z.next_out = out_.data();
            z.avail_out = static_cast<uInt>(out_.size());
            const int rc = inflate(&z, Z_NO_FLUSH);
            if (rc != Z_OK && rc != Z_STREAM_END && rc != Z_BUF_ERROR)
                return {Outcome::DataError, "compressed data damaged"};
            const size_t have = out_.size() - z.avail_out;
            if (have > en.usize - produced) return {Outcome::DataError, "more data than declared"};
            if (have) {
                if (!put(out_.data(), have, why))
                    return {Outcome::WriteError, "write failed", why};
                crc = crc32(crc, out_.data(), static_cast<uInt>(have));
                produced += have;
            }
            if (rc == Z_STREAM_END) ended = true;
        } while (!ended && z.avail_out == 0);
        if (ended) break;
    }
    if (!ended) return {Outcome::DataError, "compressed data cut short"};
    if (produced != en.usize) return {Outcome::DataError, "size differs from the declared size"};
    if (static_cast<uint32_t>(crc) != en.crc) return {Outcome::DataError, "CRC error"};
    return {};
}

Decoded Decoder::write_entry(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f,
                             const std::atomic<bool> *stop) {
    return complete_file(sink, f, en.stamp, [&] {
        return decode(en, crypto, [&](const uint8_t *p, size_t n, Sink::Failure &why) {
            if (stop && stop->load(std::memory_order_relaxed)) {
                why.text = "extraction stopped";
                return false;
            }
            return sink.write(f, p, n, why);
        });
    });
}

Decoded Decoder::decode_into(const Entry &en, std::vector<uint8_t> &out) {
    out.reserve(static_cast<size_t>(en.usize));
    return decode(en, nullptr, [&](const uint8_t *p, size_t n, Sink::Failure &) {
        out.insert(out.end(), p, p + n);
        return true;
    });
}

Decoded write_decoded(Sink &sink, Sink::File *f, const Stamp &stamp, const std::vector<uint8_t> &data,
                      const Decoded &outcome) {
    return complete_file(sink, f, stamp, [&]() -> Decoded {
        Sink::Failure why;
        for (size_t at = 0; at < data.size(); at += kOutChunk) {
            const size_t n = std::min(kOutChunk, data.size() - at);
            if (!sink.write(f, data.data() + at, n, why)) return {Outcome::WriteError, "write failed", why};
        }
        return outcome;
    });
}

} // namespace uz
