#pragma once
// When an auto-save tick must write: the file has to equal the editor, but rewriting the same
// bytes 100 times a second would wear the disk and cost CPU for nothing.
#include <cstdint>
#include <optional>

namespace core {

// What the file system says about the auto-save file.
struct FileStamp {
    std::uint64_t size = 0;
    std::int64_t modified = 0;  // platform ticks; only compared for equality
    bool operator==(const FileStamp&) const = default;
};

class AutoSaveGate {
public:
    // editorVersion changes whenever the editor's text does; file is empty when the file is missing.
    [[nodiscard]] bool mustWrite(std::uint64_t editorVersion, const std::optional<FileStamp>& file) const {
        return !last_ || last_->version != editorVersion || !file || !(*file == last_->stamp);
    }
    // After a successful write of that version, with the file's stamp as it now stands.
    void written(std::uint64_t editorVersion, const FileStamp& stamp) { last_ = Last{editorVersion, stamp}; }
    void forget() { last_.reset(); }

private:
    struct Last {
        std::uint64_t version;
        FileStamp stamp;
    };
    std::optional<Last> last_;
};

}  // namespace core
