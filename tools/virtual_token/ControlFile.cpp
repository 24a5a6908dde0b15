#include "ControlFile.h"

namespace virtual_token {

ControlFile::ControlFile(std::filesystem::path path) : path_(std::move(path)) {}

std::optional<Control> ControlFile::changed() {
    if (path_.empty()) {
        return std::nullopt;
    }
    const auto stamp = stampOf(path_);
    if (stamp == stamp_) {
        return std::nullopt;
    }
    Control control;
    if (stamp.exists) {
        const auto text = readFile(path_);
        if (!text) {
            return std::nullopt;
        }
        try {
            control = parseControl(*text);
        } catch (const ConfigError& error) {
            // The stamp is kept so the message is not repeated.
            stamp_ = stamp;
            complain(path_.string() + ": " + error.what());
            return std::nullopt;
        }
    }
    stamp_ = stamp;
    return control;
}

}  // namespace virtual_token
