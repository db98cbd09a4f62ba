#include "app/qt/qt_front_end.h"

#include <QApplication>
#include <cstdio>

#include "app/console/console_view.h"
#include "app/qt/desktop.h"
#include "app/qt/display_check.h"
#include "app/qt/prompter.h"
#include "app/qt/qt_transfer_dialog.h"

namespace app::qt {

QtLaunchHost::QtLaunchHost(const FrontEnd& frontEnd, std::shared_ptr<Desktop> desktop)
    : frontEnd_(frontEnd),
      desktop_(desktop != nullptr ? std::move(desktop) : std::make_shared<SystemDesktop>()) {}

void QtLaunchHost::ShowMessage(const std::string& text) {
    BoxPrompter().Message(nullptr, BoxText(text));
}

void QtLaunchHost::RunDialog(const std::optional<std::string>& key) {
    QtTransferDialog window;
    window.SetDesktop(desktop_);
    TransferDialog dialog(window, frontEnd_.makeController, *frontEnd_.clock, frontEnd_.settings);
    window.SetTimerCallback([&dialog] { dialog.OnTimer(); });
    // News from the worker ticks the dialog at once, on its own thread,
    // instead of waiting for the next second of the timer: the status line
    // and the bar follow the transfer several times a second.
    dialog.SetNewsHandler([&window, &dialog] {
        QMetaObject::invokeMethod(
            &window, [&dialog] { dialog.OnTimer(); }, Qt::QueuedConnection);
    });
    // Escape and the close button ask before a run under way is stopped;
    // once nothing runs they close the window at once.
    window.SetCloseRequestHandler([&dialog] { return dialog.RequestStop(true); });
    dialog.SetKey(key);
    dialog.Initialise();
    window.exec();
    outcome_ =
        dialog.Outcome() == DialogOutcome::Running ? DialogOutcome::Closed : dialog.Outcome();
}

std::string NoDisplayNote(const Environment& environment) {
    std::string where;
    if (environment.qtPlatform && !environment.qtPlatform->empty()) {
        where = "QT_QPA_PLATFORM=" + *environment.qtPlatform;
    } else if (environment.waylandDisplay && !environment.waylandDisplay->empty()) {
        where = "WAYLAND_DISPLAY=" + *environment.waylandDisplay;
    } else if (environment.display) {
        where = "DISPLAY=" + *environment.display;
    }
    return "trevasto: the display cannot be opened" + (where.empty() ? "" : " (" + where + ")") +
           "; using the console instead";
}

int RunQtFrontEnd(int& argc, char** argv, const FrontEnd& frontEnd) {
    if (!DisplayOpens(argc, argv)) {
        std::fprintf(stderr, "%s\n", NoDisplayNote(Environment::FromProcess()).c_str());
        return RunConsoleFrontEnd(frontEnd);
    }
    QApplication application(argc, argv);
    application.setWindowIcon(ApplicationIcon());
    QtLaunchHost host(frontEnd);
    const LaunchResult launch = TransferApp::Launch(frontEnd.launchKey, host);
    return ConsoleExitStatus(launch, host.Outcome());
}

void ShowDeploymentFailureBox(Prompter& prompter, const std::string& message) {
    prompter.Warning(nullptr, BoxText(DeploymentFailureText(message)));
}

void ShowDeploymentFailure(int& argc, char** argv, const std::string& message) {
    if (!DisplayOpens(argc, argv)) {
        return;
    }
    QApplication application(argc, argv);
    application.setWindowIcon(ApplicationIcon());
    BoxPrompter prompter;
    ShowDeploymentFailureBox(prompter, message);
}

}  // namespace app::qt
