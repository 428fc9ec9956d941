// Helpers of the desktop program's tests: message boxes answered by script, modal dialogs
// driven from a timer, and the Linux services with the desktop's side effects recorded.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <deque>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "gui/message_boxes.h"
#include "gui/qt_platform.h"

namespace pamirune::testing {

// Replaces the message boxes while it lives: records every box and answers confirmations from
// a queue (OK when it is empty, unless default_answer says otherwise).
class MessageRecorder {
 public:
  struct Box {
    MessageKind kind;
    std::string text;
  };

  MessageRecorder() {
    previous_ = SetMessageHandler([this](QWidget*, MessageKind kind, const QString& text) {
      boxes.push_back({kind, text.toStdString()});
      if (on_box) on_box(boxes.back());
      if (kind != MessageKind::kConfirmation && kind != MessageKind::kRiskyConfirmation)
        return true;
      if (answers.empty()) return default_answer;
      bool answer = answers.front();
      answers.pop_front();
      return answer;
    });
  }
  ~MessageRecorder() { SetMessageHandler(std::move(previous_)); }

  std::vector<std::string> Texts(MessageKind kind) const {
    std::vector<std::string> out;
    for (const Box& b : boxes)
      if (b.kind == kind) out.push_back(b.text);
    return out;
  }

  std::vector<Box> boxes;
  std::deque<bool> answers;
  bool default_answer = true;
  std::function<void(const Box&)> on_box;  // runs while the "box" is open

 private:
  MessageHandler previous_;
};

// Runs action on the next modal dialog once it is shown (polling the event loop), so that a test
// can drive a dialog whose exec() it is about to call.
inline void WhenModal(std::function<void(QWidget*)> action, int timeout_ms = 5000) {
  auto timer = std::make_shared<QElapsedTimer>();
  timer->start();
  auto poll = std::make_shared<std::function<void()>>();
  *poll = [action, timer, poll, timeout_ms] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal && modal->isVisible()) {
      action(modal);
      *poll = nullptr;  // break the cycle
      return;
    }
    if (timer->elapsed() > timeout_ms) {
      *poll = nullptr;
      return;
    }
    QTimer::singleShot(5, *poll);
  };
  QTimer::singleShot(0, *poll);
}

// Processes events until pred holds or the time is up.
inline bool WaitFor(const std::function<bool()>& pred, int timeout_ms = 5000) {
  QElapsedTimer timer;
  timer.start();
  while (!pred()) {
    if (timer.elapsed() > timeout_ms) return false;
    QTest::qWait(5);
  }
  return true;
}

// The Linux services on real temporary folders; opening a viewer, the trash and the Send To
// entry are recorded instead of done.
class DesktopDouble : public QtPlatform {
 public:
  std::vector<std::string> opened, trashed;
  bool send_to = false;
  bool send_to_fails = false;
  std::string output_dir;  // where clipboard files go without an output folder

  void OpenWithDefaultApp(const std::string& path, const std::string&) override {
    opened.push_back(path);
  }
  bool MoveToTrash(const std::string& path, std::string*) override {
    trashed.push_back(path);
    return true;
  }
  bool SendToRegistered() override { return send_to; }
  bool RegisterSendTo() override {
    if (!send_to_fails) send_to = true;
    return !send_to_fails;
  }
  bool UnregisterSendTo() override {
    send_to = false;
    return true;
  }
  std::string DefaultOutputDir() override { return output_dir; }
};

}  // namespace pamirune::testing
