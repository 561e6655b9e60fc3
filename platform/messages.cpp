#include "platform/messages.h"

#include <QCoreApplication>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QMetaObject>
#include <QScreen>
#include <QStringList>
#include <algorithm>

namespace quarnel {

namespace {

// Room a box needs besides its text: title bar, margins, the button row.
constexpr int kBoxFrameHeight = 200;
// Beside the text: the icon and the margins.
constexpr int kBoxFrameWidth = 120;
constexpr int kMinRowWidth = 100;
const QChar kEllipsis(0x2026);

// The widest a box grows before it wraps its text, and the widest it grows at
// all (the window system's boxes follow the same rule).
int SoftBoxWidth(const QRect& screen) { return std::min(screen.width() / 2, 500); }
int HardBoxWidth(const QRect& screen) {
  return screen.width() <= 1024 ? screen.width() : std::min(screen.width() - 480, 1000);
}

// The rows of one line no wider than width: broken at spaces where it can,
// and words wider than a row after a '/' or, without one, anywhere.
QStringList Rows(const QString& line, const QFontMetrics& metrics, int width) {
  QStringList rows;
  QString row;
  int rowWidth = 0;
  qsizetype lastBreak = -1;  // where row may be cut, after a space or '/'
  for (qsizetype i = 0; i < line.size(); ++i) {
    // A character outside the basic plane is never split.
    const qsizetype n = line.at(i).isHighSurrogate() && i + 1 < line.size() ? 2 : 1;
    const QString c = line.mid(i, n);
    i += n - 1;
    const int advance = metrics.horizontalAdvance(c);
    if (rowWidth + advance > width && !row.isEmpty()) {
      const qsizetype cut = lastBreak > 0 ? lastBreak : row.size();
      rows.append(row.left(cut));
      row.remove(0, cut);
      rowWidth = metrics.horizontalAdvance(row);
      lastBreak = -1;
    }
    row += c;
    rowWidth += advance;
    if (c == QLatin1String(" ") || c == QLatin1String("/")) lastBreak = row.size();
  }
  rows.append(row);
  return rows;
}

// The text of a box that fits the screen. A box grows as wide and as tall as
// its text needs: a message naming a path of thousands of characters went far
// past the screen's edges, the buttons with it. Such a text is broken into
// rows the box shows without wrapping them again, and when there are more
// rows than the screen holds the middle ones give way to an ellipsis, so that
// the start and the file's own name at the end stay. Texts that fit are
// shown as they are.
QString FittedText(const QString& text, const QFontMetrics& metrics, const QRect& screen) {
  const int rowWidth = std::max(kMinRowWidth, SoftBoxWidth(screen) - kBoxFrameWidth);
  const int widestWord = std::max(kMinRowWidth, HardBoxWidth(screen) - kBoxFrameWidth);
  const int maxRows =
      std::max(3, (screen.height() - kBoxFrameHeight) / std::max(1, metrics.lineSpacing()));
  const QStringList lines = text.split(QLatin1Char('\n'));
  // Rows as the box would wrap them, counted generously.
  qsizetype rows = 0;
  bool fits = true;
  for (const QString& line : lines) {
    rows += std::max(1, metrics.horizontalAdvance(line) / rowWidth + 1);
    for (const QString& word : line.split(QLatin1Char(' ')))
      fits = fits && metrics.horizontalAdvance(word) <= widestWord;
  }
  if (fits && rows <= maxRows) return text;

  QStringList fitted;
  for (const QString& line : lines) fitted += Rows(line, metrics, rowWidth);
  if (fitted.size() > maxRows) {
    const qsizetype tail = (maxRows - 1) / 2;
    const qsizetype head = maxRows - 1 - tail;
    fitted = fitted.mid(0, head) + QStringList{QString(kEllipsis)} +
             fitted.mid(fitted.size() - tail);
  }
  return fitted.join(QLatin1Char('\n'));
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
