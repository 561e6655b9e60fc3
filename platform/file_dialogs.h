#pragma once

#include <QString>
#include <deque>
#include <optional>
#include <vector>

class QWidget;

namespace quarnel {

// The file choosers. Filters are in Qt's form: "STL File (*.stl);;Wavefront
// Obj (*.obj)". The program uses QtFileDialogs; tests use ScriptedFileDialogs.
class FileDialogs {
 public:
  virtual ~FileDialogs() = default;

  // An existing file to open; nothing when the user cancels.
  virtual std::optional<QString> GetOpenFileName(QWidget* parent, const QString& filter) = 0;
  // A file name to save to. defaultExtension (without the dot) is added to
  // a name typed without one; when the chosen filter names a single
  // extension, that one is added instead. Replacing an existing file asks
  // the user first. Nothing when the user cancels.
  virtual std::optional<QString> GetSaveFileName(QWidget* parent, const QString& filter,
                                                 const QString& defaultExtension,
                                                 const QString& initialPath) = 0;
};

class QtFileDialogs final : public FileDialogs {
 public:
  std::optional<QString> GetOpenFileName(QWidget* parent, const QString& filter) override;
  std::optional<QString> GetSaveFileName(QWidget* parent, const QString& filter,
                                         const QString& defaultExtension,
                                         const QString& initialPath) override;
};

// Answers from a queue and records every request, for tests. With the queue
// empty a dialog is cancelled.
class ScriptedFileDialogs final : public FileDialogs {
 public:
  struct Request {
    bool save;
    QString filter;
    QString defaultExtension;
    QString initialPath;
  };

  void QueueAnswer(std::optional<QString> answer) { answers_.push_back(std::move(answer)); }
  const std::vector<Request>& Requests() const { return requests_; }

  std::optional<QString> GetOpenFileName(QWidget* parent, const QString& filter) override;
  std::optional<QString> GetSaveFileName(QWidget* parent, const QString& filter,
                                         const QString& defaultExtension,
                                         const QString& initialPath) override;

 private:
  std::optional<QString> Next();

  std::deque<std::optional<QString>> answers_;
  std::vector<Request> requests_;
};

// Turns a filter written as "Name (*.a)|*.a|Other (*.b)|*.b||" (description
// and pattern pairs separated by bars) into Qt's form. A description that
// already shows its patterns in parentheses is kept; otherwise the patterns
// are added to it, so that Qt can read them.
QString QtFilterFromBarFilter(const QString& barFilter);

// The single extension that a Qt filter entry names ("STL File (*.stl)" ->
// "stl"); empty when it names none or several.
QString SingleFilterExtension(const QString& filterEntry);

// The text after the last dot of the file name part of path, as typed (no
// case folding); empty when the name has no dot.
QString FileExtension(const QString& path);

}  // namespace quarnel
