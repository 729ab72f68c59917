#include "model/library_index.h"

#include <sys/stat.h>

#include <bit>
#include <cstring>
#include <type_traits>

#include "model/atomic_file.h"

namespace orlavine {
namespace {

// The file: a header of fixed size, then the records and spans (little-endian numbers, strings
// and lists as a 32-bit length or count and their contents), then the header's magic again so
// that a file cut short is seen as such.
constexpr std::string_view kMagic = "OrlvIdx1";
constexpr std::uint32_t kFormat = 1;
constexpr std::size_t kHeaderBytes = 8 + 4 + 4 + 4 * 8 + 8 + 8;
// An index is about a sixth of its library; larger ones are not read.
constexpr std::size_t kMaxIndexBytes = std::size_t{256} * 1024 * 1024;

static_assert(std::endian::native == std::endian::little, "the index is written as it is held");

// A checksum of bytes, to tell a damaged index from a whole one: 8 bytes at a time, mixed with
// a multiplication and a rotation; `h` chains one piece to the one before.
std::uint64_t checksum(std::string_view bytes, std::uint64_t h = 0) {
    h ^= 0x9E3779B97F4A7C15ULL ^ bytes.size();
    std::size_t i = 0;
    for (; i + 8 <= bytes.size(); i += 8) {
        std::uint64_t word = 0;
        std::memcpy(&word, bytes.data() + i, 8);
        h = std::rotl((h ^ word) * 0xFF51AFD7ED558CCDULL, 29);
    }
    std::uint64_t tail = 0;
    if (i < bytes.size()) {
        std::memcpy(&tail, bytes.data() + i, bytes.size() - i);
    }
    return std::rotl((h ^ tail) * 0xC4CEB9FE1A85EC53ULL, 31);
}

class Writer {
  public:
    explicit Writer(std::string& out) : out_(out) {}

    template <class T>
    requires std::is_arithmetic_v<T>
    void operator()(const T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            out_.push_back(value ? '\1' : '\0');
        } else {
            out_.append(reinterpret_cast<const char*>(&value), sizeof value);
        }
    }
    void operator()(const std::string& text) {
        (*this)(static_cast<std::uint32_t>(text.size()));
        out_.append(text);
    }
    template <class T>
    void operator()(const std::optional<T>& value) {
        (*this)(value.has_value());
        if (value) {
            (*this)(*value);
        }
    }
    template <class T>
    void operator()(const std::vector<T>& list) {
        (*this)(static_cast<std::uint32_t>(list.size()));
        for (const T& item : list) {
            (*this)(item);
        }
    }
    template <class Record>
    requires std::is_class_v<Record>
    void operator()(const Record& record) { fields(*this, record); }

  private:
    std::string& out_;
};

class Reader {
  public:
    explicit Reader(std::string_view in) : in_(in) {}

    bool atEnd() const { return ok_ && in_.empty(); }

    template <class T>
    requires std::is_arithmetic_v<T>
    void operator()(T& value) {
        if constexpr (std::is_same_v<T, bool>) {
            std::uint8_t byte = 0;
            (*this)(byte);
            ok_ = ok_ && byte <= 1;
            value = byte == 1;
        } else if (take(sizeof value)) {
            std::memcpy(&value, in_.data() - sizeof value, sizeof value);
        }
    }
    void operator()(std::string& text) {
        std::uint32_t size = 0;
        (*this)(size);
        if (take(size)) {
            text.assign(in_.data() - size, size);
        }
    }
    template <class T>
    void operator()(std::optional<T>& value) {
        bool present = false;
        (*this)(present);
        if (present && ok_) {
            (*this)(value.emplace());
        }
    }
    template <class T>
    void operator()(std::vector<T>& list) {
        std::uint32_t count = 0;
        (*this)(count);
        // Every item takes at least one byte: a damaged count never makes a huge list.
        if (!ok_ || count > in_.size()) {
            ok_ = false;
            return;
        }
        list.resize(count);
        for (T& item : list) {
            (*this)(item);
            if (!ok_) {
                return;
            }
        }
    }
    template <class Record>
    requires std::is_class_v<Record>
    void operator()(Record& record) { fields(*this, record); }

  private:
    bool take(std::size_t bytes) {
        if (!ok_ || bytes > in_.size()) {
            ok_ = false;
            return false;
        }
        in_.remove_prefix(bytes);
        return true;
    }

    std::string_view in_;
    bool ok_ = true;
};

// The fields of each record, in the order the index holds them; one list for both directions.
template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, Date>
void fields(IO& io, R& date) {
    io(date.sinceReference);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, styleSection>
void fields(IO& io, R& s) {
    io(s.urls), io(s.urlPrefixes), io(s.domains), io(s.regexps);
    io(s.code), io(s.compiledcode), io(s.sectionName);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, variableOption>
void fields(IO& io, R& o) {
    io(o.name), io(o.label), io(o.value);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, rangeOpts>
void fields(IO& io, R& r) {
    io(r.min), io(r.max), io(r.step), io(r.units);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, userVariable>
void fields(IO& io, R& v) {
    io(v.type), io(v.name), io(v.label), io(v.defaultValue);
    io(v.selectOptions), io(v.rangeOptions), io(v.currentValue);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, styleJSON>
void fields(IO& io, R& j) {
    io(j.url), io(j.updateUrl), io(j.md5Url), io(j.originalMd5), io(j.name);
    io(j.sections), io(j.compSections);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, styleContainer>
void fields(IO& io, R& s) {
    io(s.uniqueID), io(s.styleData), io(s.isEnabled), io(s.source), io(s.userstyleID);
    io(s.version), io(s.namespace_), io(s.description), io(s.author), io(s.homepageURL);
    io(s.supportURL), io(s.license), io(s.downloadedFrom), io(s.preprocessor);
    io(s.exclURL), io(s.exclDomain), io(s.exclPrefix), io(s.exclRegExp);
    io(s.allowIframe), io(s.updateURL), io(s.systemTheme), io(s.userVariables);
    io(s.dateModified);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, styleDatabase>
void fields(IO& io, R& db) {
    io(db.dbVersion), io(db.styles), io(db.randomHash), io(db.dateModified);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, CodeSpan>
void fields(IO& io, R& span) {
    io(span.offset), io(span.length), io(span.injectsNothing);
}

template <class IO, class R>
requires std::is_same_v<std::remove_const_t<R>, LibraryFileIdentity>
void fields(IO& io, R& file) {
    io(file.device), io(file.inode), io(file.size), io(file.modifiedNanoseconds);
}

}  // namespace

LibraryFileIdentity LibraryFileIdentity::of(const struct stat& info) {
    return {static_cast<std::uint64_t>(info.st_dev), static_cast<std::uint64_t>(info.st_ino),
            static_cast<std::uint64_t>(info.st_size),
            static_cast<std::int64_t>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec};
}

std::filesystem::path libraryIndexFile(const std::filesystem::path& database) {
    return database.parent_path() / ("." + database.filename().string() + ".index");
}

std::uint64_t skeletonChecksum(std::string_view text, const std::vector<CodeSpan>& spans) {
    std::uint64_t h = 0;
    std::size_t from = 0;
    for (const CodeSpan& span : spans) {
        if (span.offset < from || span.offset > text.size()) {
            return ~h;  // no spans of this text
        }
        h = checksum(text.substr(from, static_cast<std::size_t>(span.offset) - from), h);
        from = static_cast<std::size_t>(span.offset) + span.length;
    }
    return from > text.size() ? ~h : checksum(text.substr(from), h);
}

std::string encodeLibraryIndex(const styleDatabase& records, const std::vector<CodeSpan>& spans,
                               std::uint64_t skeleton, const LibraryFileIdentity& file) {
    std::string out(kHeaderBytes, '\0');
    Writer body(out);
    body(records);
    body(spans);
    body(skeleton);
    const std::string_view written = std::string_view(out).substr(kHeaderBytes);
    std::string header;
    Writer head(header);
    header.append(kMagic);
    head(kFormat);
    head(std::uint32_t{0});
    head(file);
    head(static_cast<std::uint64_t>(written.size()));
    head(checksum(written));
    out.replace(0, kHeaderBytes, header);
    out.append(kMagic);
    return out;
}

std::optional<LibraryIndex> decodeLibraryIndex(std::string_view bytes,
                                               const LibraryFileIdentity& file) {
    if (bytes.size() < kHeaderBytes + kMagic.size() || !bytes.starts_with(kMagic) ||
        !bytes.ends_with(kMagic)) {
        return std::nullopt;
    }
    Reader head(bytes.substr(kMagic.size(), kHeaderBytes - kMagic.size()));
    std::uint32_t format = 0;
    std::uint32_t reserved = 0;
    LibraryFileIdentity madeFrom;
    std::uint64_t bodySize = 0;
    std::uint64_t sum = 0;
    head(format), head(reserved), head(madeFrom), head(bodySize), head(sum);
    const std::string_view body =
        bytes.substr(kHeaderBytes, bytes.size() - kHeaderBytes - kMagic.size());
    if (!head.atEnd() || format != kFormat || reserved != 0 || !(madeFrom == file) ||
        bodySize != body.size() || sum != checksum(body)) {
        return std::nullopt;
    }
    return detail::decodeLibraryIndexBody(body);
}

std::optional<LibraryIndex> detail::decodeLibraryIndexBody(std::string_view body) {
    LibraryIndex index;
    Reader in(body);
    in(index.records);
    in(index.spans);
    in(index.skeleton);
    if (!in.atEnd()) {
        return std::nullopt;
    }
    return index;
}

std::optional<LibraryIndex> readLibraryIndex(const std::filesystem::path& database,
                                             const LibraryFileIdentity& file) {
    Result<std::string> bytes = readWholeFile(libraryIndexFile(database), kMaxIndexBytes);
    if (!bytes) {
        return std::nullopt;
    }
    return decodeLibraryIndex(*bytes, file);
}

Status writeLibraryIndex(const std::filesystem::path& database, const styleDatabase& records,
                         const std::vector<CodeSpan>& spans, std::uint64_t skeleton,
                         const LibraryFileIdentity& file) {
    const std::filesystem::path path = libraryIndexFile(database);
    // One left behind by a process that stopped while writing it.
    removeStaleTemporaries(path, std::chrono::minutes(10));
    return writeFileAtomically(path, encodeLibraryIndex(records, spans, skeleton, file), 0600,
                               false);
}

std::optional<styleDatabase> indexedRecords(const std::filesystem::path& database) {
    struct stat info {};
    if (::stat(database.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return std::nullopt;
    }
    auto index = readLibraryIndex(database, LibraryFileIdentity::of(info));
    if (!index) {
        return std::nullopt;
    }
    return std::move(index->records);
}

}  // namespace orlavine
