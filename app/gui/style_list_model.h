#pragma once
// The rows of the style list: one per style of the library, in library order. The model holds
// only what it shows; every change a user makes is asked for through a signal and reaches the
// rows again when the list is rebuilt from the library.

#include <QAbstractListModel>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <string>
#include <vector>

#include "model/records.h"

namespace orlavine::gui {

struct StyleRow {
    std::int64_t uniqueID = 0;
    QString name;
    bool isEnabled = true;
    QString source;  // "Imported from URL", "Imported from User CSS" or "Custom Style"
    QString homepage;
    QString sites;  // the domains and addresses of its rules, lower case, for the search field
    QString updateStatus = QStringLiteral("none");  // see kStatusChecking and the others
    bool checkable = false;  // it has a source to check, so it shows an update button
    std::vector<std::string> iconAddresses;  // where its site icon may be found

    bool operator==(const StyleRow&) const = default;
};

StyleRow rowForStyle(const styleContainer& style);

// The display text of a style's source.
QString sourceText(const std::string& source);

// What a row shows under its name for an update status; empty for "none".
QString updateStatusText(const QString& status);

class SiteIcons;

class StyleListModel : public QAbstractListModel {
    Q_OBJECT
  public:
    enum Roles {
        IdRole = Qt::UserRole + 1,
        SourceRole,
        SitesRole,
        HomepageRole,
        UpdateStatusRole,  // "none", "checking", "updated", "noupdates" or "error"
        UpdateButtonRole,  // an UpdateButton
    };
    enum class UpdateButton { none, enabled, disabled };
    static constexpr const char* kRowMimeType = "application/x-orlavine-style-row";

    explicit StyleListModel(QObject* parent = nullptr);

    // Site icons for the rows, asked for each style as the rows are rebuilt; none: droplets.
    void setIcons(SiteIcons* icons);
    // Takes the rows of `db`; rows that did not change keep their place and selection.
    void rebuild(const styleDatabase& db);
    const std::vector<StyleRow>& rows() const { return rows_; }
    int rowOf(std::int64_t uniqueID) const;
    // A row being checked ("checking") is drawn disabled and refuses every change.
    void setUpdateStatus(std::int64_t uniqueID, const QString& status);
    bool isUpdating(std::int64_t uniqueID) const;
    // While every row is checked, no row's update button can be pressed.
    void setWholeCheckRunning(bool running);
    bool wholeCheckRunning() const { return wholeCheck_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    Qt::DropActions supportedDropActions() const override { return Qt::MoveAction; }
    QStringList mimeTypes() const override;
    QMimeData* mimeData(const QModelIndexList& indexes) const override;
    bool canDropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                         const QModelIndex& parent) const override;
    bool dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                      const QModelIndex& parent) override;

  signals:
    void toggleRequested(std::int64_t uniqueID, bool enabled);
    void renameRequested(std::int64_t uniqueID, const QString& name);
    // Rows dragged and dropped above row `dropRow` (the row count: below the last row).
    void reorderRequested(const std::vector<int>& rows, int dropRow);

  private:
    std::vector<StyleRow> rows_;
    SiteIcons* icons_ = nullptr;
    bool wholeCheck_ = false;
    QIcon droplet_;
    QIcon dimDroplet_;
};

}  // namespace orlavine::gui
