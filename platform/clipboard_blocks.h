#pragma once

#include <QByteArray>
#include <optional>

namespace quarnel {

// The program's own clipboard format, by which views exchange their cameras,
// also between two running instances. The format is known by its name,
// kViewExchangeFormatName; on the desktop clipboard it travels under the MIME
// type kViewExchangeMimeType, which every instance maps that name to.
//
// A block: a 32-bit little-endian payload length, the payload, and zero bytes
// up to kClipboardBlockSize. The length never exceeds kMaxClipboardPayload.
inline constexpr char kViewExchangeFormatName[] = "__Kelvor_CENTERED_HAND_FORMAT_2.0";
inline constexpr char kViewExchangeMimeType[] = "application/x-kelvor-centered-hand-format-2.0";
inline constexpr int kClipboardBlockSize = 1024;
inline constexpr int kMaxClipboardPayload = 1020;

// The block of a payload; a payload longer than kMaxClipboardPayload is cut.
QByteArray EncodeClipboardBlock(const QByteArray& payload);

// The payload of a block. A length of 0, a negative one, or one above
// kMaxClipboardPayload gives no payload bytes. A block shorter than its
// length says (written by another program under our format) gives the bytes
// it has; one too short to hold a length gives none.
QByteArray DecodeClipboardBlock(const QByteArray& block);

// The clipboard as the view exchange uses it.
class ClipboardBlocks {
 public:
  virtual ~ClipboardBlocks() = default;

  // Puts a block with the payload on the clipboard, replacing what was there.
  virtual bool Put(const QByteArray& payload) = 0;
  // The payload of the block on the clipboard; nothing when the clipboard
  // holds no block of the format.
  virtual std::optional<QByteArray> Get() const = 0;
  virtual bool HasBlock() const = 0;
  // Empties the clipboard when it holds a block that this program put there,
  // and leaves anything else alone (the program's exit).
  virtual void ClearIfOurs() = 0;
};

// The desktop clipboard (needs a QGuiApplication).
class SystemClipboardBlocks final : public ClipboardBlocks {
 public:
  bool Put(const QByteArray& payload) override;
  std::optional<QByteArray> Get() const override;
  bool HasBlock() const override;
  void ClearIfOurs() override;
};

// A clipboard in memory, for tests.
class MemoryClipboardBlocks final : public ClipboardBlocks {
 public:
  bool Put(const QByteArray& payload) override;
  std::optional<QByteArray> Get() const override;
  bool HasBlock() const override { return block_.has_value(); }
  void ClearIfOurs() override;

  // A raw block as another program would have put it.
  void PutForeignBlock(const QByteArray& block);
  // The clipboard taken by another program with data of its own.
  void TakeAway() {
    block_.reset();
    ours_ = false;
  }

 private:
  std::optional<QByteArray> block_;
  bool ours_ = false;
};

}  // namespace quarnel
