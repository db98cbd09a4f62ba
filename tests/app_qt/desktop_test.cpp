// The end-of-run notification as the desktop receives it: a private bus
// (a dbus-daemon of the test's own) with a stand-in notification service on
// it, one that answers and one that never does, and no bus at all.

#include "app/qt/desktop.h"

#include <gtest/gtest.h>
#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QEventLoop>
#include <QStringList>
#include <QTimer>
#include <QVariantMap>
#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "qt_testing.h"
#include "support/child_process.h"
#include "support/temp_dir.h"

namespace app::qt {
namespace {

constexpr std::chrono::seconds kPatience{5};

// A dbus-daemon on a socket in a temporary folder, with no services to
// start: only what a test registers is there.
class PrivateBus {
  public:
    PrivateBus() {
        folder_.Write("bus.conf",
                      "<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration "
                      "1.0//EN\" \"http://www.freedesktop.org/standards/dbus/1.0/"
                      "busconfig.dtd\">\n<busconfig><type>session</type><listen>unix:dir=" +
                          folder_.path() +
                          "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow "
                          "send_destination=\"*\" eavesdrop=\"true\"/><allow eavesdrop=\"true\"/>"
                          "<allow own=\"*\"/></policy></busconfig>\n");
        testing_support::ChildOptions options;
        options.argv = {"dbus-daemon", "--config-file=" + folder_.Sub("bus.conf"), "--nofork",
                        "--print-address=1"};
        auto started = testing_support::ChildProcess::Start(options);
        EXPECT_TRUE(started.ok()) << "dbus-daemon (scripts/setup installs it): "
                                  << started.error().Message();
        if (!started.ok()) {
            return;
        }
        daemon_ = std::move(*started);
        const std::optional<std::string> address = daemon_.WaitForLine(
            testing_support::ChildProcess::Stream::Output, "unix:", std::chrono::seconds(10));
        EXPECT_TRUE(address.has_value()) << "dbus-daemon named no address";
        address_ = QString::fromStdString(address.value_or(""));
    }

    // A connection of its own to the bus, under a name unique to the test.
    QDBusConnection Connect(const QString& name) {
        names_.push_back(name);
        return QDBusConnection::connectToBus(address_, name);
    }

    ~PrivateBus() {
        for (const QString& name : names_) {
            QDBusConnection::disconnectFromBus(name);
        }
    }

  private:
    testing_support::TempDir folder_;
    testing_support::ChildProcess daemon_;
    QString address_;
    std::vector<QString> names_;
};

// org.freedesktop.Notifications as a test sees it: every call it receives,
// answered with an identifier unless told to keep silent. Calls arrive as
// events of the test's thread.
class NotificationStandIn : public QDBusVirtualObject {
  public:
    explicit NotificationStandIn(bool answers) : answers_(answers) {}

    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override {
        calls_.push_back(message);
        if (answers_) {
            connection.send(message.createReply(QVariant::fromValue(7u)));
        }
        return true;
    }
    QString introspect(const QString&) const override { return {}; }

    // The first call, once it came (the events that bring it are let in
    // meanwhile).
    std::optional<QDBusMessage> FirstCall() {
        QEventLoop loop;
        QTimer look;
        QObject::connect(&look, &QTimer::timeout, &loop, [&] {
            if (!calls_.empty()) {
                loop.quit();
            }
        });
        look.start(5);
        QTimer::singleShot(kPatience, &loop, &QEventLoop::quit);
        loop.exec();
        return calls_.empty() ? std::nullopt : std::optional<QDBusMessage>(calls_.front());
    }

  private:
    const bool answers_;
    std::vector<QDBusMessage> calls_;
};

void Offer(QDBusConnection& bus, NotificationStandIn& standIn) {
    ASSERT_TRUE(bus.isConnected()) << bus.lastError().message().toStdString();
    ASSERT_TRUE(bus.registerVirtualObject(QString::fromLatin1(kNotificationPath), &standIn));
    ASSERT_TRUE(bus.registerService(QString::fromLatin1(kNotificationService)));
}

TEST(DesktopNotificationTest, NotifyReachesTheNotificationServiceWithTheTexts) {
    PrivateBus bus;
    QDBusConnection service = bus.Connect(QStringLiteral("notification-service"));
    NotificationStandIn standIn(/*answers=*/true);
    Offer(service, standIn);
    QDBusConnection program = bus.Connect(QStringLiteral("program"));
    ASSERT_TRUE(program.isConnected());

    EXPECT_TRUE(SendNotification(program, QStringLiteral("Download complete"),
                                 QStringLiteral("3 files arrived in /srv/in.")));

    const std::optional<QDBusMessage> call = standIn.FirstCall();
    ASSERT_TRUE(call.has_value()) << "no notification arrived";
    EXPECT_EQ(call->interface(), QStringLiteral("org.freedesktop.Notifications"));
    EXPECT_EQ(call->path(), QStringLiteral("/org/freedesktop/Notifications"));
    EXPECT_EQ(call->member(), QStringLiteral("Notify"));
    EXPECT_EQ(call->signature(), QStringLiteral("susssasa{sv}i"));
    const QList<QVariant> arguments = call->arguments();
    ASSERT_EQ(arguments.size(), 8);
    EXPECT_EQ(arguments[0].toString(), QStringLiteral("Trevasto"));  // the program
    EXPECT_EQ(arguments[1].toUInt(), 0u);                            // a new notification
    EXPECT_EQ(arguments[2].toString(), QStringLiteral("trevasto"));  // its icon
    EXPECT_EQ(arguments[3].toString(), QStringLiteral("Download complete"));
    EXPECT_EQ(arguments[4].toString(), QStringLiteral("3 files arrived in /srv/in."));
    EXPECT_TRUE(arguments[5].toStringList().isEmpty()) << "no actions";
    const QVariantMap hints = qdbus_cast<QVariantMap>(arguments[6].value<QDBusArgument>());
    EXPECT_EQ(hints.value(QStringLiteral("desktop-entry")).toString(), QStringLiteral("trevasto"))
        << "names the program's desktop entry";
    EXPECT_EQ(arguments[7].toInt(), -1) << "the service's own time-out";
}

TEST(DesktopNotificationTest, NotifyNeverWaitsForTheServicesAnswer) {
    PrivateBus bus;
    QDBusConnection service = bus.Connect(QStringLiteral("silent-service"));
    NotificationStandIn standIn(/*answers=*/false);
    Offer(service, standIn);
    QDBusConnection program = bus.Connect(QStringLiteral("impatient-program"));

    // A call that waited for the answer would wait for the bus's time-out
    // (25 s); this one is back before the service has even looked at it.
    const auto started = std::chrono::steady_clock::now();
    EXPECT_TRUE(SendNotification(program, QStringLiteral("Download complete"), QString()));
    EXPECT_LT(std::chrono::steady_clock::now() - started, kPatience);
    EXPECT_TRUE(standIn.FirstCall().has_value());
}

TEST(DesktopNotificationTest, NothingIsSentWithoutABusOrService) {
    // No bus at all.
    const QDBusConnection none(QStringLiteral("never-connected"));
    EXPECT_FALSE(SendNotification(none, QStringLiteral("Download complete"), QString()));
    // A bus where no notification service runs: the call goes out, the
    // bus's error answer is dropped, and nothing else happens.
    PrivateBus bus;
    QDBusConnection program = bus.Connect(QStringLiteral("lonely-program"));
    ASSERT_TRUE(program.isConnected());
    EXPECT_TRUE(SendNotification(program, QStringLiteral("Download complete"), QString()));
    app_qt_testing::Settle();
    EXPECT_TRUE(program.isConnected());
}

}  // namespace
}  // namespace app::qt
