// Round trips against archives made at test time by the real tools: the
// extracted tree must equal the source in names, bytes and modification
// times (files and folders), on one thread and on several.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include <fcntl.h>
#include <sys/stat.h>

#include "skip.h"
#include "both_paths.h"
#include "test_util.h"

namespace uztest {
namespace {

bool have(const char *tool) {
    return std::system((std::string("command -v ") + tool + " >/dev/null 2>&1").c_str()) == 0;
}

int sh(const std::string &cmd) { return std::system(("(" + cmd + ") >/dev/null 2>&1").c_str()); }

std::string q(const fs::path &p) { return "'" + p.string() + "'"; }

void set_mtime(const fs::path &p, int64_t t) {
    const timespec ts[2] = {{static_cast<time_t>(t), 0}, {static_cast<time_t>(t), 0}};
    utimensat(AT_FDCWD, p.c_str(), ts, 0);
}

// A small tree with the awkward parts: nesting, an empty folder, an empty
// file, incompressible and compressible data, spaces and non-ASCII names.
// Times are even seconds, so DOS times (2 s steps) can hold them exactly.
void make_source(const fs::path &src) {
    std::mt19937 rng(42);
    Bytes random(300000);
    for (auto &b : random) b = static_cast<uint8_t>(rng());
    std::string text;
    for (int i = 0; i < 20000; ++i) text += "line " + std::to_string(i) + "\n";
    write_file(src / "random.bin", random);
    write_file(src / "text.txt", bytes_of(text));
    write_file(src / "empty.dat", {});
    write_file(src / "sub" / "with space.txt", bytes_of("spaces"));
    write_file(src / fs::u8path("sub/\xc3\xbcn\xc3\xaf\xc3\xa7\xc3\xb8" "d\xc3\xa9-\xe6\x97\xa5\xe6\x9c\xac.txt"),
               bytes_of("unicode"));
    write_file(src / "sub" / "deeper" / "deepest" / "leaf.txt", bytes_of("leaf"));
    fs::create_directories(src / "empty folder");
    int64_t t = 1600000000; // even
    std::vector<fs::path> all;
    for (const auto &e : fs::recursive_directory_iterator(src)) all.push_back(e.path());
    // Deepest first, so that setting a folder's time comes after its contents.
    std::sort(all.begin(), all.end(), [](const fs::path &a, const fs::path &b) {
        return std::distance(a.begin(), a.end()) > std::distance(b.begin(), b.end());
    });
    for (const auto &p : all) set_mtime(p, t += 86402);
}

struct Tool {
    const char *label;
    const char *needs;
    std::string command;     // run in the source folder; {out} is the archive
    const char *password;    // for the password callback, or null
};

void PrintTo(const Tool &t, std::ostream *os) { *os << t.label; }

class RoundTrip : public ::testing::TestWithParam<Tool> {};

TEST_P(RoundTrip, TreeBytesAndTimesIdentical) {
    const Tool &tool = GetParam();
    if (!have(tool.needs)) CM_SKIP_UNLESS_CI(tool.needs << " not installed");
    TempDir dir;
    const fs::path src = dir / "src", out = dir / "out", archive = dir / "a.zip";
    make_source(src);
    std::string cmd = tool.command;
    cmd.replace(cmd.find("{out}"), 5, q(archive));
    ASSERT_EQ(sh("cd " + q(src) + " && " + cmd), 0) << cmd;

    Recorder rec;
    if (tool.password) rec.password_answers = {tool.password};
    const int32_t rc = on_both_paths(out, rec, [&](unsigned threads) {
        Mode every_line;
        every_line.threads = threads;
        return unzip(archive, out, rec, every_line);
    });
    ASSERT_EQ(rc, UZ_OK) << rec.printed();
    const auto want = tree(src), got = tree(out);
    ASSERT_EQ(want.size(), got.size());
    for (const auto &[path, node] : want) {
        ASSERT_TRUE(got.count(path)) << path << " missing";
        const Node &g = got.at(path);
        EXPECT_EQ(g.folder, node.folder) << path;
        EXPECT_TRUE(g.data == node.data) << path << " differs";
        EXPECT_EQ(g.mtime, node.mtime) << path;
    }
    if (tool.password) {
        EXPECT_EQ(rec.password_names.size(), 1u);
    }

    Recorder listed;
    ASSERT_EQ(on_both_paths(dir / "listed", listed, [&](unsigned threads) {
        Mode list;
        list.list_only = true;
        list.threads = threads;
        return unzip(archive, dir / "listed", listed, list);
    }), UZ_OK);
    EXPECT_FALSE(listed.rows.empty());
}

const char *const kPython = R"PY(python3 -c '
import os, sys, zipfile
streamed = sys.argv[2] == "streamed"
class NoSeek:
    def __init__(s, f): s.f = f
    def write(s, b): return s.f.write(b)
    def flush(s): s.f.flush()
with open(sys.argv[1], "wb") as raw:
    with zipfile.ZipFile(NoSeek(raw) if streamed else raw, "w", zipfile.ZIP_DEFLATED) as z:
        for root, dirs, files in os.walk("."):
            for n in sorted(dirs) + sorted(files):
                z.write(os.path.join(root, n))
')PY";

const Tool kTools[] = {
    {"zip", "zip", "zip -qr {out} .", nullptr},
    {"zip_fz", "zip", "zip -qr -fz {out} .", nullptr},
    {"zip_piped", "zip", "zip -qr - . > {out}", nullptr},
    {"zip_encrypted", "zip", "zip -qr -P 'pass word' {out} .", "pass word"},
    {"zip_piped_encrypted", "zip", "zip -qr -P 'pass word' - . > {out}", "pass word"},
    {"python", "python3", std::string(kPython) + " {out} plain", nullptr},
    {"python_streamed", "python3", std::string(kPython) + " {out} streamed", nullptr},
    {"bsdtar", "bsdtar", "bsdtar --format zip -cf {out} .", nullptr},
    {"sevenzip", "7z", "7z a -tzip {out} .", nullptr},
    {"sevenzip_zipcrypto", "7z", "7z a -tzip -p'pass word' -mem=ZipCrypto {out} .", "pass word"},
};

INSTANTIATE_TEST_SUITE_P(Tools, RoundTrip, ::testing::ValuesIn(kTools),
                         [](const auto &info) { return std::string(info.param.label); });

} // namespace
} // namespace uztest
