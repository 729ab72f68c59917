#include "app/gui/desktop_app.h"

#include "app/code_editor/editor_page_profile.h"
#include "app/gui/compiler_error_window.h"
#include "app/gui/export_window.h"
#include "app/gui/paste_import_window.h"
#include "app/gui/preview_compiler.h"
#include "editor/editor_settings.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>
#include <utility>

#include "app/gui/browser_setup.h"
#include "app/gui/gui_reporter.h"
#include "app/gui/import_url_sheet.h"
#include "app/gui/new_style_sheet.h"
#include "app/gui/recovery_window.h"
#include "app/gui/single_instance.h"
#include "app/gui/update_sheet_dialog.h"
#include "model/config.h"
#include "model/date.h"
#include "model/paths.h"
#include "model/settings_keys.h"

namespace orlavine::gui {
namespace {

constexpr double kExtensionUseWindowSeconds = 30.0 * 24 * 60 * 60;

}  // namespace

DesktopApp::DesktopApp(Session& session, Prompter& prompter, QObject* parent)
    : QObject(parent),
      session_(session),
      prompter_(prompter),
      livePreview_(std::make_shared<LivePreview>(
          session.store().databaseFile().parent_path(),
          [compiler = std::make_shared<PreviewCompiler>()](styleContainer& style) {
              return compiler->compile(style);
          })),
      list_(session, prompter, StyleListController::FirstLoad::background),
      icons_(session.downloader(), cacheDirectory(), &session.notifications()),
      links_(session, prompter),
      cloud_(session),
      window_(std::make_unique<MainWindow>(session, list_)) {
    list_.setSyncInProgress([this] { return cloud_.syncInProgress(); });
    list_.model().setIcons(&icons_);
    connect(window_.get(), &MainWindow::newStyleRequested, this, &DesktopApp::showNewStyle);
    connect(window_.get(), &MainWindow::importURLRequested, this, &DesktopApp::showImportURL);
    connect(window_.get(), &MainWindow::importFileRequested, this, &DesktopApp::importFiles);
    connect(window_.get(), &MainWindow::updateAllRequested, this, &DesktopApp::showUpdateAll);
    connect(window_.get(), &MainWindow::recoveryRequested, this, &DesktopApp::showRecovery);
    connect(window_.get(), &MainWindow::browserSetupRequested, this, &DesktopApp::showBrowserSetup);
    connect(window_.get(), &MainWindow::emailSupportRequested, this, &DesktopApp::emailSupport);
    connect(window_.get(), &MainWindow::websiteRequested, this, &DesktopApp::openWebsite);
    connect(window_.get(), &MainWindow::aboutRequested, this, &DesktopApp::showAbout);
    connect(window_.get(), &MainWindow::exportRequested, this, &DesktopApp::showExport);
    connect(window_.get(), &MainWindow::preferencesRequested, this, &DesktopApp::showPreferences);
    connect(window_.get(), &MainWindow::pasteImportRequested, this, &DesktopApp::showPasteImport);
    connect(window_.get(), &MainWindow::propertiesRequested, this, &DesktopApp::openProperties);
    connect(&list_, &StyleListController::openInEditor, this, &DesktopApp::openEditor);
    connect(&list_, &StyleListController::loaded, this, [this] {
        runUpdateOnLaunch();
        for (const QString& argument : std::exchange(waitingArguments_, {})) {
            links_.handle(argument);
        }
    });
    connect(&list_, &StyleListController::firstUpdateAsked, this, [this] {
        updateWaitsForSync_ = false;
        runUpdateOnLaunch();
    });
    // A launch whose account could not be opened switched sync off: nothing will ask.
    connect(&cloud_, &CloudSync::firstSyncEnded, this, [this] {
        if (updateWaitsForSync_ && !session_.settings().app.boolValue(keys::kUseCloud)) {
            updateWaitsForSync_ = false;
            runUpdateOnLaunch();
        }
    });
}

DesktopApp::~DesktopApp() {
    delete browserSetup_;
}

void DesktopApp::start() {
    window_->show();
    // The list waits for the first sync.
    if (session_.settings().app.boolValue(keys::kUseCloud) && !cloud_.firstSyncStarted()) {
        session_.notifications().post(notifications::kLockForCloud);
    }
    // Update on launch, once per run, row by row, once the rows show the library. With sync on
    // it waits for the first merge with the cloud library.
    const SettingsStore& app = session_.settings().app;
    updateOnLaunchPending_ = app.boolValue(keys::kUpdateOnLaunch);
    updateWaitsForSync_ = app.boolValue(keys::kUseCloud);
    cloud_.setFirstUpdatePending(updateOnLaunchPending_ && updateWaitsForSync_);
    runUpdateOnLaunch();
    QTimer::singleShot(500, this, &DesktopApp::runLaunchChecks);
}

void DesktopApp::runUpdateOnLaunch() {
    if (!updateOnLaunchPending_ || updateWaitsForSync_ || !list_.isLoaded()) {
        return;
    }
    updateOnLaunchPending_ = false;
    list_.updateAll();
}

void DesktopApp::runLaunchChecks() {
    cloud_.checkAccount();
    SettingsStore& app = session_.settings().app;
    if (app.boolValue(keys::kIsFirstLaunch)) {
        showBrowserSetup();
        app.set(keys::kIsFirstLaunch, false);
        return;
    }
    if (!app.boolValue(keys::kWarnIfDisabled) || extensionWarningShown_ || extensionInUse()) {
        return;
    }
    extensionWarningShown_ = true;
    const Prompter::Choice choice = prompter_.choose(
        tr("Extension Not Enabled"),
        tr("To use your custom styles, you'll need to enable the Orlavine extension in your "
           "browser."),
        {tr("Set Up Browser"), tr("Later")});
    if (choice.suppressed) {
        app.set(keys::kWarnIfDisabled, false);
    }
    if (choice.button == 0) {
        showBrowserSetup();
    }
}

bool DesktopApp::extensionInUse() const {
    if (!anyBrowserConnected()) {
        return false;
    }
    const SettingsStore& extension = session_.settings().extension;
    if (!extension.hasStoredValue(keys::kHostLastRun)) {
        return false;
    }
    const double since =
        Date::now().sinceReference - extension.dateValue(keys::kHostLastRun).sinceReference;
    return since <= kExtensionUseWindowSeconds;
}

void DesktopApp::handleArguments(const QStringList& arguments) {
    window_->show();
    window_->raise();
    window_->activateWindow();
    if (!list_.isLoaded()) {
        // Links and documents change the library: they wait until it has been read.
        waitingArguments_ += arguments;
        return;
    }
    for (const QString& argument : arguments) {
        links_.handle(argument);
    }
}

LibraryServices DesktopApp::services() {
    return LibraryServices{session_.store(),     session_.settings().app,
                           session_.reporter(),  &session_.notifications(),
                           &session_.compiler(), &session_.downloader()};
}

void DesktopApp::showNewStyle() {
    if (list_.refused()) {
        return;
    }
    auto* sheet = new NewStyleSheet(services(), window_.get());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    connect(sheet, &NewStyleSheet::created, window_.get(), &MainWindow::selectStyle);
    connect(sheet, &NewStyleSheet::created, this, &DesktopApp::openEditor);
    sheet->open();
}

void DesktopApp::showImportURL() {
    if (list_.refused()) {
        return;
    }
    auto* sheet = new ImportURLSheet(services(), window_.get());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
}

void DesktopApp::importFiles() {
    if (list_.refused()) {
        return;
    }
    const QStringList files =
        QFileDialog::getOpenFileNames(window_.get(), tr("Import User CSS File"), QString(),
                                      tr("Style files (*.css *.styl *.less)"));
    for (const QString& file : files) {
        links_.openDocument(file);
    }
}

void DesktopApp::showUpdateAll() {
    if (list_.refused()) {
        return;
    }
    auto* sheet =
        new UpdateSheetDialog(session_.updateContext(), session_.notifications(), window_.get());
    sheet->setAttribute(Qt::WA_DeleteOnClose);
    sheet->open();
    sheet->start();
}

void DesktopApp::showRecovery() {
    sync::SyncEngine* engine = cloud_.engine();
    if (engine == nullptr) {
        prompter_.alert(tr("Sync Is Off"),
                        tr("Styles removed by syncing can be recovered while sync is on."));
        return;
    }
    auto* window = new RecoveryWindow(*engine, session_.notifications(), window_.get());
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

PreferencesWindow* DesktopApp::showPreferences() {
    if (preferences_ == nullptr) {
        PreferencesWindow::Hooks hooks;
        hooks.openStyleIDs = [this] {
            return std::vector<std::int64_t>(list_.openStyleIDs().begin(),
                                             list_.openStyleIDs().end());
        };
        hooks.pushPreferences = [this] {
            if (sync::SyncEngine* engine = cloud_.engine()) {
                engine->pushPreferences();
            }
        };
        hooks.openRecovery = [this] { showRecovery(); };
        hooks.switchSync = [this](bool on, bool newAccount) {
            if (on) {
                cloud_.switchOn(newAccount);
            }
        };
        hooks.signOut = [this](std::function<void(Status)> done) {
            cloud_.signOut(std::move(done));
        };
        preferences_ = new PreferencesWindow(session_, prompter_, std::move(hooks));
    }
    preferences_->reload();
    preferences_->show();
    preferences_->raise();
    return preferences_.data();
}

void DesktopApp::showBrowserSetup() {
    if (browserSetup_ == nullptr) {
        browserSetup_ = new BrowserSetupWindow;
        browserSetup_->setAttribute(Qt::WA_DeleteOnClose);
    }
    browserSetup_->show();
    browserSetup_->raise();
    browserSetup_->activateWindow();
}

void DesktopApp::emailSupport() {
    QUrl mail(QStringLiteral("mailto:") + QString::fromLatin1(SupportAddress));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("subject"), tr("I need some Orlavine help!"));
    mail.setQuery(query);
    if (!QDesktopServices::openUrl(mail)) {
        prompter_.alert(tr("No Email Client Set Up"),
                        tr("However, you can still email me at %1 if you need to!")
                            .arg(QString::fromLatin1(SupportAddress)));
    }
}

void DesktopApp::openWebsite() {
    QDesktopServices::openUrl(QUrl(QString::fromLatin1(ProductSiteURL)));
}

void DesktopApp::showAbout() {
    QMessageBox::about(
        window_.get(), tr("About Orlavine"),
        tr("<h3>Orlavine %1</h3><p>A library of user styles for the web sites you visit.</p>"
           "<p>Bundled scripts and their licences:</p><ul>"
           "<li>Less (<code>less.min.js</code>): Apache License 2.0</li>"
           "<li>Stylus (<code>stylus-renderer.min.js</code>): MIT License</li>"
           "</ul><p>Built with Qt %2 (LGPL 3).</p>")
            .arg(QStringLiteral(ORLAVINE_VERSION), QString::fromLatin1(qVersion())));
}

StyleEditorWindow* DesktopApp::openEditor(std::int64_t uniqueID) {
    if (StyleEditorWindow* open = editorFor(uniqueID)) {
        open->show();
        open->raise();
        open->activateWindow();
        return open;
    }
    const std::optional<styleContainer> style = session_.store().styleByID(uniqueID);
    if (!style) {
        return nullptr;
    }
    auto* window = new StyleEditorWindow(session_, prompter_, *style, livePreview_);
    editors_[uniqueID] = window;
    connect(window, &StyleEditorWindow::closing, this,
            [this](std::int64_t id) { editors_.erase(id); });
    window->show();
    return window;
}

StyleEditorWindow* DesktopApp::editorFor(std::int64_t uniqueID) const {
    const auto it = editors_.find(uniqueID);
    return it == editors_.end() ? nullptr : it->second.data();
}

void DesktopApp::showExport(std::int64_t uniqueID) {
    if (const std::optional<styleContainer> style = session_.store().styleByID(uniqueID)) {
        (new ExportWindow(session_, prompter_, *style))->show();
    }
}

void DesktopApp::showPasteImport() {
    if (list_.refused()) {
        return;
    }
    (new PasteImportWindow(services(), editor::settingsFrom(session_.settings().app)))->show();
}

PropertiesWindow* DesktopApp::openProperties(std::int64_t uniqueID) {
    if (const auto it = properties_.find(uniqueID); it != properties_.end() && it->second) {
        prompter_.beep();
        session_.notifications().post(kFocusProperties, {{"id", uniqueID}});
        return it->second.data();
    }
    const std::optional<styleContainer> style = session_.store().styleByID(uniqueID);
    if (!style) {
        return nullptr;
    }
    auto* window = new PropertiesWindow(session_, prompter_, *style);
    properties_[uniqueID] = window;
    connect(window, &PropertiesWindow::closing, this,
            [this](std::int64_t id) { properties_.erase(id); });
    window->show();
    return window;
}

Session::Options desktopSessionOptions() {
    Session::Options options = Session::defaultOptions();
    options.readLibraryLater = true;  // the window shows while the list reads it
    return options;
}

int runDesktop(int argc, char** argv) {
    registerEditorPageScheme();
    QApplication application(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Orlavine"));
    QApplication::setApplicationVersion(QStringLiteral(ORLAVINE_VERSION));
    QApplication::setDesktopFileName(QStringLiteral("orlavine"));
    const QStringList arguments = QApplication::arguments().mid(1);

    const QString socket = SingleInstance::socketPath();
    if (SingleInstance::handOver(arguments, socket)) {
        return 0;
    }
    SingleInstance instance;
    if (!instance.listen(socket)) {
        qWarning("Cannot listen at %s; later launches will open windows of their own.",
                 qPrintable(socket));
    }

    DialogPrompter prompter;
    QObject alertContext;
    GuiReporter reporter(prompter, &alertContext);
    CompilerErrorWindows errorWindows;
    Session session(reporter, desktopSessionOptions());
    session.compilerErrors().alsoShowIn(&errorWindows);
    if (Status watching = session.watchOtherPrograms(); !watching) {
        reporter.consoleLine("Cannot follow changes by other programs: " + watching.error());
    }
    DesktopApp desktop(session, prompter);
    prompter.setParent(&desktop.window());
    QObject::connect(&instance, &SingleInstance::received, &desktop, &DesktopApp::handleArguments);
    desktop.start();
    desktop.handleArguments(arguments);
    // For the documentation: a window once the list's rows show the library, saved as an image,
    // and then quit. The list by default; "properties:ID" or "editor:ID" in
    // ORLAVINE_SCREENSHOT_OF for the others.
    if (const QString shot = qEnvironmentVariable("ORLAVINE_SCREENSHOT"); !shot.isEmpty()) {
        const QStringList of = qEnvironmentVariable("ORLAVINE_SCREENSHOT_OF").split(':');
        QObject::connect(
            &desktop.list(), &StyleListController::loaded, &desktop, [&desktop, shot, of] {
                const auto save = [shot](QWidget* window) {
                    if (window != nullptr) {
                        window->grab().save(shot);
                    }
                    QApplication::quit();
                };
                const std::int64_t id = of.size() == 2 ? of[1].toLongLong() : 0;
                if (of.first() == QStringLiteral("properties")) {
                    save(desktop.openProperties(id));
                } else if (of.first() == QStringLiteral("editor")) {
                    StyleEditorWindow* editor = desktop.openEditor(id);
                    if (editor == nullptr) {
                        save(nullptr);
                        return;
                    }
                    editor->resize(900, 560);
                    // The page draws its text a moment after it says it is ready.
                    QObject::connect(&editor->editor(), &CodeEditor::ready, editor, [editor, save] {
                        QTimer::singleShot(1500, editor, [editor, save] { save(editor); });
                    });
                } else {
                    QTimer::singleShot(0, &desktop, [&desktop, save] { save(&desktop.window()); });
                }
            });
    }
    const int status = QApplication::exec();
    session.compilerErrors().alsoShowIn(nullptr);
    return status;
}

}  // namespace orlavine::gui
