#include "app/gui/link_handler.h"

#include "app/gui/notice_values.h"

#include <QFileInfo>
#include <algorithm>
#include <array>

#include "app/gui/link_request.h"
#include "formats/usercss_reader.h"
#include "library/catalogue_install.h"
#include "library/style_import.h"
#include "library/url_import.h"
#include "model/config.h"
#include "model/style_factory.h"

namespace orlavine::gui {
namespace {

constexpr const char* kErrorInstallingTitle = "Error Installing Style";
constexpr const char* kErrorInstallingText =
    "There was an error installing the style from the URL provided.";

}  // namespace

LinkHandler::LinkHandler(Session& session, Prompter& prompter, QObject* parent)
    : QObject(parent), session_(session), prompter_(prompter) {}

LibraryServices LinkHandler::services() {
    return LibraryServices{session_.store(),     session_.settings().app,
                           session_.reporter(),  &session_.notifications(),
                           &session_.compiler(), &session_.downloader()};
}

void LinkHandler::handle(const QString& argument) {
    if (argument.startsWith(QStringLiteral("orlavine:"), Qt::CaseInsensitive)) {
        handleLink(argument);
    } else {
        openDocument(argument);
    }
}

void LinkHandler::handleLink(const QString& link) {
    const std::string text = link.toStdString();
    const LinkRequest request = parseLink(text, catalogueHost(session_.settings().app));
    switch (request.kind) {
        case LinkRequest::Kind::openStyle:
            session_.notifications().post(notifications::kOpenStyleNotif, {{"id", request.number}});
            break;
        case LinkRequest::Kind::userCSS:
            installUserCSS(request.address);
            return;
        case LinkRequest::Kind::install:
            installFromCatalogue(request.number, request.address);
            return;
        case LinkRequest::Kind::none:
            break;
    }
    emit done();
}

void LinkHandler::installUserCSS(std::string address) {
    work_.run([this, address = std::move(address)] {
        static constexpr std::array<const char*, 3> kStyleExtensions{".css", ".styl", ".less"};
        const bool styleFile =
            std::any_of(kStyleExtensions.begin(), kStyleExtensions.end(),
                        [&](const char* ext) { return address.find(ext) != std::string::npos; });
        if (!styleFile) {
            work_.onMain([this] {
                prompter_.alert(QString::fromUtf8(kUnsupportedURLTitle),
                                QString::fromUtf8(kUnsupportedURLText));
                emit done();
            });
            return;
        }
        Result<std::string> text = fetchText(address, session_.downloader());
        if (!text) {
            session_.reporter().consoleLine(address + ": " + text.error());
            work_.onMain([this] {
                prompter_.alert(QString::fromUtf8(kErrorGettingStyleTitle),
                                QString::fromUtf8(kErrorGettingStyleText));
                emit done();
            });
            return;
        }
        std::optional<styleContainer> style;
        if (text->find("@-moz-document") == std::string::npos) {
            style = plainStyle(kPastedStyleName, *text);
            work_.onMain([this] {
                prompter_.alert(QString::fromUtf8(kURLNoRulesTitle),
                                QString::fromUtf8(kURLNoRulesText));
            });
        } else {
            UserCSSReadHooks hooks;
            hooks.newUniqueID = [this] {
                return session_.store().read(
                    [](const styleDatabase& db) { return newUniqueID(db); });
            };
            hooks.console = &session_.reporter();
            style = readAndCompileUserCSS(*text, hooks, &session_.compiler());
            if (style) {
                style->downloadedFrom = address;
            }
        }
        work_.onMain([this, style = std::move(style)]() mutable {
            if (style) {
                confirmAndAdd(std::move(*style));
            }
            emit done();
        });
    });
}

void LinkHandler::installFromCatalogue(std::int64_t number, std::string jsonAddress) {
    const auto installed = session_.store().read([number](const styleDatabase& db) {
        const auto it =
            std::find_if(db.styles.begin(), db.styles.end(),
                         [number](const styleContainer& s) { return s.userstyleID == number; });
        return it == db.styles.end() ? std::optional<std::string>()
                                     : std::optional<std::string>(it->styleData.name);
    });
    if (installed) {
        prompter_.alert(QString::fromUtf8(kDuplicateStyleTitle),
                        fromStd(duplicateStyleText(*installed)));
        emit done();
        return;
    }
    const std::string host = catalogueHost(session_.settings().app);
    work_.run([this, number, host, jsonAddress = std::move(jsonAddress)] {
        CatalogueFetch fetched = fetchCatalogueStyle(jsonAddress, host, session_.downloader());
        if (!fetched.style) {
            session_.reporter().consoleLine(jsonAddress + ": " + fetched.detail);
            work_.onMain([this] {
                prompter_.alert(QString::fromUtf8(kErrorInstallingTitle),
                                QString::fromUtf8(kErrorInstallingText));
                emit done();
            });
            return;
        }
        work_.onMain([this, number, data = std::move(*fetched.style)]() mutable {
            styleContainer style = session_.store().read([&](const styleDatabase& db) {
                return newStyle(std::move(data), "usorg", number, db);
            });
            confirmAndAdd(std::move(style));
            emit done();
        });
    });
}

void LinkHandler::confirmAndAdd(styleContainer style) {
    const QString name = fromStd(style.styleData.name);
    if (!prompter_.confirm(tr("Do you want to install the style \"") + name + QStringLiteral("\"?"),
                           tr("A URL is trying to install a style. Would you like to allow "
                              "this?"))) {
        return;
    }
    if (session_.store().add(std::move(style))) {
        session_.notifications().post(notifications::kAddLatestStyle);
    }
}

void LinkHandler::openDocument(const QString& path) {
    const QString extension = QFileInfo(path).suffix();
    if (extension == QStringLiteral("sdb")) {
        if (!prompter_.confirm(
                tr("Do you want to import the styles from the Style Database file at ") + path +
                    QStringLiteral("?"),
                tr("This will add the styles from this file to your current style database."))) {
            emit done();
            return;
        }
        work_.run([this, file = std::filesystem::path(path.toStdString())] {
            session_.store().mergeFromFile(file);
            work_.onMain([this] {
                session_.notifications().post(notifications::kRefreshTable);
                emit done();
            });
        });
        return;
    }
    if (extension == QStringLiteral("css") || extension == QStringLiteral("styl") ||
        extension == QStringLiteral("less")) {
        work_.run([this, file = std::filesystem::path(path.toStdString())] {
            importStyleFile(file, services());
            work_.onMain([this] { emit done(); });
        });
        return;
    }
    emit done();
}

}  // namespace orlavine::gui
