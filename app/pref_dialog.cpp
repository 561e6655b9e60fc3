#include "app/pref_dialog.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLineEdit>
#include <QVBoxLayout>

#include "platform/messages.h"

namespace quarnel {

namespace {

// The text of an integer field as an int: an optional sign and digits,
// blanks around allowed, within the range of int.
bool ParseInt(const QString& text, int& value) {
  bool ok = false;
  const int v = text.trimmed().toInt(&ok, 10);
  if (ok) value = v;
  return ok;
}

}  // namespace

bool FontHeightInRange(int height) { return height >= kMinFontHeight && height <= kMaxFontHeight; }

int FontHeightOrDefault(int height, int fallback) {
  return FontHeightInRange(height) ? height : fallback;
}

CPrefDlg::CPrefDlg(MessageSink& messages, QWidget* parent)
    : QDialog(parent),
      messages_(messages),
      showTrackBall_(new QCheckBox(QStringLiteral("Show TrackBall at startup"), this)),
      flipTextures_(new QCheckBox(QStringLiteral("Flip Textures at loading (DEPRECATED)"), this)),
      smallFontHeight_(new QLineEdit(this)),
      largeFontHeight_(new QLineEdit(this)),
      halveTextureSize_(
          new QCheckBox(QStringLiteral("Halve the maximum opengl texture size"), this)) {
  setWindowTitle(QStringLiteral("Preferences"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(showTrackBall_);
  layout->addWidget(flipTextures_);
  layout->addWidget(halveTextureSize_);
  auto* fonts = new QFormLayout;
  fonts->addRow(QStringLiteral("Height of small sized font"), smallFontHeight_);
  fonts->addRow(QStringLiteral("Height of large sized font"), largeFontHeight_);
  layout->addLayout(fonts);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &CPrefDlg::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &CPrefDlg::reject);
}

QWidget* CPrefDlg::Control(int id) const {
  switch (id) {
    case kShowTrackBall:
      return showTrackBall_;
    case kFlipTextures:
      return flipTextures_;
    case kHalveTextureSize:
      return halveTextureSize_;
    case kSmallFontHeight:
      return smallFontHeight_;
    case kLargeFontHeight:
      return largeFontHeight_;
    default:
      return nullptr;
  }
}

bool CPrefDlg::DoDataExchange(bool save) {
  if (!save) {
    showTrackBall_->setChecked(m_showTrackBall != 0);
    flipTextures_->setChecked(m_flipTextures != 0);
    smallFontHeight_->setText(QString::number(m_smallFontHeight));
    largeFontHeight_->setText(QString::number(m_largeFontHeight));
    halveTextureSize_->setChecked(m_halveTextureSize != 0);
    return true;
  }
  // Every field is checked before any member changes, so a refused value
  // leaves the dialog's data whole.
  int small = 0, large = 0;
  for (auto [edit, value] :
       {std::pair{smallFontHeight_, &small}, std::pair{largeFontHeight_, &large}}) {
    const bool integer = ParseInt(edit->text(), *value);
    if (!integer || !FontHeightInRange(*value)) {
      messages_.Show(integer ? QStringLiteral("Please enter an integer between %1 and %2.")
                                   .arg(kMinFontHeight)
                                   .arg(kMaxFontHeight)
                             : QStringLiteral("Please enter an integer."),
                     MessageButtons::Ok, MessageIcon::Warning);
      edit->setFocus();
      edit->selectAll();
      return false;
    }
  }
  m_showTrackBall = showTrackBall_->isChecked() ? 1 : 0;
  m_flipTextures = flipTextures_->isChecked() ? 1 : 0;
  m_smallFontHeight = small;
  m_largeFontHeight = large;
  m_halveTextureSize = halveTextureSize_->isChecked() ? 1 : 0;
  return true;
}

int CPrefDlg::exec() {
  DoDataExchange(false);
  return QDialog::exec();
}

void CPrefDlg::accept() {
  if (DoDataExchange(true)) QDialog::accept();
}

}  // namespace quarnel
