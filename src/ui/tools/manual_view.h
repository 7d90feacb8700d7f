#pragma once

#include <QScrollArea>

class QVBoxLayout;

namespace velmar {

class LanguageSettings;

// The manual: the logo, then the seven sections of the effective language, each a bold title
// and "・" bullets whose lines wrap and can be selected. Dark, on a grey of white 0.12. Redrawn
// at once when the language changes.
class ManualView : public QScrollArea {
    Q_OBJECT

  public:
    explicit ManualView(LanguageSettings& language, QWidget* parent = nullptr);

    // The text of every line shown, in order (for tests and checks).
    QStringList shownLines() const;
    QStringList shownTitles() const;

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void rebuild();

    LanguageSettings& language_;
    QWidget* content_ = nullptr;
    QVBoxLayout* sections_ = nullptr;
};

}  // namespace velmar
