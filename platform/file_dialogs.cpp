#include "platform/file_dialogs.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringList>

namespace quarnel {

namespace {

// The text inside the last parentheses that close the entry, or a null text.
QString TrailingParenthesised(const QString& entry) {
  const QString trimmed = entry.trimmed();
  if (!trimmed.endsWith(QLatin1Char(')'))) {
    return QString();
  }
  const qsizetype open = trimmed.lastIndexOf(QLatin1Char('('));
  if (open < 0) {
    return QString();
  }
  return trimmed.mid(open + 1, trimmed.size() - open - 2).trimmed();
}

QString ExtensionForFilter(const QString& filterEntry, const QString& defaultExtension) {
  const QString single = SingleFilterExtension(filterEntry);
  return single.isEmpty() ? defaultExtension : single;
}

}  // namespace

QString QtFilterFromBarFilter(const QString& barFilter) {
  const QStringList parts = barFilter.split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts.at(i).trimmed();
    if (description.isEmpty()) {
      break;
    }
    const QString patterns = parts.at(i + 1)
                                 .split(QLatin1Char(';'), Qt::SkipEmptyParts)
                                 .join(QLatin1Char(' '))
                                 .trimmed();
    if (patterns.isEmpty() || TrailingParenthesised(description) == patterns) {
      entries.append(description);
    } else {
      entries.append(description + QStringLiteral(" (") + patterns + QLatin1Char(')'));
    }
  }
  return entries.join(QStringLiteral(";;"));
}

QString SingleFilterExtension(const QString& filterEntry) {
  const QStringList patterns =
      TrailingParenthesised(filterEntry).split(QLatin1Char(' '), Qt::SkipEmptyParts);
  if (patterns.size() != 1) {
    return QString();
  }
  static const QRegularExpression kSimple(QStringLiteral("^\\*\\.([^*?./\\\\\\[\\]]+)$"));
  const QRegularExpressionMatch match = kSimple.match(patterns.front());
  return match.hasMatch() ? match.captured(1) : QString();
}

QString FileExtension(const QString& path) {
  const QString name = QFileInfo(path).fileName();
  const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
  return dot < 0 ? QString() : name.mid(dot + 1);
}

std::optional<QString> QtFileDialogs::GetOpenFileName(QWidget* parent, const QString& filter) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog.selectedFiles().front();
}

std::optional<QString> QtFileDialogs::GetSaveFileName(QWidget* parent, const QString& filter,
                                                      const QString& defaultExtension,
                                                      const QString& initialPath) {
  QFileDialog dialog(parent);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter(filter);
  dialog.setDefaultSuffix(
      ExtensionForFilter(filter.section(QStringLiteral(";;"), 0, 0), defaultExtension));
  QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog,
                   [&dialog, defaultExtension](const QString& entry) {
                     dialog.setDefaultSuffix(ExtensionForFilter(entry, defaultExtension));
                   });
  if (!initialPath.isEmpty()) {
    dialog.selectFile(initialPath);
  }
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog.selectedFiles().front();
}

std::optional<QString> ScriptedFileDialogs::Next() {
  if (answers_.empty()) {
    return std::nullopt;
  }
  const bool chosen = answers_.front().has_value();
  const QString path = chosen ? *answers_.front() : QString();
  answers_.pop_front();
  if (!chosen) {
    return std::nullopt;
  }
  return path;
}

std::optional<QString> ScriptedFileDialogs::GetOpenFileName(QWidget*, const QString& filter) {
  requests_.push_back({false, filter, QString(), QString()});
  return Next();
}

std::optional<QString> ScriptedFileDialogs::GetSaveFileName(QWidget*, const QString& filter,
                                                            const QString& defaultExtension,
                                                            const QString& initialPath) {
  requests_.push_back({true, filter, defaultExtension, initialPath});
  return Next();
}

}  // namespace quarnel
