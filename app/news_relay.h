#pragma once
// Carries the worker's news to the dialog for as long as the dialog wants
// it. The worker may outlive the dialog (a run closed early is abandoned),
// so it holds the relay, never the dialog.

#include <functional>
#include <mutex>

namespace app {

class NewsRelay {
  public:
    // Called on the dialog's thread.
    void Connect(std::function<void()> target);
    void Disconnect();
    // Called on the worker thread; does nothing once disconnected.
    void Fire();

  private:
    std::mutex mutex_;
    std::function<void()> target_;
};

}  // namespace app
