#pragma once

#include <QString>
#include <memory>

#include "platform/command_target.h"

class QWidget;

namespace quarnel {

class DocumentManager;

// One open file of the program. The document manager creates it through the
// program's DocumentTemplate, calls one of the On...Document operations, and
// gives it views (one per document window); it owns the document and deletes
// it after its last view is gone.
//
// A document is also a command target: it sits after its active view on the
// command chain.
class Document : public CommandTarget {
 public:
  ~Document() override = default;

  // A document made by File New. False discards it.
  virtual bool OnNewDocument() { return true; }
  // Reads the file at path. False discards a new document; the operation
  // reports its own failure to the user.
  virtual bool OnOpenDocument(const QString& path) = 0;
  // Writes the document to path. False leaves the path and title as they
  // were; the operation reports its own failure to the user.
  virtual bool OnSaveDocument(const QString& path) = 0;

  bool OnCommand(int) override { return false; }
  bool HandlesCommand(int) const override { return false; }
  bool OnUpdate(int, CommandState&) override { return false; }

  // The file the document was opened from or last saved to; empty for a
  // document made by File New.
  const QString& PathName() const { return pathName_; }
  // The name shown in window titles: the file name, or "Untitled" and a
  // number for a new document.
  const QString& Title() const { return title_; }
  DocumentManager* Manager() const { return manager_; }

 private:
  friend class DocumentManager;

  QString pathName_;
  QString title_;
  DocumentManager* manager_ = nullptr;
};

// Makes the program's documents and their views.
class DocumentTemplate {
 public:
  virtual ~DocumentTemplate() = default;

  virtual std::unique_ptr<Document> CreateDocument() = 0;
  // A new view of doc. The manager puts it into a document window, which
  // owns it from then on.
  virtual QWidget* CreateView(Document& doc) = 0;

  // File dialog filter of the document files ("Ply Meshes (*.ply)") and
  // their extension without the dot ("ply").
  virtual QString FileFilter() const = 0;
  virtual QString DefaultExtension() const = 0;
  // Base of the titles of new documents ("Untitled" gives "Untitled1", ...).
  virtual QString UntitledName() const { return QStringLiteral("Untitled"); }
};

}  // namespace quarnel
