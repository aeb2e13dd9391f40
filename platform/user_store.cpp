#include "platform/user_store.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/ascii.h"
#include "base/integer_text.h"
#include "platform/atomic_file.h"
#include "platform/user_paths.h"

namespace corvane::platform {

namespace {

constexpr std::string_view kFirstLine = "corvane-user-store 1";
// A store file is a handful of lines; anything far larger is not one.
constexpr std::size_t kMaxFileSize = std::size_t{16} << 20;

// "\Software\\A\" -> "Software\A".
std::string NormaliseKey(std::string_view key) {
    std::string out;
    std::size_t i = 0;
    while (i < key.size()) {
        const std::size_t end = key.find('\\', i);
        const std::size_t stop = end == std::string_view::npos ? key.size() : end;
        if (stop > i) {
            if (!out.empty()) {
                out += '\\';
            }
            out.append(key.substr(i, stop - i));
        }
        i = stop + 1;
    }
    return out;
}

bool HasControl(std::string_view s) {
    for (char c : s) {
        if (base::IsControl(c)) {
            return true;
        }
    }
    return false;
}

void Quote(std::string& out, std::string_view s) {
    static const char kHex[] = "0123456789abcdef";
    out += '"';
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        switch (c) {
            case '\\':
                out += "\\\\";
                break;
            case '"':
                out += "\\\"";
                break;
            case '\n':
                out += "\\n";
                break;
            case '\r':
                out += "\\r";
                break;
            case '\t':
                out += "\\t";
                break;
            default:
                if (base::IsControl(ch)) {
                    out += "\\x";
                    out += kHex[c >> 4];
                    out += kHex[c & 15];
                } else {
                    out += ch;
                }
        }
    }
    out += '"';
}

// A cursor over one line.
struct LineReader {
    std::string_view s;
    std::size_t i = 0;

    bool AtEnd() const { return i >= s.size(); }
    void SkipBlanks() {
        while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
            ++i;
    }
    bool ReadQuoted(std::string& out) {
        if (AtEnd() || s[i] != '"')
            return false;
        ++i;
        while (i < s.size()) {
            const char c = s[i++];
            if (c == '"')
                return true;
            if (base::IsControl(c))
                return false;
            if (c != '\\') {
                out += c;
                continue;
            }
            if (AtEnd())
                return false;
            const char e = s[i++];
            switch (e) {
                case '\\':
                    out += '\\';
                    break;
                case '"':
                    out += '"';
                    break;
                case 'n':
                    out += '\n';
                    break;
                case 'r':
                    out += '\r';
                    break;
                case 't':
                    out += '\t';
                    break;
                case 'x': {
                    if (i + 2 > s.size())
                        return false;
                    const int hi = base::HexDigitValue(s[i]);
                    const int lo = base::HexDigitValue(s[i + 1]);
                    if (hi < 0 || lo < 0)
                        return false;
                    out += static_cast<char>(hi * 16 + lo);
                    i += 2;
                    break;
                }
                default:
                    return false;
            }
        }
        return false;  // no closing quote
    }
    std::string_view ReadWord() {
        const std::size_t start = i;
        while (i < s.size() && s[i] >= 'a' && s[i] <= 'z')
            ++i;
        return s.substr(start, i - start);
    }
    // -2147483648..4294967295, the upper half wrapped to negative.
    bool ReadInteger(std::int32_t& out) {
        const bool negative = i < s.size() && s[i] == '-';
        const std::size_t start = negative ? i + 1 : i;
        std::size_t end = start;
        while (end < s.size() && base::IsDigit(s[end]))
            ++end;
        std::uint64_t v = 0;
        if (!base::TryReadDecimalDigits(s.substr(start, end - start),
                                        negative ? 2147483648u : 4294967295u, v)) {
            return false;
        }
        i = end;
        // Above 2147483647: the negative number of the same 32 bits.
        out = negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(v))
                       : static_cast<std::int32_t>(static_cast<std::uint32_t>(v));
        return true;
    }
};

UserStore::Key* FindKey(std::vector<UserStore::Key>& keys, std::string_view path) {
    for (auto& k : keys) {
        if (base::EqualsIgnoringCase(k.Path, path))
            return &k;
    }
    return nullptr;
}

UserStore::Value* FindValue(UserStore::Key& key, std::string_view name) {
    for (auto& v : key.Values) {
        if (base::EqualsIgnoringCase(v.Name, name))
            return &v;
    }
    return nullptr;
}

std::string Describe(int err) {
    return std::strerror(err);
}

// Creates the folder and its missing parents, the new ones private to the
// user as per-user configuration folders should be.
void MakeFolders(const std::string& folder) {
    for (std::size_t i = 1; i <= folder.size(); ++i) {
        if (i != folder.size() && folder[i] != '/')
            continue;
        const std::string part = folder.substr(0, i);
        struct stat st {};
        if (::stat(part.c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            continue;
        if (::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) {
            throw UserStoreError("cannot create the folder " + part + ": " + Describe(errno));
        }
    }
}

}  // namespace

bool UserStore::Parse(std::string_view contents, std::vector<Key>& keys) {
    keys.clear();
    if (contents.empty()) {
        return true;
    }
    Key* current = nullptr;
    bool first = true;
    std::size_t pos = 0;
    while (pos < contents.size()) {
        std::size_t end = contents.find('\n', pos);
        if (end == std::string_view::npos)
            end = contents.size();
        std::string_view line = contents.substr(pos, end - pos);
        pos = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (first) {
            if (line != kFirstLine)
                return false;
            first = false;
            continue;
        }
        LineReader r{line};
        r.SkipBlanks();
        if (r.AtEnd() || line[r.i] == '#') {
            continue;
        }
        if (line[r.i] == '[') {
            if (line.back() != ']' || r.i + 1 > line.size() - 1)
                return false;
            const std::string_view raw = line.substr(r.i + 1, line.size() - r.i - 2);
            if (HasControl(raw))
                return false;
            const std::string path = NormaliseKey(raw);
            current = FindKey(keys, path);
            if (!current) {
                keys.push_back(Key{path, {}});
                current = &keys.back();
            }
            continue;
        }
        if (!current)
            return false;
        Value v;
        if (!r.ReadQuoted(v.Name))
            return false;
        r.SkipBlanks();
        if (r.AtEnd() || line[r.i] != '=')
            return false;
        ++r.i;
        r.SkipBlanks();
        const std::string_view type = r.ReadWord();
        r.SkipBlanks();
        if (type == "string") {
            v.Type = ValueType::String;
            if (!r.ReadQuoted(v.Text))
                return false;
        } else if (type == "integer") {
            v.Type = ValueType::Integer;
            if (!r.ReadInteger(v.Number))
                return false;
        } else {
            return false;
        }
        r.SkipBlanks();
        if (!r.AtEnd())
            return false;
        if (Value* old = FindValue(*current, v.Name)) {
            *old = std::move(v);  // the later line wins
        } else {
            current->Values.push_back(std::move(v));
        }
    }
    return true;
}

std::string UserStore::Serialize(const std::vector<Key>& keys) {
    std::string out(kFirstLine);
    out +=
        "\n# Per-user settings of Corvane. Values: \"name\" = string \"text\" or \"name\" = "
        "integer N.\n";
    for (const Key& k : keys) {
        out += '[';
        out += k.Path;
        out += "]\n";
        for (const Value& v : k.Values) {
            Quote(out, v.Name);
            if (v.Type == ValueType::String) {
                out += " = string ";
                Quote(out, v.Text);
            } else {
                out += " = integer ";
                out += std::to_string(v.Number);
            }
            out += '\n';
        }
    }
    return out;
}

UserStore::UserStore() : UserStore(ConfigHome() + "/corvane") {}

UserStore::UserStore(std::string folder)
    : folder_(std::move(folder)), path_(folder_ + "/" + kFileName) {}

UserStore::Snapshot UserStore::Load() const {
    Snapshot snap;
    const int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT) {
            snap.State = FileState::Missing;
        } else {
            snap.State = FileState::Unreadable;
            snap.Reason = Describe(errno);
        }
        return snap;
    }
    std::string contents;
    char buf[8192];
    for (;;) {
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            snap.State = FileState::Unreadable;
            snap.Reason = Describe(errno);
            ::close(fd);
            return snap;
        }
        if (got == 0)
            break;
        contents.append(buf, static_cast<std::size_t>(got));
        if (contents.size() > kMaxFileSize) {
            ::close(fd);
            snap.State = FileState::Damaged;
            return snap;
        }
    }
    ::close(fd);
    snap.State = Parse(contents, snap.Keys) ? FileState::Read : FileState::Damaged;
    if (snap.State == FileState::Damaged) {
        snap.Keys.clear();
    }
    return snap;
}

void UserStore::SetDamagedFileAside() const {
    for (int n = 1; n < 100; ++n) {
        std::string aside = path_ + ".damaged";
        if (n > 1)
            aside += "-" + std::to_string(n);
        // A second name for the same file first, so that the damaged
        // contents have a name at every moment; a plain rename where links
        // are not supported.
        if (::link(path_.c_str(), aside.c_str()) == 0) {
            return;
        }
        if (errno == EEXIST)
            continue;
        struct stat st {};
        if (::lstat(aside.c_str(), &st) == 0)
            continue;
        if (::rename(path_.c_str(), aside.c_str()) == 0) {
            return;
        }
        throw UserStoreError("cannot keep the damaged " + path_ + " aside: " + Describe(errno));
    }
    throw UserStoreError("cannot keep the damaged " + path_ + " aside: too many damaged copies");
}

template <typename Change>
void UserStore::Update(Change&& change) {
    Snapshot snap = Load();
    if (snap.State == FileState::Unreadable) {
        throw UserStoreError("cannot read " + path_ + ": " + snap.Reason);
    }
    Key* key = FindKey(snap.Keys, keyPath_);
    if (!key) {
        snap.Keys.push_back(Key{keyPath_, {}});
        key = &snap.Keys.back();
    }
    change(*key);
    const std::string contents = Serialize(snap.Keys);
    MakeFolders(folder_);
    if (snap.State == FileState::Damaged) {
        SetDamagedFileAside();
    }
    try {
        ReplaceFileAtomically(path_, contents);
    } catch (const AtomicFileError& e) {
        throw UserStoreError(e.what());
    }
    current_ = *key;
}

bool UserStore::OpenKey(std::string_view key, bool canCreate) {
    CloseKey();
    if (HasControl(key)) {
        if (canCreate) {
            throw UserStoreError("a key name cannot hold control characters");
        }
        return false;
    }
    const std::string path = NormaliseKey(key);
    Snapshot snap = Load();
    if (snap.State == FileState::Read) {
        if (Key* found = FindKey(snap.Keys, path)) {
            keyPath_ = found->Path;
            current_ = std::move(*found);
            open_ = true;
            return true;
        }
    }
    if (!canCreate) {
        return false;
    }
    keyPath_ = path;
    Update([](Key&) {});
    open_ = true;
    return true;
}

void UserStore::CloseKey() {
    open_ = false;
    keyPath_.clear();
    current_ = Key{};
}

bool UserStore::ValueExists(std::string_view name) const {
    if (!open_)
        return false;
    for (const Value& v : current_.Values) {
        if (base::EqualsIgnoringCase(v.Name, name))
            return true;
    }
    return false;
}

const UserStore::Value& UserStore::Find(std::string_view name) const {
    if (!open_) {
        throw UserStoreError("no key is open");
    }
    for (const Value& v : current_.Values) {
        if (base::EqualsIgnoringCase(v.Name, name))
            return v;
    }
    throw UserStoreError("no value \"" + std::string(name) + "\" in " + current_.Path);
}

std::string UserStore::ReadString(std::string_view name) const {
    const Value& v = Find(name);
    if (v.Type != ValueType::String) {
        throw UserStoreError("the value \"" + v.Name + "\" is not a string");
    }
    return v.Text;
}

std::int32_t UserStore::ReadInteger(std::string_view name) const {
    const Value& v = Find(name);
    if (v.Type != ValueType::Integer) {
        throw UserStoreError("the value \"" + v.Name + "\" is not an integer");
    }
    return v.Number;
}

void UserStore::WriteString(std::string_view name, std::string_view data) {
    if (!open_) {
        throw UserStoreError("no key is open");
    }
    Update([&](Key& key) {
        Value* v = FindValue(key, name);
        if (!v) {
            key.Values.push_back(Value{std::string(name), ValueType::String, {}, 0});
            v = &key.Values.back();
        }
        v->Type = ValueType::String;
        v->Text.assign(data);
        v->Number = 0;
    });
}

void UserStore::WriteInteger(std::string_view name, std::int32_t data) {
    if (!open_) {
        throw UserStoreError("no key is open");
    }
    Update([&](Key& key) {
        Value* v = FindValue(key, name);
        if (!v) {
            key.Values.push_back(Value{std::string(name), ValueType::Integer, {}, 0});
            v = &key.Values.back();
        }
        v->Type = ValueType::Integer;
        v->Text.clear();
        v->Number = data;
    });
}

}  // namespace corvane::platform
