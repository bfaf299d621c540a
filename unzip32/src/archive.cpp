#include "archive.h"

#include <algorithm>
#include <numeric>

#include <zlib.h>

#include "bytes.h"
#include "names.h"

namespace uz {
namespace {

constexpr uint32_t kLocalSig = 0x04034b50;
constexpr uint32_t kCentralSig = 0x02014b50;
constexpr uint32_t kEndSig = 0x06054b50;
constexpr uint32_t kEnd64Sig = 0x06064b50;
constexpr uint32_t kLocator64Sig = 0x07064b50;
constexpr size_t kEndSize = 22;
constexpr size_t kLocatorSize = 20;
constexpr size_t kEnd64Size = 56;
constexpr size_t kCentralSize = 46;
constexpr size_t kLocalSize = 30;
constexpr uint32_t kSat32 = 0xFFFFFFFF;

constexpr int64_t kFiletimeToUnix = 11644473600LL;

struct Extra {
    const uint8_t *p;
    size_t n;
};

// Calls fn(id, data, len) for each well-formed block; a torn last block is ignored.
template <class Fn> void for_each_extra(Extra e, Fn fn) {
    size_t i = 0;
    while (i + 4 <= e.n) {
        const uint16_t id = le16(e.p + i);
        const uint16_t len = le16(e.p + i + 2);
        if (len > e.n - i - 4) break;
        fn(id, e.p + i + 4, static_cast<size_t>(len));
        i += 4u + len;
    }
}

// Extended timestamp (0x5455) and NTFS (0x000a) blocks carry a UTC time.
void read_time_extras(Extra e, Stamp &st) {
    for_each_extra(e, [&](uint16_t id, const uint8_t *d, size_t len) {
        if (id == 0x5455 && len >= 5 && (d[0] & 1)) {
            st.unix_valid = true;
            st.unix_sec = static_cast<int32_t>(le32(d + 1));
            st.nsec = 0;
        } else if (id == 0x000a && len >= 4 + 4 + 24 && !st.unix_valid) {
            size_t i = 4;
            while (i + 4 <= len) {
                const uint16_t tag = le16(d + i);
                const uint16_t tlen = le16(d + i + 2);
                if (tlen > len - i - 4) break;
                if (tag == 1 && tlen >= 24) {
                    // A forged time beyond what Windows accepts becomes its
                    // largest; every later conversion then stays in range.
                    const uint64_t ft = std::min(le64(d + i + 4), kFiletimeMax);
                    st.unix_valid = true;
                    st.unix_sec = static_cast<int64_t>(ft / 10000000) - kFiletimeToUnix;
                    st.nsec = static_cast<uint32_t>(ft % 10000000) * 100;
                    break;
                }
                i += 4u + tlen;
            }
        }
    });
}

} // namespace

uint64_t filetime_of(const Stamp &st) {
    constexpr int64_t kUnits = 10000000; // per second
    constexpr int64_t kMaxSec = static_cast<int64_t>(kFiletimeMax / kUnits) - kFiletimeToUnix;
    if (st.unix_sec < -kFiletimeToUnix) return 0;
    if (st.unix_sec > kMaxSec) return kFiletimeMax;
    const uint64_t whole = static_cast<uint64_t>(st.unix_sec + kFiletimeToUnix) * kUnits;
    const uint64_t part = (st.nsec < 1000000000u ? st.nsec : 999999999u) / 100;
    return part > kFiletimeMax - whole ? kFiletimeMax : whole + part;
}

namespace {

// Replaces saturated 32-bit fields by their ZIP64 values, in the fixed order
// the format gives them. False when a needed value is missing.
bool apply_zip64(Extra e, uint64_t &usize, bool usize_sat, uint64_t &csize, bool csize_sat,
                 uint64_t *offset, bool offset_sat) {
    bool found = false, ok = false;
    for_each_extra(e, [&](uint16_t id, const uint8_t *d, size_t len) {
        if (id != 0x0001 || found) return;
        found = true;
        size_t i = 0;
        auto take = [&](uint64_t &v) {
            if (i + 8 > len) return false;
            v = le64(d + i);
            i += 8;
            return true;
        };
        ok = (!usize_sat || take(usize)) && (!csize_sat || take(csize)) &&
             (!offset_sat || take(*offset));
    });
    return !(usize_sat || csize_sat || offset_sat) || (found && ok);
}

std::string decode_name(const Entry &en, Extra extra) {
    if (en.flags & 0x0800) return en.raw_name;
    std::string unicode;
    for_each_extra(extra, [&](uint16_t id, const uint8_t *d, size_t len) {
        if (id != 0x7075 || len < 5 || d[0] != 1 || !unicode.empty()) return;
        const uint32_t want = le32(d + 1);
        const uint32_t got = static_cast<uint32_t>(
            crc32(0, reinterpret_cast<const Bytef *>(en.raw_name.data()),
                  static_cast<uInt>(en.raw_name.size())));
        // A stale path field (name changed by a later tool) is ignored.
        if (want == got) unicode.assign(reinterpret_cast<const char *>(d + 5), len - 5);
    });
    if (!unicode.empty() && valid_utf8(unicode)) return unicode;
    // Unix writers store names in the (nowadays UTF-8) locale without saying so.
    if ((en.made_by >> 8) == 3 && valid_utf8(en.raw_name)) return en.raw_name;
    return cp437_to_utf8(en.raw_name);
}

struct EndRecord {
    uint64_t pos = 0;
    uint64_t count = 0;
    uint64_t cd_size = 0;
    uint64_t cd_offset = 0;
    uint32_t disk = 0, cd_disk = 0;
};

bool find_end(Window &w, EndRecord &end) {
    const uint64_t size = w.size();
    if (size < kEndSize) return false;
    const uint64_t lowest = size > kEndSize + 0xFFFF ? size - kEndSize - 0xFFFF : 0;
    const size_t span = static_cast<size_t>(size - lowest);
    const uint8_t *tail = w.view(lowest, span);
    if (!tail) return false;
    // The last record whose comment ends exactly at the end of the input;
    // failing that (bytes appended after the archive), the last one whose
    // comment fits. A comment may itself contain the signature.
    for (int exact = 1; exact >= 0; --exact) {
        for (size_t i = span - kEndSize + 1; i-- > 0;) {
            if (le32(tail + i) != kEndSig) continue;
            const uint16_t comment = le16(tail + i + 20);
            if (exact ? i + kEndSize + comment != span : i + kEndSize + comment > span) continue;
            const uint8_t *p = tail + i;
            end.pos = lowest + i;
            end.disk = le16(p + 4);
            end.cd_disk = le16(p + 6);
            end.count = le16(p + 10);
            end.cd_size = le32(p + 12);
            end.cd_offset = le32(p + 16);
            return true;
        }
    }
    return false;
}

} // namespace

uint32_t Entry::unix_mode() const {
    const uint32_t mode = external_attr >> 16;
    if ((made_by >> 8) == 3 || (external_attr & 0x8000)) return mode;
    return 0;
}

bool Entry::is_folder() const {
    if (!name.empty() && (name.back() == '/' || name.back() == '\\')) return true;
    const uint32_t mode = unix_mode();
    if (mode && (mode & 0170000) == 0040000 && usize == 0) return true;
    return (external_attr & 0x10) && usize == 0 && mode == 0;
}

bool Entry::is_symlink() const { return (unix_mode() & 0170000) == 0120000; }

ReadResult read_central_directory(Source &src, Archive &ar) {
    Window w(src, 128 * 1024, 128 * 1024);
    EndRecord end;
    if (!find_end(w, end)) return {ArchiveStatus::NotZip, "no end of central directory found"};

    uint64_t cd_end_expected = end.pos;
    uint64_t count = end.count, cd_size = end.cd_size, cd_offset = end.cd_offset;
    uint32_t disk = end.disk, cd_disk = end.cd_disk;

    const uint8_t *loc = end.pos >= kLocatorSize ? w.view(end.pos - kLocatorSize, kLocatorSize)
                                                 : nullptr;
    if (loc && le32(loc) == kLocator64Sig) {
        const uint64_t locator_pos = end.pos - kLocatorSize;
        const uint64_t declared = le64(loc + 8);
        // Data in front of the archive moves the record; it then sits right
        // before the locator.
        const uint8_t *rec = nullptr;
        uint64_t rec_pos = 0;
        for (uint64_t cand : {declared, locator_pos >= kEnd64Size ? locator_pos - kEnd64Size
                                                                  : uint64_t(-1)}) {
            if (cand == uint64_t(-1) || cand > locator_pos || locator_pos - cand < kEnd64Size)
                continue;
            const uint8_t *p = w.view(cand, kEnd64Size);
            if (p && le32(p) == kEnd64Sig) {
                rec = p;
                rec_pos = cand;
                break;
            }
        }
        if (!rec) return {ArchiveStatus::Damaged, "ZIP64 end record missing"};
        disk = le32(rec + 16);
        cd_disk = le32(rec + 20);
        count = le64(rec + 32);
        cd_size = le64(rec + 40);
        cd_offset = le64(rec + 48);
        cd_end_expected = rec_pos;
        ar.zip64 = true;
    }
    if (disk != 0 || cd_disk != 0)
        return {ArchiveStatus::Unsupported, "archives spread over several disks are not supported"};
    if (cd_size > cd_end_expected || cd_offset > cd_end_expected - cd_size)
        return {ArchiveStatus::Damaged, "central directory lies outside the archive"};

    auto has_cd_sig = [&](uint64_t at) {
        const uint8_t *p = w.view(at, 4);
        return p && le32(p) == kCentralSig;
    };
    uint64_t shift = cd_end_expected - cd_size - cd_offset;
    if (shift != 0 && cd_size > 0 && !has_cd_sig(cd_offset + shift)) {
        if (has_cd_sig(cd_offset))
            shift = 0; // something sits between the directory and the end record
        else
            return {ArchiveStatus::Damaged, "central directory not found"};
    }
    ar.shift = shift;
    ar.cd_start = cd_offset + shift;
    ar.declared_count = count;

    // Read the directory whole: its size was just bounded by the input's,
    // but a 32-bit process cannot hold every directory a 64-bit file can.
    std::vector<uint8_t> owned;
    if (cd_size > owned.max_size())
        return {ArchiveStatus::Unsupported, "central directory too large for this system"};
    const uint8_t *cd = nullptr;
    if (const uint8_t *d = src.direct()) {
        cd = d + ar.cd_start;
    } else {
        owned.resize(static_cast<size_t>(cd_size));
        if (src.read_at(ar.cd_start, owned.data(), owned.size()) != owned.size())
            return {ArchiveStatus::Damaged, "central directory cannot be read"};
        cd = owned.data();
    }

    ar.entries.clear();
    ar.entries.reserve(static_cast<size_t>(std::min<uint64_t>(count, cd_size / kCentralSize)));
    size_t i = 0;
    const size_t n = static_cast<size_t>(cd_size);
    while (i < n) {
        if (n - i < kCentralSize || le32(cd + i) != kCentralSig)
            return {ArchiveStatus::Damaged, "central directory damaged"};
        const uint8_t *p = cd + i;
        const size_t name_len = le16(p + 28), extra_len = le16(p + 30), comment_len = le16(p + 32);
        const size_t rec_len = kCentralSize + name_len + extra_len + comment_len;
        if (rec_len > n - i) return {ArchiveStatus::Damaged, "central directory damaged"};

        Entry en;
        en.index = static_cast<uint32_t>(ar.entries.size());
        en.made_by = le16(p + 4);
        en.flags = le16(p + 8);
        en.method = le16(p + 10);
        en.dos_time = le16(p + 12);
        en.dos_date = le16(p + 14);
        en.crc = le32(p + 16);
        const uint32_t csize32 = le32(p + 20), usize32 = le32(p + 24);
        const uint16_t disk_start = le16(p + 34);
        en.external_attr = le32(p + 38);
        const uint32_t offset32 = le32(p + 42);
        en.raw_name.assign(reinterpret_cast<const char *>(p + kCentralSize), name_len);
        const Extra extra{p + kCentralSize + name_len, extra_len};

        en.csize = csize32;
        en.usize = usize32;
        uint64_t offset = offset32;
        if (!apply_zip64(extra, en.usize, usize32 == kSat32, en.csize, csize32 == kSat32,
                         &offset, offset32 == kSat32))
            en.problem = "ZIP64 sizes missing";
        else if (disk_start != 0 && disk_start != 0xFFFF)
            en.problem = "entry lies on another disk";
        else if (offset > ar.cd_start || shift > ar.cd_start - offset)
            en.problem = "entry offset lies outside the archive";
        en.header_offset = offset + shift;
        en.name = decode_name(en, extra);
        en.stamp.dos_date = en.dos_date;
        en.stamp.dos_time = en.dos_time;
        read_time_extras(extra, en.stamp);
        ar.entries.push_back(std::move(en));
        i += rec_len;
    }
    return {};
}

ReadResult check_local_headers(Source &src, Archive &ar) {
    // Headers are small and usually close together: modest read-ahead.
    Window w(src, kLocalSize + 2 * 0xFFFF, 16 * 1024);
    const uint64_t size = src.size();
    for (Entry &en : ar.entries) {
        if (en.problem) continue;
        const uint8_t *p = w.view(en.header_offset, kLocalSize);
        if (!p || le32(p) != kLocalSig) {
            en.problem = "local header missing";
            continue;
        }
        const uint16_t flags = le16(p + 6), method = le16(p + 8);
        const uint32_t crc = le32(p + 14), csize32 = le32(p + 18), usize32 = le32(p + 22);
        const size_t name_len = le16(p + 26), extra_len = le16(p + 28);
        p = w.view(en.header_offset, kLocalSize + name_len + extra_len);
        if (!p) {
            en.problem = "local header cut short";
            continue;
        }
        const std::string_view local_name(reinterpret_cast<const char *>(p + kLocalSize), name_len);
        if (local_name != en.raw_name || method != en.method || (flags & 1) != (en.flags & 1)) {
            en.problem = "local header disagrees with the central directory";
            continue;
        }
        const Extra extra{p + kLocalSize + name_len, extra_len};
        if (!(flags & 8)) {
            // Sizes the writer left saturated are compared through its ZIP64 block, if any.
            uint64_t lu = usize32, lc = csize32;
            apply_zip64(extra, lu, usize32 == kSat32, lc, csize32 == kSat32, nullptr, false);
            const bool usize_known = usize32 != kSat32 || lu != kSat32;
            const bool csize_known = csize32 != kSat32 || lc != kSat32;
            if (crc != en.crc || (usize_known && lu != en.usize) || (csize_known && lc != en.csize)) {
                en.problem = "local header disagrees with the central directory";
                continue;
            }
        }
        if (!en.stamp.unix_valid) read_time_extras(extra, en.stamp);
        en.data_offset = en.header_offset + kLocalSize + name_len + extra_len;
        if (en.csize > size || en.data_offset > size - en.csize) {
            en.problem = "entry data cut short";
            continue;
        }
        en.data_end = en.data_offset + en.csize;
    }

    // Entries that share bytes are the shape of the overlapping zip bomb; an
    // honest writer never produces them, so the whole archive is refused.
    std::vector<const Entry *> order;
    order.reserve(ar.entries.size());
    for (const Entry &en : ar.entries)
        if (!en.problem) order.push_back(&en);
    std::sort(order.begin(), order.end(), [](const Entry *a, const Entry *b) {
        return a->header_offset < b->header_offset;
    });
    for (size_t k = 0; k < order.size(); ++k) {
        const uint64_t limit = k + 1 < order.size() ? order[k + 1]->header_offset : ar.cd_start;
        if (order[k]->data_end > limit)
            return {ArchiveStatus::Damaged, "entries overlap (possible zip bomb)"};
    }
    return {};
}

} // namespace uz
