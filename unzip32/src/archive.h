// The zip container: end records, central directory and local headers.
// The central directory is the source of truth; local headers are only
// checked against it and used to find where each entry's data begins.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "source.h"

namespace uz {

// Modification time: Unix seconds from an extra field when there is one,
// else the DOS fields (local time), converted by the file layer.
struct Stamp {
    bool unix_valid = false;
    int64_t unix_sec = 0;
    uint32_t nsec = 0;
    uint16_t dos_date = 0;
    uint16_t dos_time = 0;
};

// The largest file time Windows accepts (100 ns units since 1601): times in
// archives are clamped to it, whatever a forged extra field says.
inline constexpr uint64_t kFiletimeMax = 0x7FFFFFFFFFFFFFFFull;

// The Unix time of a stamp (unix_valid) in Windows file-time units, clamped
// to 0 .. kFiletimeMax.
uint64_t filetime_of(const Stamp &st);

struct Entry {
    std::string raw_name;  // bytes as stored
    std::string name;      // UTF-8
    uint32_t index = 0;    // position in the central directory
    uint16_t made_by = 0;
    uint16_t flags = 0;
    uint16_t method = 0;
    uint16_t dos_time = 0;
    uint16_t dos_date = 0;
    uint32_t crc = 0;
    uint32_t external_attr = 0;
    uint64_t csize = 0;
    uint64_t usize = 0;
    uint64_t header_offset = 0; // already corrected for data in front of the archive
    uint64_t data_offset = 0;   // known after check_local_headers
    uint64_t data_end = 0;
    Stamp stamp;
    const char *problem = nullptr; // set: the entry cannot be extracted, and why

    bool encrypted() const { return flags & 1; }
    bool has_descriptor() const { return flags & 8; }
    // Unix mode bits when the writer recorded them, else 0.
    uint32_t unix_mode() const;
    bool is_folder() const;
    bool is_symlink() const;
};

enum class ArchiveStatus {
    Ok,
    NotZip,      // no end record: not an archive, or cut short
    Damaged,     // end records or central directory inconsistent
    Unsupported, // spread over several disks
};

struct Archive {
    std::vector<Entry> entries;
    uint64_t declared_count = 0;
    uint64_t cd_start = 0; // where the central directory really is
    uint64_t shift = 0;    // bytes in front of the archive proper
    bool zip64 = false;
};

struct ReadResult {
    ArchiveStatus status = ArchiveStatus::Ok;
    const char *message = "";
};

// Finds the end records and reads the central directory. Memory use is
// bounded by the size of the input, never by the counts it declares.
ReadResult read_central_directory(Source &src, Archive &ar);

// Reads every entry's local header, marks entries whose header is missing or
// disagrees with the central directory, and refuses archives in which the
// data of one entry overlaps another entry or the central directory.
ReadResult check_local_headers(Source &src, Archive &ar);

} // namespace uz
