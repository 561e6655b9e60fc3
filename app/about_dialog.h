// The About box: the program's icon and name, the build line and the
// product version.
#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace quarnel {

class CAboutDlg final : public QDialog {
  Q_OBJECT

 public:
  static constexpr int kBuildText = 1001;
  static constexpr int kProductVersion = 1003;

  explicit CAboutDlg(QWidget* parent = nullptr);

  // The two texts into their controls.
  void DoDataExchange();
  // The static control of an id above; null for any other id.
  QLabel* Control(int id) const;

  int exec() override;

  QString m_buildText;
  QString m_productVersion;

 private:
  QLabel* buildText_;
  QLabel* productVersion_;
};

// "Build on" with the month abbreviation, the day and the year of a
// compiler date ("Dec  7 2026" gives "Build on Dec 7 2026").
QString BuildLine(const char* compilerDate);
// The version this program was built as; empty when the build named none.
QString ProductVersion();

}  // namespace quarnel
