#pragma once

#include <QString>
#include <map>
#include <memory>
#include <utility>
#include <vector>

class QSettings;

namespace quarnel {

// The user's preference store: named values grouped in sections. Reads fall
// back to the caller's default when a value is missing or unreadable; writes
// report whether the value reached the store.
class Profile {
 public:
  virtual ~Profile() = default;

  virtual int GetInt(const QString& section, const QString& entry, int defaultValue) const = 0;
  virtual bool WriteInt(const QString& section, const QString& entry, int value) = 0;
  virtual QString GetString(const QString& section, const QString& entry,
                            const QString& defaultValue) const = 0;
  virtual bool WriteString(const QString& section, const QString& entry, const QString& value) = 0;
  // Writes several entries of one section, in order; true when every one was
  // written. A store on disk writes them to the file together, once.
  virtual bool WriteStrings(const QString& section,
                            const std::vector<std::pair<QString, QString>>& entries);
};

// The program's store: an INI file in the user's configuration folder
// ($XDG_CONFIG_HOME/Kelvor/Quarnel.conf), one INI group per section.
// Qt writes the file through a temporary file renamed over the old one, so a
// failed write never leaves a half-written profile.
class SettingsProfile final : public Profile {
 public:
  static constexpr const char* kOrganisation = "Kelvor";
  static constexpr const char* kApplication = "Quarnel";

  SettingsProfile();
  // A store in the given INI file (tests, or a profile outside the usual place).
  explicit SettingsProfile(const QString& iniPath);
  ~SettingsProfile() override;

  int GetInt(const QString& section, const QString& entry, int defaultValue) const override;
  bool WriteInt(const QString& section, const QString& entry, int value) override;
  QString GetString(const QString& section, const QString& entry,
                    const QString& defaultValue) const override;
  bool WriteString(const QString& section, const QString& entry, const QString& value) override;
  bool WriteStrings(const QString& section,
                    const std::vector<std::pair<QString, QString>>& entries) override;

  // Path of the INI file behind the store.
  QString FileName() const;

 private:
  bool Write(const QString& section, const QString& entry, const QString& text);

  std::unique_ptr<QSettings> settings_;
};

// A store in memory, for tests of code that reads or writes preferences.
class MemoryProfile final : public Profile {
 public:
  int GetInt(const QString& section, const QString& entry, int defaultValue) const override;
  bool WriteInt(const QString& section, const QString& entry, int value) override;
  QString GetString(const QString& section, const QString& entry,
                    const QString& defaultValue) const override;
  bool WriteString(const QString& section, const QString& entry, const QString& value) override;

  // Makes every later write fail, as a full disk or a read-only folder would.
  void SetWritable(bool writable) { writable_ = writable; }
  bool Contains(const QString& section, const QString& entry) const;

 private:
  std::map<std::pair<QString, QString>, QString> values_;
  bool writable_ = true;
};

// Reads a profile text as an int: decimal digits with an optional sign, blanks
// around allowed, within the range of int. Anything else gives the default.
int ParseProfileInt(const QString& text, int defaultValue);

}  // namespace quarnel
