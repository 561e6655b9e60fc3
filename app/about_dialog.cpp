#include "app/about_dialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QLabel>
#include <QStringList>

namespace quarnel {

QString BuildLine(const char* compilerDate) {
  const QStringList parts = QString::fromLatin1(compilerDate ? compilerDate : "")
                                .split(QLatin1Char(' '), Qt::SkipEmptyParts);
  QString line = QStringLiteral("Build on");
  if (!parts.isEmpty()) line += QLatin1Char(' ') + parts.join(QLatin1Char(' '));
  return line;
}

QString ProductVersion() {
#ifdef QUARNEL_PRODUCT_VERSION
  return QStringLiteral(QUARNEL_PRODUCT_VERSION);
#else
  return QString();
#endif
}

CAboutDlg::CAboutDlg(QWidget* parent)
    : QDialog(parent), buildText_(new QLabel(this)), productVersion_(new QLabel(this)) {
  setWindowTitle(QStringLiteral("About Quarnel"));
  auto* layout = new QGridLayout(this);
  auto* icon = new QLabel(this);
  const QIcon programIcon = QApplication::windowIcon();
  if (!programIcon.isNull()) icon->setPixmap(programIcon.pixmap(32, 32));
  layout->addWidget(icon, 0, 0, 3, 1, Qt::AlignTop);
  layout->addWidget(new QLabel(QStringLiteral("Quarnel Version"), this), 0, 1);
  layout->addWidget(productVersion_, 0, 2);
  layout->addWidget(
      new QLabel(QStringLiteral("A viewer and light editor of triangle meshes"), this), 1, 1, 1, 2);
  layout->addWidget(buildText_, 2, 1, 1, 2);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  layout->addWidget(buttons, 3, 0, 1, 3);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

void CAboutDlg::DoDataExchange() {
  buildText_->setText(m_buildText);
  productVersion_->setText(m_productVersion);
}

QLabel* CAboutDlg::Control(int id) const {
  switch (id) {
    case kBuildText:
      return buildText_;
    case kProductVersion:
      return productVersion_;
    default:
      return nullptr;
  }
}

int CAboutDlg::exec() {
  DoDataExchange();
  return QDialog::exec();
}

}  // namespace quarnel
