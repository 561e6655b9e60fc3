// The Preferences dialog: the five values of the profile section "Prefs".
#pragma once

#include <QDialog>

class QCheckBox;
class QLineEdit;

namespace quarnel {

class MessageSink;

// The font heights the program accepts. Every height is rasterised into
// 255 glyph bitmaps at each start: a few thousand pixels take minutes and
// gigabytes there.
inline constexpr int kMinFontHeight = 1;
inline constexpr int kMaxFontHeight = 200;
bool FontHeightInRange(int height);
// The height as stored, or fallback when it is outside the range.
int FontHeightOrDefault(int height, int fallback);

class CPrefDlg final : public QDialog {
  Q_OBJECT

 public:
  // Control ids of the dialog.
  static constexpr int kShowTrackBall = 1004;
  static constexpr int kFlipTextures = 1005;
  static constexpr int kHalveTextureSize = 1006;
  static constexpr int kSmallFontHeight = 1007;
  static constexpr int kLargeFontHeight = 1008;

  // messages shows the refusal of a font height that is not an integer.
  CPrefDlg(MessageSink& messages, QWidget* parent = nullptr);

  // Controls from the members (save false) or members from the controls
  // (save true). A font height that is not an integer, or not one of
  // kMinFontHeight to kMaxFontHeight, is refused with a message, leaves the
  // members as they were and gives false.
  bool DoDataExchange(bool save);
  // The control of an id above; null for any other id.
  QWidget* Control(int id) const;

  int exec() override;
  void accept() override;

  // Members, in this order; the caller sets all five before the dialog runs.
  int m_showTrackBall = 0;
  int m_flipTextures = 0;
  int m_smallFontHeight = 0;
  int m_largeFontHeight = 0;
  int m_halveTextureSize = 0;

 private:
  MessageSink& messages_;
  QCheckBox* showTrackBall_;
  QCheckBox* flipTextures_;
  QLineEdit* smallFontHeight_;
  QLineEdit* largeFontHeight_;
  QCheckBox* halveTextureSize_;
};

}  // namespace quarnel
