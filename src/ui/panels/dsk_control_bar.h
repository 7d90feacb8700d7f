#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace velmar {

class DSKController;
class PlayoutEngine;

// The keyer's take column under the preview panes: the title "DSK" (red while keyed) and the
// NEXT, CUT and FADE buttons. No state of its own: it follows the keyer's published changes and
// calls the keyer. The buttons never take focus, so Space and Return never click them.
class DSKControlBar : public QWidget {
    Q_OBJECT

  public:
    struct Enables {
        bool next = false;
        bool cut = false;
        bool fade = false;
        friend bool operator==(const Enables&, const Enables&) = default;
    };
    // The bar works only with a medium that is not loading; NEXT also needs two sources, FADE
    // no fade under way.
    static Enables enables(bool hasMedia, bool isLoading, qsizetype sourceCount,
                           bool isTransitioning);

    DSKControlBar(DSKController& dsk, PlayoutEngine& engine, QWidget* parent = nullptr);

    // Fonts and fixed heights follow the main window's design scale.
    void setScale(double scale);

    QPushButton* nextButton() const { return next_; }
    QPushButton* cutButton() const { return cut_; }
    QPushButton* fadeButton() const { return fade_; }
    QLabel* title() const { return title_; }

  protected:
    void changeEvent(QEvent* event) override;

  private:
    void retranslate();
    void refresh();

    DSKController& dsk_;
    PlayoutEngine& engine_;
    QLabel* title_ = nullptr;
    QPushButton* next_ = nullptr;
    QPushButton* cut_ = nullptr;
    QPushButton* fade_ = nullptr;
    double scale_ = 1.0;
};

}  // namespace velmar
