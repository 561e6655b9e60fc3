#include "platform/clipboard_blocks.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QMimeData>
#include <algorithm>
#include <cstdint>

namespace quarnel {

namespace {

QClipboard* DesktopClipboard() {
  return qobject_cast<QGuiApplication*>(QCoreApplication::instance()) != nullptr
             ? QGuiApplication::clipboard()
             : nullptr;
}

QString MimeType() {
  return QString::fromLatin1(kViewExchangeMimeType);
}

}  // namespace

QByteArray EncodeClipboardBlock(const QByteArray& payload) {
  const auto length =
      static_cast<std::uint32_t>(std::min<qsizetype>(payload.size(), kMaxClipboardPayload));
  QByteArray block(kClipboardBlockSize, '\0');
  for (int i = 0; i < 4; ++i) {
    block[i] = static_cast<char>((length >> (8 * i)) & 0xFFu);
  }
  std::copy_n(payload.constData(), length, block.data() + 4);
  return block;
}

QByteArray DecodeClipboardBlock(const QByteArray& block) {
  if (block.size() < 4) {
    return QByteArray();
  }
  std::uint32_t length = 0;
  for (int i = 0; i < 4; ++i) {
    length |= static_cast<std::uint32_t>(static_cast<unsigned char>(block[i])) << (8 * i);
  }
  const auto signedLength = static_cast<std::int32_t>(length);
  if (signedLength <= 0 || signedLength > kMaxClipboardPayload) {
    return QByteArray();
  }
  const qsizetype available = block.size() - 4;
  return block.mid(4, std::min<qsizetype>(signedLength, available));
}

bool SystemClipboardBlocks::Put(const QByteArray& payload) {
  QClipboard* clipboard = DesktopClipboard();
  if (clipboard == nullptr) {
    return false;
  }
  auto* data = new QMimeData;
  data->setData(MimeType(), EncodeClipboardBlock(payload));
  clipboard->setMimeData(data);
  return true;
}

std::optional<QByteArray> SystemClipboardBlocks::Get() const {
  QClipboard* clipboard = DesktopClipboard();
  if (clipboard == nullptr) {
    return std::nullopt;
  }
  const QMimeData* data = clipboard->mimeData();
  if (data == nullptr || !data->hasFormat(MimeType())) {
    return std::nullopt;
  }
  return DecodeClipboardBlock(data->data(MimeType()));
}

bool SystemClipboardBlocks::HasBlock() const {
  QClipboard* clipboard = DesktopClipboard();
  if (clipboard == nullptr) {
    return false;
  }
  const QMimeData* data = clipboard->mimeData();
  return data != nullptr && data->hasFormat(MimeType());
}

void SystemClipboardBlocks::ClearIfOurs() {
  QClipboard* clipboard = DesktopClipboard();
  if (clipboard == nullptr || !clipboard->ownsClipboard()) {
    return;
  }
  const QMimeData* data = clipboard->mimeData();
  if (data != nullptr && data->hasFormat(MimeType())) {
    clipboard->clear();
  }
}

bool MemoryClipboardBlocks::Put(const QByteArray& payload) {
  block_ = EncodeClipboardBlock(payload);
  ours_ = true;
  return true;
}

std::optional<QByteArray> MemoryClipboardBlocks::Get() const {
  if (!block_) {
    return std::nullopt;
  }
  return DecodeClipboardBlock(*block_);
}

void MemoryClipboardBlocks::ClearIfOurs() {
  if (ours_) {
    block_.reset();
    ours_ = false;
  }
}

void MemoryClipboardBlocks::PutForeignBlock(const QByteArray& block) {
  block_ = block;
  ours_ = false;
}

}  // namespace quarnel
