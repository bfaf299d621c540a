// The small platform file layer: the archive as a Source, the extraction
// folder as a Sink, and text conversion for callbacks. One implementation per
// platform (platform_posix.cpp, platform_win32.cpp).
#pragma once

#include <memory>
#include <string>

#include "sink.h"
#include "source.h"

namespace uz {

// Opens the archive named in the caller's code page (UTF-8 when utf8);
// null with a reason on failure.
std::unique_ptr<Source> open_archive_file(const char *path, bool utf8, std::string &error);

// The extraction folder (created when missing), named as the archive is;
// null or empty means the current folder.
std::unique_ptr<Sink> open_folder_sink(const char *folder, bool utf8, std::string &error);

// UTF-8 to the text form callbacks receive: the ANSI code page on Windows,
// unchanged elsewhere. At most max_bytes, never ending inside a character;
// a character the code page cannot take arrives as '?', never as a
// character that only looks like it.
std::string callback_text(const std::string &utf8, size_t max_bytes);

#ifdef _WIN32
// A system error's message in UTF-8 (the language given, or the system's).
std::string system_message(unsigned long code, unsigned long language = 0);
#endif

} // namespace uz
