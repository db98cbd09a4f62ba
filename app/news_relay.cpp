#include "app/news_relay.h"

namespace app {

void NewsRelay::Connect(std::function<void()> target) {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = std::move(target);
}

void NewsRelay::Disconnect() {
    std::lock_guard<std::mutex> lock(mutex_);
    target_ = nullptr;
}

void NewsRelay::Fire() {
    // Held while the target runs, so Disconnect never returns while a call
    // into the dialog is under way.
    std::lock_guard<std::mutex> lock(mutex_);
    if (target_) {
        target_();
    }
}

}  // namespace app
