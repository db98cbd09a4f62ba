#pragma once
// What every engine operation works with: the shared control block, the
// server link, the deployment's settings and the engine's own run state.
// Operations receive it by reference; the worker owns it through the
// TransferEngine.

#include <chrono>
#include <cstdint>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "control/control_block.h"
#include "engine/engine_config.h"
#include "engine/key_file_list.h"
#include "engine/result_note.h"
#include "engine/work_file_ledger.h"
#include "net/key_table.h"
#include "net/server_list.h"
#include "platform/text_encoding.h"

namespace engine {

// The engine's working state between and within operations.
struct EngineState {
    std::uint32_t payloadFlags = 0;  // bit 0: payloads are enciphered
    bool shortTimeout = false;       // one-shot: the next request waits 30 s
    std::string currentFileId;
    std::int64_t localFileSize = 0;
    // The numbers of the last "X-QVN-LARCH: " header: kept as the service's
    // protocol gives them; nothing in this program reads them.
    std::int64_t larchFirst = 0;
    std::int64_t larchSecond = 0;
    std::int64_t larchSecondInitial = 0;
    // The last reply's body, followed by four zero bytes in storage so it
    // can be read as text; none when the reply had no body.
    std::optional<std::vector<std::uint8_t>> replyBody;
    std::int64_t replyLength = 0;
    KeyFileList keyFileList;
    bool commNoteWritten = false;
    // The local paths of the list that the destination test looked at: the
    // files the person was asked about. Reset keeps it for the download
    // that follows; none before any test.
    std::optional<std::set<std::string>> testedPaths;
    bool ledgerPruned = false;
};

class EngineContext {
  public:
    // Lets the dialog's Stop end a network wait of this engine at once.
    EngineContext(control::ControlBlock& blockIn, EngineConfig configIn);
    ~EngineContext();
    EngineContext(const EngineContext&) = delete;
    EngineContext& operator=(const EngineContext&) = delete;

    control::ControlBlock& block;
    const EngineConfig config;
    net::ServerLink link;
    EngineState state;
    WorkFileLedger ledger;
    // The service's names into UTF-8, from the config's code page; an error
    // (a code page no deployment would pass) refuses every listed name.
    platform::Result<platform::TextConverter> serviceNames;

    net::LogSink& log() { return block.log; }

    // Changes the live progress record (and the current path it names) in
    // one holding of the progress lock. Nothing else may be done inside.
    template <typename Change>
    void Publish(Change change) {
        std::lock_guard<std::mutex> lock(block.progressLock);
        change(block.progress, block.currentPath);
    }

    void SetConclusion(std::string text);
    std::string Conclusion();

    // Records why the operation failed, for the dialog to say.
    void NoteFailure(control::FailureCause::Kind kind, std::string text);
    // Why the connection in use (or the last one) failed: silence for
    // the whole time-out, or the system's reason.
    void NoteConnectionFailure(bool peerClosed);
    // "b2.example.com:80", the server of the current or last connection.
    std::string CurrentServerName();
    // Tells the dialog of the progress, at most a few times a second.
    void NotifyProgress();
    bool StopRequested() const { return block.stopRequested.load(); }

    void Note(std::string_view name, NoteKind kind, bool reportNotFound,
              platform::SysError error = {});

  private:
    std::chrono::milliseconds lastProgressNews_{-1000};
};

}  // namespace engine
