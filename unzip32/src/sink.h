// Where extracted entries go: the file system (one implementation per
// platform) or memory (fuzzing, tests). Paths are relative, '/'-separated,
// UTF-8 and already cleaned by clean_entry_name.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "archive.h"

namespace uz {

class Sink {
public:
    struct File; // owned by the sink between create and close/discard

    enum class Create { Created, Exists, Failed };

    virtual ~Sink() = default;
    // Makes one folder (its parent exists). True when a folder is there afterwards.
    virtual bool make_folder(const std::string &rel) = 0;
    // replace=false fails with Exists when anything is at rel; replace=true
    // removes an existing file first.
    virtual Create create(const std::string &rel, uint32_t unix_mode, bool replace, File *&out) = 0;
    virtual bool write(File *f, const uint8_t *data, size_t n) = 0;
    // Sets the time and closes; false when the file could not be completed.
    virtual bool close(File *f, const Stamp &st) = 0;
    // Closes and removes a partial file.
    virtual void discard(File *f) = 0;
    virtual void set_folder_time(const std::string &rel, const Stamp &st) = 0;
    // Text of the last failure, for messages.
    virtual std::string last_error() const { return {}; }
};

} // namespace uz
