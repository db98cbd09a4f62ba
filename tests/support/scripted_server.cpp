#include "support/scripted_server.h"

#include <chrono>
#include <stdexcept>

namespace testing_support {

using namespace std::chrono_literals;

ScriptedServer::ScriptedServer() {
    auto listener = platform::TcpListener::ListenLoopback(0);
    if (!listener) {
        throw std::runtime_error("cannot listen on loopback");
    }
    listener_ = std::move(*listener);
    port_ = listener_.Port();
    thread_ = std::thread([this] { Serve(); });
}

ScriptedServer::~ScriptedServer() {
    stop_.store(true);
    thread_.join();
}

void ScriptedServer::Add(ScriptedReply reply) {
    std::lock_guard<std::mutex> lock(mutex_);
    replies_.push_back(std::move(reply));
}

std::vector<std::string> ScriptedServer::Requests() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return requests_;
}

bool ScriptedServer::ReadRequest(platform::TcpSocket& socket, std::string* request) {
    request->clear();
    while (!stop_.load()) {
        platform::SysError error;
        const platform::WaitResult wait = socket.WaitReadable(20ms, &error);
        if (wait == platform::WaitResult::TimedOut) {
            continue;
        }
        if (wait == platform::WaitResult::Failed) {
            return false;
        }
        char byte = 0;
        auto got = socket.Receive(&byte, 1);
        if (!got || *got == 0) {
            return false;
        }
        request->push_back(byte);
        if (request->size() >= 4 && request->compare(request->size() - 4, 4, "\r\n\r\n") == 0) {
            return true;
        }
    }
    return false;
}

void ScriptedServer::Serve() {
    while (!stop_.load()) {
        if (listener_.WaitAcceptable(20ms) != platform::WaitResult::Ready) {
            continue;
        }
        auto accepted = listener_.Accept();
        if (!accepted) {
            continue;
        }
        ++connections_;
        platform::TcpSocket socket = std::move(*accepted);
        std::string request;
        while (ReadRequest(socket, &request)) {
            ScriptedReply reply;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                requests_.push_back(request);
                if (replies_.empty()) {
                    break;
                }
                reply = std::move(replies_.front());
                replies_.pop_front();
            }
            (void)socket.SendAll(reply.bytes.data(), reply.bytes.size());
            if (reply.stall) {
                // Keep quiet until the client closes or the server stops.
                std::string ignored;
                while (ReadRequest(socket, &ignored)) {
                }
                break;
            }
            if (reply.close) {
                break;
            }
        }
        socket.Close();
    }
}

}  // namespace testing_support
