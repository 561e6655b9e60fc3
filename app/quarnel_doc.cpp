#include "app/quarnel_doc.h"

#include <QFile>

#include <new>
#include <stdexcept>
#include <utility>

#include "app/command_ids.h"
#include "core/clean.h"
#include "core/curvature_flip.h"
#include "core/normals.h"
#include "core/topology.h"
#include "io/input_file.h"
#include "io/ply_types.h"
#include "platform/document_manager.h"
#include "platform/file_dialogs.h"
#include "platform/framework_commands.h"
#include "platform/idle_pass.h"
#include "platform/messages.h"
#include "platform/progress_window.h"
#include "platform/wait_cursor.h"

namespace quarnel {

namespace {

const char kTextureWarning[] =
    "Ply Warning, mesh has texures specified in the comments but no tex coords.\n";
const char kOverwriteQuestion[] = "Are you sure to overwrite the currently opened file?";
const char kCommandOutOfMemory[] = "Not enough memory to complete the command.";
const char kExportFilter[] =
    "VRML File (*.wrl)|*.wrl|Wavefront Obj (*.obj)|*.obj|STL File (*.stl)|*.stl||";

// File names go to the readers and writers in the system's encoding.
std::string LocalPath(const QString& path) { return QFile::encodeName(path).toStdString(); }

// A name that holds a NUL names no file the writers may make: the system
// would take only the part before it, another file.
bool WritableName(const QString& path) { return !path.contains(QChar(u'\0')); }

// Nothing else of the program runs while a file opens, not even inside the
// event loop of a message box the open shows: the idle pass and the boxes
// deferred from paints wait until the open is over.
class OpenInProgress {
 public:
  explicit OpenInProgress(const DocumentServices& services) : services_(services) {
    if (services_.idle) services_.idle->Hold();
    if (services_.messages) services_.messages->HoldDeferred();
  }
  ~OpenInProgress() {
    if (services_.messages) services_.messages->ReleaseDeferred();
    if (services_.idle) services_.idle->Release();
  }
  OpenInProgress(const OpenInProgress&) = delete;
  OpenInProgress& operator=(const OpenInProgress&) = delete;

 private:
  const DocumentServices& services_;
};

}  // namespace

LoadProgressCallback MakeLoadProgressCallback(ProgressReporter* progress) {
  return [progress](int percent, const char* caption) {
    if (progress) progress->Report(percent, caption);
    return 1;
  };
}

CQuarnelDoc::CQuarnelDoc(const DocumentServices& services) : services_(services) {
  m_holder.m_material.SetPreset(1);
  BuildCommands();
}

CQuarnelDoc::~CQuarnelDoc() = default;

void CQuarnelDoc::OnUpdateFileSave(CommandState& state) const { state.enabled = m_holder.Tag() == 5; }

void CQuarnelDoc::BuildCommands() {
  auto editable = [this](CommandState& s) { OnUpdateFileSave(s); };
  commands_.On(cmd::kMaterialDull, [this] { OnMaterialDull(); })
      .On(cmd::kMaterialMoreShiny, [this] { OnMaterialMoreShiny(); })
      .On(cmd::kMaterialShiny, [this] { OnMaterialPreset2(); })
      .Update(framework_command::kFileSave, editable)
      .Update(framework_command::kFileSaveAs, editable)
      .On(cmd::kUnifyDuplicatedVertices, [this] { OnUnifyDuplicatedVertices(); }, editable)
      .On(cmd::kRemoveUnrefVert, [this] { OnRemoveUnrefVert(); }, editable)
      .On(cmd::kOptimizeCurvature, [this] { OnOptimizeCurvature(); }, editable)
      .On(cmd::kMaterialPureWhite, [this] { OnMaterialPureWhite(); })
      .On(cmd::kFlipNormals, [this] { OnFlipNormals(); }, editable)
      .On(cmd::kFileExport, [this] { OnFileExport(); })
      .On(cmd::kRemoveDegenerateFaces, [this] { OnRemoveDegenerateFaces(); }, editable)
      // A document made by File New has no file to read again.
      .On(cmd::kFileReload, [this] { OnFileReload(); },
          [this](CommandState& s) { s.enabled = !m_path.isEmpty(); });
}

void CQuarnelDoc::ShowMessage(const QString& text) {
  if (services_.messages) services_.messages->Show(text, MessageButtons::Ok);
}

bool CQuarnelDoc::RunCommand(const std::function<bool()>& command) {
  const bool loading = m_loading;
  try {
    return command();
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  m_loading = loading;
  // Box, normals and counts are taken again from the mesh as it stands.
  m_holder.m_drawer5.Update(GlChange::All);
  m_holder.MeshChanged();
  ShowMessage(QString::fromLatin1(kCommandOutOfMemory));
  UpdateAllViews();
  return true;
}

void CQuarnelDoc::UpdateAllViews() {
  if (Manager()) Manager()->UpdateAllViews(*this);
}

bool CQuarnelDoc::OnNewDocument() { return true; }

QString CQuarnelDoc::ReadMesh(const InputFile& file, const QString& path, IoMask& mask) {
  try {
    // The probe reads the header alone. Its box comes before the progress
    // window, which must not stand empty behind it.
    if (!m_holder.ProbeFile(file)) ShowMessage(PlyErrorText(m_holder.ErrorCode()));
    if (services_.progress) services_.progress->Begin();
    if (services_.editMode) m_holder.SetTag(5);
    if (m_holder.Load(file, mask, MakeLoadProgressCallback(services_.progress))) return {};
    return QString::fromLatin1(PlyErrorText(m_holder.ErrorCode()));
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  }
  // The holder replaces its mesh only once the whole file is read: what it
  // showed, it shows still.
  return QStringLiteral("Not enough memory to open the file \"%1\".").arg(path);
}

bool CQuarnelDoc::OnOpenDocument(const QString& path) {
  const OpenInProgress opening(services_);
  // Opened once for the probe and the load alike; anything but a regular
  // file (a pipe, a device, a folder) is refused here without waiting on it.
  const std::string local = LocalPath(path);
  InputFile file;
  if (!file.Open(local)) {
    ShowMessage(QStringLiteral("Cannot open the file \"%1\".").arg(path));
    return false;
  }

  const int slash = path.lastIndexOf(QLatin1Char('/'));
  m_folder = slash >= 0 ? LocalPath(path.left(slash + 1)) : std::string();
  m_path = path;

  // A reload that fails must leave the document showing what it showed.
  const bool wasLoading = m_loading;
  const int previousTag = m_holder.Tag();
  m_loading = true;
  m_holder.SetTag(1);

  IoMask mask = 0;
  const QString failure = ReadMesh(file, path, mask);
  if (!failure.isEmpty()) {
    // The box is the user's next step; the progress window has nothing more
    // to say and must not stay up behind it (a start from the command line
    // shows no other window yet).
    if (services_.progress) services_.progress->End();
    ShowMessage(failure);
    if (previousTag != 0) {
      m_holder.SetTag(previousTag);
      m_loading = wasLoading;
    }
    return false;
  }

  std::vector<std::string>* textures = m_holder.MutableTextureNames();
  std::vector<std::string>* normalMaps = m_holder.MutableNormalMapNames();
  if (!textures->empty() || !normalMaps->empty()) {
    if (!(mask & io_mask::WedgeTexCoord)) {
      ShowMessage(QString::fromLatin1(kTextureWarning));
      textures->clear();
      normalMaps->clear();
    }
    m_holder.m_material.SetPreset(0);
  }

  if (services_.progress) services_.progress->End();
  m_loading = false;
  return true;
}

bool CQuarnelDoc::OnSaveDocument(const QString& path) {
  if (path == PathName() && services_.messages &&
      services_.messages->Show(QString::fromLatin1(kOverwriteQuestion), MessageButtons::OkCancel) !=
          MessageAnswer::Ok)
    return false;
  if (!WritableName(path) || m_holder.Save(LocalPath(path).c_str()) != 0) {
    ShowMessage(QStringLiteral("Could not save the file \"%1\".").arg(path));
    return false;
  }
  return true;
}

void CQuarnelDoc::OnMaterialPreset(int preset) {
  m_holder.m_material.SetPreset(preset);
  UpdateAllViews();
}

void CQuarnelDoc::EditableMeshChanged(bool redraw) {
  BuildFaceFaceAdjacency(m_holder.m_mesh5);
  m_holder.m_drawer5.Update(GlChange::All);
  m_holder.MeshChanged();
  if (redraw) UpdateAllViews();
}

void CQuarnelDoc::OnUnifyDuplicatedVertices() {
  WaitCursor wait;
  MergeDuplicateVertices(m_holder.m_mesh5);
  EditableMeshChanged(true);
}

void CQuarnelDoc::OnRemoveUnrefVert() {
  WaitCursor wait;
  RemoveUnreferencedVertices(m_holder.m_mesh5);
  m_holder.m_drawer5.Update(GlChange::All);
  m_holder.MeshChanged();
  UpdateAllViews();
}

void CQuarnelDoc::OnOptimizeCurvature() {
  WaitCursor wait;
  MeshT5& mesh = m_holder.m_mesh5;
  BuildFaceFaceAdjacency(mesh);
  ComputeFaceNormals(mesh, true);
  OptimizeCurvature(mesh, false);
  m_holder.m_drawer5.Update(GlChange::All);
  m_holder.MeshChanged();
  UpdateAllViews();
}

void CQuarnelDoc::OnFlipNormals() {
  WaitCursor wait;
  for (FaceT5& f : m_holder.m_mesh5.faces) {
    if (!IsLive(f.flags)) continue;
    // The texture coordinates belong to the corners: they turn with them.
    std::swap(f.v[0], f.v[1]);
    std::swap(f.wedge[0], f.wedge[1]);
  }
  // The views show the new orientation at their next redraw.
  EditableMeshChanged(false);
}

void CQuarnelDoc::OnRemoveDegenerateFaces() {
  WaitCursor wait;
  RemoveDegenerateFaces(m_holder.m_mesh5);
  EditableMeshChanged(true);
}

void CQuarnelDoc::OnFileExport() {
  if (!services_.dialogs) return;
  std::optional<QString> chosen = services_.dialogs->GetSaveFileName(
      services_.dialogParent, QtFilterFromBarFilter(QString::fromLatin1(kExportFilter)),
      QStringLiteral("wrl"), QString());
  if (!chosen) return;
  const QString ext = FileExtension(*chosen);
  const std::string local = LocalPath(*chosen);
  const bool named = WritableName(*chosen);
  bool written = false;
  if (ext == QLatin1String("wrl"))
    written = named && m_holder.ExportVrml(local.c_str());
  else if (ext == QLatin1String("obj"))
    written = named && m_holder.ExportObj(local.c_str());
  else if (ext == QLatin1String("stl"))
    written = named && m_holder.ExportStl(local.c_str());
  else
    return;
  if (!written) ShowMessage(QStringLiteral("Could not export the file \"%1\".").arg(*chosen));
}

void CQuarnelDoc::OnFileReload() {
  if (m_path.isEmpty()) return;
  WaitCursor wait;
  const QString path = m_path;
  OnOpenDocument(path);
  // The views show the mesh as it now is.
  UpdateAllViews();
}

}  // namespace quarnel
