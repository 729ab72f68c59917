// Installing from "orlavine:" links against a loopback HTTPS server: what the user is asked and
// told, in order, and what the library holds afterwards.

#include <QSignalSpy>
#include <QTest>
#include <boost/json/serialize.hpp>

#include "app/gui/link_handler.h"
#include "gui_fixture.h"
#include "model/config.h"
#include "model/record_json.h"
#include "support/loopback_https.h"

using namespace orlavine;
using namespace orlavine::gui;
using orlavine::testing::GuiFixture;
using orlavine::testing::LoopbackHttpsServer;

namespace {

constexpr const char* kUserCSS =
    "/* ==UserStyle==\n@name Night Reader\n@namespace night\n@version 1.0\n==/UserStyle== */\n"
    "@-moz-document domain(\"example.org\") {\n  body { background: #000; }\n}\n";

}  // namespace

class LinkInstallTest : public QObject {
    Q_OBJECT
  private slots:
    void installsAfterAsking() {
        LoopbackHttpsServer web;
        std::mutex mutex;
        std::vector<std::string> asked;
        styleJSON catalogue;
        catalogue.name = "Catalogue Dark";
        catalogue.sections.push_back(styleSection{{}, {}, {"example.com"}, {}, "a{}", {}, {}});
        const std::string catalogueJSON = boost::json::serialize(styleJSONToJson(catalogue));
        web.server().Get(".*", [&](const httplib::Request& request, httplib::Response& response) {
            {
                std::lock_guard lock(mutex);
                asked.push_back(request.target);
            }
            if (request.path == "/plain.css") {
                response.set_content("body { color: red; }", "text/css");
            } else if (request.path == "/night.user.css") {
                response.set_content(kUserCSS, "text/css");
            } else if (request.path == "/styles/chrome/123.json") {
                response.set_content(catalogueJSON, "application/json");
            } else {
                response.status = 404;
            }
        });
        GuiFixture fx({}, [&](SettingsStore& app) {
            app.set(kCertificateFileKey, boost::json::value(web.certificateFile().string()));
            app.set(kCatalogueHostKey, boost::json::value(web.hostPort()));
        });
        LinkHandler links(*fx.session, fx.prompter);
        QSignalSpy done(&links, &LinkHandler::done);

        // Plain CSS: the no-rules alert comes before the question.
        fx.prompter.answers = {true};
        links.handle(QString::fromStdString("orlavine://usercss/" + web.base() + "/plain.css"));
        QVERIFY(done.wait(30000));
        QCOMPARE(fx.prompter.log,
                 (QStringList{"CSS File Imported With No Rules",
                              "Do you want to install the style \"New Style from CSS\"?"}));
        QCOMPARE(fx.names(), std::vector<std::string>{"New Style from CSS"});

        // A UserCSS document, declined.
        fx.prompter.log.clear();
        links.handle(
            QString::fromStdString("orlavine://usercss/" + web.base() + "/night.user.css"));
        QVERIFY(done.wait(30000));
        QCOMPARE(fx.prompter.log,
                 QStringList{"Do you want to install the style \"Night Reader\"?"});
        QCOMPARE(fx.names().size(), 1u);

        // A catalogue style with a settings tail, accepted.
        fx.prompter.log.clear();
        fx.prompter.answers = {true};
        links.handle("orlavine://install/123/ik-accent=%23ff0000");
        QVERIFY(done.wait(30000));
        QCOMPARE(fx.prompter.log,
                 QStringList{"Do you want to install the style \"Catalogue Dark\"?"});
        {
            std::lock_guard lock(mutex);
            QCOMPARE(asked.back(), std::string("/styles/chrome/123.json?ik-accent=%23ff0000"));
        }
        const styleContainer installed = fx.session->store().snapshot().styles.back();
        QCOMPARE(installed.source, std::string("usorg"));
        QCOMPARE(installed.userstyleID, std::int64_t{123});

        // A missing document and a missing catalogue style.
        fx.prompter.log.clear();
        links.handle(QString::fromStdString("orlavine://usercss/" + web.base() + "/gone.css"));
        QVERIFY(done.wait(30000));
        links.handle("orlavine://install/9");
        QVERIFY(done.wait(30000));
        QCOMPARE(fx.prompter.log, (QStringList{"Error Getting Style", "Error Installing Style"}));
        QCOMPARE(fx.names().size(), 2u);
    }

    void openedDocumentsJoinTheLibrary() {
        GuiFixture fx({"a"});
        LinkHandler links(*fx.session, fx.prompter);
        QSignalSpy done(&links, &LinkHandler::done);
        bool refreshed = false;
        fx.session->notifications().addObserver(notifications::kRefreshTable,
                                                [&](const Notification&) { refreshed = true; });

        // Another library with one style of its own, answered "Yes".
        GuiFixture other({"b"});
        const auto file = fx.home.data() / "other.sdb";
        QVERIFY(other.session->store().backUp(file).ok());
        fx.prompter.answers = {true};
        links.handle(QString::fromStdString(file.string()));
        QVERIFY(done.wait(30000));
        QVERIFY(refreshed);
        QCOMPARE(fx.names(), (std::vector<std::string>{"a", "b"}));

        // A style file is imported without a question; other files are passed over.
        orlavine::testing::writeText(fx.home.data() / "wide.css", "p { margin: 0 }");
        links.handle(QString::fromStdString((fx.home.data() / "wide.css").string()));
        QVERIFY(done.wait(30000));
        links.handle(QString::fromStdString((fx.home.data() / "notes.txt").string()));
        QCOMPARE(fx.names(), (std::vector<std::string>{"a", "b", "wide"}));
        QCOMPARE(fx.prompter.questions.size(), 1);
    }
};

QTEST_MAIN(LinkInstallTest)
#include "link_install_test.moc"
