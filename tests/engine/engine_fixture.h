#pragma once
// An engine over a real control block, talking to scripted peers over
// in-memory streams (no socket, no real wait), with a fake clock and a log
// in a temporary folder.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "control/control_block.h"
#include "engine/transfer_engine.h"
#include "net/key_table.h"
#include "platform/file.h"
#include "support/fake_clock.h"
#include "support/scripted_stream.h"
#include "support/temp_dir.h"

namespace engine_testing {

// A fixed table for tests; never a deployment's.
inline net::KeyTable TestKeyTable() {
    std::array<std::uint8_t, net::KeyTable::kSize> bytes{};
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        bytes[i] = static_cast<std::uint8_t>(i * 7 + 3);
    }
    return net::KeyTable(bytes);
}

class EngineFixture {
  public:
    explicit EngineFixture(int serverCount = 1, std::int64_t maxReplyBody = 16 * 1024 * 1024) {
        std::vector<deployment::ServerAddress> servers;
        for (int i = 0; i < serverCount; ++i) {
            const auto port = static_cast<std::uint16_t>(40001 + i);
            servers_.push_back(&network_.AddPeer(port));
            servers.push_back({"127.0.0.1", std::to_string(port)});
        }
        engine::EngineConfig config(servers, TestKeyTable());
        config.connector = &network_;
        // The scripted streams never wait: a peer that stays silent times
        // out at once, whatever the time-out.
        config.maxReplyBody = maxReplyBody;
        config.workFolder = dir_.Sub("work");
        block_.log.SetDirectory(dir_.path());
        block_.log.Open(8);
        engine_ = std::make_unique<engine::TransferEngine>(block_, config);
        engine_->PrepareServers();
        block_.downloadKey = "KEY1";
        block_.clientId = "ZEL";
        block_.localDirectory = dir_.Sub("dest");
        dir_.Write("dest/.keep", "");
        dir_.Write("work/.keep", "");
    }

    testing_support::ScriptedPeer& server(int i = 0) { return *servers_.at(i); }
    engine::TransferEngine& engine() { return *engine_; }
    engine::EngineContext& context() { return engine_->Context(); }
    control::ControlBlock& block() { return block_; }
    testing_support::TempDir& dir() { return dir_; }
    testing_support::FakeClock& clock() { return clock_; }

    // Records a file below the fixture's folder as a work file that an
    // earlier run of the program left behind, one that may be continued
    // unless said otherwise.
    void MarkLeftover(const std::string& relative, bool resumable = true) {
        auto file = platform::File::Open(dir_.Sub(relative), platform::FileAccess::ReadShared);
        ASSERT_TRUE(file.ok()) << relative;
        ASSERT_TRUE(
            context().ledger.Record(file->Identity().value(), dir_.Sub(relative), resumable));
    }

    std::string Log() const {
        return dir_.Read(block_.log.LogPath().substr(dir_.path().size() + 1));
    }
    std::string Results() const { return dir_.Read(" Results.tmp"); }
    int Count(const std::string& text) const {
        const std::string log = Log();
        int count = 0;
        for (std::size_t at = log.find(text); at != std::string::npos;
             at = log.find(text, at + 1)) {
            ++count;
        }
        return count;
    }

  private:
    testing_support::FakeClock clock_;
    testing_support::TempDir dir_;
    control::ControlBlock block_{clock_};
    testing_support::ScriptedNetwork network_;
    std::vector<testing_support::ScriptedPeer*> servers_;
    std::unique_ptr<engine::TransferEngine> engine_;
};

// Splits a request block into its lines (without their CR LF).
inline std::vector<std::string> Lines(const std::string& block) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    for (std::size_t end = block.find("\r\n"); end != std::string::npos;
         end = block.find("\r\n", start)) {
        lines.push_back(block.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

}  // namespace engine_testing
