#pragma once

#include <QString>

#include <optional>

namespace velmar {

class DSKController;

// What the DSK source panel shows for a state of the keyer: texts, colours as flags, and which
// buttons work. The panel keeps nothing of its own; it rebuilds this whenever the keyer
// publishes a change. Pure; main thread (it reads the keyer only in from()).
class DSKPanelPresenter {
  public:
    enum class MediaKind { none, still, movie };

    // The keyer's published state that the panel reads.
    struct Inputs {
        bool isActive = false;
        std::optional<QString> sourcePath;  // the file of the medium shown
        MediaKind media = MediaKind::none;
        bool hasPicture = false;  // a still, or a movie with a poster
        bool isLoading = false;
        bool loops = true;
        std::optional<QString> errorMessage;
        QString countLabel = QStringLiteral("0 / 0");
    };

    struct State {
        QString status;             // "ON AIR" or "OFF" (fixed labels, looked up)
        bool onAir = false;         // red status and red border
        bool showsPicture = false;  // else the placeholder symbol
        bool showsSpinner = false;
        QString count;
        QString name;      // file name, or the looked-up "素材未選択"
        QString nameHelp;  // full path, or empty
        bool chooseEnabled = false;
        bool clearEnabled = false;
        bool showsLoopGroup = false;
        bool loopLit = false;  // LOOP lit; END lit otherwise
        QString loopText;
        std::optional<QString> error;  // the orange line
    };

    static Inputs inputs(const DSKController& dsk);
    static State present(const Inputs& in);
};

}  // namespace velmar
