#include "sync/record_files.h"

#include "sync/record_store.h"

namespace orlavine::sync {

std::string recordFileName(const std::string& recordName) {
    if (recordName == kDatabaseRecord) {
        return recordName + ".sdb";
    }
    return recordName + ".json";
}

}  // namespace orlavine::sync
