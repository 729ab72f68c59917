#include "app/gui/style_row_delegate.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

#include "app/gui/style_list_model.h"
#include "library/row_update_check.h"

namespace orlavine::gui {
namespace {

StyleListModel::UpdateButton buttonOf(const QModelIndex& index) {
    return static_cast<StyleListModel::UpdateButton>(
        index.data(StyleListModel::UpdateButtonRole).toInt());
}

QString secondLine(const QModelIndex& index) {
    const QString status =
        updateStatusText(index.data(StyleListModel::UpdateStatusRole).toString());
    return status.isEmpty() ? index.data(StyleListModel::SourceRole).toString() : status;
}

}  // namespace

QString StyleRowDelegate::buttonText() {
    return tr("Update");
}

QRect StyleRowDelegate::updateButtonRect(const QRect& rowRect, const QFontMetrics& metrics) {
    const int width = metrics.horizontalAdvance(buttonText()) + 20;
    const int height = std::min(rowRect.height() - 4, metrics.height() + 10);
    return {rowRect.right() - 6 - width, rowRect.center().y() - height / 2, width, height};
}

void StyleRowDelegate::initStyleOption(QStyleOptionViewItem* option,
                                       const QModelIndex& index) const {
    QStyledItemDelegate::initStyleOption(option, index);
    option->text += QChar(QChar::LineSeparator) + secondLine(index);
}

QSize StyleRowDelegate::sizeHint(const QStyleOptionViewItem& option,
                                 const QModelIndex& index) const {
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.rwidth() += updateButtonRect(QRect(0, 0, 0, size.height()), option.fontMetrics).width();
    return size;
}

void StyleRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const {
    const StyleListModel::UpdateButton button = buttonOf(index);
    const bool failed =
        index.data(StyleListModel::UpdateStatusRole).toString() == QLatin1String(kStatusError);
    if (button == StyleListModel::UpdateButton::none && !failed) {
        QStyledItemDelegate::paint(painter, option, index);
        return;
    }
    QStyleOptionViewItem item = option;
    initStyleOption(&item, index);
    const QWidget* widget = option.widget;
    QStyle* style = widget != nullptr ? widget->style() : QApplication::style();
    QRect buttonRect;
    if (button != StyleListModel::UpdateButton::none) {
        // The row's background takes the whole width; its text stops short of the button.
        style->drawPrimitive(QStyle::PE_PanelItemViewItem, &item, painter, widget);
        buttonRect = updateButtonRect(option.rect, option.fontMetrics);
        item.rect.setRight(buttonRect.left() - 6);
    }
    if (failed) {
        // The outcome shows in red under the name: drawn apart from the rest of the row.
        item.text = index.data(Qt::DisplayRole).toString() + QChar(QChar::LineSeparator);
    }
    style->drawControl(QStyle::CE_ItemViewItem, &item, painter, widget);
    if (failed) {
        const QRect text = style->subElementRect(QStyle::SE_ItemViewItemText, &item, widget);
        const int lineHeight = option.fontMetrics.lineSpacing();
        const QRect lower(text.left() + 2, text.center().y(), text.width() - 4, lineHeight);
        painter->save();
        painter->setPen(QColor(0xc6, 0x28, 0x28));
        painter->setFont(item.font);
        painter->drawText(
            lower, Qt::AlignLeft | Qt::AlignTop,
            option.fontMetrics.elidedText(secondLine(index), Qt::ElideRight, lower.width()));
        painter->restore();
    }
    if (button != StyleListModel::UpdateButton::none) {
        QStyleOptionButton push;
        push.rect = buttonRect;
        push.text = buttonText();
        push.fontMetrics = option.fontMetrics;
        push.palette = option.palette;
        push.state = QStyle::State_Raised;
        if (button == StyleListModel::UpdateButton::enabled) {
            push.state |= QStyle::State_Enabled;
        }
        style->drawControl(QStyle::CE_PushButton, &push, painter, widget);
    }
}

bool StyleRowDelegate::editorEvent(QEvent* event, QAbstractItemModel* model,
                                   const QStyleOptionViewItem& option, const QModelIndex& index) {
    const QEvent::Type type = event->type();
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease ||
        type == QEvent::MouseButtonDblClick) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        const StyleListModel::UpdateButton button = buttonOf(index);
        if (button != StyleListModel::UpdateButton::none &&
            updateButtonRect(option.rect, option.fontMetrics)
                .contains(mouse->position().toPoint())) {
            // A press on the button neither selects nor drags the row.
            if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::LeftButton &&
                button == StyleListModel::UpdateButton::enabled) {
                emit updateClicked(index.data(StyleListModel::IdRole).toLongLong());
            }
            return true;
        }
    }
    return QStyledItemDelegate::editorEvent(event, model, option, index);
}

}  // namespace orlavine::gui
