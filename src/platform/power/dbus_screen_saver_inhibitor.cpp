#include "platform/power/dbus_screen_saver_inhibitor.h"

#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>

namespace velmar {
namespace {

const QString kService = QStringLiteral("org.freedesktop.ScreenSaver");
const QString kPath = QStringLiteral("/org/freedesktop/ScreenSaver");
const QString kInterface = QStringLiteral("org.freedesktop.ScreenSaver");

}  // namespace

DBusScreenSaverInhibitor::DBusScreenSaverInhibitor(QDBusConnection connection)
    : connection_(std::move(connection)) {}

std::optional<uint32_t> DBusScreenSaverInhibitor::inhibit(const QString& reason) {
    if (!connection_.isConnected()) return std::nullopt;
    QDBusConnectionInterface* bus = connection_.interface();
    if (!bus || !bus->isServiceRegistered(kService).value()) return std::nullopt;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("Inhibit"));
    call << QStringLiteral("DOVRINE") << reason;
    const QDBusReply<uint> reply = connection_.call(call, QDBus::Block, kCallTimeoutMs);
    if (!reply.isValid()) return std::nullopt;
    return uint32_t(reply.value());
}

void DBusScreenSaverInhibitor::release(uint32_t cookie) {
    if (!connection_.isConnected()) return;
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("UnInhibit"));
    call << uint(cookie);
    // Nothing waits on the answer.
    connection_.call(call, QDBus::NoBlock);
}

DisplaySleepInhibitor& DisplaySleepInhibitor::system() {
    static DBusScreenSaverInhibitor inhibitor(QDBusConnection::sessionBus());
    return inhibitor;
}

}  // namespace velmar
