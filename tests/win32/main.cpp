// The Windows-side tests run on the real Win32 runtime.
#include <gtest/gtest.h>

#include "app/Layout.h"
#include "system/win32/Win32Runtime.h"

int main(int argc, char** argv) {
    // Under the same library search as the program.
    cm::win32::RestrictLibrarySearch();
    ::testing::InitGoogleTest(&argc, argv);
    cm::win32::Win32Runtime runtime{std::wstring(cm::kWindowCaption)};
    cm::InstallRuntime(&runtime);
    const int result = RUN_ALL_TESTS();
    cm::InstallRuntime(nullptr);
    return result;
}
