// Builds zip archives in memory, including shapes no honest tool writes:
// the hostile cases of the tests are made here, on any platform. Large
// archives are streamed to a file instead (ZipFileWriter).
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <stdexcept>
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

// The fields a local header and its directory entry share.
struct Header {
    uint16_t version = 20, flags = 0, method = 0, time = 0x6000, date = 0x5321;
    uint32_t crc = 0, csize = 0, usize = 0;
};

inline void put_fields(Bytes &b, const Header &h) {
    put16(b, h.flags);
    put16(b, h.method);
    put16(b, h.time);
    put16(b, h.date);
    put32(b, h.crc);
    put32(b, h.csize);
    put32(b, h.usize);
}

inline void put_local(Bytes &b, const Header &h, const std::string &name, const Bytes &extra) {
    put32(b, 0x04034b50);
    put16(b, h.version);
    put_fields(b, h);
    put16(b, static_cast<uint32_t>(name.size()));
    put16(b, static_cast<uint32_t>(extra.size()));
    append(b, name);
    append(b, extra);
}

inline void put_central(Bytes &b, uint16_t made_by, const Header &h, const std::string &name, const Bytes &extra,
                        uint32_t external_attr, uint32_t offset) {
    put32(b, 0x02014b50);
    put16(b, made_by);
    put16(b, h.version);
    put_fields(b, h);
    put16(b, static_cast<uint32_t>(name.size()));
    put16(b, static_cast<uint32_t>(extra.size()));
    put16(b, 0);
    put16(b, 0);
    put16(b, 0);
    put32(b, external_attr);
    put32(b, offset);
    append(b, name);
    append(b, extra);
}

inline void put_end(Bytes &b, uint16_t count, uint32_t cd_size, uint32_t cd_off, const std::string &comment) {
    put32(b, 0x06054b50);
    put16(b, 0);
    put16(b, 0);
    put16(b, count);
    put16(b, count);
    put32(b, cd_size);
    put32(b, cd_off);
    put16(b, static_cast<uint32_t>(comment.size()));
    append(b, comment);
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
        put_local(out_,
                  {static_cast<uint16_t>(e.zip64 ? 45 : 20), flags, e.method, e.dos_time, e.dos_date,
                   e.descriptor ? 0 : b.crc,
                   e.descriptor ? 0 : e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.csize),
                   e.descriptor ? 0 : e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.usize)},
                  lname, lextra);
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
            put_central(out, e.made_by,
                        {static_cast<uint16_t>(e.zip64 ? 45 : 20), b.flags, e.method, e.dos_time, e.dos_date, b.crc,
                         e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.csize),
                         e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.usize)},
                        e.name, extra, e.external_attr,
                        e.zip64 ? 0xFFFFFFFF : static_cast<uint32_t>(b.offset - prefix_len()));
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
        put_end(out, static_cast<uint16_t>(any64 ? 0xFFFF : n & 0xFFFF),
                any64 ? 0xFFFFFFFF : static_cast<uint32_t>(cd_size),
                any64 ? 0xFFFFFFFF : static_cast<uint32_t>(cd_off - prefix_len()), comment);
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

// Writes an archive straight to a file, entry by entry and each entry in
// pieces, so that archives of hundreds of megabytes cost a few megabytes of
// memory (the Windows tests run as 32-bit programs). Each entry's data comes
// from a generator that fills the next piece; the local header is written
// first and its CRC and sizes are set once the data is through, as archivers
// do when they write to a file. Archives and entries stay below 4 GiB.
class ZipFileWriter {
public:
    // Fills buf with the n bytes of the entry that start at offset.
    using Generator = std::function<void(uint8_t *buf, size_t n, uint64_t offset)>;
    struct Written {
        std::string name;
        uint64_t size = 0;
        uint32_t crc = 0;
    };

    explicit ZipFileWriter(const std::filesystem::path &path)
        : out_(path, std::ios::binary | std::ios::trunc) {
        if (!out_) throw std::runtime_error("cannot create " + path.string());
    }

    ZipFileWriter &add(const std::string &name, uint64_t size, uint16_t method, const Generator &fill,
                       int level = 1) {
        Central c;
        c.name = name;
        c.header.method = method;
        c.offset = tell();
        Bytes head;
        put_local(head, c.header, name, {}); // CRC and sizes: set below, once known
        write(head);

        z_stream z{};
        if (method == 8 && deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
            throw std::runtime_error("deflateInit2");
        Bytes in(kPiece), packed(method == 8 ? kPiece + kPiece / 8 + 64 : 0);
        uLong crc = crc32(0, nullptr, 0);
        uint64_t done = 0, csize = 0;
        do {
            const size_t n = static_cast<size_t>(std::min<uint64_t>(kPiece, size - done));
            fill(in.data(), n, done);
            crc = crc32(crc, in.data(), static_cast<uInt>(n));
            done += n;
            if (method != 8) {
                out_.write(reinterpret_cast<const char *>(in.data()), static_cast<std::streamsize>(n));
                csize += n;
                continue;
            }
            z.next_in = in.data();
            z.avail_in = static_cast<uInt>(n);
            const int flush = done == size ? Z_FINISH : Z_NO_FLUSH;
            int rc = Z_OK;
            do {
                z.next_out = packed.data();
                z.avail_out = static_cast<uInt>(packed.size());
                rc = deflate(&z, flush);
                const size_t got = packed.size() - z.avail_out;
                out_.write(reinterpret_cast<const char *>(packed.data()), static_cast<std::streamsize>(got));
                csize += got;
            } while (z.avail_out == 0 || (flush == Z_FINISH && rc != Z_STREAM_END));
        } while (done < size);
        if (method == 8) deflateEnd(&z);

        if (c.offset + 30 + name.size() + csize >= 0xFFFFFFFFull || size >= 0xFFFFFFFFull)
            throw std::runtime_error("the streamed archive stays below 4 GiB");
        c.header.crc = static_cast<uint32_t>(crc);
        c.header.csize = static_cast<uint32_t>(csize);
        c.header.usize = static_cast<uint32_t>(size);
        head.clear();
        put_local(head, c.header, name, {});
        const std::streamoff end = out_.tellp();
        out_.seekp(static_cast<std::streamoff>(c.offset));
        write(head);
        out_.seekp(end);
        entries_.push_back(c);
        return *this;
    }

    ZipFileWriter &add(const std::string &name, const std::string &data, uint16_t method = 0) {
        return add(name, data.size(), method, [&](uint8_t *buf, size_t n, uint64_t at) {
            std::memcpy(buf, data.data() + at, n);
        });
    }

    // Writes the directory and closes the file; answers every entry with its
    // size and CRC, for checking what an extraction made of them.
    std::vector<Written> finish() {
        const uint64_t cd_off = tell();
        Bytes cd;
        for (const Central &c : entries_)
            put_central(cd, 20, c.header, c.name, {}, 0, static_cast<uint32_t>(c.offset));
        put_end(cd, static_cast<uint16_t>(entries_.size()), static_cast<uint32_t>(cd.size()),
                static_cast<uint32_t>(cd_off), "");
        write(cd);
        out_.close();
        if (!out_) throw std::runtime_error("cannot write the archive");
        std::vector<Written> all;
        for (const Central &c : entries_) all.push_back({c.name, c.header.usize, c.header.crc});
        return all;
    }

private:
    static constexpr size_t kPiece = 1 << 20;
    struct Central {
        std::string name;
        Header header;
        uint64_t offset = 0;
    };
    uint64_t tell() { return static_cast<uint64_t>(static_cast<std::streamoff>(out_.tellp())); }
    void write(const Bytes &b) {
        out_.write(reinterpret_cast<const char *>(b.data()), static_cast<std::streamsize>(b.size()));
        if (!out_) throw std::runtime_error("cannot write the archive");
    }

    std::ofstream out_;
    std::vector<Central> entries_;
};

} // namespace uztest
