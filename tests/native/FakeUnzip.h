// A stand-in for unzip32.dll, registered with the fake runtime: it keeps a
// copy of the bytes of every record it is handed and can act like the
// library mid-extraction by calling back through the table it received.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string_view>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "FakeRuntime.h"
#include "unzip32.h"

namespace cm::test {

struct FakeUnzip {
    // Scripted behaviour.
    std::int32_t version_answer = UZ_BAD_PARAMS;
    std::int32_t unzip_answer = UZ_OK;
    std::function<void(UzCallbacks&)> during;

    // What the library was given.
    int version_calls = 0;
    std::vector<unsigned char> version_bytes;
    int unzip_calls = 0;
    int list_calls = 0;
    // What a listing reports, an entry at a time: the path the library
    // writes it to (empty: it would not write it), its size, and its name
    // in the archive (empty: the path).
    struct Listed {
        std::string path;
        std::uint64_t size = 0;
        std::string name = {};
    };
    std::vector<Listed> listing{{"MySQL\\bin\\mysqld-nt.exe", 1000}};
    std::int32_t list_answer = UZ_OK;
    std::optional<std::uint64_t> held;  // the entries the archive holds; unset: as many as listed
    std::string list_archive;
    // What an extraction of chosen entries (an include list, '?' one
    // character) writes straight into its folder, by the listing's name. It
    // is not the setup's extraction: it counts as none and calls nothing back.
    std::map<std::string, std::string> contents;
    FakeRuntime* runtime = nullptr;
    std::thread::id unzip_thread;     // where the extraction ran
    std::int32_t include_count = -1;
    std::int32_t exclude_count = -1;
    std::vector<const char*> include_names;
    std::vector<const char*> exclude_names;
    bool lists_distinct = false;
    std::vector<unsigned char> options_bytes;
    std::vector<unsigned char> callbacks_bytes;
    UzOptions options{};
    UzCallbacks callbacks{};
    std::string archive;
    std::string folder;
};

inline FakeUnzip g_fake_unzip;

inline std::vector<unsigned char> BytesOf(const void* record, std::size_t size) {
    const auto* p = static_cast<const unsigned char*>(record);
    return {p, p + size};
}

inline std::int32_t UZ_CALL FakeUzpVersion2(UzVersion* version) {
    FakeUnzip& lib = g_fake_unzip;
    ++lib.version_calls;
    lib.version_bytes = BytesOf(version, sizeof(UzVersion));
    // Fill it in as a real library would; the caller must not depend on it.
    std::memcpy(version->beta_level, "beta", 5);
    version->unzip[0] = 6;
    version->flags = 0xFFFFFFFFu;
    return lib.version_answer;
}

inline std::int32_t UZ_CALL FakeWizSingleEntryUnzip(std::int32_t include_count, UzNameList* include,
                                                    std::int32_t exclude_count, UzNameList* exclude,
                                                    UzOptions* options, UzCallbacks* callbacks) {
    FakeUnzip& lib = g_fake_unzip;
    if (include_count > 0) {
        const auto matches = [](std::string_view pattern, std::string_view name) {
            return pattern.size() == name.size() &&
                   std::equal(name.begin(), name.end(), pattern.begin(), [](char n, char p) { return p == '?' || p == n; });
        };
        for (const auto& [name, bytes] : lib.contents) {
            if (!std::any_of(*include, *include + include_count, [&](const char* p) { return matches(p, name); })) continue;
            const std::string file = name.substr(name.find_last_of('\\') + 1);
            lib.runtime->AppendToFile(std::wstring(options->folder, options->folder + std::strlen(options->folder)) +
                                          L"\\" + std::wstring(file.begin(), file.end()),
                                      bytes);
        }
        return UZ_OK;
    }
    ++lib.unzip_calls;
    lib.include_count = include_count;
    lib.exclude_count = exclude_count;
    lib.include_names.assign(std::begin(*include), std::end(*include));
    lib.exclude_names.assign(std::begin(*exclude), std::end(*exclude));
    lib.lists_distinct = include != exclude;
    lib.options_bytes = BytesOf(options, sizeof(UzOptions));
    lib.callbacks_bytes = BytesOf(callbacks, sizeof(UzCallbacks));
    lib.options = *options;
    lib.callbacks = *callbacks;
    lib.archive = options->archive ? options->archive : "<null>";
    lib.folder = options->folder ? options->folder : "<null>";
    lib.unzip_thread = std::this_thread::get_id();
    if (lib.during) lib.during(*callbacks);
    // Scribble over what the caller handed in, as the library may.
    callbacks->statistics.entry_count = 99;
    options->flag1 = 7;
    return lib.unzip_answer;
}

inline std::int32_t UZ_CALL FakeUzListEntries(const char* archive, UzPrintFn print, UzEntryFn entry, void* context,
                                              std::uint64_t* held) {
    FakeUnzip& lib = g_fake_unzip;
    ++lib.list_calls;
    lib.list_archive = archive;
    *held = lib.held.value_or(lib.listing.size());
    if (print != nullptr && lib.list_answer != UZ_OK) print("error: the fake listing failed\n", 31);
    for (const auto& listed : lib.listing) {
        const std::string& name = listed.name.empty() ? listed.path : listed.name;
        if (entry(context, listed.path.empty() ? nullptr : listed.path.c_str(), name.c_str(), listed.size) != 0) {
            return UZ_ABORTED;
        }
    }
    return lib.list_answer;
}

// Resets the fake and registers its entry points under unzip32.dll.
inline void InstallFakeUnzip(FakeRuntime& rt) {
    g_fake_unzip = FakeUnzip{};
    g_fake_unzip.runtime = &rt;
    rt.AddLibraryFunction(L"unzip32.dll", "UzListEntries", reinterpret_cast<void*>(&FakeUzListEntries));
    rt.AddLibraryFunction(L"unzip32.dll", "UzpVersion2", reinterpret_cast<void*>(&FakeUzpVersion2));
    rt.AddLibraryFunction(L"unzip32.dll", "Wiz_SingleEntryUnzip",
                          reinterpret_cast<void*>(&FakeWizSingleEntryUnzip));
}

}  // namespace cm::test
