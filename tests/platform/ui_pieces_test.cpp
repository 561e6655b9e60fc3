#include <gtest/gtest.h>

#include <QClipboard>
#include <QDropEvent>
#include <QMdiArea>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QScreen>
#include <QSignalSpy>
#include <QUrl>
#include <QWindow>
#include <set>

#include "platform/bitmap_font.h"
#include "platform/clipboard_blocks.h"
#include "platform/cursors.h"
#include "platform/main_window.h"
#include "platform/progress_window.h"
#include "platform/wait_cursor.h"
#include "qstring_printer.h"
#include "qt_test_app.h"

namespace quarnel {
namespace {

using test::DrainEvents;
using test::TestApplication;

TEST(WaitCursor, NestedScopesShowTheBusyCursorUntilTheOutermostEnds) {
  TestApplication();
  ASSERT_EQ(QGuiApplication::overrideCursor(), nullptr);
  {
    WaitCursor outer;
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    {
      WaitCursor inner;
      EXPECT_EQ(QGuiApplication::overrideCursor()->shape(), Qt::WaitCursor);
    }
    ASSERT_NE(QGuiApplication::overrideCursor(), nullptr);
  }
  EXPECT_EQ(QGuiApplication::overrideCursor(), nullptr);
}

// Counts the paints of a widget.
class PaintCounter final : public QObject {
 public:
  int paints = 0;

 protected:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Paint) {
      ++paints;
    }
    return false;
  }
};

TEST(ProgressWindow, ShowsPhaseAndPercentAndRepaintsWithoutTheEventLoop) {
  TestApplication();
  MainWindow owner;
  owner.resize(640, 480);
  owner.show();
  DrainEvents();

  FakeClock clock(1000.0);
  ProgressWindow progress(&owner, clock);
  EXPECT_FALSE(progress.Visible());
  progress.Report(10, "ignored before Begin");
  // A call queued before the load must wait for it: the window never runs
  // the event loop.
  bool queuedCallRan = false;
  QMetaObject::invokeMethod(&owner, [&] { queuedCallRan = true; }, Qt::QueuedConnection);
  progress.Begin();
  ASSERT_TRUE(progress.Visible());
  QWidget* window = progress.Window();
  EXPECT_TRUE(window->isWindow());
  EXPECT_EQ(window->parentWidget(), &owner);
  EXPECT_TRUE(window->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_TRUE(window->windowFlags().testFlag(Qt::WindowDoesNotAcceptFocus));
  EXPECT_FALSE(window->windowFlags().testFlag(Qt::WindowCloseButtonHint));
  EXPECT_EQ(progress.Position(), 0);

  // From here on no event is processed, as during a load. A report paints at
  // once when the bar moves, but not twice within a thirtieth of a second;
  // the next report after that shows the newest position.
  auto* bar = window->findChild<QProgressBar*>();
  ASSERT_NE(bar, nullptr);
  PaintCounter counter;
  bar->installEventFilter(&counter);
  clock.Advance(40.0);
  progress.Report(20, "Reading vertices");
  EXPECT_EQ(progress.Caption(), QStringLiteral("Reading vertices"));
  const int afterFirst = counter.paints;
  EXPECT_GE(afterFirst, 1);
  progress.Report(90, nullptr);
  EXPECT_EQ(progress.Caption(), QStringLiteral("Reading vertices"));
  EXPECT_EQ(progress.Position(), 90);
  EXPECT_EQ(counter.paints, afterFirst);
  clock.Advance(40.0);
  progress.Report(90, nullptr);
  EXPECT_GT(counter.paints, afterFirst);
  // A report that changes nothing paints nothing.
  const int afterSecond = counter.paints;
  clock.Advance(40.0);
  progress.Report(90, nullptr);
  EXPECT_EQ(counter.paints, afterSecond);
  // Unless a while has passed: the picture may not have reached the screen.
  clock.Advance(ProgressWindow::kRefreshMs);
  progress.Report(90, nullptr);
  EXPECT_GT(counter.paints, afterSecond);
  bar->removeEventFilter(&counter);
  EXPECT_FALSE(queuedCallRan);

  // What it painted is on the screen: the bar filled on the left, empty at
  // the right end.
  const QImage shown =
      owner.screen()->grabWindow(window->winId()).toImage().convertToFormat(QImage::Format_RGB32);
  ASSERT_EQ(shown.size(), window->size());
  const int y = shown.height() / 2;
  const QRgb filled = shown.pixel(shown.width() / 20, y);
  const QRgb empty = shown.pixel(shown.width() - 1 - shown.width() / 40, y);
  EXPECT_GT(std::abs(qRed(filled) - qRed(empty)) + std::abs(qGreen(filled) - qGreen(empty)) +
                std::abs(qBlue(filled) - qBlue(empty)),
            60);

  progress.Report(250, "Reading faces");
  EXPECT_EQ(progress.Position(), 100);
  progress.Report(-4, nullptr);
  EXPECT_EQ(progress.Position(), 0);
  progress.End();
  EXPECT_FALSE(progress.Visible());
  DrainEvents();
  EXPECT_TRUE(queuedCallRan);

  // A second load starts from the beginning.
  progress.Begin();
  EXPECT_EQ(progress.Position(), 0);
  EXPECT_EQ(progress.Caption(), QString());
  progress.End();
}

TEST(Cursors, TenDistinctImagesWithHotSpotsInside) {
  TestApplication();
  CursorSet cursors;
  EXPECT_EQ(cursors.Get(CursorId::ZoomOnPoint).shape(), Qt::ArrowCursor);
  ASSERT_TRUE(cursors.Load());
  std::set<QByteArray> images;
  for (CursorId id : kCursorLoadOrder) {
    const QCursor cursor = cursors.Get(id);
    ASSERT_EQ(cursor.shape(), Qt::BitmapCursor) << static_cast<int>(id);
    const QPixmap pixmap = cursor.pixmap();
    EXPECT_EQ(pixmap.size(), QSize(32, 32));
    EXPECT_TRUE(QRect(0, 0, 32, 32).contains(cursor.hotSpot()));
    // The hot spot is on the drawing, not on a transparent pixel.
    const QImage image = pixmap.toImage();
    EXPECT_GT(qAlpha(image.pixel(cursor.hotSpot())), 0) << static_cast<int>(id);
    images.insert(QByteArray(reinterpret_cast<const char*>(image.constBits()),
                             static_cast<int>(image.sizeInBytes())));
  }
  EXPECT_EQ(images.size(), kCursorLoadOrder.size());
}

TEST(BitmapGlyphs, BytesMapToTheProgramsCodePage) {
  EXPECT_EQ(CharacterOfByte('A'), QChar('A'));
  EXPECT_EQ(CharacterOfByte(0xE9), QChar(0x00E9));
  EXPECT_EQ(CharacterOfByte(0x80), QChar(0x20AC));
  EXPECT_EQ(CharacterOfByte(0x99), QChar(0x2122));
  EXPECT_TRUE(CharacterOfByte(0x81).isNull());
  EXPECT_TRUE(CharacterOfByte('\n').isNull());
  EXPECT_TRUE(CharacterOfByte(0x7F).isNull());
  EXPECT_TRUE(CharacterOfByte(256).isNull());
  EXPECT_TRUE(CharacterOfByte(-1).isNull());
}

TEST(BitmapGlyphs, GlyphsSitOnTheBaselineAndAdvance) {
  TestApplication();
  const QFont font = BitmapTextFont(14);
  EXPECT_EQ(font.pixelSize(), 14);

  const GlyphBitmap capital = RasteriseGlyph(font, 'H');
  ASSERT_GT(capital.width, 0);
  ASSERT_EQ(capital.bits.size(), static_cast<size_t>((capital.width + 7) / 8 * capital.height));
  EXPECT_EQ(capital.originY, 0.0f);  // no descender
  EXPECT_GE(capital.advance, static_cast<float>(capital.width));
  EXPECT_LE(capital.height, 14);
  EXPECT_GE(capital.height, 7);
  // An H: both stems lit at mid height, the gap between them dark above it.
  const int mid = capital.height / 2;
  EXPECT_TRUE(capital.Lit(0, mid));
  EXPECT_TRUE(capital.Lit(capital.width - 1, mid));
  EXPECT_FALSE(capital.Lit(capital.width / 2, capital.height - 1));

  const GlyphBitmap descender = RasteriseGlyph(font, 'g');
  EXPECT_GT(descender.originY, 0.0f);

  const GlyphBitmap space = RasteriseGlyph(font, ' ');
  EXPECT_EQ(space.width, 0);
  EXPECT_TRUE(space.bits.empty());
  EXPECT_GT(space.advance, 0.0f);

  const GlyphBitmap control = RasteriseGlyph(font, '\n');
  EXPECT_EQ(control.width, 0);
  EXPECT_EQ(control.advance, 0.0f);

  const GlyphBitmap large = RasteriseGlyph(BitmapTextFont(28), 'H');
  EXPECT_GT(large.height, capital.height);
}

TEST(MainWindowTitle, BaseTitleThenTheActiveDocument) {
  TestApplication();
  MainWindow window;
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Quarnel"));
  window.SetDocumentTitle(QStringLiteral("cube.ply"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Quarnel - cube.ply"));
  window.SetBaseTitle(QStringLiteral("Tolvane"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tolvane - cube.ply"));
  // Whoever else writes the title, it comes back to the program's own.
  window.setWindowTitle(QStringLiteral("Tolvane - [cube.ply]"));
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tolvane - cube.ply"));
  window.SetDocumentTitle(QString());
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Tolvane"));
}

std::vector<QString> BarTitles(MainWindow& window) {
  std::vector<QString> titles;
  for (QAction* action : window.menuBar()->actions()) {
    titles.push_back(action->text());
  }
  return titles;
}

TEST(MainWindowMenus, TwoMenuBarsAndMenusTakenOffForGood) {
  TestApplication();
  MainWindow window;
  auto* file = new QMenu("&File", &window);
  auto* help = new QMenu("&Help", &window);
  std::vector<QMenu*> doc;
  for (const char* title : {"&File", "&Edit", "&View", "&Mesh", "&Selection", "&Render", "&Help"}) {
    doc.push_back(new QMenu(QString::fromLatin1(title), &window));
  }
  window.SetMenuBars({file, help}, doc);
  EXPECT_EQ(BarTitles(window), (std::vector<QString>{"&File", "&Help"}));
  EXPECT_EQ(window.MenuTitled("Help"), help);

  window.ShowDocumentMenus(true);
  EXPECT_EQ(BarTitles(window).size(), 7u);
  EXPECT_EQ(window.MenuAt(5), doc[5]);
  ASSERT_TRUE(window.RemoveDocumentMenu(3));
  ASSERT_TRUE(window.RemoveDocumentMenu(3));
  EXPECT_FALSE(window.RemoveDocumentMenu(5));
  EXPECT_EQ(BarTitles(window),
            (std::vector<QString>{"&File", "&Edit", "&View", "&Render", "&Help"}));
  EXPECT_EQ(window.MenuTitled("Render"), doc[5]);
  EXPECT_EQ(window.MenuTitled("Mesh"), nullptr);

  window.ShowDocumentMenus(false);
  window.ShowDocumentMenus(true);
  EXPECT_EQ(BarTitles(window).size(), 5u);
}

TEST(MainWindowDrop, LocalFilesAreReportedAndOtherUrlsIgnored) {
  TestApplication();
  MainWindow window;
  window.show();
  QSignalSpy dropped(&window, &MainWindow::filesDropped);

  QMimeData remote;
  remote.setUrls({QUrl("https://example.invalid/a.ply")});
  QDragEnterEvent refuse(QPoint(5, 5), Qt::CopyAction, &remote, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &refuse);
  EXPECT_FALSE(refuse.isAccepted());

  QMimeData files;
  // A NUL in the name would open "/data/e.ply".
  files.setUrls({QUrl::fromLocalFile("/data/a.ply"), QUrl("https://example.invalid/b.ply"),
                 QUrl::fromLocalFile("/data/c d.ply"), QUrl("file:///data/e.ply%00/etc/passwd")});
  QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &enter);
  EXPECT_TRUE(enter.isAccepted());
  QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &files, Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(&window, &drop);
  ASSERT_EQ(dropped.count(), 1);
  EXPECT_EQ(dropped.at(0).at(0).toStringList(), (QStringList{"/data/a.ply", "/data/c d.ply"}));
}

TEST(SystemClipboard, CarriesBlocksAndClearsOnlyItsOwn) {
  TestApplication();
  SystemClipboardBlocks blocks;
  QByteArray payload(264, '\0');
  for (int i = 0; i < payload.size(); ++i) {
    payload[i] = static_cast<char>(255 - i);
  }
  ASSERT_TRUE(blocks.Put(payload));
  EXPECT_TRUE(blocks.HasBlock());
  ASSERT_TRUE(blocks.Get().has_value());
  EXPECT_EQ(*blocks.Get(), payload);
  const QMimeData* data = QGuiApplication::clipboard()->mimeData();
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->data(QString::fromLatin1(kViewExchangeMimeType)).size(), kClipboardBlockSize);

  blocks.ClearIfOurs();
  EXPECT_FALSE(blocks.HasBlock());
  EXPECT_FALSE(blocks.Get().has_value());

  // Text that the user copied stays where it is.
  QGuiApplication::clipboard()->setText(QStringLiteral("keep me"));
  EXPECT_FALSE(blocks.HasBlock());
  blocks.ClearIfOurs();
  EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("keep me"));
}

}  // namespace
}  // namespace quarnel
