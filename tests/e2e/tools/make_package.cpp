// Host tool of the build: writes the test server package, a zip archive of
// the shape an operator's Mysql.zip has.
//   make_package OUT.zip ENTRY=FILE... FOLDER/...
// An argument ending in "/" is a folder entry; ENTRY=FILE stores FILE's bytes
// deflated under the name ENTRY.
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

#include "zip_builder.h"

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fputs("usage: make_package OUT.zip ENTRY=FILE... FOLDER/...\n", stderr);
        return 2;
    }
    uztest::ZipBuilder zip;
    for (int i = 2; i < argc; ++i) {
        const std::string argument = argv[i];
        uztest::EntrySpec entry;
        entry.made_by = 20;  // MS-DOS host, as Windows tools write
        if (!argument.empty() && argument.back() == '/') {
            entry.name = argument;
            entry.external_attr = 0x10;  // folder
        } else {
            const auto equals = argument.find('=');
            if (equals == std::string::npos) {
                std::fprintf(stderr, "make_package: %s is neither ENTRY=FILE nor FOLDER/\n", argument.c_str());
                return 2;
            }
            entry.name = argument.substr(0, equals);
            std::ifstream file(argument.substr(equals + 1), std::ios::binary);
            if (!file) {
                std::fprintf(stderr, "make_package: cannot read %s\n", argument.substr(equals + 1).c_str());
                return 1;
            }
            entry.data.assign(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
            entry.method = 8;
            entry.external_attr = 0x20;  // archive
        }
        zip.add(entry);
    }
    const uztest::Bytes bytes = zip.finish();
    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_package: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
