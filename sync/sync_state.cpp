#include "sync/sync_state.h"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>

#include "model/atomic_file.h"
#include "model/record_json.h"

namespace orlavine::sync {
namespace {

constexpr std::size_t kMaxStateBytes = 64u * 1024u;

std::optional<std::string> stringMember(const boost::json::object& o, const char* key) {
    const boost::json::value* v = o.if_contains(key);
    if (v == nullptr || !v->is_string()) {
        return std::nullopt;
    }
    return std::string(v->as_string());
}

}  // namespace

SyncState loadSyncState(const std::filesystem::path& folder) {
    SyncState state;
    if (Result<std::string> text = readWholeFile(folder / kSyncStateFileName, kMaxStateBytes)) {
        boost::system::error_code ec;
        const boost::json::value parsed = boost::json::parse(*text, ec);
        if (!ec && parsed.is_object()) {
            const boost::json::object& o = parsed.as_object();
            state.databaseTag = stringMember(o, "databaseTag");
            state.preferencesTag = stringMember(o, "preferencesTag");
            const boost::json::value* pending = o.if_contains("uploadPending");
            state.uploadPending = pending != nullptr && pending->is_bool() && pending->as_bool();
            const boost::json::value* first = o.if_contains("firstMergeAfterEnabling");
            state.firstMergeAfterEnabling =
                first != nullptr && first->is_bool() && first->as_bool();
            if (const boost::json::value* rev = o.if_contains("syncedRevision");
                rev != nullptr && rev->is_int64()) {
                state.syncedRevision = rev->as_int64();
            }
        }
    }
    if (Result<std::string> text =
            readWholeFile(folder / kDeletedStylesFileName, kMaxDatabaseBytes)) {
        if (Result<styleDatabase> db = decodeDatabase(*text)) {
            state.deletedStyles = std::move(db->styles);
        }
    }
    return state;
}

Status saveSyncState(const std::filesystem::path& folder, const SyncState& state) {
    boost::json::object o;
    if (state.databaseTag) {
        o["databaseTag"] = *state.databaseTag;
    }
    if (state.preferencesTag) {
        o["preferencesTag"] = *state.preferencesTag;
    }
    o["uploadPending"] = state.uploadPending;
    o["firstMergeAfterEnabling"] = state.firstMergeAfterEnabling;
    if (state.syncedRevision) {
        o["syncedRevision"] = *state.syncedRevision;
    }
    if (Status s = writeFileAtomically(folder / kSyncStateFileName, boost::json::serialize(o));
        !s) {
        return s;
    }
    const std::filesystem::path deleted = folder / kDeletedStylesFileName;
    if (state.deletedStyles.empty()) {
        std::error_code ec;
        std::filesystem::remove(deleted, ec);
        return Done{};
    }
    styleDatabase db;
    db.styles = state.deletedStyles;
    return writeFileAtomically(deleted, encodeDatabase(db));
}

}  // namespace orlavine::sync
