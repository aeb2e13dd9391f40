// Replacing a file as a whole: the new contents go to a temporary file in
// the same folder, are flushed to disk and renamed over the target, so that
// a reader sees either the old file or the new one, and a failed write
// (disk full, read-only folder, a crash half-way) leaves the old file whole.
#pragma once

#include <string>
#include <string_view>
#include <system_error>

namespace corvane::platform {

// A failed replace. what() names the file, the step that failed and the
// system's reason, e.g. "cannot write /a/b.cvn (flushing to disk): No space
// left on device".
class AtomicFileError : public std::system_error {
  public:
    AtomicFileError(std::error_code code, const std::string& path, const char* step);
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
};

// Makes the file at `path` hold exactly `contents`, creating it when
// missing. An existing file keeps its permission bits; a new one gets
// 0666 less the umask. When `path` is a symbolic link, the file it points to
// is replaced and the link stays. Throws AtomicFileError, having removed
// its temporary file, when any step before the rename fails; the target is
// then untouched.
void ReplaceFileAtomically(const std::string& path, std::string_view contents);

}  // namespace corvane::platform
