#pragma once
// What the dialog asks of the desktop around it: to open a folder in the
// file manager, and to show a notification when the user looks elsewhere.
// The dialog reaches both through this seam, so that tests record the
// requests instead of launching a file manager or a notification.

#include <QDBusConnection>
#include <QString>

namespace app::qt {

class Desktop {
  public:
    virtual ~Desktop() = default;
    // Opens a folder in the file manager; false when nothing could open it.
    virtual bool OpenFolder(const QString& folder) = 0;
    // Shows a notification; does nothing where no notification service
    // runs. Never waits for the service.
    virtual void Notify(const QString& summary, const QString& body) = 0;
};

// The real desktop: QDesktopServices for folders, freedesktop.org
// notifications over the session bus.
class SystemDesktop final : public Desktop {
  public:
    bool OpenFolder(const QString& folder) override;
    void Notify(const QString& summary, const QString& body) override;
};

// The freedesktop.org notification service's name, object and interface.
inline constexpr const char* kNotificationService = "org.freedesktop.Notifications";
inline constexpr const char* kNotificationPath = "/org/freedesktop/Notifications";

// Sends org.freedesktop.Notifications.Notify over `bus` and returns without
// waiting for the answer (the service may be slow, or absent: then the bus
// answers with an error that nobody reads). False when the bus is not
// connected, so that nothing was sent.
bool SendNotification(const QDBusConnection& bus, const QString& summary, const QString& body);

}  // namespace app::qt
