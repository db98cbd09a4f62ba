#include "control/worker.h"

#include <array>

#include "control/control_block.h"

namespace control {
namespace {

enum class Operation {
    Dormant,
    Exit,
    Reset,
    VerifyDownloadKey,
    DownloadFilesUsingKey,
    DownloadCompleteWithKey,
    TestDestUsingKey,
};

// How a command ends once its result is stored.
enum class Finish {
    Close,      // disconnect; no event
    Done,       // signal doneEvent; the connection stays
    DoneClose,  // signal doneEvent, then disconnect
    CloseDone,  // disconnect, then signal doneEvent
    Exit,       // end the worker; no result
};

struct CommandRow {
    Operation operation;
    Finish finish;
};

// Codes 1 to 33. Only 9, 11, 25, 26, 27 and 33 are posted by this program;
// the others belong to operations it never requests, which fail at once.
constexpr std::array<CommandRow, 34> kCommands = {{
    {Operation::Dormant, Finish::Close},                  // 0: never dispatched
    {Operation::Dormant, Finish::Close},                  // 1 folder list
    {Operation::Dormant, Finish::Close},                  // 2 upload a folder
    {Operation::Dormant, Finish::Close},                  // 3 verify login id
    {Operation::Dormant, Finish::Close},                  // 4 help file
    {Operation::Dormant, Finish::Close},                  // 5 version file
    {Operation::Dormant, Finish::Close},                  // 6 folder file list
    {Operation::Dormant, Finish::Close},                  // 7 file information
    {Operation::Dormant, Finish::Close},                  // 8 one service document
    {Operation::Exit, Finish::Exit},                      // 9 end the worker
    {Operation::Dormant, Finish::Close},                  // 10 reset used space
    {Operation::Reset, Finish::Done},                     // 11 Reset
    {Operation::Dormant, Finish::Close},                  // 12 results report
    {Operation::Dormant, Finish::Close},                  // 13 delete empty folders
    {Operation::Dormant, Finish::Close},                  // 14 job-start notice
    {Operation::Dormant, Finish::Close},                  // 15 create folder path
    {Operation::Dormant, Finish::DoneClose},              // 16 results summary
    {Operation::Dormant, Finish::Close},                  // 17 message text
    {Operation::Dormant, Finish::Close},                  // 18 clean a folder
    {Operation::Dormant, Finish::Done},                   // 19 single host list
    {Operation::Dormant, Finish::Close},                  // 20 other file list
    {Operation::Dormant, Finish::Close},                  // 21 one service document
    {Operation::Dormant, Finish::Close},                  // 22 second form
    {Operation::Dormant, Finish::Close},                  // 23 second form
    {Operation::Dormant, Finish::Close},                  // 24 delete a folder
    {Operation::VerifyDownloadKey, Finish::Close},        // 25
    {Operation::DownloadFilesUsingKey, Finish::Close},    // 26
    {Operation::DownloadCompleteWithKey, Finish::Close},  // 27
    {Operation::Dormant, Finish::Close},                  // 28 corporate information
    {Operation::Dormant, Finish::Close},                  // 29 one file
    {Operation::Dormant, Finish::Done},                   // 30 prepare an upload
    {Operation::Dormant, Finish::CloseDone},              // 31 results report
    {Operation::Dormant, Finish::Done},                   // 32 add a single host
    {Operation::TestDestUsingKey, Finish::Close},         // 33
}};

bool Run(WorkerEngine& engine, Operation operation) {
    switch (operation) {
        case Operation::Reset:
            return engine.Reset();
        case Operation::VerifyDownloadKey:
            return engine.VerifyDownloadKey();
        case Operation::DownloadFilesUsingKey:
            return engine.DownloadFilesUsingKey();
        case Operation::DownloadCompleteWithKey:
            return engine.DownloadCompleteWithKey();
        case Operation::TestDestUsingKey:
            return engine.TestDestUsingKey();
        case Operation::Dormant:
        case Operation::Exit:
            break;
    }
    return false;
}

}  // namespace

void RunWorker(ControlBlock& block, const EngineFactory& makeEngine) {
    std::unique_ptr<WorkerEngine> engine = makeEngine(block);
    bool prepared = false;
    for (;;) {
        block.commandEvent.Wait();
        if (!prepared) {
            // Whatever the first command is, the servers are prepared first.
            (void)engine->PrepareServers();
            prepared = true;
        }
        const std::int32_t code = block.command.load();
        if (code < command::kFirst || code > command::kLast) {
            continue;
        }
        const CommandRow& row = kCommands[static_cast<std::size_t>(code)];
        if (row.finish == Finish::Exit) {
            return;
        }
        block.command.store(0);
        const bool ok = Run(*engine, row.operation);
        block.result.store(ok ? kResultSucceeded : kResultFailed);
        block.Notify();
        switch (row.finish) {
            case Finish::Close:
                (void)engine->Disconnect();
                break;
            case Finish::Done:
                block.doneEvent.Signal();
                break;
            case Finish::DoneClose:
                block.doneEvent.Signal();
                (void)engine->Disconnect();
                break;
            case Finish::CloseDone:
                (void)engine->Disconnect();
                block.doneEvent.Signal();
                break;
            case Finish::Exit:
                break;
        }
    }
}

}  // namespace control
