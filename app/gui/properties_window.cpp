#include "app/gui/properties_window.h"

#include "app/gui/notice_values.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSlider>
#include <QTableWidget>
#include <QVBoxLayout>
#include <cmath>

#include "model/notification_center.h"

namespace orlavine::gui {
namespace {

const QStringList& exclusionKinds() {
    static const QStringList kinds = {kRowDomain, kRowURL, kRowPrefix, kRowRegExp};
    return kinds;
}

std::optional<double> asNumber(const std::optional<std::string>& text) {
    if (!text) {
        return std::nullopt;
    }
    bool ok = false;
    const double value = fromStd(*text).trimmed().toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional(value) : std::nullopt;
}

QColor toQColor(const Colour& colour) {
    return QColor::fromRgbF(static_cast<float>(colour.red), static_cast<float>(colour.green),
                            static_cast<float>(colour.blue), static_cast<float>(colour.alpha));
}

void paintSwatch(QPushButton* button, const std::optional<Colour>& colour) {
    if (!colour) {
        button->setText(QObject::tr("Choose…"));
        button->setStyleSheet({});
        return;
    }
    const QColor c = toQColor(*colour);
    button->setText(c.alpha() == 255 ? c.name(QColor::HexRgb)
                                     : QString::fromStdString(colourText(*colour)));
    const bool dark = c.alpha() > 127 && c.lightness() < 128;
    button->setStyleSheet(QStringLiteral("background-color: %1; color: %2;")
                              .arg(c.name(QColor::HexArgb), dark ? "white" : "black"));
}

}  // namespace

PropertiesWindow::PropertiesWindow(Session& session, Prompter& prompter, styleContainer style,
                                   QWidget* parent)
    : QWidget(parent, Qt::Window),
      session_(session),
      prompter_(prompter),
      styleID_(style.uniqueID),
      draft_(std::move(style)),
      exclusions_(new QTableWidget(0, 2, this)),
      frames_(new QCheckBox(tr("Apply inside frames too"), this)),
      theme_(new QComboBox(this)),
      variableArea_(new QWidget(this)),
      variableRows_(new QVBoxLayout(variableArea_)),
      reset_(new QPushButton(tr("Reset Variables"), this)),
      bridge_(session.notifications(), {kFocusProperties, notifications::kCloseProperties,
                                        notifications::kStyleNameChanged}) {
    setAttribute(Qt::WA_DeleteOnClose);
    const styleContainer& s = draft_.style();
    setWindowTitle(QStringLiteral("Properties of ") + fromStd(s.styleData.name));

    auto* layout = new QVBoxLayout(this);
    auto* form = new QFormLayout;
    form->addRow(tr("Type:"), new QLabel(fromStd(std::string(styleTypeLine(s))), this));
    frames_->setChecked(s.allowIframe.value_or(false));
    form->addRow(frames_);
    theme_->addItems({tr("Always"), tr("Only in light appearance"), tr("Only in dark appearance")});
    theme_->setCurrentIndex(static_cast<int>(themeMenuIndex(s.systemTheme)));
    form->addRow(tr("Apply:"), theme_);
    layout->addLayout(form);

    layout->addWidget(new QLabel(tr("Do not apply on:"), this));
    exclusions_->setHorizontalHeaderLabels({tr("Kind"), tr("Rule")});
    exclusions_->horizontalHeader()->setStretchLastSection(true);
    exclusions_->setSelectionBehavior(QAbstractItemView::SelectRows);
    for (const RuleRow& row : draft_.exclusions().dictionary) {
        const int r = exclusions_->rowCount();
        exclusions_->insertRow(r);
        auto* kind = new QComboBox(exclusions_);
        kind->addItems(exclusionKinds());
        kind->setCurrentText(fromStd(row.at("type")));
        exclusions_->setCellWidget(r, 0, kind);
        exclusions_->setItem(r, 1, new QTableWidgetItem(fromStd(row.at("rule"))));
    }
    layout->addWidget(exclusions_, 1);
    auto* adders = new QHBoxLayout;
    for (const QString& kind : exclusionKinds()) {
        auto* add = new QPushButton(kind, this);
        connect(add, &QPushButton::clicked, this, [this, kind] { addExclusion(kind); });
        adders->addWidget(add);
    }
    auto* remove = new QPushButton(tr("Delete"), this);
    connect(remove, &QPushButton::clicked, this, &PropertiesWindow::removeSelectedExclusion);
    adders->addWidget(remove);
    layout->addLayout(adders);

    layout->addWidget(variableArea_);
    layout->addWidget(reset_, 0, Qt::AlignLeft);
    buildVariables();

    auto* buttons = new QHBoxLayout;
    auto* cancel = new QPushButton(tr("Cancel"), this);
    auto* saveButton = new QPushButton(tr("Save"), this);
    saveButton->setDefault(true);
    buttons->addStretch(1);
    buttons->addWidget(cancel);
    buttons->addWidget(saveButton);
    layout->addLayout(buttons);

    connect(frames_, &QCheckBox::toggled, this, [this](bool on) { draft_.setAllowFrames(on); });
    connect(theme_, &QComboBox::currentIndexChanged, this,
            [this](int index) { draft_.setThemeIndex(static_cast<std::size_t>(index)); });
    connect(reset_, &QPushButton::clicked, this, &PropertiesWindow::resetVariables);
    connect(cancel, &QPushButton::clicked, this, &QWidget::close);
    connect(saveButton, &QPushButton::clicked, this, [this] { save(); });
    connect(&bridge_, &NoticeBridge::notice, this, &PropertiesWindow::onNotice);
    resize(560, 620);
}

void PropertiesWindow::buildVariables() {
    while (QLayoutItem* item = variableRows_->takeAt(0)) {
        if (QLayout* row = item->layout()) {
            while (QLayoutItem* inner = row->takeAt(0)) {
                delete inner->widget();
                delete inner;
            }
        }
        delete item->widget();
        delete item;
    }
    const auto& variables = draft_.style().userVariables;
    const bool any = variables && !variables->empty();
    variableArea_->setVisible(any);
    reset_->setVisible(any);
    if (any) {
        for (const userVariable& v : *variables) {
            addVariableRow(v);
        }
    }
}

void PropertiesWindow::addVariableRow(const userVariable& v) {
    auto* row = new QHBoxLayout;
    auto* name = new QLabel(fromStd(v.label), variableArea_);
    name->setObjectName(QStringLiteral("label:") + fromStd(v.name));
    row->addWidget(name);
    const std::string variable = v.name;
    const std::optional<std::string>& current = v.currentValue;
    QWidget* control = nullptr;
    QLabel* valueLabel = nullptr;
    if (v.type == "text") {
        auto* field = new QLineEdit(fromStd(current.value_or("")), variableArea_);
        connect(field, &QLineEdit::textEdited, this, [this, variable](const QString& text) {
            draft_.setValue(variable, text.toStdString());
        });
        control = field;
    } else if (v.type == "color") {
        auto* button = new QPushButton(variableArea_);
        std::optional<Colour> shown = current ? parseColour(*current) : std::nullopt;
        paintSwatch(button, shown);
        connect(button, &QPushButton::clicked, this, [this, variable, button, shown]() mutable {
            const QColor initial = shown ? toQColor(*shown) : QColor(Qt::white);
            const QColor picked = prompter_.chooseColour(initial, tr("Colour"));
            if (!picked.isValid()) {
                return;
            }
            const QColor rgb = picked.toRgb();
            shown = Colour{rgb.red() / 255.0, rgb.green() / 255.0, rgb.blue() / 255.0,
                           alphaFromByte(rgb.alpha())};
            draft_.setValue(variable, colourText(*shown));
            paintSwatch(button, shown);
        });
        control = button;
    } else if (v.type == "checkbox") {
        auto* box = new QCheckBox(tr("Enabled"), variableArea_);
        box->setChecked(current == "1");
        connect(box, &QCheckBox::toggled, this,
                [this, variable](bool on) { draft_.setValue(variable, on ? "1" : "0"); });
        control = box;
    } else if (v.selectOptions) {
        auto* menu = new QComboBox(variableArea_);
        for (const variableOption& o : *v.selectOptions) {
            menu->addItem(fromStd(o.label.value_or("ERROR")));
        }
        const auto index = asNumber(current);
        menu->setCurrentIndex(
            index && *index >= 0 && *index < menu->count() ? static_cast<int>(*index) : -1);
        connect(menu, &QComboBox::activated, this,
                [this, variable](int i) { draft_.setValue(variable, std::to_string(i)); });
        control = menu;
    } else if (v.rangeOptions && (v.type == "range" || v.type == "number")) {
        const rangeOpts range = *v.rangeOptions;
        const QString units = fromStd(range.units.value_or(""));
        const std::optional<double> value = asNumber(current);
        valueLabel = new QLabel(
            value ? fromStd(numberLabel(*value, units.toStdString())) : QString(), variableArea_);
        if (v.type == "range") {
            auto* slider = new QSlider(Qt::Horizontal, variableArea_);
            const auto ticks =
                static_cast<int>(std::min<std::size_t>(tickMarkCount(range), 1'000'000));
            slider->setRange(0, std::max(ticks - 1, 0));
            slider->setTickPosition(drawsTickMarks(range) ? QSlider::TicksBelow : QSlider::NoTicks);
            slider->setValue(static_cast<int>(
                std::lround((snapToStep(value.value_or(range.min), range) - range.min) /
                            (range.step > 0 ? range.step : 1))));
            connect(slider, &QSlider::valueChanged, this,
                    [this, variable, range, valueLabel, units](int tick) {
                        const double v2 = snapToStep(range.min + tick * range.step, range);
                        draft_.setValue(variable, numberValueText(v2));
                        valueLabel->setText(fromStd(numberLabel(v2, units.toStdString())));
                    });
            control = slider;
        } else {
            auto* stepper = new QDoubleSpinBox(variableArea_);
            stepper->setRange(range.min, range.max);
            stepper->setSingleStep(range.step > 0 ? range.step : 1);
            stepper->setDecimals(6);
            stepper->setValue(value.value_or(range.min));
            connect(stepper, &QDoubleSpinBox::valueChanged, this,
                    [this, variable, valueLabel, units](double v2) {
                        draft_.setValue(variable, numberValueText(v2));
                        valueLabel->setText(fromStd(numberLabel(v2, units.toStdString())));
                    });
            control = stepper;
        }
    }
    if (control == nullptr) {
        control = new QLabel(fromStd(current.value_or("")), variableArea_);
    }
    control->setObjectName(QStringLiteral("control:") + fromStd(v.name));
    row->addWidget(control, 1);
    if (valueLabel != nullptr) {
        row->addWidget(valueLabel);
    }
    if (current && *current != v.defaultValue) {
        auto* def = new QLabel(tr("default: %1").arg(fromStd(v.defaultValue)), variableArea_);
        def->setEnabled(false);
        row->addWidget(def);
    }
    variableRows_->addLayout(row);
}

QWidget* PropertiesWindow::variableControl(const QString& name) const {
    return findChild<QWidget*>(QStringLiteral("control:") + name);
}

QLabel* PropertiesWindow::variableLabel(const QString& name) const {
    return findChild<QLabel*>(QStringLiteral("label:") + name);
}

void PropertiesWindow::addExclusion(const QString& kind) {
    const int r = exclusions_->rowCount();
    exclusions_->insertRow(r);
    auto* box = new QComboBox(exclusions_);
    box->addItems(exclusionKinds());
    box->setCurrentText(kind);
    exclusions_->setCellWidget(r, 0, box);
    exclusions_->setItem(r, 1, new QTableWidgetItem);
    exclusions_->setCurrentCell(r, 1);
}

void PropertiesWindow::removeSelectedExclusion() {
    if (exclusions_->currentRow() >= 0) {
        exclusions_->removeRow(exclusions_->currentRow());
    }
}

void PropertiesWindow::takeExclusionRows() {
    draft_.exclusions().dictionary.clear();
    for (int r = 0; r < exclusions_->rowCount(); ++r) {
        const auto* kind = qobject_cast<QComboBox*>(exclusions_->cellWidget(r, 0));
        const QTableWidgetItem* rule = exclusions_->item(r, 1);
        draft_.exclusions().dictionary.push_back(
            {{"type", kind != nullptr ? kind->currentText().toStdString() : kRowDomain},
             {"rule", rule != nullptr ? rule->text().trimmed().toStdString() : std::string()}});
    }
}

void PropertiesWindow::resetVariables() {
    if (prompter_.confirm(kResetVariablesQuestion, kResetVariablesText)) {
        draft_.resetVariables();
        buildVariables();
    }
}

void PropertiesWindow::save(std::function<void(bool)> done) {
    takeExclusionRows();
    const styleContainer edited = draft_.edited();
    StyleStore* store = &session_.store();
    ConsoleCompilerErrors* errors = &session_.compilerErrors();
    work_.run([this, store, errors, edited, done] {
        const std::size_t errorsBefore = errors->shownCount();
        const Result<bool> stored = store->updateProperties(edited);
        const bool compileFailed = errors->shownCount() != errorsBefore;
        work_.onMain([this, stored, compileFailed, done] {
            const bool ok = stored && *stored;
            if (!stored) {
                prompter_.alert(QStringLiteral("Error Saving File"), fromStd(stored.error()));
            }
            // A compile error keeps the panel open next to its error window.
            const bool closing = ok && !compileFailed;
            if (closing) {
                close();
            }
            if (done) {
                done(closing);
            }
        });
    });
}

void PropertiesWindow::closeEvent(QCloseEvent* event) {
    emit closing(styleID_);
    event->accept();
}

void PropertiesWindow::onNotice(const Notification& n) {
    if (noticeID(n) != styleID_) {
        return;
    }
    if (n.name == kFocusProperties) {
        show();
        raise();
        activateWindow();
    } else if (n.name == notifications::kCloseProperties) {
        close();
    } else if (n.name == notifications::kStyleNameChanged) {
        if (const std::optional<std::string> name = noticeText(n, "newname")) {
            setWindowTitle(QStringLiteral("Properties of ") + fromStd(*name));
        }
    }
}

}  // namespace orlavine::gui
