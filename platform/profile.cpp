#include "platform/profile.h"

#include <QSettings>

namespace quarnel {

namespace {

QString Key(const QString& section, const QString& entry) {
  return section + QLatin1Char('/') + entry;
}

}  // namespace

bool Profile::WriteStrings(const QString& section,
                           const std::vector<std::pair<QString, QString>>& entries) {
  bool ok = true;
  for (const auto& [entry, value] : entries) ok = WriteString(section, entry, value) && ok;
  return ok;
}

int ParseProfileInt(const QString& text, int defaultValue) {
  bool ok = false;
  const int value = text.trimmed().toInt(&ok, 10);
  return ok ? value : defaultValue;
}

// On Linux the native format is the INI text format, in a file named .conf
// as the desktop's other programs name theirs.
SettingsProfile::SettingsProfile()
    : settings_(std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope,
                                            QString::fromLatin1(kOrganisation),
                                            QString::fromLatin1(kApplication))) {}

SettingsProfile::SettingsProfile(const QString& iniPath)
    : settings_(std::make_unique<QSettings>(iniPath, QSettings::IniFormat)) {}

SettingsProfile::~SettingsProfile() = default;

QString SettingsProfile::FileName() const {
  return settings_->fileName();
}

int SettingsProfile::GetInt(const QString& section, const QString& entry, int defaultValue) const {
  const QVariant value = settings_->value(Key(section, entry));
  if (!value.isValid()) {
    return defaultValue;
  }
  return ParseProfileInt(value.toString(), defaultValue);
}

bool SettingsProfile::WriteInt(const QString& section, const QString& entry, int value) {
  return Write(section, entry, QString::number(value));
}

QString SettingsProfile::GetString(const QString& section, const QString& entry,
                                   const QString& defaultValue) const {
  const QVariant value = settings_->value(Key(section, entry));
  return value.isValid() ? value.toString() : defaultValue;
}

bool SettingsProfile::WriteString(const QString& section, const QString& entry,
                                  const QString& value) {
  return Write(section, entry, value);
}

bool SettingsProfile::WriteStrings(const QString& section,
                                   const std::vector<std::pair<QString, QString>>& entries) {
  // One trip to the disk for the lot: each sync rewrites the whole file
  // through a locked temporary file, flushed to the disk twice.
  for (const auto& [entry, value] : entries) settings_->setValue(Key(section, entry), value);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

bool SettingsProfile::Write(const QString& section, const QString& entry, const QString& text) {
  // Every write goes to the file at once, as the preferences dialog expects
  // its values to survive a crash of the program right after it closes.
  settings_->setValue(Key(section, entry), text);
  settings_->sync();
  return settings_->status() == QSettings::NoError;
}

int MemoryProfile::GetInt(const QString& section, const QString& entry, int defaultValue) const {
  const auto it = values_.find({section, entry});
  return it == values_.end() ? defaultValue : ParseProfileInt(it->second, defaultValue);
}

bool MemoryProfile::WriteInt(const QString& section, const QString& entry, int value) {
  return WriteString(section, entry, QString::number(value));
}

QString MemoryProfile::GetString(const QString& section, const QString& entry,
                                 const QString& defaultValue) const {
  const auto it = values_.find({section, entry});
  return it == values_.end() ? defaultValue : it->second;
}

bool MemoryProfile::WriteString(const QString& section, const QString& entry,
                                const QString& value) {
  if (!writable_) {
    return false;
  }
  values_[{section, entry}] = value;
  return true;
}

bool MemoryProfile::Contains(const QString& section, const QString& entry) const {
  return values_.count({section, entry}) != 0;
}

}  // namespace quarnel
