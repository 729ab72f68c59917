#include "sync/preferences_record.h"

#include <boost/json/parse.hpp>
#include <boost/json/serialize.hpp>
#include <optional>

#include "model/settings_keys.h"

namespace orlavine::sync {
namespace {

const SettingsStore& storeFor(const SettingsStores& settings, keys::Store store) {
    return store == keys::Store::app ? settings.app : settings.shared;
}

SettingsStore& storeFor(SettingsStores& settings, keys::Store store) {
    return store == keys::Store::app ? settings.app : settings.shared;
}

}  // namespace

std::string encodePreferences(const SettingsStores& settings) {
    boost::json::object record;
    for (const keys::CloudPreference& pref : keys::kCloudPreferences) {
        const SettingsStore& store = storeFor(settings, pref.store);
        switch (pref.type) {
            case keys::TransferType::boolean:
                record[pref.key] = store.boolValue(pref.key) ? 1 : 0;
                break;
            case keys::TransferType::integer:
                record[pref.key] = store.intValue(pref.key);
                break;
            case keys::TransferType::string:
                if (const std::optional<boost::json::value> v = store.value(pref.key);
                    v && v->is_string()) {
                    record[pref.key] = v->as_string();
                }
                break;
        }
    }
    return boost::json::serialize(record);
}

Status applyPreferences(std::string_view text, SettingsStores& settings) {
    if (text.size() > kMaxPreferencesBytes) {
        return Error{"the preferences record is too large"};
    }
    boost::system::error_code ec;
    boost::json::parse_options options;
    options.max_depth = 8;
    const boost::json::value parsed = boost::json::parse(text, ec, {}, options);
    if (ec || !parsed.is_object()) {
        return Error{"the preferences record is not a JSON object"};
    }
    const boost::json::object& record = parsed.as_object();
    for (const keys::CloudPreference& pref : keys::kCloudPreferences) {
        const boost::json::value* field = record.if_contains(pref.key);
        if (field == nullptr) {
            continue;
        }
        SettingsStore& store = storeFor(settings, pref.store);
        Status written = Done{};
        switch (pref.type) {
            case keys::TransferType::boolean:
                if (field->is_int64()) {
                    written = store.set(pref.key, field->as_int64() != 0);
                } else if (field->is_uint64()) {
                    written = store.set(pref.key, field->as_uint64() != 0);
                }
                break;
            case keys::TransferType::integer:
                if (field->is_int64()) {
                    written = store.set(pref.key, field->as_int64());
                }
                break;
            case keys::TransferType::string:
                if (field->is_string()) {
                    written = store.set(pref.key, field->as_string());
                }
                break;
        }
        if (!written) {
            return written;
        }
    }
    return Done{};
}

}  // namespace orlavine::sync
