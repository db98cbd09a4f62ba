// One QApplication for the whole suite, on the off-screen platform so that
// no test needs a display and every window is still created and painted.
// Qt's per-user files (the file dialog's remembered folders) and the
// program's work folder go to a temporary folder rather than the user's own.

#include <gtest/gtest.h>
#include <QApplication>
#include <QByteArray>
#include <memory>

#include "support/temp_dir.h"

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        home_ = std::make_unique<testing_support::TempDir>();
        qputenv("QT_QPA_PLATFORM", QByteArray("offscreen"));
        qputenv("XDG_CONFIG_HOME", QByteArray::fromStdString(home_->Sub("config")));
        qputenv("XDG_CACHE_HOME", QByteArray::fromStdString(home_->Sub("cache")));
        qputenv("XDG_RUNTIME_DIR", QByteArray::fromStdString(home_->path()));
        application_ = std::make_unique<QApplication>(argc_, argv_);
    }
    void TearDown() override {
        application_.reset();
        home_.reset();
    }

  private:
    int argc_ = 1;
    char name_[16] = "app_qt_tests";
    char* argv_[2] = {name_, nullptr};
    std::unique_ptr<testing_support::TempDir> home_;
    std::unique_ptr<QApplication> application_;
};

[[maybe_unused]] const ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace
