#pragma once

#include "models/preview_background.h"
#include "output/obs_transport.h"
#include "ui/window/system_load_panel.h"

#include <QList>
#include <QObject>
#include <QSizeF>
#include <QString>
#include <QUrl>

#include <optional>

namespace velmar {

class CanvasEngine;

// What the main window reads of the application state and what it asks of it: the window-wide
// settings, the output switches, the import of dropped files, the transform resize, the
// duration sheet and the system monitor. The application wires it to AppState; tests give
// their own. Main thread.
class MainWindowModel : public QObject {
    Q_OBJECT
  public:
    using QObject::QObject;

    virtual int backgroundLevel() const = 0;
    virtual QString projectDisplayName() const = 0;
    virtual bool isProjectLoading() const = 0;
    virtual bool programOnLeft() const = 0;
    virtual double centerColumnWidth() const = 0;
    virtual void setCenterColumnWidth(double width) = 0;
    virtual PreviewBackground previewBackground() const = 0;
    virtual CanvasEngine* canvasEngine() const = 0;

    // The open duration sheet: 0 the clip under the cursor, 1 the selection; none when closed.
    virtual std::optional<int> durationEditor() const = 0;
    virtual void closeDurationEditor() = 0;

    virtual bool isDeckLinkRunning() const = 0;
    virtual bool isOutputOpen() const = 0;
    virtual bool isOBSOpen() const = 0;
    virtual OBSTransport effectiveOBSTransport() const = 0;
    virtual bool chromaKeyEnabled() const = 0;
    virtual void setChromaKeyEnabled(bool enabled) = 0;
    virtual void startDeckLink() = 0;
    virtual void stopDeckLink() = 0;
    virtual void toggleOutput() = 0;
    virtual void toggleOBSOutput() = 0;

    // The import panel: stills and movies, or a folder (a file panel picks one kind).
    enum class AddPanel { files, folder };
    virtual void presentAddClips(AddPanel panel) = 0;
    // Gives the files lasting access, then imports them at the end of the current tab.
    virtual void remember(const QList<QUrl>& urls) = 0;
    virtual void importURLs(const QList<QUrl>& urls) = 0;
    virtual void resizeSelectedTransform(double scaleDelta, QSizeF centerShift,
                                         QSizeF canvasSize) = 0;

    // The system monitor: figures, the frame budget in seconds, and sampling.
    virtual SystemLoadPanel::Figures loadFigures() const = 0;
    virtual void setFrameBudget(double seconds) = 0;
    virtual void startMonitor() = 0;

  signals:
    // Any of the state above changed (the load figures excepted).
    void changed();
    void loadChanged();
};

}  // namespace velmar
