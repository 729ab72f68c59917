#pragma once
// The styles' site icons for the list: looked for off the main thread through the program's
// downloader, kept on disk so a later start shows them at once, and the default droplet until
// one is found. Addresses that had no icon are not asked again for a week.

#include <QIcon>
#include <QObject>
#include <atomic>
#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "app/gui/main_thread_work.h"
#include "app/gui/notice_bridge.h"
#include "net/web_download.h"

namespace orlavine::gui {

class SiteIcons : public QObject {
    Q_OBJECT
  public:
    // With `notifications`, an "updateFavicons" notice makes the style's icon be looked for again.
    SiteIcons(Downloader& downloader, std::filesystem::path cacheFolder,
              NotificationCenter* notifications = nullptr, QObject* parent = nullptr);
    // Ends the downloads in flight at once and waits for them.
    ~SiteIcons() override;

    // The style's icon once found, else a null icon.
    QIcon icon(std::int64_t uniqueID) const;
    // Looks for the style's icon at `addresses` in order (once per style until forget()).
    void request(std::int64_t uniqueID, const std::vector<std::string>& addresses);
    void forget(std::int64_t uniqueID);

  signals:
    void iconFound(std::int64_t uniqueID);

  private:
    QImage find(const std::vector<std::string>& addresses);

    Downloader& downloader_;
    std::filesystem::path folder_;
    std::map<std::int64_t, QIcon> icons_;
    std::set<std::int64_t> asked_;
    std::atomic<bool> cancel_{false};
    std::unique_ptr<NoticeBridge> bridge_;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
