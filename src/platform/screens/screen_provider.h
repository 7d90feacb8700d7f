#pragma once

#include "platform/screens/screen_info.h"

#include <QList>

#include <memory>
#include <optional>

class QScreen;

namespace velmar {

// The displays and what the application shows on them. system() reads the Qt screens and the
// application's top-level widgets; tests give their own screens. Main thread.
class ScreenProvider {
  public:
    virtual ~ScreenProvider() = default;

    // The connected screens, the primary one first.
    virtual QList<ScreenInfo> screens() const = 0;
    // The application's visible top-level windows.
    virtual QList<VisibleWindow> visibleWindows() const = 0;
    // The platform screen of an identity, when it is a real one (null for fakes or a screen that
    // is gone).
    virtual QScreen* platformScreen(const QString& identity) const = 0;

    std::optional<ScreenInfo> screen(const QString& identity) const;

    static ScreenProvider& system();

    // The order in which `count` screens are listed: the primary one (at `primary`) first, the
    // others after it in their own order; every screen once. Without a primary among them
    // (`primary` out of range) the order is unchanged.
    static QList<qsizetype> primaryFirst(qsizetype count, qsizetype primary);

    // Identities for screens listed together: name, serial number and geometry, with "#n"
    // added to the n-th (from 2) of screens that agree in all three.
    static void assignIdentities(QList<ScreenInfo>& screens);
};

}  // namespace velmar
