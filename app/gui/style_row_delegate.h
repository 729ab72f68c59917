#pragma once
// How a row of the style list is drawn: its name, and below it where the style came from or how
// its update check went; a style with a source to check has an update button at the right.

#include <QStyledItemDelegate>
#include <cstdint>

namespace orlavine::gui {

class StyleRowDelegate : public QStyledItemDelegate {
    Q_OBJECT
  public:
    using QStyledItemDelegate::QStyledItemDelegate;

    static QString buttonText();
    // Where the update button of a row drawn in `rowRect` is.
    static QRect updateButtonRect(const QRect& rowRect, const QFontMetrics& metrics);

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

  signals:
    void updateClicked(std::int64_t uniqueID);

  protected:
    void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override;
    bool editorEvent(QEvent* event, QAbstractItemModel* model, const QStyleOptionViewItem& option,
                     const QModelIndex& index) override;
};

}  // namespace orlavine::gui
