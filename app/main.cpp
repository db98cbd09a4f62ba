// Trevasto: downloads the files of a download key into a local folder.

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>

#include "app/console/program_options.h"
#include "app/desktop_host.h"
#include "app/front_end.h"
#include "deployment/deployment.h"
#include "engine/transfer_engine.h"
#include "platform/path.h"
#include "platform/process.h"
#include "platform/user_folders.h"

int main(int argc, char** argv) {
    const std::optional<std::string> argument =
        app::KeyFileArgument(platform::UnsplitCommandLine(), argc, argv);
    // --help and --version answer before any file is touched.
    if (const std::optional<std::string> text = app::OptionText(argument, TREVASTO_VERSION)) {
        std::fputs(text->c_str(), stdout);
        return std::fflush(stdout) == 0 ? 0 : 1;
    }
    // A file too large for the process's limit fails alone, with its line,
    // rather than ending the run.
    platform::FailWritesBeyondTheSizeLimit();
    // The key file is a credential for one launch: it is taken (read, and
    // deleted when it is one) before anything can end the program, so that
    // a missing deployment does not leave it behind.
    app::FrontEnd frontEnd;
    frontEnd.launchKey = app::TakeKeyFile(argument);

    // The deployment names the service and holds the key table; without it
    // nothing may be sent.
    const app::Environment environment = app::Environment::FromProcess();
    const deployment::DeploymentResult settings = deployment::LoadInstalledDeployment();
    if (!settings.ok()) {
        std::fprintf(stderr, "trevasto: %s\n", settings.message().c_str());
        app::ShowDeploymentFailureOnDesktop(argc, argv, environment, settings.message());
        return 2;
    }
    const engine::EngineConfig config = engine::EngineConfigFor(settings.value());

    frontEnd.clock = &platform::SystemClock();
    frontEnd.makeController =
        app::RealControllerFactory(engine::MakeEngineFactory(config), platform::SystemClock());
    frontEnd.settings = app::SettingsFrom(environment, platform::ExecutablePath());
    frontEnd.settings.firstRetryPause = settings.value().firstRetryPause;
    frontEnd.settings.longestRetryPause = settings.value().longestRetryPause;
    // The folder chooser opens where the user chose last time, else in
    // their downloads folder; never in the folder the program started in.
    if (const auto config = platform::UserConfigFolder()) {
        frontEnd.settings.lastFolderFile = platform::JoinName(*config, "last-folder");
    }
    frontEnd.settings.defaultFolder = platform::DownloadsFolder().value_or("");

    const int status = app::DesktopWanted(environment)
                           ? app::RunDesktopFrontEnd(argc, argv, frontEnd)
                           : app::RunConsoleFrontEnd(frontEnd);
    std::fflush(stdout);
    // A worker still busy (the dialog closed during an operation) ends with
    // the process, as the user asked; it is never waited for.
    std::_Exit(status);
}
