// Small helpers for the Windows-side tests: paths beside the test program,
// temporary folders, environment and files.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "system/win32/Win32Runtime.h"

namespace cm::test {

// The folder of the running test program (where the helper programs are built).
std::wstring ProgramFolder();

// A fresh empty folder under the temporary folder, removed with its content at scope end.
class TempFolder {
public:
    TempFolder();
    ~TempFolder();
    const std::wstring& Path() const { return path_; }
    std::wstring operator/(const std::wstring& name) const { return path_ + L"\\" + name; }

private:
    std::wstring path_;
};

// A TCP port of this machine listened on for the scope, as another server
// would; port 0 listens on nothing.
class Listening {
public:
    explicit Listening(unsigned short port);
    ~Listening();
    Listening(const Listening&) = delete;
    Listening& operator=(const Listening&) = delete;

private:
    std::uintptr_t socket_;
};

// Sets an environment variable of this process for the scope; restores it after.
class ScopedEnv {
public:
    ScopedEnv(const std::wstring& name, const std::wstring* value);
    ScopedEnv(const std::wstring& name, const std::wstring& value) : ScopedEnv(name, &value) {}
    ~ScopedEnv();

private:
    std::wstring name_;
    bool had_ = false;
    std::wstring old_;
};

// Removes a folder with everything in it.
void RemoveTree(const std::wstring& path);

void WriteFile(const std::wstring& path, const std::string& bytes);
std::string ReadFile(const std::wstring& path);
std::vector<std::string> ReadLines(const std::wstring& path);
std::wstring Widen(const std::string& utf8);
std::string Utf8(const std::wstring& text);

// Runs a program file with this argument text, in the current folder given
// (empty: this one's), its standard output and error into folder's out.txt
// and err.txt; answers its exit code, and fails the test when it cannot be
// started or does not end within two minutes.
DWORD RunWithOutput(const std::wstring& file, const std::wstring& arguments, const TempFolder& folder,
                    const std::wstring& current = L"");

// The value of a key as it stands in an INI file (the platform's reader would
// drop quotes); "<missing>" when the section holds no such key.
std::wstring ReadIni(const std::wstring& file, const wchar_t* section, const wchar_t* key);

// The stand-in program stub.exe beside the tests, and what it wrote to its
// record file (CM_RECORD): its starts, and the ticks its window was there and
// gone.
std::wstring Stub();
struct Record {
    std::vector<std::pair<DWORD, std::wstring>> starts;  // tick, command line
    std::vector<DWORD> shown;                              // tick the window existed
    std::vector<DWORD> gone;                               // tick the window was gone
};
Record ReadRecord(const std::wstring& file);

win32::Win32Runtime& Runtime();

// Processes waiting window messages for about this long.
void PumpFor(DWORD milliseconds);

}  // namespace cm::test
