#pragma once

#include <QPointer>
#include <QString>
#include <QWidget>
#include <deque>
#include <functional>
#include <memory>
#include <vector>

class QObject;

namespace quarnel {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MessageIcon { None, Information, Warning, Error, Question };
// Deferred: the box was raised while a view was painting and will be shown
// after the paint; nobody could answer it yet.
enum class MessageAnswer { Ok, Cancel, Yes, No, Deferred };

struct Message {
  QString caption;  // empty: the application's display name
  QString text;
  MessageButtons buttons = MessageButtons::Ok;
  MessageIcon icon = MessageIcon::None;

  bool operator==(const Message&) const = default;
};

// The answer a box gives when closed without a choice (Escape, the window's
// close button): Cancel where there is one, No for a yes/no box, else Ok.
MessageAnswer EscapeAnswer(MessageButtons buttons);

// Where the program's message boxes go. The program uses QtMessageSink; tests
// use ScriptedMessageSink to answer and to see every box.
//
// A modal box must not open inside a paint: its event loop would paint again
// while the first paint is still running. Painting code opens a PaintingScope;
// boxes raised inside it are queued and shown from the event loop after the
// paint has returned. A box raised in a paint is shown once per distinct
// message for the life of the sink: the error that a broken frame reports
// would otherwise come back with every repaint, the one under the box too.
class MessageSink {
 public:
  MessageSink();
  virtual ~MessageSink();
  MessageSink(const MessageSink&) = delete;
  MessageSink& operator=(const MessageSink&) = delete;

  MessageAnswer Show(const Message& message);
  MessageAnswer Show(const QString& text, MessageButtons buttons = MessageButtons::Ok,
                     MessageIcon icon = MessageIcon::None, const QString& caption = QString());

  class PaintingScope {
   public:
    explicit PaintingScope(MessageSink& sink);
    ~PaintingScope();
    PaintingScope(const PaintingScope&) = delete;
    PaintingScope& operator=(const PaintingScope&) = delete;

   private:
    MessageSink& sink_;
  };

  bool Painting() const { return paintDepth_ > 0; }
  std::size_t DeferredCount() const { return deferred_.size(); }
  // Shows the queued boxes now. Normally run by the event loop after the
  // paint; does nothing while painting or held.
  void ShowDeferred();
  // While held (holds nest), queued boxes wait; they come up after the last
  // hold is released. Boxes raised outside a paint are shown as always.
  void HoldDeferred();
  void ReleaseDeferred();

 protected:
  // Puts one box in front of the user and returns the answer.
  virtual MessageAnswer Present(const Message& message) = 0;

 private:
  void ScheduleDeferred();

  int paintDepth_ = 0;
  int holds_ = 0;
  std::deque<Message> deferred_;
  std::vector<Message> shownFromPaint_;
  bool scheduled_ = false;
  bool showingDeferred_ = false;
  // Receiver of the queued call that shows the deferred boxes; its
  // destruction with the sink cancels a call still pending.
  std::unique_ptr<QObject> scheduler_;
};

// Message boxes of the running program, parented to the given window (the
// main window, so that boxes are centred on it and block it).
class QtMessageSink final : public MessageSink {
 public:
  explicit QtMessageSink(QWidget* parent = nullptr);
  void SetParent(QWidget* parent) { parent_ = parent; }

 protected:
  MessageAnswer Present(const Message& message) override;

 private:
  QPointer<QWidget> parent_;
};

// Answers boxes from a queue and records every box it presents, for tests.
// With the queue empty a box gets the answer of closing it without a choice
// (EscapeAnswer), which never confirms anything destructive.
class ScriptedMessageSink final : public MessageSink {
 public:
  void QueueAnswer(MessageAnswer answer) { answers_.push_back(answer); }
  const std::vector<Message>& Shown() const { return shown_; }
  std::size_t PendingAnswers() const { return answers_.size(); }
  void ClearShown() { shown_.clear(); }
  // Called with each box as it is presented (tests that must act while the
  // box would be up).
  void SetObserver(std::function<void(const Message&)> observer) {
    observer_ = std::move(observer);
  }

 protected:
  MessageAnswer Present(const Message& message) override;

 private:
  std::deque<MessageAnswer> answers_;
  std::vector<Message> shown_;
  std::function<void(const Message&)> observer_;
};

}  // namespace quarnel
