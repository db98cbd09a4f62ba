#include "app/qt/desktop.h"

#include <QDBusMessage>
#include <QDesktopServices>
#include <QStringList>
#include <QUrl>
#include <QVariant>
#include <QVariantMap>

namespace app::qt {

bool SystemDesktop::OpenFolder(const QString& folder) {
    return QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
}

void SystemDesktop::Notify(const QString& summary, const QString& body) {
    (void)SendNotification(QDBusConnection::sessionBus(), summary, body);
}

bool SendNotification(const QDBusConnection& bus, const QString& summary, const QString& body) {
    if (!bus.isConnected()) {
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QString::fromLatin1(kNotificationService), QString::fromLatin1(kNotificationPath),
        QString::fromLatin1(kNotificationService), "Notify");
    // The desktop entry tells the service which program speaks (its name and
    // icon in the notification centre).
    QVariantMap hints;
    hints.insert(QStringLiteral("desktop-entry"), QStringLiteral("trevasto"));
    call << QStringLiteral("Trevasto") << 0u << QStringLiteral("trevasto") << summary << body
         << QStringList() << hints << -1;
    // Whatever the service answers (an identifier, or the bus's error when
    // no service runs) is of no use to the dialog: the call is not waited on.
    return bus.send(call);
}

}  // namespace app::qt
