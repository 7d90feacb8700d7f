#include "platform/screens/screen_provider.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

#include <optional>

namespace velmar {
namespace {

class SystemScreenProvider final : public ScreenProvider {
  public:
    QList<ScreenInfo> screens() const override { return list().first; }

    QList<VisibleWindow> visibleWindows() const override {
        QList<VisibleWindow> windows;
        const auto [infos, qscreens] = list();
        for (QWindow* w : QGuiApplication::topLevelWindows()) {
            if (!w->isVisible()) continue;
            const qsizetype at = qscreens.indexOf(w->screen());
            windows.append({w->title(), at < 0 ? QString() : infos[at].identity});
        }
        return windows;
    }

    QScreen* platformScreen(const QString& identity) const override {
        const auto [infos, qscreens] = list();
        for (qsizetype i = 0; i < infos.size(); ++i)
            if (infos[i].identity == identity) return qscreens[i];
        return nullptr;
    }

  private:
    static std::pair<QList<ScreenInfo>, QList<QScreen*>> list() {
        const QList<QScreen*> all = QGuiApplication::screens();
        QList<QScreen*> qscreens;
        for (const qsizetype i :
             primaryFirst(all.size(), all.indexOf(QGuiApplication::primaryScreen())))
            qscreens.append(all[i]);
        QList<ScreenInfo> infos;
        for (QScreen* s : qscreens)
            infos.append({QString(), s->name(), s->serialNumber(), s->geometry(),
                          s->refreshRate() > 0 ? s->refreshRate() : 60.0, s->devicePixelRatio()});
        ScreenProvider::assignIdentities(infos);
        return {infos, qscreens};
    }
};

}  // namespace

std::optional<ScreenInfo> ScreenProvider::screen(const QString& identity) const {
    for (const ScreenInfo& s : screens())
        if (s.identity == identity) return s;
    return std::nullopt;
}

ScreenProvider& ScreenProvider::system() {
    static SystemScreenProvider provider;
    return provider;
}

QList<qsizetype> ScreenProvider::primaryFirst(qsizetype count, qsizetype primary) {
    QList<qsizetype> order;
    order.reserve(count);
    const bool hasPrimary = primary >= 0 && primary < count;
    if (hasPrimary) order.append(primary);
    for (qsizetype i = 0; i < count; ++i)
        if (!hasPrimary || i != primary) order.append(i);
    return order;
}

void ScreenProvider::assignIdentities(QList<ScreenInfo>& screens) {
    QList<QString> bases;
    for (ScreenInfo& s : screens) {
        const QRect& g = s.geometry;
        const QString base = QStringLiteral("%1|%2|%3x%4+%5+%6")
                                 .arg(s.name, s.serialNumber)
                                 .arg(g.width())
                                 .arg(g.height())
                                 .arg(g.x())
                                 .arg(g.y());
        const qsizetype seen = bases.count(base);
        bases.append(base);
        s.identity = seen == 0 ? base : QStringLiteral("%1#%2").arg(base).arg(seen + 1);
    }
}

}  // namespace velmar
