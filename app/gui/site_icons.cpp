#include "app/gui/site_icons.h"

#include "app/gui/notice_values.h"

#include <QCryptographicHash>
#include <QFile>
#include <QImage>
#include <chrono>
#include <system_error>

namespace orlavine::gui {
namespace {

constexpr auto kNoIconRetry = std::chrono::hours(24 * 7);
constexpr int kIconSize = 32;

std::string fileNameFor(const std::string& address) {
    return QCryptographicHash::hash(QByteArray::fromStdString(address), QCryptographicHash::Sha1)
        .toHex()
        .toStdString();
}

bool recentlyMissing(const std::filesystem::path& marker) {
    std::error_code ec;
    const auto written = std::filesystem::last_write_time(marker, ec);
    return !ec && std::filesystem::file_time_type::clock::now() - written < kNoIconRetry;
}

}  // namespace

SiteIcons::SiteIcons(Downloader& downloader, std::filesystem::path cacheFolder,
                     NotificationCenter* notifications, QObject* parent)
    : QObject(parent), downloader_(downloader), folder_(std::move(cacheFolder) / "site-icons") {
    if (notifications != nullptr) {
        bridge_ = std::make_unique<NoticeBridge>(
            *notifications, std::initializer_list<const char*>{notifications::kUpdateFavicons});
        connect(bridge_.get(), &NoticeBridge::notice, this, [this](const Notification& n) {
            const std::int64_t id = noticeID(n);
            forget(id);
            emit iconFound(id);  // the row asks again when it is drawn
        });
    }
}

SiteIcons::~SiteIcons() {
    cancel_ = true;
}

QIcon SiteIcons::icon(std::int64_t uniqueID) const {
    const auto it = icons_.find(uniqueID);
    return it == icons_.end() ? QIcon() : it->second;
}

void SiteIcons::forget(std::int64_t uniqueID) {
    asked_.erase(uniqueID);
    icons_.erase(uniqueID);
}

void SiteIcons::request(std::int64_t uniqueID, const std::vector<std::string>& addresses) {
    if (addresses.empty() || !asked_.insert(uniqueID).second) {
        return;
    }
    work_.run([this, uniqueID, addresses] {
        const QImage image = find(addresses);
        if (image.isNull()) {
            return;
        }
        work_.onMain([this, uniqueID, image] {
            icons_[uniqueID] = QIcon(QPixmap::fromImage(image));
            emit iconFound(uniqueID);
        });
    });
}

// Runs on a pool thread: the disk first, then the network, address after address.
QImage SiteIcons::find(const std::vector<std::string>& addresses) {
    std::error_code ec;
    std::filesystem::create_directories(folder_, ec);
    for (const std::string& address : addresses) {
        if (cancel_) {
            return {};
        }
        const std::filesystem::path kept = folder_ / (fileNameFor(address) + ".png");
        const std::filesystem::path missing = folder_ / (fileNameFor(address) + ".none");
        QImage image(QString::fromStdString(kept.string()));
        if (!image.isNull()) {
            return image;
        }
        if (recentlyMissing(missing)) {
            continue;
        }
        const Result<std::string> bytes = downloader_.fetch(address, &cancel_);
        if (cancel_) {
            return {};
        }
        if (bytes) {
            image.loadFromData(QByteArray::fromStdString(*bytes));
        }
        if (image.isNull()) {
            QFile marker(QString::fromStdString(missing.string()));
            (void)marker.open(QIODevice::WriteOnly | QIODevice::Truncate);
            continue;
        }
        image = image.scaled(kIconSize, kIconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
        image.save(QString::fromStdString(kept.string()), "PNG");
        return image;
    }
    return {};
}

}  // namespace orlavine::gui
