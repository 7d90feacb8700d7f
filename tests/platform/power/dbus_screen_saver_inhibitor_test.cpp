#include "platform/power/dbus_screen_saver_inhibitor.h"

#include <QDBusConnection>
#include <QDBusContext>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>

namespace velmar {
namespace {

// A screen-saver service of our own on a private bus, served on its own thread.
class ScreenSaverService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public:
    std::mutex mutex;
    QStringList inhibits;  // "application: reason"
    QList<uint> released;

  public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        std::lock_guard lock(mutex);
        inhibits.append(application + ": " + reason);
        return 4000 + uint(inhibits.size());
    }
    void UnInhibit(uint cookie) {
        std::lock_guard lock(mutex);
        released.append(cookie);
    }
};

// A screen-saver service that answers every inhibition with an error.
class RefusingScreenSaver : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
  public slots:
    uint Inhibit(const QString&, const QString&) {
        sendErrorReply(QDBusError::AccessDenied, QStringLiteral("inhibition refused"));
        return 77;
    }
};

TEST(DBusScreenSaverInhibitorTest, InhibitsThroughTheServiceAndIsSilentWithoutIt) {
    DBusScreenSaverInhibitor unconnected(QDBusConnection(QStringLiteral("no such connection")));
    EXPECT_EQ(unconnected.inhibit(QStringLiteral("x")), std::nullopt);

    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess daemon;  // a private bus
    daemon.start(program, {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon.waitForReadyRead(30000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("client"));
    ASSERT_TRUE(client.isConnected());
    DBusScreenSaverInhibitor inhibitor(client);
    EXPECT_EQ(inhibitor.inhibit(QStringLiteral("x")), std::nullopt) << "no service on the bus";

    QThread serviceThread;
    ScreenSaverService service;
    service.moveToThread(&serviceThread);
    serviceThread.start();
    QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("server"));
    ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                      QDBusConnection::ExportAllSlots));
    ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));

    const auto cookie = inhibitor.inhibit(QStringLiteral("DOVRINE サブモニター出力中"));
    EXPECT_EQ(cookie, 4001u);
    {
        std::lock_guard lock(service.mutex);
        EXPECT_EQ(service.inhibits, QStringList{"DOVRINE: DOVRINE サブモニター出力中"});
    }
    inhibitor.release(4001);
    // The release is not waited for; give the bus generous time to carry it.
    bool released = false;
    for (int i = 0; i < 600 && !released; ++i) {
        QTest::qWait(50);
        std::lock_guard lock(service.mutex);
        released = service.released == QList<uint>{4001};
    }
    EXPECT_TRUE(released);

    server.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
    QDBusConnection::disconnectFromBus(QStringLiteral("server"));
    QDBusConnection::disconnectFromBus(QStringLiteral("client"));
    serviceThread.quit();
    serviceThread.wait();
    service.moveToThread(QThread::currentThread());
    daemon.kill();
    daemon.waitForFinished(30000);
}

// A service that is there but refuses the call: no cookie, so nothing claims the screen is kept
// awake and nothing is released later.
TEST(DBusScreenSaverInhibitorTest, ARefusedInhibitionIsReportedAsFailed) {
    const QString program = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
    if (program.isEmpty()) GTEST_SKIP() << "dbus-daemon is not installed";
    QProcess daemon;
    daemon.start(program, {"--session", "--nofork", "--print-address"});
    ASSERT_TRUE(daemon.waitForReadyRead(30000));
    const QString address = QString::fromUtf8(daemon.readLine()).trimmed();
    QThread serviceThread;
    RefusingScreenSaver service;
    service.moveToThread(&serviceThread);
    serviceThread.start();
    {
        QDBusConnection server = QDBusConnection::connectToBus(address, QStringLiteral("refuser"));
        ASSERT_TRUE(server.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &service,
                                          QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(server.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
        DBusScreenSaverInhibitor inhibitor(
            QDBusConnection::connectToBus(address, QStringLiteral("asker")));
        EXPECT_EQ(inhibitor.inhibit(QStringLiteral("DOVRINE サブモニター出力中")), std::nullopt);
        server.unregisterObject(QStringLiteral("/org/freedesktop/ScreenSaver"));
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("refuser"));
    QDBusConnection::disconnectFromBus(QStringLiteral("asker"));
    serviceThread.quit();
    serviceThread.wait();
    service.moveToThread(QThread::currentThread());
    daemon.kill();
    daemon.waitForFinished(30000);
}

}  // namespace
}  // namespace velmar

#include "dbus_screen_saver_inhibitor_test.moc"
