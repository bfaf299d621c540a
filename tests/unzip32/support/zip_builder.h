// Builds zip archives in memory, including shapes no honest tool writes:
// the hostile cases of the tests are made here, on any platform.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include <zlib.h>

#include "zipcrypto.h"

namespace uztest {

using Bytes = std::vector<uint8_t>;

inline void put16(Bytes &b, uint32_t v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
inline void put32(Bytes &b, uint32_t v) {
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}
inline void put64(Bytes &b, uint64_t v) {
    put32(b, static_cast<uint32_t>(v));
    put32(b, static_cast<uint32_t>(v >> 32));
}
inline void append(Bytes &b, const std::string &s) { b.insert(b.end(), s.begin(), s.end()); }
inline void append(Bytes &b, const Bytes &s) { b.insert(b.end(), s.begin(), s.end()); }

inline uint32_t crc_of(const Bytes &d) {
    return static_cast<uint32_t>(crc32(0, d.data(), static_cast<uInt>(d.size())));
}

inline Bytes bytes_of(const std::string &s) { return Bytes(s.begin(), s.end()); }

inline Bytes raw_deflate(const Bytes &in) {
    z_stream z{};
    deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    Bytes out(deflateBound(&z, static_cast<uLong>(in.size())) + 16);
    z.next_in = const_cast<Bytef *>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    deflate(&z, Z_FINISH);
    out.resize(z.total_out);
    deflateEnd(&z);
    return out;
}

struct EntrySpec {
    std::string name;
    Bytes data;
    uint16_t method = 0;         // 0 stored, 8 deflate; others are written stored but labelled
    uint16_t flags = 0;
    uint16_t made_by = 20;       // host in the high byte (3 = Unix)
    uint32_t external_attr = 0;
    uint16_t dos_time = 0x6000;  // 12:00:00
    uint16_t dos_date = 0x5321;  // 2021-09-01
    std::string password;        // non-empty: ZipCrypto
    bool descriptor = false;     // bit 3 with a data descriptor after the data
    bool descriptor_signature = true;
    bool zip64 = false;          // sizes and offset through a ZIP64 block
    Bytes central_extra;
    Bytes local_extra;
    std::optional<std::string> local_name; // differs from the central name
    std::optional<uint32_t> crc;           // forged CRC
    std::optional<uint64_t> usize;         // forged uncompressed size
};

class ZipBuilder {
public:
    ZipBuilder &prefix(const Bytes &stub) {
        append(out_, stub);
        return *this;
    }

    ZipBuilder &add(const EntrySpec &e) {
        Built b;
        b.entry = e;
        b.offset = out_.size();
        Bytes payload = e.method == 8 ? raw_deflate(e.data) : e.data;
        b.crc = e.crc.value_or(crc_of(e.data));
        b.usize = e.usize.value_or(e.data.size());
        uint16_t flags = e.flags;
        if (e.descriptor) flags |= 8;
        if (!e.password.empty()) {
            flags |= 1;
            uz::ZipCrypto c(e.password);
            uint8_t head[12];
            for (int i = 0; i < 12; ++i) head[i] = static_cast<uint8_t>(0x5A + 7 * i);
            head[11] = e.descriptor ? static_cast<uint8_t>(e.dos_time >> 8)
                                    : static_cast<uint8_t>(b.crc >> 24);
            c.encrypt(head, 12);
            c.encrypt(payload.data(), payload.size());
            payload.insert(payload.begin(), head, head + 12);
        }
        b.flags = flags;
        b.csize = payload.size();

        const std::string &lname = e.local_name.value_or(e.name);
        Bytes lextra = e.local_extra;
        if (e.zip64) {
            put16(lextra, 0x0001);
            put16(lextra, 16);
            put64(lextra, b.usize);
            put64(lextra, b.csize);
        }
        put32(out_, 0x04034b50);
        put16(out_, e.zip64 ? 45 : 20);
        put16(out_, flags);
        put16(out_, e.method);
        put16(out_, e.dos_time);
        put16(out_, e.dos_date);
        put32(out_, e.descriptor ? 0 : b.crc);
        put32(out_, e.descriptor ? 0 : e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.csize));
        put32(out_, e.descriptor ? 0 : e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.usize));
        put16(out_, static_cast<uint32_t>(lname.size()));
        put16(out_, static_cast<uint32_t>(lextra.size()));
        append(out_, lname);
        append(out_, lextra);
        append(out_, payload);
        if (e.descriptor) {
            if (e.descriptor_signature) put32(out_, 0x08074b50);
            put32(out_, b.crc);
            put32(out_, static_cast<uint32_t>(b.csize));
            put32(out_, static_cast<uint32_t>(b.usize));
        }
        built_.push_back(b);
        return *this;
    }

    ZipBuilder &add(const std::string &name, const std::string &data, uint16_t method = 0) {
        EntrySpec e;
        e.name = name;
        e.data = bytes_of(data);
        e.method = method;
        return add(e);
    }

    // Central directory and end records. count overrides the declared count.
    Bytes finish(const std::string &comment = "", std::optional<uint64_t> count = std::nullopt) {
        Bytes out = out_;
        const uint64_t cd_off = out.size();
        bool any64 = false;
        for (const Built &b : built_) {
            const EntrySpec &e = b.entry;
            Bytes extra = e.central_extra;
            if (e.zip64) {
                any64 = true;
                put16(extra, 0x0001);
                put16(extra, 24);
                put64(extra, b.usize);
                put64(extra, b.csize);
                put64(extra, b.offset);
            }
            put32(out, 0x02014b50);
            put16(out, e.made_by);
            put16(out, e.zip64 ? 45 : 20);
            put16(out, b.flags);
            put16(out, e.method);
            put16(out, e.dos_time);
            put16(out, e.dos_date);
            put32(out, b.crc);
            put32(out, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.csize));
            put32(out, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.usize));
            put16(out, static_cast<uint32_t>(e.name.size()));
            put16(out, static_cast<uint32_t>(extra.size()));
            put16(out, 0);
            put16(out, 0);
            put16(out, 0);
            put32(out, e.external_attr);
            put32(out, e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.offset - prefix_len()));
            append(out, e.name);
            append(out, extra);
        }
        const uint64_t cd_size = out.size() - cd_off;
        const uint64_t n = count.value_or(built_.size());
        if (any64) {
            const uint64_t rec = out.size();
            put32(out, 0x06064b50);
            put64(out, 44);
            put16(out, 45);
            put16(out, 45);
            put32(out, 0);
            put32(out, 0);
            put64(out, n);
            put64(out, n);
            put64(out, cd_size);
            put64(out, cd_off);
            put32(out, 0x07064b50);
            put32(out, 0);
            put64(out, rec);
            put32(out, 1);
        }
        put32(out, 0x06054b50);
        put16(out, 0);
        put16(out, 0);
        put16(out, any64 ? 0xFFFF : static_cast<uint32_t>(n & 0xFFFF));
        put16(out, any64 ? 0xFFFF : static_cast<uint32_t>(n & 0xFFFF));
        put32(out, any64 ? 0xFFFFFFFF : static_cast<uint32_t>(cd_size));
        put32(out, any64 ? 0xFFFFFFFF : static_cast<uint32_t>(cd_off - prefix_len()));
        put16(out, static_cast<uint32_t>(comment.size()));
        append(out, comment);
        return out;
    }

    // Offsets of the entries added so far (for tests that cut or corrupt).
    uint64_t offset_of(size_t i) const { return built_.at(i).offset; }
    uint64_t data_offset_of(size_t i) const {
        const Built &b = built_.at(i);
        return b.offset + 30 + b.entry.local_name.value_or(b.entry.name).size() +
               b.entry.local_extra.size() + (b.entry.zip64 ? 20 : 0);
    }

    // Writers that put a stub in front usually keep offsets relative to
    // the archive proper; so do we.
    ZipBuilder &relative_to_stub(bool on) {
        relative_ = on;
        return *this;
    }

private:
    struct Built {
        EntrySpec entry;
        uint64_t offset = 0, csize = 0, usize = 0;
        uint32_t crc = 0;
        uint16_t flags = 0;
    };
    uint64_t prefix_len() const { return relative_ && !built_.empty() ? built_.front().offset : 0; }

    Bytes out_;
    std::vector<Built> built_;
    bool relative_ = false;
};

} // namespace uztest
