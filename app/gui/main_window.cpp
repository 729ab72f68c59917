#include "app/gui/main_window.h"

#include "app/gui/style_row_delegate.h"

#include <QCloseEvent>
#include <QDesktopServices>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QSortFilterProxyModel>
#include <QStackedWidget>
#include <QStatusBar>
#include <QToolBar>
#include <QTreeView>
#include <QUrl>
#include <QVBoxLayout>

namespace orlavine::gui {
namespace {

constexpr const char* kFrameKey = "styleListWindow";

// Rows whose name or sites contain the search text, letter case ignored.
class StyleFilter : public QSortFilterProxyModel {
  public:
    using QSortFilterProxyModel::QSortFilterProxyModel;
    void setText(const QString& text) {
        text_ = text.trimmed().toLower();
        invalidateRowsFilter();
    }

  protected:
    bool filterAcceptsRow(int row, const QModelIndex& parent) const override {
        if (text_.isEmpty()) {
            return true;
        }
        const QModelIndex index = sourceModel()->index(row, 0, parent);
        return index.data(Qt::DisplayRole).toString().contains(text_, Qt::CaseInsensitive) ||
               index.data(StyleListModel::SitesRole).toString().contains(text_);
    }

  private:
    QString text_;
};

}  // namespace

MainWindow::MainWindow(Session& session, StyleListController& list, QWidget* parent)
    : QMainWindow(parent), session_(session), list_(list) {
    setWindowTitle(tr("Orlavine"));
    setObjectName(QString::fromLatin1(kFrameKey));

    auto* filter = new StyleFilter(this);
    filter->setSourceModel(&list_.model());
    filter_ = filter;

    view_ = new QTreeView;
    view_->setModel(filter_);
    view_->setHeaderHidden(true);
    view_->setRootIsDecorated(false);
    view_->setUniformRowHeights(true);
    view_->setIconSize(QSize(24, 24));
    auto* rows = new StyleRowDelegate(view_);
    view_->setItemDelegate(rows);
    connect(rows, &StyleRowDelegate::updateClicked, &list_, &StyleListController::updateOne);
    view_->setSelectionMode(QAbstractItemView::ExtendedSelection);
    view_->setEditTriggers(QAbstractItemView::EditKeyPressed | QAbstractItemView::SelectedClicked);
    view_->setDragDropMode(QAbstractItemView::DragDrop);
    view_->setDefaultDropAction(Qt::MoveAction);
    view_->setDragDropOverwriteMode(false);
    view_->setDropIndicatorShown(true);
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    view_->installEventFilter(this);
    connect(view_, &QTreeView::customContextMenuRequested, this, &MainWindow::showContextMenu);
    connect(view_, &QTreeView::doubleClicked, this, [this](const QModelIndex& index) {
        list_.open(index.data(StyleListModel::IdRole).toLongLong());
    });

    auto* hint =
        new QLabel(tr("<div style='font-size:48px'>&#65291;</div>"
                      "<p>Your library has no styles yet.</p>"
                      "<p>Make one with New Style, or import one from a file or an "
                      "address.</p>"));
    hint->setAlignment(Qt::AlignCenter);
    hint->setEnabled(false);

    stack_ = new QStackedWidget;
    stack_->addWidget(view_);
    stack_->addWidget(hint);

    search_ = new QLineEdit;
    search_->setPlaceholderText(tr("Search by name or site"));
    search_->setClearButtonEnabled(true);
    connect(search_, &QLineEdit::textChanged, this, [this, filter](const QString& text) {
        filter->setText(text);
        // Rows are reordered only as the whole list shows them.
        view_->setDragEnabled(text.trimmed().isEmpty());
    });

    syncing_ = new QLabel(tr("Syncing with the sync account…"));
    syncing_->setAlignment(Qt::AlignCenter);
    syncing_->hide();
    cloudError_ =
        new QLabel(tr("The sync account could not be reached. Your styles are safe on "
                      "this computer. <a href='dismiss'>Dismiss</a>"));
    cloudError_->hide();
    connect(cloudError_, &QLabel::linkActivated, cloudError_, &QLabel::hide);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);
    layout->addWidget(search_);
    layout->addWidget(cloudError_);
    layout->addWidget(syncing_);
    layout->addWidget(stack_);
    setCentralWidget(central);

    buildMenus();

    connect(&list_.model(), &QAbstractItemModel::modelReset, this, &MainWindow::updateEmptyHint);
    connect(&list_.model(), &QAbstractItemModel::rowsInserted, this, &MainWindow::updateEmptyHint);
    connect(&list_.model(), &QAbstractItemModel::rowsRemoved, this, &MainWindow::updateEmptyHint);
    connect(&list_, &StyleListController::loaded, this, &MainWindow::updateEmptyHint);
    connect(&list_, &StyleListController::showRow, this, &MainWindow::selectStyle);
    connect(&list_, &StyleListController::lockChanged, this, &MainWindow::setLocked);
    connect(&list_, &StyleListController::cloudError, cloudError_, &QLabel::show);
    updateEmptyHint();

    resize(520, 640);
    const std::string frame = session_.settings().app.stringValue(kFrameKey);
    if (!frame.empty()) {
        restoreGeometry(QByteArray::fromBase64(QByteArray::fromStdString(frame)));
    }
}

void MainWindow::buildMenus() {
    QMenu* file = menuBar()->addMenu(tr("&File"));
    QAction* newStyle =
        file->addAction(tr("New Style…"), QKeySequence::New, this, &MainWindow::newStyleRequested);
    QAction* importURL =
        file->addAction(tr("Import from URL…"), this, &MainWindow::importURLRequested);
    file->addAction(tr("Import from File…"), QKeySequence::Open, this,
                    &MainWindow::importFileRequested);
    file->addAction(tr("Import from Text…"), this, &MainWindow::pasteImportRequested);
    QAction* updateAll =
        file->addAction(tr("Update All Styles"), &list_, &StyleListController::updateAll);
    file->addAction(tr("Update All Styles with Log…"), this, &MainWindow::updateAllRequested);
    file->addAction(tr("Recover Deleted Styles…"), this, &MainWindow::recoveryRequested);
    file->addAction(tr("Preferences…"), QKeySequence::Preferences, this,
                    &MainWindow::preferencesRequested);
    file->addSeparator();
    QAction* close =
        file->addAction(tr("Close Window"), QKeySequence::Close, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(tr("&Edit"));
    QAction* undo = list_.undoStack().createUndoAction(this, tr("Undo"));
    undo->setShortcut(QKeySequence::Undo);
    QAction* redo = list_.undoStack().createRedoAction(this, tr("Redo"));
    redo->setShortcut(QKeySequence::Redo);
    edit->addAction(undo);
    edit->addAction(redo);
    edit->addSeparator();
    edit->addAction(tr("Find"), QKeySequence::Find, search_,
                    [this] { search_->setFocus(Qt::ShortcutFocusReason); });

    QMenu* style = menuBar()->addMenu(tr("&Style"));
    style->addAction(tr("Open in Editor"), this, [this] {
        for (std::int64_t id : selectedIDs()) {
            list_.open(id);
        }
    });
    style->addAction(tr("Properties..."), this, [this] {
        for (std::int64_t id : selectedIDs()) {
            emit propertiesRequested(id);
        }
    });
    style->addAction(tr("Export..."), this, [this] {
        for (std::int64_t id : selectedIDs()) {
            emit exportRequested(id);
        }
    });
    style->addAction(tr("Enable Selected"), this,
                     [this] { list_.setEnabled(selectedIDs(), true); });
    style->addAction(tr("Disable Selected"), this,
                     [this] { list_.setEnabled(selectedIDs(), false); });
    style->addAction(tr("Duplicate"), this, [this] { list_.duplicate(selectedIDs()); });
    style->addAction(tr("Rename"), this, [this] {
        if (view_->currentIndex().isValid()) {
            view_->edit(view_->currentIndex());
        }
    });
    style->addAction(tr("Delete…"), this, [this] { list_.deleteStyles(selectedIDs()); });

    QMenu* help = menuBar()->addMenu(tr("&Help"));
    help->addAction(tr("Browser Setup…"), this, &MainWindow::browserSetupRequested);
    help->addAction(tr("Email Support"), this, &MainWindow::emailSupportRequested);
    help->addAction(tr("Orlavine Website"), this, &MainWindow::websiteRequested);
    help->addSeparator();
    help->addAction(tr("About Orlavine"), this, &MainWindow::aboutRequested);

    QToolBar* bar = addToolBar(tr("Styles"));
    bar->setObjectName(QStringLiteral("styleToolbar"));
    bar->setMovable(false);
    bar->addAction(newStyle);
    bar->addAction(importURL);
    bar->addAction(updateAll);
    bar->addSeparator();
    bar->addAction(tr("Enable All"), this, [this] { list_.setAllEnabled(true); });
    bar->addAction(tr("Disable All"), this, [this] { list_.setAllEnabled(false); });

    // Until the library has been read, only what leaves it alone can be chosen.
    for (QMenu* menu : {file, style}) {
        for (QAction* action : menu->actions()) {
            if (!action->isSeparator() && action != close) {
                libraryActions_.push_back(action);
            }
        }
    }
    for (QAction* action : bar->actions()) {
        libraryActions_.push_back(action);
    }
    const auto enable = [this] {
        for (QAction* action : libraryActions_) {
            action->setEnabled(list_.isLoaded());
        }
    };
    enable();
    connect(&list_, &StyleListController::loaded, this, enable);
}

std::vector<std::int64_t> MainWindow::selectedIDs() const {
    QModelIndexList rows = view_->selectionModel()->selectedRows();
    std::sort(rows.begin(), rows.end(),
              [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
    std::vector<std::int64_t> ids;
    for (const QModelIndex& index : rows) {
        ids.push_back(index.data(StyleListModel::IdRole).toLongLong());
    }
    return ids;
}

void MainWindow::selectStyle(std::int64_t uniqueID) {
    const int row = list_.model().rowOf(uniqueID);
    if (row < 0) {
        return;
    }
    const QModelIndex index = filter_->mapFromSource(list_.model().index(row));
    if (index.isValid()) {
        view_->setCurrentIndex(index);
        view_->scrollTo(index);
    }
}

bool MainWindow::showsEmptyHint() const {
    return stack_->currentIndex() == 1;
}

void MainWindow::updateEmptyHint() {
    stack_->setCurrentIndex(list_.isLoaded() && list_.model().rowCount() == 0 ? 1 : 0);
}

void MainWindow::setLocked(bool locked) {
    view_->setEnabled(!locked);
    syncing_->setVisible(locked);
}

void MainWindow::showContextMenu(const QPoint& at) {
    const QModelIndex index = view_->indexAt(at);
    if (!index.isValid()) {
        return;
    }
    const std::int64_t id = index.data(StyleListModel::IdRole).toLongLong();
    const QString homepage = index.data(StyleListModel::HomepageRole).toString();
    QMenu menu;
    menu.addAction(tr("Open in Editor"), this, [this, id] { list_.open(id); });
    menu.addAction(tr("Duplicate"), this, [this, id] { list_.duplicate({id}); });
    menu.addAction(tr("Properties..."), this, [this, id] { emit propertiesRequested(id); });
    menu.addAction(tr("Export..."), this, [this, id] { emit exportRequested(id); });
    if (index.flags() & Qt::ItemIsEditable) {
        menu.addAction(tr("Rename"), this, [this, index] { view_->edit(index); });
    }
    if (!homepage.isEmpty()) {
        menu.addAction(tr("Homepage"), this,
                       [homepage] { QDesktopServices::openUrl(QUrl(homepage)); });
    }
    menu.addSeparator();
    menu.addAction(tr("Delete…"), this, [this, id] { list_.deleteStyles({id}, true); });
    // A row being checked for updates takes no command until its check ends.
    if (list_.model().isUpdating(id)) {
        for (QAction* action : menu.actions()) {
            action->setEnabled(false);
        }
    }
    menu.exec(view_->viewport()->mapToGlobal(at));
}

bool MainWindow::eventFilter(QObject* watched, QEvent* event) {
    // Keys typed into a name being edited go to the editor, not here.
    if (watched == view_ && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        const std::vector<std::int64_t> ids = selectedIDs();
        switch (key->key()) {
            case Qt::Key_Space:
                for (std::int64_t id : ids) {
                    const int row = list_.model().rowOf(id);
                    if (row >= 0) {
                        list_.toggle(
                            id, !list_.model().rows()[static_cast<std::size_t>(row)].isEnabled);
                    }
                }
                return true;
            case Qt::Key_Delete:
            case Qt::Key_Backspace:
                list_.deleteStyles(ids);
                return true;
            case Qt::Key_Return:
            case Qt::Key_Enter:
                for (std::int64_t id : ids) {
                    list_.open(id);
                }
                return true;
            default:
                break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

void MainWindow::closeEvent(QCloseEvent* event) {
    session_.settings().app.set(kFrameKey,
                                boost::json::value(saveGeometry().toBase64().toStdString()));
    QMainWindow::closeEvent(event);
}

}  // namespace orlavine::gui
