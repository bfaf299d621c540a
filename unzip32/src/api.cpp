// The three exports: record checks, then the engine over the platform layer.
#include <cstring>
#include <new>
#include <string>

#include <zlib.h>
// zlib's macro of this name would hide the version record's field.
#undef zlib_version

#include "api.h"
#include "extract.h"
#include "platform.h"
#include "unzip32.h"

namespace {

void copy_field(char *dst, size_t size, const char *text) {
    std::memset(dst, 0, size);
    std::strncpy(dst, text, size - 1);
}

void report(UzPrintFn print, uz::TextConverter conv, const std::string &text) {
    if (print) {
        const std::string t = conv(text, uz::kPrintMax);
        print(t.c_str(), static_cast<int32_t>(t.size()));
    }
}

bool read_patterns(int32_t count, const UzNameList *list, std::vector<std::string> &out) {
    if (count == 0) return true;
    if (count < 0 || count > UZ_NAME_LIST_SIZE || !list) return false;
    for (int32_t i = 0; i < count; ++i) {
        const char *p = (*list)[i];
        if (!p) return false;
        out.emplace_back(p, strnlen(p, 4096));
    }
    return true;
}

} // namespace

extern "C" UZ_EXPORT int32_t UZ_CALL UzpVersion2(UzVersion *version) {
    if (!version || version->length != sizeof(UzVersion)) return UZ_BAD_PARAMS;
    version->flags = 0;
    copy_field(version->beta_level, sizeof version->beta_level, "");
    copy_field(version->date, sizeof version->date, UNZIP32_DATE);
    copy_field(version->zlib_version, sizeof version->zlib_version, zlibVersion());
    const uint8_t v[4] = {UNZIP32_VERSION_MAJOR, UNZIP32_VERSION_MINOR, UNZIP32_VERSION_PATCH, 0};
    std::memcpy(version->unzip, v, 4);
    std::memcpy(version->zipinfo, v, 4);
    std::memset(version->os2dll, 0, 4);
    std::memcpy(version->windll, v, 4);
    return UZ_OK;
}

int32_t uz::single_entry_unzip(int32_t include_count, UzNameList *include, int32_t exclude_count,
                               UzNameList *exclude, UzOptions *options, UzCallbacks *callbacks,
                               unsigned threads) {
    if (!options || !callbacks) return UZ_BAD_PARAMS;
    const int level = options->message_level <= 0 ? 0 : options->message_level == 1 ? 1 : 2;
    const bool utf8 = options->utf8 != 0;
    const uz::TextConverter conv = utf8 ? uz::identity_text : uz::callback_text;
    const auto say = [&](const std::string &text) { report(level <= 1 ? callbacks->print : nullptr, conv, text); };
    try {
        uz::Settings s;
        s.threads = threads;
        s.message_level = level;
        s.list_only = options->list_only != 0;
        s.keep_folders = options->keep_folders != 0;
        s.statistics = &callbacks->statistics;
        if (!options->archive || !*options->archive ||
            !read_patterns(include_count, include, s.include) ||
            !read_patterns(exclude_count, exclude, s.exclude)) {
            say("error: invalid parameters\n");
            return UZ_BAD_PARAMS;
        }
        std::string error;
        std::unique_ptr<uz::Source> src = uz::open_archive_file(options->archive, utf8, error);
        if (!src) {
            say("error: cannot open the archive: " + error + "\n");
            return UZ_NOT_ZIP;
        }
        std::unique_ptr<uz::Sink> sink;
        if (!s.list_only) {
            sink = uz::open_folder_sink(options->folder, utf8, error);
            if (!sink) {
                say("error: cannot use the extraction folder: " + error + "\n");
                return UZ_DISK;
            }
        }
        return uz::run_extraction(*src, sink.get(), s, callbacks, conv);
    } catch (const std::bad_alloc &) {
        say("error: out of memory\n");
        return UZ_NO_MEMORY;
    } catch (...) {
        say("error: internal failure\n");
        return UZ_FATAL;
    }
}

extern "C" UZ_EXPORT int32_t UZ_CALL UzListEntries(const char *archive, UzPrintFn print, UzEntryFn entry,
                                                   void *context, uint64_t *held) {
    if (held) *held = 0;
    if (!archive || !*archive || !entry || !held) return UZ_BAD_PARAMS;
    const auto say = [&](const std::string &text) { report(print, uz::identity_text, text); };
    try {
        std::string error;
        const std::unique_ptr<uz::Source> src = uz::open_archive_file(archive, true, error);
        if (!src) {
            say("error: cannot open the archive: " + error + "\n");
            return UZ_NOT_ZIP;
        }
        return uz::list_entries(*src, print, entry, context, *held);
    } catch (const std::bad_alloc &) {
        say("error: out of memory\n");
        return UZ_NO_MEMORY;
    } catch (...) {
        say("error: internal failure\n");
        return UZ_FATAL;
    }
}

extern "C" UZ_EXPORT int32_t UZ_CALL Wiz_SingleEntryUnzip(int32_t include_count,
                                                          UzNameList *include,
                                                          int32_t exclude_count,
                                                          UzNameList *exclude, UzOptions *options,
                                                          UzCallbacks *callbacks) {
    return uz::single_entry_unzip(include_count, include, exclude_count, exclude, options,
                                  callbacks, 0);
}
