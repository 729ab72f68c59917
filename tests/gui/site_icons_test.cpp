// Site icons for the list: found through the downloader, kept on disk for the next start, and an
// address without an icon is not asked again.

#include <QBuffer>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include "app/gui/site_icons.h"
#include "support/loopback_https.h"
#include "support/test_support.h"

using namespace orlavine;

class SiteIconsTest : public QObject {
    Q_OBJECT

  private slots:
    void foundKeptAndNotAskedAgain() {
        testing::LoopbackHttpsServer web;
        QImage red(16, 16, QImage::Format_ARGB32);
        red.fill(Qt::red);
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        red.save(&buffer, "PNG");
        web.server().Get("/favicon.ico", [&png](const httplib::Request&, httplib::Response& r) {
            r.set_content(png.toStdString(), "image/png");
        });
        web.server().Get("/none.ico", [](const httplib::Request&, httplib::Response& r) {
            r.set_content("not an image", "text/plain");
        });
        DownloadOptions options;
        options.certificateFile = web.certificateFile().string();
        Downloader downloader(options);
        testing::TempDir cache;
        const std::string none = web.base() + "/none.ico";
        const std::string icon = web.base() + "/favicon.ico";

        {
            gui::SiteIcons icons(downloader, cache.path());
            QSignalSpy found(&icons, &gui::SiteIcons::iconFound);
            icons.request(7, {none, icon});
            QVERIFY(found.wait(10000));
            QCOMPARE(found.first().first().toLongLong(), 7);
            QVERIFY(!icons.icon(7).isNull());
            QVERIFY(icons.icon(8).isNull());
        }
        const int asked = web.requests();
        QCOMPARE(asked, 2);

        // A later start finds it on disk and does not ask for the address without an icon.
        NotificationCenter notifications;
        gui::SiteIcons again(downloader, cache.path(), &notifications);
        QSignalSpy found(&again, &gui::SiteIcons::iconFound);
        again.request(7, {none, icon});
        QVERIFY(found.wait(10000));
        QCOMPARE(web.requests(), asked);

        // An edit of the style lets its row look again.
        notifications.post(notifications::kUpdateFavicons, {{"id", std::int64_t{7}}});
        QTRY_VERIFY_WITH_TIMEOUT(again.icon(7).isNull(), 5000);
        again.request(7, {icon});
        QTRY_VERIFY_WITH_TIMEOUT(!again.icon(7).isNull(), 10000);
    }
};

QTEST_MAIN(SiteIconsTest)
#include "site_icons_test.moc"
