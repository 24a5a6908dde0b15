// The control file, watched by its stamp: another process or a test rewrites it to plug tokens,
// change the touch outcome or free memory, and inject faults, and the module picks the change
// up on its next call. Not locked: its one user (Module) reads and applies it under one lock,
// so that a call never sees a change half applied.
#pragma once

#include "Config.h"
#include "Files.h"

#include <filesystem>
#include <optional>

namespace virtual_token {

class ControlFile {
public:
    explicit ControlFile(std::filesystem::path path);

    // The file's contents when it changed since the last call (a removed file reads as an
    // empty control). Nothing when there is no control file, when it did not change, when it
    // cannot be read, or when it does not parse (then reported once, and the last contents stay).
    std::optional<Control> changed();

private:
    std::filesystem::path path_;
    FileStamp stamp_;
};

}  // namespace virtual_token
