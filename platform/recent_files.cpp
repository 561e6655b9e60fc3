#include "platform/recent_files.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

#include "platform/profile.h"

namespace quarnel {

namespace {

QString EntryName(int index) {
  return QStringLiteral("File%1").arg(index + 1);
}

QString Normalised(const QString& path) {
  return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

}  // namespace

RecentFileList::RecentFileList(Profile& profile, int capacity)
    : profile_(profile), capacity_(std::max(1, capacity)) {}

void RecentFileList::Load() {
  paths_.clear();
  const QString section = QString::fromLatin1(kSection);
  for (int i = 0; i < capacity_; ++i) {
    const QString path = profile_.GetString(section, EntryName(i), QString());
    // An edited profile may hold a NUL, which no file name does.
    if (!path.isEmpty() && !path.contains(QChar(u'\0')) && !paths_.contains(path)) {
      paths_.append(path);
    }
  }
}

bool RecentFileList::Save() const {
  std::vector<std::pair<QString, QString>> entries;
  for (int i = 0; i < capacity_; ++i) {
    entries.emplace_back(EntryName(i), At(i));
  }
  return profile_.WriteStrings(QString::fromLatin1(kSection), entries);
}

void RecentFileList::Add(const QString& path) {
  if (path.isEmpty() || path.contains(QChar(u'\0'))) {
    return;
  }
  const QString clean = Normalised(path);
  paths_.removeAll(clean);
  paths_.prepend(clean);
  while (paths_.size() > capacity_) {
    paths_.removeLast();
  }
}

void RecentFileList::Remove(int index) {
  if (index >= 0 && index < paths_.size()) {
    paths_.removeAt(index);
  }
}

QString RecentFileList::At(int index) const {
  return index >= 0 && index < paths_.size() ? paths_.at(index) : QString();
}

QString RecentFileList::MenuText(int index) const {
  QString path = At(index);
  path.replace(QLatin1Char('&'), QLatin1String("&&"));
  return QStringLiteral("&%1 %2").arg(index + 1).arg(path);
}

}  // namespace quarnel
