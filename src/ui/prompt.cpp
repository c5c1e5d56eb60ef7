#include "ui/prompt.h"

#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <future>

#include "ui/message_service.h"

namespace qel::ui {

struct Prompter::State {
  std::mutex mutex;
  QWidget* parent = nullptr;
  bool closed = false;
};

namespace {
bool showBox(QWidget* parent, const QString& title, const QString& text, bool okCancel) {
  if (okCancel) return question(parent, title, text, true);
  information(parent, title, text);
  return true;
}
}  // namespace

Prompter::Prompter(QWidget* parent) : state_(std::make_shared<State>()) { state_->parent = parent; }
Prompter::~Prompter() { close(); }

void Prompter::close() {
  std::lock_guard<std::mutex> g(state_->mutex);
  state_->closed = true;
  state_->parent = nullptr;
}

bool Prompter::ask(const QString& title, const QString& text, bool okCancel) const {
  auto state = state_;
  QWidget* parent = nullptr;
  {
    std::lock_guard<std::mutex> g(state->mutex);
    if (state->closed) return false;
    parent = state->parent;
  }
  if (QThread::currentThread() == parent->thread()) return showBox(parent, title, text, okCancel);

  auto answer = std::make_shared<std::promise<bool>>();
  std::future<bool> future = answer->get_future();
  {
    std::lock_guard<std::mutex> g(state->mutex);
    if (state->closed) return false;
    QMetaObject::invokeMethod(
        parent,
        [state, answer, title, text, okCancel] {
          QWidget* p = nullptr;
          {
            std::lock_guard<std::mutex> g(state->mutex);
            if (state->closed) {
              answer->set_value(false);
              return;
            }
            p = state->parent;
          }
          answer->set_value(showBox(p, title, text, okCancel));
        },
        Qt::QueuedConnection);
  }
  // Wait in short steps so that a window closing meanwhile releases the worker.
  while (future.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready) {
    std::lock_guard<std::mutex> g(state->mutex);
    if (state->closed) return false;
  }
  return future.get();
}

}  // namespace qel::ui
