#include "ui/tools/manual_view.h"

#include "models/language_settings.h"
#include "ui/controls/brand_logo_view.h"
#include "ui/controls/palette.h"
#include "ui/tools/manual_content.h"

#include <QEvent>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

namespace velmar {

namespace {

constexpr const char* kLineRole = "manualLine";
constexpr const char* kTitleRole = "manualTitle";

QLabel* text(const QString& value, int points, bool bold, double white) {
    auto* label = new QLabel(value);
    label->setTextFormat(Qt::PlainText);
    QFont font;
    font.setPointSize(points);
    font.setBold(bold);
    label->setFont(font);
    QPalette palette = label->palette();
    palette.setColor(QPalette::WindowText, Palette::white(white));
    label->setPalette(palette);
    return label;
}

}  // namespace

ManualView::ManualView(LanguageSettings& language, QWidget* parent)
    : QScrollArea(parent), language_(language) {
    setWidgetResizable(true);
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    QPalette background = palette();
    background.setColor(QPalette::Window, Palette::white(0.12));
    background.setColor(QPalette::Base, Palette::white(0.12));
    setPalette(background);
    setAutoFillBackground(true);

    content_ = new QWidget;
    content_->setPalette(background);
    content_->setAutoFillBackground(true);
    auto* column = new QVBoxLayout(content_);
    column->setSpacing(20);
    column->setContentsMargins(24, 24, 24, 24);

    // The logo on a light plate: 5 of padding, white at 0.9, corners of 4, 4 more below.
    auto* plate = new QFrame;
    plate->setObjectName("manualLogoPlate");
    plate->setStyleSheet(
        "#manualLogoPlate { background: rgba(255, 255, 255, 230); border-radius: 4px; }");
    auto* plateLayout = new QHBoxLayout(plate);
    plateLayout->setContentsMargins(5, 5, 5, 5);
    auto* logo = new BrandLogoView;
    logo->setHeight(26, 1.0);
    plateLayout->addWidget(logo);
    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 4);
    header->addWidget(plate);
    header->addStretch(1);
    column->addLayout(header);

    sections_ = new QVBoxLayout;
    sections_->setSpacing(20);
    column->addLayout(sections_);
    column->addStretch(1);
    setWidget(content_);

    rebuild();
}

void ManualView::changeEvent(QEvent* event) {
    if (event->type() == QEvent::LanguageChange) rebuild();
    QScrollArea::changeEvent(event);
}

void ManualView::rebuild() {
    while (QLayoutItem* item = sections_->takeAt(0)) {
        delete item->widget();
        delete item;
    }
    const QList<ManualContent::Section>& sections = language_.effective() == AppLanguage::ja
                                                        ? ManualContent::japanese()
                                                        : ManualContent::english();
    for (const ManualContent::Section& section : sections) {
        auto* block = new QWidget;
        auto* lines = new QVBoxLayout(block);
        lines->setContentsMargins(0, 0, 0, 0);
        lines->setSpacing(6);
        QLabel* title = text(section.title, 15, true, 0.96);
        title->setProperty(kTitleRole, true);
        lines->addWidget(title);
        for (const QString& body : section.body) {
            auto* row = new QHBoxLayout;
            row->setSpacing(6);
            row->addWidget(text(QStringLiteral("・"), 12, false, 0.66), 0, Qt::AlignTop);
            QLabel* line = text(body, 12, false, 0.96);
            line->setWordWrap(true);
            line->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            line->setProperty(kLineRole, true);
            row->addWidget(line, 1);
            lines->addLayout(row);
        }
        sections_->addWidget(block);
    }
}

QStringList ManualView::shownLines() const {
    QStringList out;
    for (const QLabel* label : content_->findChildren<QLabel*>())
        if (label->property(kLineRole).toBool()) out << label->text();
    return out;
}

QStringList ManualView::shownTitles() const {
    QStringList out;
    for (const QLabel* label : content_->findChildren<QLabel*>())
        if (label->property(kTitleRole).toBool()) out << label->text();
    return out;
}

}  // namespace velmar
