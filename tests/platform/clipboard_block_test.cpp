#include <gtest/gtest.h>

#include <cstdint>

#include "platform/clipboard_blocks.h"
#include "qstring_printer.h"

namespace quarnel {
namespace {

QByteArray Payload(int size) {
  QByteArray bytes(size, '\0');
  for (int i = 0; i < size; ++i) {
    bytes[i] = static_cast<char>(i * 7 + 1);
  }
  return bytes;
}

QByteArray BlockWithLength(std::uint32_t length, int totalSize) {
  QByteArray block(totalSize, '\x55');
  for (int i = 0; i < 4 && i < totalSize; ++i) {
    block[i] = static_cast<char>((length >> (8 * i)) & 0xFF);
  }
  return block;
}

TEST(ClipboardBlock, EncodesLengthLittleEndianPayloadAndZeroFill) {
  const QByteArray payload = Payload(264);
  const QByteArray block = EncodeClipboardBlock(payload);
  ASSERT_EQ(block.size(), kClipboardBlockSize);
  EXPECT_EQ(static_cast<unsigned char>(block[0]), 264 & 0xFF);
  EXPECT_EQ(static_cast<unsigned char>(block[1]), 264 >> 8);
  EXPECT_EQ(block[2], '\0');
  EXPECT_EQ(block[3], '\0');
  EXPECT_EQ(block.mid(4, 264), payload);
  EXPECT_EQ(block.mid(4 + 264), QByteArray(kClipboardBlockSize - 4 - 264, '\0'));
  EXPECT_EQ(DecodeClipboardBlock(block), payload);
}

TEST(ClipboardBlock, PayloadIsCutAtTheLimit) {
  const QByteArray block = EncodeClipboardBlock(Payload(2000));
  ASSERT_EQ(block.size(), kClipboardBlockSize);
  EXPECT_EQ(DecodeClipboardBlock(block), Payload(kMaxClipboardPayload));
  EXPECT_EQ(DecodeClipboardBlock(EncodeClipboardBlock(Payload(kMaxClipboardPayload))).size(),
            kMaxClipboardPayload);
}

TEST(ClipboardBlock, LengthsOutsideOneTo1020GiveNoPayload) {
  EXPECT_TRUE(DecodeClipboardBlock(BlockWithLength(0, 1024)).isEmpty());
  EXPECT_TRUE(DecodeClipboardBlock(BlockWithLength(1021, 1024)).isEmpty());
  EXPECT_TRUE(DecodeClipboardBlock(BlockWithLength(0xFFFFFFFFu, 1024)).isEmpty());
  EXPECT_TRUE(DecodeClipboardBlock(BlockWithLength(0x80000000u, 1024)).isEmpty());
  EXPECT_EQ(DecodeClipboardBlock(BlockWithLength(1020, 1024)).size(), 1020);
  // Another program's block of length 100 gives exactly those 100 bytes.
  EXPECT_EQ(DecodeClipboardBlock(BlockWithLength(100, 1024)), QByteArray(100, '\x55'));
}

TEST(ClipboardBlock, ShortForeignBlocksAreReadOnlyAsFarAsTheyGo) {
  // The length promises more than the block holds: only what is there.
  EXPECT_EQ(DecodeClipboardBlock(BlockWithLength(264, 40)), QByteArray(36, '\x55'));
  // Too short to hold a length at all.
  EXPECT_TRUE(DecodeClipboardBlock(QByteArray("\x08\x00", 2)).isEmpty());
  EXPECT_TRUE(DecodeClipboardBlock(QByteArray()).isEmpty());
}

TEST(MemoryClipboard, TellsBlocksApartFromNoneAndClearsOnlyItsOwn) {
  MemoryClipboardBlocks clipboard;
  EXPECT_FALSE(clipboard.HasBlock());
  EXPECT_FALSE(clipboard.Get().has_value());

  ASSERT_TRUE(clipboard.Put(Payload(264)));
  ASSERT_TRUE(clipboard.Get().has_value());
  EXPECT_EQ(*clipboard.Get(), Payload(264));
  clipboard.ClearIfOurs();
  EXPECT_FALSE(clipboard.HasBlock());

  // Another instance's block with no valid length: a block without payload.
  clipboard.PutForeignBlock(BlockWithLength(0, 1024));
  ASSERT_TRUE(clipboard.Get().has_value());
  EXPECT_TRUE(clipboard.Get()->isEmpty());
  clipboard.ClearIfOurs();
  EXPECT_TRUE(clipboard.HasBlock());
}

}  // namespace
}  // namespace quarnel
