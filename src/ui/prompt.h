#pragma once
// Questions from worker threads (a link's OK/Cancel prompt, a link's message) answered by the
// operator on the interface thread. The worker posts the question and waits for the answer; it
// never blocks the interface thread, and when the window that answers goes away (or is
// closing) a waiting worker gets Cancel at once, so a shutdown never waits on a question.
#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <mutex>

namespace qel::ui {

class Prompter {
 public:
  // parent: the window the boxes belong to (lives on the interface thread).
  explicit Prompter(QWidget* parent);
  ~Prompter();
  Prompter(const Prompter&) = delete;
  Prompter& operator=(const Prompter&) = delete;

  // From any thread: shows the box on the interface thread and returns the answer (true for
  // OK). Called on the interface thread itself, it shows the box directly.
  bool ask(const QString& title, const QString& text, bool okCancel) const;
  // From now on every question is answered with Cancel without being shown.
  void close();

 private:
  struct State;
  std::shared_ptr<State> state_;
};

}  // namespace qel::ui
