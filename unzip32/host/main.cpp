// uzhost: the library's export driven from a command line, for tests,
// benchmarks and manual checks.
//   uzhost [-l] [-o] [-q|-v] [-j] [-t threads] [-P password] [-d folder] archive
// -t 1 keeps everything on one thread; without -t the library's default applies.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "api.h"
#include "extract.h"
#include "unzip32.h"

namespace {

std::string g_password;
bool g_overwrite = false;

int32_t UZ_CALL on_print(const char *text, int32_t length) {
    std::fwrite(text, 1, static_cast<size_t>(length), stdout);
    return 0;
}

int32_t UZ_CALL on_replace(char *) { return g_overwrite ? UZ_REPLACE_YES : UZ_REPLACE_NO; }

int32_t UZ_CALL on_password(char *buffer, int32_t size, const char *, const char *) {
    if (g_password.empty() || g_password.size() >= static_cast<size_t>(size)) return 1;
    std::memcpy(buffer, g_password.c_str(), g_password.size() + 1);
    return 0;
}

void UZ_CALL on_list(int32_t size, int32_t, int32_t, int32_t month, int32_t day, int32_t year,
                     int32_t hour, int32_t minute, int32_t, const char *name, const char *,
                     uint32_t, int32_t) {
    std::printf("%10ld  %04d-%02d-%02d %02d:%02d  %s\n", static_cast<long>(static_cast<uint32_t>(size)),
                static_cast<int>(year), static_cast<int>(month), static_cast<int>(day),
                static_cast<int>(hour), static_cast<int>(minute), name);
}

int usage() {
    std::fprintf(stderr, "usage: uzhost [-l] [-o] [-q|-v] [-j] [-t threads] [-P password] [-d folder] "
                         "archive\n");
    return 2;
}

} // namespace

int main(int argc, char **argv) {
    UzOptions opt{};
    opt.message_level = 1;
    opt.keep_folders = 1;
    const char *folder = nullptr;
    const char *archive = nullptr;
    unsigned threads = 0;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "-l") opt.list_only = 1;
        else if (a == "-o") g_overwrite = true;
        else if (a == "-q") opt.message_level = 2;
        else if (a == "-v") opt.message_level = 0;
        else if (a == "-j") opt.keep_folders = 0;
        else if (a == "-t" && i + 1 < argc) {
            char *end = nullptr;
            const unsigned long n = std::strtoul(argv[++i], &end, 10);
            if (*end || n < 1 || n > uz::kMaxThreads) return usage();
            threads = static_cast<unsigned>(n);
        } else if (a == "-P" && i + 1 < argc) g_password = argv[++i];
        else if (a == "-d" && i + 1 < argc) folder = argv[++i];
        else if (!archive && !a.empty() && a[0] != '-') archive = argv[i];
        else return usage();
    }
    if (!archive) return usage();
    opt.archive = archive;
    opt.folder = folder;
    UzCallbacks cb{};
    cb.print = on_print;
    cb.replace = on_replace;
    cb.password = on_password;
    cb.message = on_list;
    UzNameList none{};
    const int32_t rc = uz::single_entry_unzip(0, &none, 0, &none, &opt, &cb, threads);
    std::fflush(stdout);
    return rc;
}
