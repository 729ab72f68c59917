#include "app/code_editor/editor_page_profile.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>

#include "preprocess/script_resources.h"

namespace orlavine::gui {
namespace {

constexpr qint64 kMaxPageFileBytes = qint64{16} << 20;

QByteArray mimeTypeFor(const QString& path) {
    if (path.endsWith(".html")) {
        return "text/html";
    }
    if (path.endsWith(".css")) {
        return "text/css";
    }
    if (path.endsWith(".js")) {
        return "application/javascript";
    }
    return "application/octet-stream";
}

// Serves the files of the page folder, and nothing outside it.
class PageFolderHandler : public QWebEngineUrlSchemeHandler {
  public:
    PageFolderHandler(QString folder, QObject* parent)
        : QWebEngineUrlSchemeHandler(parent), folder_(QDir::cleanPath(std::move(folder))) {}

    void requestStarted(QWebEngineUrlRequestJob* job) override {
        const QString relative = QDir::cleanPath(job->requestUrl().path());
        const QString path = QDir::cleanPath(folder_ + "/" + relative);
        const QFileInfo info(path);
        if (!path.startsWith(folder_ + "/") || !info.isFile() || info.size() > kMaxPageFileBytes) {
            job->fail(QWebEngineUrlRequestJob::UrlNotFound);
            return;
        }
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly)) {
            job->fail(QWebEngineUrlRequestJob::RequestFailed);
            return;
        }
        auto* buffer = new QBuffer(job);
        buffer->setData(file.readAll());
        job->reply(mimeTypeFor(path), buffer);
    }

  private:
    QString folder_;
};

// Lets the page load only from itself, Qt's own resources and what it makes in memory.
class LocalOnly : public QWebEngineUrlRequestInterceptor {
  public:
    using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;
    void interceptRequest(QWebEngineUrlRequestInfo& info) override {
        const QString scheme = info.requestUrl().scheme();
        if (scheme != kEditorScheme && scheme != "qrc" && scheme != "blob" && scheme != "data") {
            info.block(true);
        }
    }
};

}  // namespace

void registerEditorPageScheme() {
    QWebEngineUrlScheme scheme(kEditorScheme);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::Host);
    scheme.setFlags(QWebEngineUrlScheme::SecureScheme | QWebEngineUrlScheme::LocalScheme |
                    QWebEngineUrlScheme::LocalAccessAllowed | QWebEngineUrlScheme::CorsEnabled);
    QWebEngineUrlScheme::registerScheme(scheme);
}

QWebEngineProfile* editorPageProfile(const QString& pageFolder) {
    static QWebEngineProfile* profile = nullptr;
    if (profile == nullptr) {
        profile = new QWebEngineProfile(QCoreApplication::instance());  // off the record
        profile->installUrlSchemeHandler(kEditorScheme, new PageFolderHandler(pageFolder, profile));
        profile->setUrlRequestInterceptor(new LocalOnly(profile));
    }
    return profile;
}

QString defaultEditorPageFolder() {
    return QString::fromStdString((programScriptDirectory() / "editor").string());
}

}  // namespace orlavine::gui
