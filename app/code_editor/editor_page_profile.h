#pragma once
// Where the editor page comes from: the scheme "orlavine-editor" serving the page folder, in a
// private browser profile that refuses every request for anything else, so the page never
// reaches the network.

#include <QString>

class QWebEngineProfile;

namespace orlavine::gui {

inline constexpr const char* kEditorScheme = "orlavine-editor";

// Registers the scheme; must run before the QApplication is made.
void registerEditorPageScheme();

// The profile of every editor page of the process, serving `pageFolder` (the folder of
// "index.html"); made on first use, with the application as parent.
QWebEngineProfile* editorPageProfile(const QString& pageFolder);

// "resources/editor" next to the program, or under ../share/orlavine when installed.
QString defaultEditorPageFolder();

}  // namespace orlavine::gui
