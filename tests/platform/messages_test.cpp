#include "platform/messages.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QMessageBox>
#include <QPaintEvent>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <algorithm>

#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using test::DrainEvents;
using test::TestApplication;

Message Error(const char* text) {
  return Message{QStringLiteral("OpenGL Usage Error"), QString::fromLatin1(text),
                 MessageButtons::Ok, MessageIcon::Error};
}

TEST(ScriptedMessageSink, AnswersFromItsQueueThenAsIfClosed) {
  TestApplication();
  ScriptedMessageSink sink;
  sink.QueueAnswer(MessageAnswer::Ok);
  sink.QueueAnswer(MessageAnswer::Yes);
  EXPECT_EQ(sink.Show(QStringLiteral("Are you sure to overwrite the currently opened file?"),
                      MessageButtons::OkCancel),
            MessageAnswer::Ok);
  EXPECT_EQ(sink.Show(QStringLiteral("q"), MessageButtons::YesNo), MessageAnswer::Yes);
  // Unscripted boxes never confirm.
  EXPECT_EQ(sink.Show(QStringLiteral("a"), MessageButtons::OkCancel), MessageAnswer::Cancel);
  EXPECT_EQ(sink.Show(QStringLiteral("b"), MessageButtons::YesNo), MessageAnswer::No);
  EXPECT_EQ(sink.Show(QStringLiteral("c"), MessageButtons::YesNoCancel), MessageAnswer::Cancel);
  EXPECT_EQ(sink.Show(QStringLiteral("d")), MessageAnswer::Ok);
  ASSERT_EQ(sink.Shown().size(), 6u);
  EXPECT_EQ(sink.Shown()[0].text,
            QStringLiteral("Are you sure to overwrite the currently opened file?"));
  EXPECT_EQ(sink.Shown()[0].buttons, MessageButtons::OkCancel);
}

TEST(MessageSinkPainting, BoxesRaisedWhilePaintingShowAfterThePaintOnce) {
  TestApplication();
  ScriptedMessageSink sink;
  bool presentedWhilePainting = false;
  sink.SetObserver([&](const Message&) { presentedWhilePainting |= sink.Painting(); });
  {
    MessageSink::PaintingScope paint(sink);
    EXPECT_EQ(sink.Show(Error("Draw\nInvalid Operation")), MessageAnswer::Deferred);
    {
      MessageSink::PaintingScope nested(sink);
      sink.Show(Error("Draw\nInvalid Operation"));
      sink.Show(Error("Lights\nInvalid Enum"));
    }
    EXPECT_TRUE(sink.Painting());
    EXPECT_EQ(sink.DeferredCount(), 2u);
  }
  // Not inside the paint's own call either: from the event loop.
  EXPECT_TRUE(sink.Shown().empty());
  DrainEvents();
  ASSERT_EQ(sink.Shown().size(), 2u);
  EXPECT_EQ(sink.Shown()[0].text, QStringLiteral("Draw\nInvalid Operation"));
  EXPECT_EQ(sink.Shown()[1].text, QStringLiteral("Lights\nInvalid Enum"));
  EXPECT_FALSE(presentedWhilePainting);

  // The same error from the next frames does not come back; a new one does,
  // and a box raised outside any paint is always shown.
  for (int frame = 0; frame < 3; ++frame) {
    MessageSink::PaintingScope paint(sink);
    sink.Show(Error("Draw\nInvalid Operation"));
  }
  {
    MessageSink::PaintingScope paint(sink);
    sink.Show(Error("Texture\nOut Of Memory"));
  }
  DrainEvents();
  ASSERT_EQ(sink.Shown().size(), 3u);
  EXPECT_EQ(sink.Shown()[2].text, QStringLiteral("Texture\nOut Of Memory"));
  sink.Show(Error("Draw\nInvalid Operation"));
  EXPECT_EQ(sink.Shown().size(), 4u);
}

TEST(MessageSinkPainting, BoxesDeferredWhileHeldComeAfterTheLastRelease) {
  TestApplication();
  ScriptedMessageSink sink;
  sink.HoldDeferred();
  {
    MessageSink::PaintingScope paint(sink);
    sink.Show(Error("Draw\nInvalid Operation"));
  }
  sink.HoldDeferred();
  DrainEvents();
  sink.ReleaseDeferred();
  DrainEvents();
  EXPECT_TRUE(sink.Shown().empty());
  // A box raised outside a paint does not wait.
  sink.Show(Error("Save\nDisk Full"));
  ASSERT_EQ(sink.Shown().size(), 1u);
  sink.ReleaseDeferred();
  EXPECT_EQ(sink.Shown().size(), 1u);
  DrainEvents();
  ASSERT_EQ(sink.Shown().size(), 2u);
  EXPECT_EQ(sink.Shown()[1].text, QStringLiteral("Draw\nInvalid Operation"));
}

TEST(MessageSinkPainting, BoxesQueuedWhileABoxIsUpWaitForIt) {
  TestApplication();
  ScriptedMessageSink sink;
  int depth = 0;
  int deepest = 0;
  bool repainted = false;
  sink.SetObserver([&](const Message&) {
    ++depth;
    deepest = std::max(deepest, depth);
    if (!repainted) {
      // The box's own event loop repaints a view that fails again.
      repainted = true;
      {
        MessageSink::PaintingScope paint(sink);
        sink.Show(Error("Second\nInvalid Enum"));
      }
      DrainEvents();
    }
    --depth;
  });
  {
    MessageSink::PaintingScope paint(sink);
    sink.Show(Error("First\nInvalid Value"));
  }
  DrainEvents();
  ASSERT_EQ(sink.Shown().size(), 2u);
  EXPECT_EQ(sink.Shown()[1].text, QStringLiteral("Second\nInvalid Enum"));
  EXPECT_EQ(deepest, 1);
}

// A widget whose paint raises a box, as a frame that meets an OpenGL error.
class FailingPaint final : public QWidget {
 public:
  explicit FailingPaint(MessageSink& sink) : sink_(sink) {}
  int paints = 0;

 protected:
  void paintEvent(QPaintEvent*) override {
    MessageSink::PaintingScope scope(sink_);
    ++paints;
    sink_.Show(Error("Frame\nInvalid Value"));
  }

 private:
  MessageSink& sink_;
};

TEST(MessageSinkPainting, ABoxFromARealPaintEventComesAfterIt) {
  TestApplication();
  ScriptedMessageSink sink;
  int paintsWhenShown = -1;
  FailingPaint widget(sink);
  sink.SetObserver([&](const Message&) { paintsWhenShown = widget.paints; });
  widget.resize(50, 50);
  widget.show();
  widget.repaint();
  DrainEvents();
  widget.repaint();
  DrainEvents();
  ASSERT_EQ(sink.Shown().size(), 1u);
  EXPECT_GE(paintsWhenShown, 1);
}

TEST(QtMessageSink, ReturnsTheButtonTheUserPressed) {
  TestApplication();
  QWidget owner;
  owner.show();
  QtMessageSink sink(&owner);
  QString title;
  auto press = [&](QMessageBox::StandardButton which) {
    QTimer::singleShot(0, [&title, which] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(box, nullptr);
      title = box->windowTitle();
      box->button(which)->click();
    });
  };
  press(QMessageBox::Cancel);
  EXPECT_EQ(
      sink.Show(QStringLiteral("Overwrite?"), MessageButtons::OkCancel, MessageIcon::Question),
      MessageAnswer::Cancel);
  EXPECT_EQ(title, QApplication::applicationDisplayName());
  press(QMessageBox::Yes);
  EXPECT_EQ(sink.Show(QStringLiteral("Try other extensions?"), MessageButtons::YesNo,
                      MessageIcon::Question, QStringLiteral("Texture")),
            MessageAnswer::Yes);
  EXPECT_EQ(title, QStringLiteral("Texture"));
}

// Whatever a message names, its box fits the screen with its button on it,
// and a text that fits is shown as it is, markup and all.
TEST(QtMessageSink, BoxesFitTheScreen) {
  TestApplication();
  QWidget owner;
  owner.show();
  QtMessageSink sink(&owner);
  const QString path = "/data/" + QString(60000, QLatin1Char('d')) + "/terrain.ply";
  QStringList manyLines;
  for (int i = 0; i < 400; ++i) manyLines << "Cannot open the file \"" + path.left(300) + "\".";
  const QString plain = QStringLiteral("Cannot open the file \"/m/<b>a</b>.ply\".");
  for (const QString& text :
       {"Cannot open the file \"" + path + "\".", manyLines.join('\n'),
        QString(20000, QLatin1Char('w')).replace(QRegularExpression("w{7}"), "words "), plain}) {
    QRect screen, box, ok;
    QString shown;
    Qt::TextFormat format = Qt::AutoText;
    bool wholeTextShown = false;
    QTimer::singleShot(0, [&] {
      auto* up = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      ASSERT_NE(up, nullptr);
      screen = up->screen()->availableGeometry();
      box = up->frameGeometry();
      QAbstractButton* button = up->button(QMessageBox::Ok);
      ok = QRect(button->mapToGlobal(QPoint(0, 0)), button->size());
      auto* label = up->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
      ASSERT_NE(label, nullptr);
      shown = label->text();
      format = label->textFormat();
      wholeTextShown = up->rect().contains(label->geometry()) &&
                       label->height() >= label->heightForWidth(label->width()) &&
                       label->width() >= (label->wordWrap() ? 0 : label->sizeHint().width());
      button->click();
    });
    EXPECT_EQ(sink.Show(text), MessageAnswer::Ok);
    EXPECT_TRUE(screen.contains(box)) << box.height() << " px tall";
    EXPECT_TRUE(screen.contains(ok));
    EXPECT_TRUE(wholeTextShown);
    if (text == plain) {
      EXPECT_EQ(shown, plain);
      EXPECT_EQ(format, Qt::PlainText);
    } else {
      // The start and the end, with the file's own name, stay.
      const QString flat = QString(shown).remove('\n');
      EXPECT_TRUE(flat.startsWith(QString(text.left(40)).remove('\n')));
      EXPECT_TRUE(flat.endsWith(QString(text.right(40)).remove('\n')));
      EXPECT_LT(shown.size(), text.size());
    }
  }
}

}  // namespace
}  // namespace quarnel
