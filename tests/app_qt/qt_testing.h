#pragma once
// Helpers for the Qt suites: answering modal boxes from inside their own
// event loop (so a test runs the real exec() without anyone clicking),
// letting queued events happen, a desktop that records what it is asked,
// and printing Qt texts in failures.

#include <gtest/gtest.h>
#include <QApplication>
#include <QString>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <ostream>
#include <vector>

#include "app/qt/desktop.h"

// Found by argument-dependent lookup, so they live beside QString.
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}
inline std::ostream& operator<<(std::ostream& out, const QString& text) {
    return out << '"' << text.toStdString() << '"';
}

namespace app_qt_testing {

// `answer` gets the modal widget once it is up and must end its run; one left
// open is closed so that the test cannot hang.
inline void AnswerModal(std::function<void(QWidget&)> answer, int triesLeft = 200) {
    QTimer::singleShot(5, [answer = std::move(answer), triesLeft]() mutable {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal == nullptr) {
            if (triesLeft > 0) {
                AnswerModal(std::move(answer), triesLeft - 1);
            } else {
                ADD_FAILURE() << "no modal widget came up";
            }
            return;
        }
        answer(*modal);
        if (modal->isVisible()) {
            ADD_FAILURE() << "the modal widget was left open";
            modal->close();
        }
    });
}

// Lets queued events (show, expose, layout, paint) happen.
inline void Settle() {
    for (int i = 0; i < 3; ++i) {
        QApplication::processEvents();
    }
}

// A desktop that records what the dialog asks of it.
class RecordingDesktop final : public app::qt::Desktop {
  public:
    struct Notification {
        QString summary;
        QString body;
    };

    bool OpenFolder(const QString& folder) override {
        opened.push_back(folder);
        return opens;
    }
    void Notify(const QString& summary, const QString& body) override {
        notifications.push_back({summary, body});
    }

    bool opens = true;
    std::vector<QString> opened;
    std::vector<Notification> notifications;
};

}  // namespace app_qt_testing
