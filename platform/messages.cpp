#include "platform/messages.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <algorithm>

namespace quarnel {

MessageAnswer EscapeAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok:
      return MessageAnswer::Ok;
    case MessageButtons::YesNo:
      return MessageAnswer::No;
    case MessageButtons::OkCancel:
    case MessageButtons::YesNoCancel:
      return MessageAnswer::Cancel;
  }
  return MessageAnswer::Cancel;
}

MessageSink::MessageSink() : scheduler_(std::make_unique<QObject>()) {}

MessageSink::~MessageSink() = default;

MessageAnswer MessageSink::Show(const Message& message) {
  if (Painting()) {
    const bool queued = std::find(deferred_.begin(), deferred_.end(), message) != deferred_.end();
    const bool shown =
        std::find(shownFromPaint_.begin(), shownFromPaint_.end(), message) != shownFromPaint_.end();
    if (!queued && !shown) {
      deferred_.push_back(message);
    }
    return MessageAnswer::Deferred;
  }
  return Present(message);
}

MessageAnswer MessageSink::Show(const QString& text, MessageButtons buttons, MessageIcon icon,
                                const QString& caption) {
  return Show(Message{caption, text, buttons, icon});
}

MessageSink::PaintingScope::PaintingScope(MessageSink& sink) : sink_(sink) {
  ++sink_.paintDepth_;
}

MessageSink::PaintingScope::~PaintingScope() {
  if (--sink_.paintDepth_ == 0 && !sink_.deferred_.empty()) {
    sink_.ScheduleDeferred();
  }
}

void MessageSink::ScheduleDeferred() {
  if (scheduled_ || QCoreApplication::instance() == nullptr) {
    return;
  }
  scheduled_ = true;
  QMetaObject::invokeMethod(
      scheduler_.get(),
      [this] {
        scheduled_ = false;
        ShowDeferred();
      },
      Qt::QueuedConnection);
}

void MessageSink::ShowDeferred() {
  // A box's own event loop may paint and queue more boxes; they wait for
  // this loop rather than open over the box that is up.
  if (showingDeferred_ || holds_ > 0) {
    return;
  }
  showingDeferred_ = true;
  while (!Painting() && !deferred_.empty()) {
    const Message message = deferred_.front();
    deferred_.pop_front();
    shownFromPaint_.push_back(message);
    Present(message);
  }
  showingDeferred_ = false;
}

void MessageSink::HoldDeferred() {
  ++holds_;
}

void MessageSink::ReleaseDeferred() {
  if (holds_ > 0 && --holds_ == 0 && !deferred_.empty()) {
    ScheduleDeferred();
  }
}

QtMessageSink::QtMessageSink(QWidget* parent) : parent_(parent) {}

MessageAnswer QtMessageSink::Present(const Message& message) {
  QMessageBox box(parent_);
  box.setWindowTitle(message.caption.isEmpty() ? QGuiApplication::applicationDisplayName()
                                               : message.caption);
  box.setText(message.text);
  switch (message.icon) {
    case MessageIcon::None:
      box.setIcon(QMessageBox::NoIcon);
      break;
    case MessageIcon::Information:
      box.setIcon(QMessageBox::Information);
      break;
    case MessageIcon::Warning:
      box.setIcon(QMessageBox::Warning);
      break;
    case MessageIcon::Error:
      box.setIcon(QMessageBox::Critical);
      break;
    case MessageIcon::Question:
      box.setIcon(QMessageBox::Question);
      break;
  }
  switch (message.buttons) {
    case MessageButtons::Ok:
      box.setStandardButtons(QMessageBox::Ok);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Ok);
      break;
    case MessageButtons::OkCancel:
      box.setStandardButtons(QMessageBox::Ok | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Ok);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
    case MessageButtons::YesNo:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::No);
      break;
    case MessageButtons::YesNoCancel:
      box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
      box.setDefaultButton(QMessageBox::Yes);
      box.setEscapeButton(QMessageBox::Cancel);
      break;
  }
  box.exec();
  switch (box.standardButton(box.clickedButton())) {
    case QMessageBox::Ok:
      return MessageAnswer::Ok;
    case QMessageBox::Yes:
      return MessageAnswer::Yes;
    case QMessageBox::No:
      return MessageAnswer::No;
    case QMessageBox::Cancel:
      return MessageAnswer::Cancel;
    default:
      return EscapeAnswer(message.buttons);
  }
}

MessageAnswer ScriptedMessageSink::Present(const Message& message) {
  shown_.push_back(message);
  if (observer_) {
    observer_(message);
  }
  if (answers_.empty()) {
    return EscapeAnswer(message.buttons);
  }
  const MessageAnswer answer = answers_.front();
  answers_.pop_front();
  return answer;
}

}  // namespace quarnel
