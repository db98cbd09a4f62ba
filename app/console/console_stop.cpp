#include "app/console/console_stop.h"

namespace app {

bool ConsoleStop::Post() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (posted_ || prompting_) {
            return false;
        }
        posted_ = true;
    }
    wake_.Signal();
    return true;
}

bool ConsoleStop::Take() {
    const std::lock_guard<std::mutex> lock(mutex_);
    if (!posted_ || taken_) {
        return false;
    }
    taken_ = true;
    return true;
}

bool ConsoleStop::EnterPrompt() {
    const std::lock_guard<std::mutex> lock(mutex_);
    prompting_ = !posted_;
    return prompting_;
}

void ConsoleStop::LeavePrompt() {
    const std::lock_guard<std::mutex> lock(mutex_);
    prompting_ = false;
}

}  // namespace app
