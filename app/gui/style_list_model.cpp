#include "app/gui/style_list_model.h"

#include "app/gui/notice_values.h"
#include "app/gui/site_icons.h"
#include "library/row_update_check.h"
#include "library/site_icon_addresses.h"

#include <QApplication>
#include <QMimeData>
#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <algorithm>
#include <unordered_map>

namespace orlavine::gui {
namespace {

// The icon of a row without a site icon: a drop of paint.
QIcon dropletIcon(qreal opacity) {
    QPixmap pixmap(24, 24);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setOpacity(opacity);
    QPainterPath drop;
    drop.moveTo(12, 2);
    drop.cubicTo(12, 2, 4, 11, 4, 15);
    drop.cubicTo(4, 19.5, 7.6, 22, 12, 22);
    drop.cubicTo(16.4, 22, 20, 19.5, 20, 15);
    drop.cubicTo(20, 11, 12, 2, 12, 2);
    painter.fillPath(drop, QColor(0x3d, 0x8b, 0xd9));
    painter.end();
    return QIcon(pixmap);
}

// A disabled row's icon: the same at a third of its strength.
QIcon dimmed(const QIcon& icon) {
    const QPixmap full = icon.pixmap(24, 24);
    QPixmap pixmap(full.size());
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setOpacity(0.3);
    painter.drawPixmap(0, 0, full);
    painter.end();
    return QIcon(pixmap);
}

}  // namespace

void StyleListModel::setIcons(SiteIcons* icons) {
    icons_ = icons;
    connect(icons, &SiteIcons::iconFound, this, [this](std::int64_t uniqueID) {
        const int row = rowOf(uniqueID);
        if (row >= 0) {
            emit dataChanged(index(row), index(row), {Qt::DecorationRole});
        }
    });
}

QString sourceText(const std::string& source) {
    if (source == "usorg") {
        return QStringLiteral("Imported from URL");
    }
    if (source == "usercss") {
        return QStringLiteral("Imported from User CSS");
    }
    return QStringLiteral("Custom Style");
}

QString updateStatusText(const QString& status) {
    if (status == QLatin1String(kStatusChecking)) {
        return QStringLiteral("Checking for updates...");
    }
    if (status == QLatin1String(kStatusUpdated)) {
        return QString::fromLatin1(kRowUpdated);
    }
    if (status == QLatin1String(kStatusNoUpdates)) {
        return QString::fromLatin1(kRowUpToDate);
    }
    if (status == QLatin1String(kStatusError)) {
        return QString::fromLatin1(kRowUpdateError);
    }
    return {};
}

StyleRow rowForStyle(const styleContainer& style) {
    StyleRow row;
    row.uniqueID = style.uniqueID;
    row.name = fromStd(style.styleData.name);
    row.isEnabled = style.isEnabled;
    row.source = sourceText(style.source);
    row.homepage = fromStd(style.homepageURL);
    QStringList sites;
    for (const styleSection& section : style.styleData.sections) {
        for (const auto* list : {&section.domains, &section.urlPrefixes, &section.urls}) {
            for (const std::string& site : *list) {
                sites << fromStd(site).toLower();
            }
        }
    }
    row.sites = sites.join(QLatin1Char('\n'));
    row.iconAddresses = siteIconAddresses(style);
    row.checkable = isCheckable(style, CheckRules::singleStyle);
    return row;
}

StyleListModel::StyleListModel(QObject* parent)
    : QAbstractListModel(parent), droplet_(dropletIcon(1.0)), dimDroplet_(dropletIcon(0.3)) {}

void StyleListModel::rebuild(const styleDatabase& db) {
    std::vector<StyleRow> rows;
    rows.reserve(db.styles.size());
    for (const styleContainer& style : db.styles) {
        rows.push_back(rowForStyle(style));
    }
    const bool sameStyles =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(),
                   [](const StyleRow& a, const StyleRow& b) { return a.uniqueID == b.uniqueID; });
    if (!sameStyles) {
        // A status lives as long as its style's row, whatever else came or went.
        std::unordered_map<std::int64_t, QString> statuses;
        for (const StyleRow& row : rows_) {
            if (row.updateStatus != QLatin1String("none")) {
                statuses.emplace(row.uniqueID, row.updateStatus);
            }
        }
        for (StyleRow& row : rows) {
            if (const auto it = statuses.find(row.uniqueID); it != statuses.end()) {
                row.updateStatus = it->second;
            }
        }
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    for (std::size_t i = 0; i < rows.size(); ++i) {
        rows[i].updateStatus = rows_[i].updateStatus;
        if (!(rows[i] == rows_[i])) {
            rows_[i] = std::move(rows[i]);
            const QModelIndex at = index(static_cast<int>(i));
            emit dataChanged(at, at);
        }
    }
}

int StyleListModel::rowOf(std::int64_t uniqueID) const {
    for (std::size_t i = 0; i < rows_.size(); ++i) {
        if (rows_[i].uniqueID == uniqueID) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

void StyleListModel::setUpdateStatus(std::int64_t uniqueID, const QString& status) {
    const int row = rowOf(uniqueID);
    if (row < 0 || rows_[static_cast<std::size_t>(row)].updateStatus == status) {
        return;
    }
    rows_[static_cast<std::size_t>(row)].updateStatus = status;
    emit dataChanged(index(row), index(row));
}

bool StyleListModel::isUpdating(std::int64_t uniqueID) const {
    const int row = rowOf(uniqueID);
    return row >= 0 &&
           rows_[static_cast<std::size_t>(row)].updateStatus == QLatin1String(kStatusChecking);
}

void StyleListModel::setWholeCheckRunning(bool running) {
    if (wholeCheck_ == running) {
        return;
    }
    wholeCheck_ = running;
    if (!rows_.empty()) {
        emit dataChanged(index(0), index(rowCount() - 1), {UpdateButtonRole});
    }
}

int StyleListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

QVariant StyleListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount()) {
        return {};
    }
    const StyleRow& row = rows_[static_cast<std::size_t>(index.row())];
    switch (role) {
        case Qt::DisplayRole:
        case Qt::EditRole:
            return row.name;
        case Qt::CheckStateRole:
            return row.isEnabled ? Qt::Checked : Qt::Unchecked;
        case Qt::ToolTipRole:
        case SourceRole:
            return row.source;
        case Qt::DecorationRole: {
            if (icons_ != nullptr) {
                icons_->request(row.uniqueID, row.iconAddresses);  // rows on screen only
            }
            const QIcon site = icons_ != nullptr ? icons_->icon(row.uniqueID) : QIcon();
            if (site.isNull()) {
                return row.isEnabled ? droplet_ : dimDroplet_;
            }
            return row.isEnabled ? site : dimmed(site);
        }
        case Qt::ForegroundRole:
            if (!row.isEnabled) {
                return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
            }
            return {};
        case IdRole:
            return QVariant::fromValue<qlonglong>(row.uniqueID);
        case SitesRole:
            return row.sites;
        case HomepageRole:
            return row.homepage;
        case UpdateStatusRole:
            return row.updateStatus;
        case UpdateButtonRole: {
            UpdateButton button = UpdateButton::none;
            if (row.checkable) {
                button = wholeCheck_ || row.updateStatus == QLatin1String(kStatusChecking)
                             ? UpdateButton::disabled
                             : UpdateButton::enabled;
            }
            return static_cast<int>(button);
        }
        default:
            return {};
    }
}

bool StyleListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!index.isValid() || index.row() >= rowCount()) {
        return false;
    }
    const StyleRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (row.updateStatus == QLatin1String(kStatusChecking)) {
        return false;
    }
    // The rows change when the library does; the request goes to whoever changes it.
    if (role == Qt::CheckStateRole) {
        emit toggleRequested(row.uniqueID, value.toInt() == Qt::Checked);
    } else if (role == Qt::EditRole) {
        emit renameRequested(row.uniqueID, value.toString());
    }
    return false;
}

Qt::ItemFlags StyleListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::ItemIsDropEnabled;
    }
    const StyleRow& row = rows_[static_cast<std::size_t>(index.row())];
    if (row.updateStatus == QLatin1String(kStatusChecking)) {
        return Qt::ItemIsUserCheckable;  // shown, but nothing can be done to it
    }
    Qt::ItemFlags f =
        Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable | Qt::ItemIsDragEnabled;
    if (row.source == sourceText("custom")) {
        f |= Qt::ItemIsEditable;
    }
    return f;
}

QStringList StyleListModel::mimeTypes() const {
    return {QString::fromLatin1(kRowMimeType)};
}

QMimeData* StyleListModel::mimeData(const QModelIndexList& indexes) const {
    QStringList rows;
    for (const QModelIndex& index : indexes) {
        rows << QString::number(index.row());
    }
    auto* data = new QMimeData;
    data->setData(QString::fromLatin1(kRowMimeType), rows.join(QLatin1Char(',')).toLatin1());
    return data;
}

bool StyleListModel::canDropMimeData(const QMimeData* data, Qt::DropAction, int, int,
                                     const QModelIndex& parent) const {
    // Only between rows: a drop on a row is refused.
    return data != nullptr && data->hasFormat(QString::fromLatin1(kRowMimeType)) &&
           !parent.isValid();
}

bool StyleListModel::dropMimeData(const QMimeData* data, Qt::DropAction action, int row, int column,
                                  const QModelIndex& parent) {
    if (!canDropMimeData(data, action, row, column, parent)) {
        return false;
    }
    std::vector<int> rows;
    const QList<QByteArray> parts = data->data(QString::fromLatin1(kRowMimeType)).split(',');
    for (const QByteArray& part : parts) {
        bool ok = false;
        const int r = part.toInt(&ok);
        if (ok && r >= 0 && r < rowCount()) {
            rows.push_back(r);
        }
    }
    if (rows.empty()) {
        return false;
    }
    const int dropRow = row < 0 ? rowCount() : std::min(row, rowCount());
    // Handled once the drag has ended; the view must not remove the dragged rows itself.
    QMetaObject::invokeMethod(
        this, [this, rows, dropRow] { emit reorderRequested(rows, dropRow); },
        Qt::QueuedConnection);
    return false;
}

}  // namespace orlavine::gui
