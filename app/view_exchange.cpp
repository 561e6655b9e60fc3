// The exchange of cameras between views through the clipboard: Copy View
// publishes the main trackball's two matrices and the field of view, Paste
// View moves the view's camera there. The idle pass links the cameras of all
// views with the same two operations.
#include <QByteArray>
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>

#include "app/quarnel_app.h"
#include "app/quarnel_view.h"
#include "platform/clipboard_blocks.h"

namespace quarnel {

namespace {

// The payload: the track matrix and the base matrix (16 little-endian
// doubles each, OpenGL order), the field of view (a little-endian float) and
// four bytes of padding.
constexpr int kTrackOffset = 0;
constexpr int kBaseOffset = 128;
constexpr int kFovOffset = 256;
constexpr int kPayloadSize = 264;

void PutU64(char* at, std::uint64_t v) {
  for (int i = 0; i < 8; ++i) at[i] = char((v >> (8 * i)) & 0xFFu);
}

std::uint64_t GetU64(const char* at) {
  std::uint64_t v = 0;
  for (int i = 0; i < 8; ++i) v |= std::uint64_t(static_cast<unsigned char>(at[i])) << (8 * i);
  return v;
}

void PutMatrix(char* at, const Mat4d& m) {
  for (int i = 0; i < 16; ++i) PutU64(at + 8 * i, std::bit_cast<std::uint64_t>(m.m[i]));
}

// False when an element is not a finite number.
bool GetMatrix(const char* at, Mat4d& m) {
  for (int i = 0; i < 16; ++i) {
    m.m[i] = std::bit_cast<double>(GetU64(at + 8 * i));
    if (!std::isfinite(m.m[i])) return false;
  }
  return true;
}

void PutFloat(char* at, float f) {
  const auto v = std::bit_cast<std::uint32_t>(f);
  for (int i = 0; i < 4; ++i) at[i] = char((v >> (8 * i)) & 0xFFu);
}

float GetFloat(const char* at) {
  std::uint32_t v = 0;
  for (int i = 0; i < 4; ++i) v |= std::uint32_t(static_cast<unsigned char>(at[i])) << (8 * i);
  return std::bit_cast<float>(v);
}

}  // namespace

void CQuarnelView::OnCopyView() {
  // Always the main camera, also while View Texture Image is on.
  QByteArray payload(kPayloadSize, '\0');
  PutMatrix(payload.data() + kTrackOffset, m_trackBall.m_track);
  PutMatrix(payload.data() + kBaseOffset, m_trackBall.m_base);
  PutFloat(payload.data() + kFovOffset, m_fov);
  ClipboardBlocks* clipboard = app_.Clipboard();
  if (!app_.m_clipboardRegistered || !clipboard) return;
  clipboard->Put(payload);
}

void CQuarnelView::OnPasteView() {
  ClipboardBlocks* clipboard = app_.Clipboard();
  if (!app_.m_clipboardRegistered || !clipboard) return;
  const std::optional<QByteArray> block = clipboard->Get();
  if (!block) return;

  // What the block does not supply keeps the record's starting values: the
  // identity matrices and the view's own field of view.
  QByteArray record(kPayloadSize, '\0');
  PutMatrix(record.data() + kTrackOffset, Mat4d::Identity());
  PutMatrix(record.data() + kBaseOffset, Mat4d::Identity());
  PutFloat(record.data() + kFovOffset, m_fov);
  std::memcpy(record.data(), block->constData(),
              size_t(std::min<qsizetype>(block->size(), kPayloadSize)));

  // A block of another program under our format may hold anything: a camera
  // that is not made of finite numbers is not taken.
  TrackBall target;
  if (!GetMatrix(record.constData() + kTrackOffset, target.m_track) ||
      !GetMatrix(record.constData() + kBaseOffset, target.m_base))
    return;
  const float fov = GetFloat(record.constData() + kFovOffset);
  StartTransition(target);
  // The field of view stays within the range the wheel gives it, whatever
  // another program wrote.
  if (std::isfinite(fov)) m_fov = std::clamp(fov, kMinFov, kMaxFov);
}

void CQuarnelView::OnUpdatePasteView(CommandState& state) const {
  const ClipboardBlocks* clipboard = app_.Clipboard();
  state.enabled = app_.m_clipboardRegistered && clipboard && clipboard->HasBlock();
}

}  // namespace quarnel
