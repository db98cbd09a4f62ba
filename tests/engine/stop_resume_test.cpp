// A stop in the middle of a body, and a later run that continues what it
// kept: the partial is left whole and continuable, nothing more is
// fetched, and a file the service would not pack is asked for unpacked so
// that it can be continued.

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "engine/file_download.h"
#include "engine/key_operations.h"
#include "engine_fixture.h"
#include "replies.h"
#include "support/random_bytes.h"

namespace {

using engine_testing::EngineFixture;
using engine_testing::FileReply;
using engine_testing::ListReply;

// A record whose third field gives the file's size.
std::string SizedRecord(int id, const std::string& name, std::size_t size) {
    return std::to_string(id) + "\tTop\\" + name + "\t" + std::to_string(size) + "\t \t0\t0\t";
}

// The dialog's switches: files may come packed, local copies are looked at.
void DialogRun(EngineFixture& f) {
    f.block().verification = true;
    f.block().transferCompress = true;
}

// The fourth value of the request's X-QVN-FANG line: whether it offers to
// take the file packed.
char CompressOffered(const std::string& request) {
    const std::size_t at = request.find("X-QVN-FANG: ");
    std::size_t comma = at;
    for (int i = 0; i < 3 && comma != std::string::npos; ++i) {
        comma = request.find(',', comma + 1);
    }
    return comma == std::string::npos ? '?' : request[comma + 1];
}

TEST(StopTest, AStopMidBodyKeepsAContinuablePartialAndFetchesNothingMore) {
    EngineFixture f;
    DialogRun(f);
    const std::string body = testing_support::RandomBytes(3 * 1024 * 1024, 4);
    f.server().Add(ListReply(SizedRecord(1, "movie.mp4", body.size()) +
                             SizedRecord(2, "next.txt", 4) + "\r\n"));
    const std::string reply = FileReply(body);
    const std::size_t header = reply.size() - body.size();
    testing_support::ScriptedReply stopped(reply);
    stopped.hookAfter = header + 1024 * 1024;
    stopped.hook = [&] {
        // What the dialog's Stop does.
        f.block().stopRequested = true;
        const std::lock_guard<std::mutex> lock(f.block().interruptLock);
        f.block().interrupt();
    };
    f.server().Add(stopped);

    EXPECT_FALSE(engine::DownloadFilesUsingKey(f.context()));
    EXPECT_EQ(f.server().Requests().size(), 2u) << "nothing after the stopped file";
    const std::string partial = f.dir().Read("dest/movie.mp4~");
    EXPECT_EQ(partial.size(), 1024u * 1024u);
    EXPECT_TRUE(partial == body.substr(0, partial.size()));
    EXPECT_EQ(f.block().progress.status, control::status::kIncomplete);
    EXPECT_EQ(f.block().failureCause.kind, control::FailureCause::Kind::Stopped);
    EXPECT_EQ(f.block().progress.runBytes, static_cast<std::int64_t>(body.size() + 4));
}

// The status line's figures, as the dialog reads them when it counts each
// finished file: the file's bytes to the byte, and the run's total without
// that file, which joins it only afterwards.
TEST(StopTest, EachFinishedFileCountsOnceAndToTheByte) {
    EngineFixture f;
    DialogRun(f);
    f.block().syncFileAccess = true;
    const std::string first = testing_support::RandomBytes(1500, 5);
    const std::string second = testing_support::RandomBytes(3000, 6);
    f.server().Add(ListReply(SizedRecord(1, "a.bin", first.size()) +
                             SizedRecord(2, "b.bin", second.size()) + "\r\n"));
    f.server().Add(FileReply(first));
    f.server().Add(FileReply(second));
    std::vector<control::LiveProgress> counted;
    std::atomic<bool> over = false;
    std::jthread dialog([&] {
        while (!over) {
            f.block().newsEvent.WaitFor(std::chrono::milliseconds(5));
            const std::lock_guard<std::mutex> lock(f.block().progressLock);
            if (f.block().progress.fileFinished) {
                counted.push_back(f.block().progress);
                f.block().progress.fileFinished = false;
                f.block().ackEvent.Signal();
            }
        }
    });
    EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context()));
    over = true;
    dialog.join();
    ASSERT_EQ(counted.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        const std::int64_t size = i == 0 ? 1500 : 3000;
        EXPECT_EQ(counted[i].receivedBytes, size);
        EXPECT_EQ(counted[i].fileBytes, size);
        EXPECT_EQ(counted[i].runBytesDone, i == 0 ? 0 : 1500) << "not yet counted in the run";
    }
    EXPECT_EQ(f.block().progress.runBytesDone, 4500);
    EXPECT_EQ(f.block().progress.receivedBytes, 0);
}

// What a later run does with a partial left continuable: a file the
// service would not pack (a video) is described and continued, asked for
// unpacked; one it would pack (text) starts again, since a packed transfer
// cannot continue it.
TEST(StopTest, APartialIsContinuedOnlyWhereTheFileWouldNotComePacked) {
    const std::string body = testing_support::RandomBytes(200000, 7);
    const struct {
        const char* name;
        bool resumable;
        bool continued;
    } cases[] = {
        {"movie.mp4", true, true},
        {"notes.txt", true, false},
        {"movie.mp4", false, false},  // cut short before it was left whole
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.name) + (c.resumable ? "" : ", not continuable"));
        EngineFixture f;
        DialogRun(f);
        f.dir().Write(std::string("dest/") + c.name + "~", body.substr(0, 5000));
        f.MarkLeftover(std::string("dest/") + c.name + "~", c.resumable);
        f.server().Add(ListReply(SizedRecord(1, c.name, body.size()) + "\r\n"));
        if (c.continued) {
            f.server().Add(
                "HTTP/1.1 200 OK\r\nX-QVN-CONCLUSION: Successful\r\nX-QVN-RESTART: 1\r\n"
                "Content-Length: " +
                std::to_string(body.size() - 5000) + "\r\n\r\n" + body.substr(5000));
        } else {
            f.server().Add(FileReply(body));
        }

        EXPECT_TRUE(engine::DownloadFilesUsingKey(f.context()));
        EXPECT_TRUE(f.dir().Read(std::string("dest/") + c.name) == body);
        const std::string request = f.server().Requests().back();
        EXPECT_EQ(request.find("X-QVN-RESTART2: ") != std::string::npos, c.continued);
        EXPECT_EQ(CompressOffered(request), c.continued ? '0' : '1');
    }
}

}  // namespace
