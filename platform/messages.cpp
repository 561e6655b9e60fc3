#include "platform/messages.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QStringList>
#include <algorithm>
#include <vector>

namespace quarnel {

namespace {

// Room a box needs besides its text: title bar, margins, the button row.
constexpr int kBoxFrameHeight = 200;
// Beside the text: the icon, the margins and what wrapping at word
// boundaries may leave unused at the line ends.
constexpr int kBoxFrameWidth = 120;
constexpr int kMinWrapWidth = 100;
const QChar kEllipsis(0x2026);

// The text of a box that fits the screen. A box wraps its text at about half
// the screen's width, long words anywhere, and grows as tall as the text
// needs: a message naming a path of thousands of characters would put the
// buttons far below the screen's edge. Lines that would take more room than
// the screen has lose their middle (the start and the file's own name stay);
// a text of more lines than fit ends with an ellipsis. Texts that fit are
// shown as they are.
QString FittedText(const QString& text, const QFontMetrics& metrics, const QRect& screen) {
  const int wrapWidth =
      std::max(kMinWrapWidth, std::min(screen.width() / 2, 500) - kBoxFrameWidth);
  const int maxLines =
      std::max(1, (screen.height() - kBoxFrameHeight) / std::max(1, metrics.lineSpacing()));
  QStringList lines = text.split(QLatin1Char('\n'));
  if (lines.size() > maxLines) {
    lines = lines.mid(0, maxLines - 1);
    lines.append(QString(kEllipsis));
  }
  // The screen lines each text line takes, wrapped.
  std::vector<int> need;
  int total = 0;
  for (const QString& line : lines) {
    const int width = metrics.horizontalAdvance(line);
    need.push_back(std::max(1, (width + wrapWidth - 1) / wrapWidth));
    total += need.back();
  }
  while (total > maxLines) {
    const auto longest = std::max_element(need.begin(), need.end());
    if (*longest <= 1) break;
    const int keep = std::max(1, *longest - (total - maxLines));
    const auto index = std::size_t(longest - need.begin());
    // Elided to less than the lines it may take: wrapping at word
    // boundaries fills lines less than full.
    lines[qsizetype(index)] = metrics.elidedText(lines[qsizetype(index)], Qt::ElideMiddle,
                                                 keep * wrapWidth * 3 / 4);
    total -= *longest - keep;
    *longest = keep;
  }
  return lines.join(QLatin1Char('\n'));
}

}  // namespace

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
  // Texts name files, whose names may hold anything: never read as markup.
  box.setTextFormat(Qt::PlainText);
  const QScreen* screen = parent_ ? parent_->screen() : QGuiApplication::primaryScreen();
  box.setText(screen ? FittedText(message.text, box.fontMetrics(), screen->availableGeometry())
                     : message.text);
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
