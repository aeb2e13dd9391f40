// The lists folder: imports, the status of what is there, and the lists a
// survey opens.
#include "lists/list_store.h"

#include <sys/stat.h>

#include <ctime>
#include <filesystem>
#include <system_error>
#include <utility>

#include "base/integer_text.h"
#include "lists/list_index.h"
#include "lists/list_parse.h"
#include "platform/atomic_file.h"
#include "platform/profile_reader.h"

namespace corvane::lists {

namespace {

constexpr const char* kInfoSection = "list";
constexpr std::size_t kInfoValueLimit = 8192;

std::int64_t Now() {
    return static_cast<std::int64_t>(std::time(nullptr));
}

// A value as the info file keeps it: quoted, so that the reader gives it
// back exactly, with control bytes made visible.
std::string Quoted(std::string_view value) {
    std::string out = "\"";
    for (char c : value)
        out += static_cast<unsigned char>(c) < 0x20 || c == '\x7F' ? '?' : c;
    out += '"';
    return out;
}

std::int64_t ReadNumber(const platform::ProfileFile& info, const char* key) {
    std::uint64_t value = 0;
    const std::string text = info.ReadString(kInfoSection, key);
    if (!base::TryReadDecimalDigits(text, static_cast<std::uint64_t>(INT64_MAX), value))
        return 0;
    return static_cast<std::int64_t>(value);
}

void WriteInfo(const std::string& folder, const ImportReport& report, const ImportSource& source,
               std::int64_t importedAt) {
    std::string text = "; What corvane-cli knows of the list beside this file.\n[list]\n";
    text += "kind=" + std::string(ListKindName(report.Kind)) + "\n";
    text += "rows=" + std::to_string(report.Rows) + "\n";
    text += "skipped=" + std::to_string(report.Skipped) + "\n";
    text += "duplicates=" + std::to_string(report.Duplicates) + "\n";
    text += "imported=" + std::to_string(importedAt) + "\n";
    text += "listtime=" + std::to_string(report.ListTime) + "\n";
    text += "date=" + DateText(report.ListTime) + "\n";
    text += "id=" + Quoted(source.ListId) + "\n";
    text += "origin=" + Quoted(source.Origin) + "\n";
    platform::ReplaceFileAtomically(InfoPathOf(folder, report.Kind), text);
}

void MakeFolder(const std::string& folder) {
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec)
        throw ListError("cannot create the lists folder " + folder + ": " + ec.message());
}

// What the info file beside an index says; an index without one (copied
// by hand) dates from its file's time.
void ReadInfo(const std::string& folder, ListStatus& status, std::int64_t indexTime) {
    platform::ProfileFile info;
    if (info.Load(InfoPathOf(folder, status.Kind))) {
        status.ImportedAt = ReadNumber(info, "imported");
        status.ListTime = ReadNumber(info, "listtime");
        status.Skipped = static_cast<std::size_t>(ReadNumber(info, "skipped"));
        status.ListId = info.ReadString(kInfoSection, "id", {}, kInfoValueLimit);
        status.Origin = info.ReadString(kInfoSection, "origin", {}, kInfoValueLimit);
    }
    if (status.ImportedAt == 0)
        status.ImportedAt = indexTime;
    if (status.ListTime == 0)
        status.ListTime = status.ImportedAt;
}

}  // namespace

std::string IndexPathOf(const std::string& folder, ListKind kind) {
    return folder + "/" + ListKindName(kind) + ".idx";
}

std::string InfoPathOf(const std::string& folder, ListKind kind) {
    return folder + "/" + ListKindName(kind) + ".ini";
}

std::string DateText(std::int64_t unixTime) {
    if (unixTime == 0)
        return {};
    const std::time_t t = static_cast<std::time_t>(unixTime);
    std::tm tm{};
    if (gmtime_r(&t, &tm) == nullptr)
        return {};
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
    return text;
}

ImportReport BuildIndex(std::string_view content, const std::string& indexPath) {
    ParsedList parsed = ParseList(content);
    ImportReport report;
    report.Kind = parsed.Kind;
    report.Skipped = parsed.Skipped;
    report.ListTime = parsed.ListTime;
    const std::size_t added = parsed.Rows.Added();
    const std::string bytes = parsed.Rows.Finish(parsed.Kind, report.Rows);
    report.Duplicates = added - report.Rows;
    try {
        platform::ReplaceFileAtomically(indexPath, bytes);
    } catch (const platform::AtomicFileError& e) {
        throw ListError(e.what());
    }
    return report;
}

ImportReport ImportList(std::string_view content, const std::string& folder,
                        const ImportSource& source) {
    // Whether the content is a list, and of which kind, is known before
    // anything in the folder changes.
    ParsedList parsed = ParseList(content);
    if (source.Expected && *source.Expected != parsed.Kind)
        throw ListError(std::string("a ") + ListKindName(parsed.Kind) + " list where a " +
                        ListKindName(*source.Expected) + " list was expected");
    MakeFolder(folder);
    ImportReport report;
    report.Kind = parsed.Kind;
    report.Skipped = parsed.Skipped;
    const std::int64_t now = Now();
    report.ListTime = parsed.ListTime > 0   ? parsed.ListTime
                      : source.ListTime > 0 ? source.ListTime
                                            : now;
    const std::size_t added = parsed.Rows.Added();
    const std::string bytes = parsed.Rows.Finish(parsed.Kind, report.Rows);
    report.Duplicates = added - report.Rows;
    try {
        platform::ReplaceFileAtomically(IndexPathOf(folder, report.Kind), bytes);
        WriteInfo(folder, report, source, now);
    } catch (const platform::AtomicFileError& e) {
        throw ListError(e.what());
    }
    return report;
}

ImportReport ImportFileAs(const std::string& file, const std::string& folder, ImportSource source) {
    const MappedFile mapped(file);
    if (source.ListTime == 0)
        source.ListTime = mapped.ModifiedAt();
    try {
        return ImportList(mapped.View(), folder, source);
    } catch (const ListError& e) {
        throw ListError(file + ": " + e.what());
    }
}

ImportReport ImportFile(const std::string& file, const std::string& folder) {
    ImportSource source;
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(file, ec);
    source.Origin = ec ? file : absolute.lexically_normal().string();
    return ImportFileAs(file, folder, std::move(source));
}

ImportReport ImportContent(std::string_view content, const std::string& folder,
                           const std::string& origin, const std::string& listId) {
    ImportSource source;
    source.Origin = origin;
    source.ListId = listId;
    return ImportList(content, folder, source);
}

ListStatus StatusOf(const std::string& folder, ListKind kind) {
    ListStatus status;
    status.Kind = kind;
    status.IndexPath = IndexPathOf(folder, kind);
    struct stat st {};
    if (::stat(status.IndexPath.c_str(), &st) != 0)
        return status;
    try {
        const std::unique_ptr<RankIndex> index = RankIndex::Open(status.IndexPath);
        if (index->Kind() != kind) {
            status.Problem = status.IndexPath + " holds the " + ListKindName(index->Kind()) +
                             " list; import the " + ListKindName(kind) + " list again";
        } else {
            status.Present = true;
            status.Rows = index->Size();
        }
    } catch (const ListError& e) {
        status.Problem = e.what();
    }
    ReadInfo(folder, status, static_cast<std::int64_t>(st.st_mtime));
    status.ListDate = DateText(status.ListTime);
    return status;
}

std::unique_ptr<RankIndex> IndexContent(std::string_view content, ListKind kind,
                                        const std::string& name, std::int64_t& listTime) {
    try {
        ParsedList parsed = ParseList(content);
        if (parsed.Kind != kind)
            throw ListError(std::string("a ") + ListKindName(parsed.Kind) + " list, given as the " +
                            ListKindName(kind) + " list");
        std::size_t kept = 0;
        listTime = parsed.ListTime;
        return OpenIndexBytes(parsed.Rows.Finish(kind, kept), name);
    } catch (const ListError& e) {
        throw ListError(name + ": " + e.what());
    }
}

RankLists RankLists::Open(const std::string& folder, const std::string& trancoFile,
                          const std::string& majesticFile) {
    const std::string where = folder.empty() ? DefaultListsFolder() : folder;
    RankLists lists;
    for (ListKind kind : {ListKind::Tranco, ListKind::Majestic}) {
        const std::string& file = kind == ListKind::Tranco ? trancoFile : majesticFile;
        if (!file.empty()) {
            // A list for this run only: indexed in memory, the folder
            // untouched.
            const MappedFile mapped(file);
            std::int64_t listTime = 0;
            std::unique_ptr<RankIndex> index = IndexContent(mapped.View(), kind, file, listTime);
            lists.Set(kind, std::move(index), listTime > 0 ? listTime : mapped.ModifiedAt());
            continue;
        }
        ListStatus status;
        status.Kind = kind;
        status.IndexPath = IndexPathOf(where, kind);
        struct stat st {};
        if (::stat(status.IndexPath.c_str(), &st) != 0)
            continue;  // missing: said by Warnings
        try {
            std::unique_ptr<RankIndex> index = RankIndex::Open(status.IndexPath);
            if (index->Kind() != kind)
                throw ListError(status.IndexPath + " holds the " + ListKindName(index->Kind()) +
                                " list");
            ReadInfo(where, status, static_cast<std::int64_t>(st.st_mtime));
            lists.Set(kind, std::move(index), status.ListTime);
        } catch (const ListError& e) {
            lists.SlotOf(kind).Problem = e.what();
        }
    }
    return lists;
}

}  // namespace corvane::lists
