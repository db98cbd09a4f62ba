#include "app/qt/qt_front_end.h"

#include <QApplication>

#include "app/console/console_view.h"
#include "app/qt/prompter.h"
#include "app/qt/qt_transfer_dialog.h"

namespace app::qt {

void QtLaunchHost::ShowMessage(const std::string& text) {
    BoxPrompter().Message(nullptr, BoxText(text));
}

void QtLaunchHost::RunDialog(const std::optional<std::string>& key) {
    QtTransferDialog window;
    TransferDialog dialog(window, frontEnd_.makeController, *frontEnd_.clock, frontEnd_.settings);
    window.SetTimerCallback([&dialog] { dialog.OnTimer(); });
    // News from the worker ticks the dialog at once, on its own thread,
    // instead of waiting for the next second of the timer.
    dialog.SetNewsHandler([&window, &dialog] {
        QMetaObject::invokeMethod(
            &window, [&dialog] { dialog.OnTimer(); }, Qt::QueuedConnection);
    });
    dialog.SetKey(key);
    dialog.Initialise();
    window.exec();
    outcome_ =
        dialog.Outcome() == DialogOutcome::Running ? DialogOutcome::Closed : dialog.Outcome();
}

int RunQtFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd) {
    QApplication application(argc, argv);
    application.setWindowIcon(ApplicationIcon());
    QtLaunchHost host(frontEnd);
    const LaunchResult launch = TransferApp::Launch(frontEnd.launchKey, host);
    return ConsoleExitStatus(launch, host.Outcome());
}

}  // namespace app::qt
