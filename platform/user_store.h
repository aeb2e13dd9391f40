// The typed per-user store: keys holding named string and 32-bit integer
// values, kept for the current user in one text file,
// $XDG_CONFIG_HOME/corvane/user-store.txt ($HOME/.config when the variable
// is unset). The Locate dialog keeps its remembered inputs here.
//
// The file, one item a line, UTF-8 or any other bytes:
//
//     corvane-user-store 1
//     # comment lines and blank lines are ignored
//     [Software\Vestrel\Brindlemark\Setup]
//     "keyterm" = string "garden sheds"
//     "skip" = integer -5
//
// A key line names the key by its path from the user's root, the
// components joined by "\" and without a leading one; the value lines below
// it belong to it. A value line is the quoted value name, "=", the type
// ("string" or "integer") and the data: a quoted text, or a decimal integer
// in -2147483648..4294967295, where values above 2147483647 stand for the
// negative numbers of the same 32 bits. In quoted texts "\\", "\"", "\n",
// "\r", "\t" and "\xHH" are escapes; other control bytes appear only
// escaped. Key and value names compare without regard to ASCII case and keep
// the case they were first written with.
//
// A file that breaks these rules in any way (a missing first line, a stray
// line, an unknown type, a bad escape, a value before the first key, an
// integer out of range) is damaged: it reads as holding no key at all, and
// the first write after that moves it aside, under the name
// "user-store.txt.damaged" (or ".damaged-2", "-3" and so on when that is
// taken), before a new file is written, so nothing it held is lost. An
// empty file holds no key and is not damaged.
//
// Every write reads the file afresh, changes the one value and replaces the
// file atomically (temporary file, flush, rename), so a crash in the middle
// leaves the old file or the new one, and values that another process wrote
// in the meantime stay. A file that exists but cannot be read is never
// written over.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::platform {

// Any failure of the store: no key open, a value missing or of the other
// type, a file that cannot be read or written.
class UserStoreError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

enum class ValueType { String, Integer };

class UserStore {
  public:
    static constexpr const char* kFileName = "user-store.txt";

    // The store of the current user: ConfigHome() + "/corvane", read from the
    // environment now.
    UserStore();
    // A store kept in the given folder (created on the first write).
    explicit UserStore(std::string folder);

    // "<folder>/user-store.txt".
    const std::string& FilePath() const { return path_; }

    // Opens the key at `key` ("\Software\..." or "Software\..."; empty
    // components are dropped) and makes it the current key. Without
    // `canCreate`, a key that does not exist, a missing, damaged or
    // unreadable file all answer false and leave no key open. With
    // `canCreate`, a missing key is created and saved at once; failures to
    // do so throw UserStoreError. A key path with a control character can
    // never exist: false, or UserStoreError when creating.
    bool OpenKey(std::string_view key, bool canCreate);
    // Forgets the current key. Harmless when none is open.
    void CloseKey();
    bool HasCurrentKey() const { return open_; }

    // Whether the current key has a value of that name (of either type);
    // false when no key is open.
    bool ValueExists(std::string_view name) const;

    // The value's data; UserStoreError when no key is open, the value is
    // missing, or it has the other type.
    std::string ReadString(std::string_view name) const;
    std::int32_t ReadInteger(std::string_view name) const;

    // Sets the value, type and data, in the current key and on disk;
    // UserStoreError when no key is open or the file cannot be written.
    void WriteString(std::string_view name, std::string_view data);
    void WriteInteger(std::string_view name, std::int32_t data);

    // The store's on-disk form, exposed for tests and tools.
    struct Value {
        std::string Name;
        ValueType Type = ValueType::String;
        std::string Text;
        std::int32_t Number = 0;
    };
    struct Key {
        std::string Path;
        std::vector<Value> Values;
    };
    // Parses file contents; false when they are damaged.
    static bool Parse(std::string_view contents, std::vector<Key>& keys);
    static std::string Serialize(const std::vector<Key>& keys);

  private:
    enum class FileState { Missing, Read, Damaged, Unreadable };
    struct Snapshot {
        FileState State = FileState::Missing;
        std::string Reason;  // why it is unreadable
        std::vector<Key> Keys;
    };
    Snapshot Load() const;
    // Reads the file afresh, applies `change` to the current key (creating
    // it when missing) and replaces the file.
    template <typename Change>
    void Update(Change&& change);
    void SetDamagedFileAside() const;
    const Value& Find(std::string_view name) const;

    std::string folder_;
    std::string path_;
    bool open_ = false;
    std::string keyPath_;  // normalised path of the current key
    Key current_;          // the current key as last read or written
};

}  // namespace corvane::platform
