#pragma once

#include <QString>
#include <QStringList>

namespace quarnel {

class Profile;

// The most-recently-used file list of the File menu: newest first, no
// duplicates, at most Capacity() entries, kept in the profile section
// "Recent File List" as "File1", "File2", ...
class RecentFileList {
 public:
  static constexpr const char* kSection = "Recent File List";
  static constexpr int kDefaultCapacity = 4;

  explicit RecentFileList(Profile& profile, int capacity = kDefaultCapacity);

  // Replaces the list with the profile's entries; empty entries are skipped.
  void Load();
  // Writes every slot: the entries, then empty texts for the unused slots so
  // that a shortened list does not come back at the next start.
  bool Save() const;

  // Puts the path first (an absolute, cleaned form of it), removing an equal
  // older entry and the entry that falls off the end.
  void Add(const QString& path);
  void Remove(int index);

  int Capacity() const { return capacity_; }
  int Size() const { return static_cast<int>(paths_.size()); }
  bool Empty() const { return paths_.isEmpty(); }
  // The path at index, or an empty text outside the list.
  QString At(int index) const;
  const QStringList& Paths() const { return paths_; }

  // The menu text of entry index: "&1 " and the path, with every '&' of the
  // path doubled so that it is shown rather than taken as a mnemonic.
  QString MenuText(int index) const;

 private:
  Profile& profile_;
  int capacity_;
  QStringList paths_;
};

}  // namespace quarnel
