#pragma once
// The desktop program: the main window, what it is asked to open, the launch checks and the
// Help menu.

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <map>
#include <memory>

#include "app/gui/browser_setup_window.h"
#include "app/gui/cloud_sync.h"
#include "app/gui/link_handler.h"
#include "app/gui/main_window.h"
#include "app/gui/preferences_window.h"
#include "app/gui/prompter.h"
#include "app/gui/properties_window.h"
#include "app/gui/site_icons.h"
#include "app/gui/style_editor_window.h"
#include "app/gui/style_list_controller.h"
#include "library/live_preview.h"
#include "session/session.h"

namespace orlavine::gui {

// The session of the desktop program: it reads the library once its window is up.
Session::Options desktopSessionOptions();

// Runs the desktop program, or hands the arguments to the one already running.
int runDesktop(int argc, char** argv);

class DesktopApp : public QObject {
    Q_OBJECT
  public:
    DesktopApp(Session& session, Prompter& prompter, QObject* parent = nullptr);
    ~DesktopApp() override;

    MainWindow& window() { return *window_; }
    StyleListController& list() { return list_; }
    LinkHandler& links() { return links_; }
    CloudSync& cloud() { return cloud_; }
    // The browser setup window while it is open.
    BrowserSetupWindow* browserSetup() const { return browserSetup_; }

    // Shows the main window and, half a second later, runs the launch checks.
    void start();
    // The checks that follow the window's appearance: the first launch's welcome, or the
    // warning when no browser uses the extension.
    void runLaunchChecks();
    // Arguments of this launch or of a later one: brings the window up and opens each.
    void handleArguments(const QStringList& arguments);

    void showNewStyle();
    void showImportURL();
    void importFiles();
    void showUpdateAll();
    void showRecovery();
    PreferencesWindow* showPreferences();
    void showBrowserSetup();
    void emailSupport();
    void openWebsite();
    void showAbout();
    // The style's editor window, made or brought to the front.
    StyleEditorWindow* openEditor(std::int64_t uniqueID);
    StyleEditorWindow* editorFor(std::int64_t uniqueID) const;
    void showExport(std::int64_t uniqueID);
    void showPasteImport();
    // The style's properties panel; a second request beeps and brings the open one forward.
    PropertiesWindow* openProperties(std::int64_t uniqueID);

  private:
    LibraryServices services();
    // The update of every row that "UpdateOnLaunch" asks for, once the list and sync allow it.
    void runUpdateOnLaunch();
    // A browser host manifest is installed and the host ran within the last 30 days.
    bool extensionInUse() const;

    Session& session_;
    Prompter& prompter_;
    // Shared with the editor windows, which may outlive this object at exit.
    std::shared_ptr<LivePreview> livePreview_;
    StyleListController list_;
    SiteIcons icons_;
    LinkHandler links_;
    CloudSync cloud_;
    std::unique_ptr<MainWindow> window_;
    QPointer<BrowserSetupWindow> browserSetup_;
    std::map<std::int64_t, QPointer<StyleEditorWindow>> editors_;
    std::map<std::int64_t, QPointer<PropertiesWindow>> properties_;
    QPointer<PreferencesWindow> preferences_;
    bool extensionWarningShown_ = false;
    QStringList waitingArguments_;  // handed over before the library was read
    bool updateOnLaunchPending_ = false;
    bool updateWaitsForSync_ = false;
};

}  // namespace orlavine::gui
