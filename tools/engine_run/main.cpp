// trevasto-engine-run: downloads a key's files with the engine alone, with
// the run switches of the command line instead of the dialog's.
//
//   trevasto-engine-run --deployment FILE --key KEY --dest FOLDER
//                       [--keep-partials] [--replace] [--log-dir FOLDER]
//
// --keep-partials   transfers are not compressed, so a partial file that an
//                   earlier run left is described to the service and may be
//                   continued (the dialog always asks for compressed
//                   transfers, which delete it instead);
// --replace         existing files are not described (as after the user
//                   agreed to replace them).
//
// Prints one line per file as its final state is published,
// "file <number> status <code> <KiB> <path>", and "result <code>" at the
// end. Exit status 0 when the download succeeded, 1 when it failed, 2 for a
// wrong command line or deployment.

#include <chrono>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "control/run_switches.h"
#include "control/transfer_controller.h"
#include "deployment/deployment.h"
#include "engine/transfer_engine.h"
#include "platform/clock.h"

namespace {

struct Options {
    std::string deployment;
    std::string key;
    std::string dest;
    std::string logDir;
    bool keepPartials = false;
    bool replace = false;
};

std::optional<Options> ParseOptions(int argc, char** argv) {
    Options options;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const bool hasValue = i + 1 < argc;
        if (arg == "--keep-partials") {
            options.keepPartials = true;
        } else if (arg == "--replace") {
            options.replace = true;
        } else if (arg == "--deployment" && hasValue) {
            options.deployment = argv[++i];
        } else if (arg == "--key" && hasValue) {
            options.key = argv[++i];
        } else if (arg == "--dest" && hasValue) {
            options.dest = argv[++i];
        } else if (arg == "--log-dir" && hasValue) {
            options.logDir = argv[++i];
        } else {
            return std::nullopt;
        }
    }
    if (options.deployment.empty() || options.key.empty() || options.dest.empty()) {
        return std::nullopt;
    }
    return options;
}

// Waits for the operation's result (only Reset signals its end; the others
// store a result and send news), printing and acknowledging each file's
// final state on the way.
std::int32_t AwaitResult(control::TransferController& controller) {
    std::int32_t shownFor = 0;
    for (;;) {
        (void)controller.WaitForNews(std::chrono::milliseconds(200));
        const control::ProgressSnapshot progress = controller.GetProgress();
        if (progress.fileFinished && progress.fileIndex != shownFor) {
            std::printf("file %d status %d %d %s\n", progress.fileIndex, progress.status,
                        progress.fileSizeK, progress.filePath.c_str());
            std::fflush(stdout);
            shownFor = progress.fileIndex;
            controller.AcknowledgeFile();
        }
        const std::int32_t result = controller.GetResult();
        if (result != control::kResultRunning && result != control::kResultNone) {
            return result;
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    const std::optional<Options> options = ParseOptions(argc, argv);
    if (!options) {
        std::fprintf(stderr,
                     "usage: trevasto-engine-run --deployment FILE --key KEY --dest FOLDER "
                     "[--keep-partials] [--replace] [--log-dir FOLDER]\n");
        return 2;
    }
    const deployment::DeploymentResult settings = deployment::LoadDeployment(options->deployment);
    if (!settings.ok()) {
        std::fprintf(stderr, "trevasto-engine-run: %s\n", settings.message().c_str());
        return 2;
    }
    control::TransferController controller(
        engine::MakeEngineFactory(engine::EngineConfigFor(settings.value())),
        platform::SystemClock());
    if (!options->logDir.empty()) {
        controller.SetLogDirectory(options->logDir);
        controller.OpenLog(0xFF);
    }

    controller.SetDownloadKey(options->key);
    controller.VerifyDownloadKey();
    (void)AwaitResult(controller);
    if (controller.GetConclusion() != "Successful") {
        std::fprintf(stderr, "trevasto-engine-run: the key was not verified (\"%s\")\n",
                     controller.GetConclusion().c_str());
        controller.Shutdown();
        return 1;
    }
    controller.Reset();
    controller.SetDownloadKey(options->key);
    controller.SetLogin("", "");
    controller.SetLocalDirectory(options->dest);
    controller.SetVerification(!options->replace);
    control::ApplyRunSwitches(controller, {.compressTransfers = !options->keepPartials});
    controller.SetClientId("ZEL");
    controller.DownloadUsingKey();
    const std::int32_t result = AwaitResult(controller);
    std::printf("result %d\n", result);
    std::fflush(stdout);
    controller.Reset();
    controller.Shutdown();
    return result == control::kResultSucceeded ? 0 : 1;
}
