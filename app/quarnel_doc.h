// The document: one open mesh file. It owns the mesh holder, opens a file
// into the mesh type that the run's mode and the file's attributes call for,
// saves the editable mesh, exports any mesh, and runs the mesh commands.
#pragma once

#include <QString>
#include <functional>
#include <string>

#include "app/mesh_holder.h"
#include "platform/command_target.h"
#include "platform/document.h"

class QWidget;

namespace quarnel {

class FileDialogs;
class IdlePass;
class MessageSink;
class ProgressReporter;

// What a document needs of the application around it.
struct DocumentServices {
  bool editMode = false;
  MessageSink* messages = nullptr;
  ProgressReporter* progress = nullptr;
  FileDialogs* dialogs = nullptr;
  QWidget* dialogParent = nullptr;
  // The application's idle pass, held while a file opens.
  IdlePass* idle = nullptr;
};

class CQuarnelDoc final : public Document {
 public:
  explicit CQuarnelDoc(const DocumentServices& services);
  ~CQuarnelDoc() override;

  bool OnNewDocument() override;
  bool OnOpenDocument(const QString& path) override;
  bool OnSaveDocument(const QString& path) override;

  bool OnCommand(int id) override {
    return RunCommand([this, id] { return commands_.OnCommand(id); });
  }
  bool HandlesCommand(int id) const override { return commands_.HandlesCommand(id); }
  bool OnUpdate(int id, CommandState& state) override { return commands_.OnUpdate(id, state); }
  // Runs a command of the document or of one of its views; its result, or
  // true when it ran out of memory. Such a command ends with a message, and
  // the views show the mesh as it left it: the commands allocate before they
  // change the mesh, or cut a copy of it.
  bool RunCommand(const std::function<bool()>& command);

  MeshHolder& Holder() { return m_holder; }
  const MeshHolder& Holder() const { return m_holder; }
  // True while no open has succeeded yet, and during an open: views draw
  // nothing then.
  bool Loading() const { return m_loading; }
  // The opened path up to and including its last '/'; empty when it has none.
  const std::string& Folder() const { return m_folder; }
  // The path last given to the open, which Reload opens again.
  const QString& OpenedPath() const { return m_path; }

  // Commands.
  void OnMaterialDull() { OnMaterialPreset(1); }
  void OnMaterialMoreShiny() { OnMaterialPreset(3); }
  void OnMaterialPreset2() { OnMaterialPreset(2); }
  void OnMaterialPureWhite() { OnMaterialPreset(0); }
  // Save and the mesh commands are for the editable mesh only.
  void OnUpdateFileSave(CommandState& state) const;
  void OnUnifyDuplicatedVertices();
  void OnRemoveUnrefVert();
  void OnOptimizeCurvature();
  void OnFlipNormals();
  void OnRemoveDegenerateFaces();
  void OnFileExport();
  void OnFileReload();

  MeshHolder m_holder;
  bool m_loading = true;
  std::string m_folder;
  QString m_path;

 private:
  void BuildCommands();
  void OnMaterialPreset(int preset);
  void UpdateAllViews();
  // The end of every command that changed the editable mesh.
  void EditableMeshChanged(bool redraw);
  void ShowMessage(const QString& text);
  // Probes and loads the file into the holder: an empty text when the mesh
  // is loaded, else the message of what stopped it, a shortage of memory
  // included. `path` names the file in the message.
  QString ReadMesh(const InputFile& file, const QString& path, IoMask& mask);

  DocumentServices services_;
  CommandMap commands_;
};

// The progress callback handed to the importers: moves the reporter and
// names the phase; always goes on.
LoadProgressCallback MakeLoadProgressCallback(ProgressReporter* progress);

}  // namespace quarnel
