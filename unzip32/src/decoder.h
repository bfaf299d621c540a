// Decoding one entry (inflate or copy, CRC and size checks) into a file of a
// sink, in pieces of a fixed size whatever the entry's size.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include <zlib.h>

#include "archive.h"
#include "sink.h"
#include "source.h"
#include "zipcrypto.h"

namespace uz {

inline constexpr size_t kReadChunk = 1 << 20;
inline constexpr size_t kOutChunk = 256 << 10;

enum class Outcome { Ok, DataError, WriteError, CloseError };

struct Decoded {
    Decoded(Outcome o = Outcome::Ok, const char *w = "", Sink::Failure e = {})
        : outcome(o), why(w), error(std::move(e)) {}
    Outcome outcome;
    const char *why;
    Sink::Failure error; // the sink's own account of a write or close failure
};

// Holds a zlib stream for the whole run; reset per entry.
class Inflater {
public:
    Inflater();
    ~Inflater() { inflateEnd(&z_); }
    Inflater(const Inflater &) = delete;
    Inflater &operator=(const Inflater &) = delete;
    z_stream &stream() { return z_; }
    void reset() { inflateReset(&z_); }

private:
    z_stream z_;
};

// Everything decoding one entry needs for itself: a read window over the
// archive (kReadChunk), an inflate stream (zlib's state and its 32 KiB
// window) and an output buffer (kOutChunk). The calling thread has one, and
// so has each worker; the sizes are fixed, whatever the entry's size.
class Decoder {
public:
    explicit Decoder(Source &src) : data_(src, kReadChunk, kReadChunk) {}
    const uint8_t *view(uint64_t off, size_t n) { return data_.view(off, n); }
    // Streams the entry into f and closes it; on any failure f is discarded.
    // Once stop is set, the entry is given up at its next piece (a write
    // failure), so that a stopped run does not wait for large entries.
    Decoded write_entry(const Entry &en, ZipCrypto *crypto, Sink &sink, Sink::File *f,
                        const std::atomic<bool> *stop = nullptr);
    // Decodes the entry into out: the bytes a file would get before the
    // outcome, which comes back.
    Decoded decode_into(const Entry &en, std::vector<uint8_t> &out);

private:
    // put(bytes, n, why) takes each piece of the entry's data in turn; false
    // (with the reason in why, a Sink::Failure) ends the entry as a write failure.
    template <class Put> Decoded decode(const Entry &en, ZipCrypto *crypto, Put put);

    Window data_;
    Inflater inflater_;
    std::vector<uint8_t> out_ = std::vector<uint8_t>(kOutChunk);
    std::vector<uint8_t> scratch_;
};

// Writes data, decoded before with the outcome given, into f and completes
// it as write_entry would have.
Decoded write_decoded(Sink &sink, Sink::File *f, const Stamp &stamp, const std::vector<uint8_t> &data,
                      const Decoded &outcome);

} // namespace uz
