#pragma once
// Handles what the program is given to open: "orlavine:" links (open a style, install a
// document or a catalogue style) and documents (style database files and style files). Fetches
// and imports run off the main thread; questions and alerts come back to it.

#include <QObject>
#include <QString>
#include <cstdint>

#include "app/gui/main_thread_work.h"
#include "app/gui/prompter.h"
#include "library/library_services.h"
#include "model/records.h"
#include "session/session.h"

namespace orlavine::gui {

class LinkHandler : public QObject {
    Q_OBJECT
  public:
    LinkHandler(Session& session, Prompter& prompter, QObject* parent = nullptr);

    // A link when it starts with "orlavine:", else a document path.
    void handle(const QString& argument);
    void handleLink(const QString& link);
    void openDocument(const QString& path);

  signals:
    // A link or document has been dealt with, whatever the outcome.
    void done();

  private:
    LibraryServices services();
    void installUserCSS(std::string address);
    void installFromCatalogue(std::int64_t number, std::string jsonAddress);
    // On the main thread: asks, then adds `style` and tells the list.
    void confirmAndAdd(styleContainer style);

    Session& session_;
    Prompter& prompter_;
    BackgroundWork work_{this};
};

}  // namespace orlavine::gui
