#pragma once
// A record store in a local folder that the user keeps in step by other means (a file-syncing
// program): one file per record, replaced atomically; the change tag is a hash of the content,
// and inotify on the folder stands in for change notices.

#include <cstddef>
#include <filesystem>

#include "sync/record_files.h"
#include "sync/record_store.h"

namespace orlavine::sync {

class FolderRecordStore : public RecordStore {
  public:
    explicit FolderRecordStore(std::filesystem::path folder,
                               std::size_t maxRecordBytes = 0 /* kMaxRecordBytes */);
    ~FolderRecordStore() override;
    FolderRecordStore(const FolderRecordStore&) = delete;
    FolderRecordStore& operator=(const FolderRecordStore&) = delete;

    FetchOutcome fetch(const std::vector<std::string>& names) override;
    TagOutcome currentTag(const std::string& name) override;
    SaveOutcome save(const std::string& name, std::string_view body,
                     const std::optional<std::string>& expectedTag) override;
    std::optional<CloudError> checkAccount() override;
    bool waitForChange(std::chrono::milliseconds timeout) override;
    // Ends a wait for a change at once, and every later one.
    void cancel() override;

  private:
    struct Read {
        std::optional<CloudError> error;
        std::optional<RemoteRecord> record;
    };
    Read read(const std::string& name) const;
    void startWatching();

    std::filesystem::path folder_;
    std::size_t maxRecordBytes_;
    int inotify_ = -1;
    int cancelled_ = -1;  // an eventfd, readable once cancel() was called
};

}  // namespace orlavine::sync
