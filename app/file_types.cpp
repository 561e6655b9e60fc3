#include "app/file_types.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTextStream>

#include "platform/program_icon.h"

namespace quarnel {

namespace {

const QString kDefaultApplications = QStringLiteral("Default Applications");
const QString kAddedAssociations = QStringLiteral("Added Associations");
constexpr int kToolTimeoutMs = 10000;
// The size of the icon the desktop entry names.
constexpr int kIconSize = 128;

QString FromEnvironment(const char* name, const QString& fallback) {
  const QString value = qEnvironmentVariable(name);
  return QDir::isAbsolutePath(value) ? QDir::cleanPath(value) : fallback;
}

bool IsSectionHeader(const QString& trimmed) {
  return trimmed.startsWith(QLatin1Char('[')) && trimmed.endsWith(QLatin1Char(']'));
}

// Through a temporary file in the target's folder, renamed over the target
// only when every write and the close succeeded.
bool WriteWhole(const QString& path, const QByteArray& bytes) {
  if (!QDir().mkpath(QFileInfo(path).absolutePath())) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}
bool WriteWhole(const QString& path, const QString& text) { return WriteWhole(path, text.toUtf8()); }

// A desktop entry's string value: backslashes and line breaks escaped.
QString DesktopString(const QString& value) {
  QString escaped;
  for (QChar c : value) {
    if (c == QLatin1Char('\\'))
      escaped += QStringLiteral("\\\\");
    else if (c == QLatin1Char('\n'))
      escaped += QStringLiteral("\\n");
    else
      escaped += c;
  }
  return escaped;
}

// The file's text; empty when it does not exist or cannot be read.
QString ReadText(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return QString();
  return QString::fromUtf8(file.readAll());
}

void RunTool(const QString& tool, const QString& folder) {
  const QString program = QStandardPaths::findExecutable(tool);
  if (program.isEmpty() || !QFileInfo(folder).isDir()) return;
  QProcess process;
  process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  process.setStandardOutputFile(QProcess::nullDevice());
  process.start(program, {folder});
  if (!process.waitForStarted(kToolTimeoutMs)) return;
  if (!process.waitForFinished(kToolTimeoutMs)) {
    process.kill();
    process.waitForFinished(kToolTimeoutMs);
  }
}

}  // namespace

QString XdgFolders::MimePackage() const {
  return dataHome + QStringLiteral("/mime/packages/") + QLatin1String(kMimePackageFile);
}
QString XdgFolders::DesktopEntry() const {
  return dataHome + QStringLiteral("/applications/") + QLatin1String(kDesktopFile);
}
QString XdgFolders::MimeApps() const {
  return configHome + QStringLiteral("/mimeapps.list");
}
QString XdgFolders::LegacyMimeApps() const {
  return dataHome + QStringLiteral("/applications/mimeapps.list");
}
QString XdgFolders::IconFile() const {
  return dataHome + QStringLiteral("/icons/hicolor/%1x%1/apps/quarnel.png").arg(kIconSize);
}

XdgFolders UserXdgFolders() {
  const QString home = QDir::homePath();
  return {FromEnvironment("XDG_DATA_HOME", home + QStringLiteral("/.local/share")),
          FromEnvironment("XDG_CONFIG_HOME", home + QStringLiteral("/.config"))};
}

QStringList PlyMimeTypes() {
  return {QLatin1String(kPlyMimeType),         QStringLiteral("model/ply"),
          QStringLiteral("model/x-ply"),       QStringLiteral("application/ply"),
          QStringLiteral("application/x-ply"), QStringLiteral("text/x-ply")};
}

QString MimeAppsWithout(const QString& text, const QStringList& mimeTypes) {
  QStringList kept;
  for (const QString& line : text.split(QLatin1Char('\n'))) {
    const QString trimmed = line.trimmed();
    const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
    if (!IsSectionHeader(trimmed) && equals > 0 &&
        mimeTypes.contains(trimmed.left(equals).trimmed()))
      continue;
    kept << line;
  }
  return kept.join(QLatin1Char('\n'));
}

QString MimeAppsWith(const QString& text, const QString& section, const QString& key,
                     const QString& value) {
  QStringList lines = text.isEmpty() ? QStringList() : text.split(QLatin1Char('\n'));
  const QString header = QLatin1Char('[') + section + QLatin1Char(']');
  const QString entry = key + QLatin1Char('=') + value;
  // The text ends with a line break: the split leaves an empty last line
  // that new lines go before.
  if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
  qsizetype at = -1;
  for (qsizetype i = 0; i < lines.size(); ++i)
    if (lines[i].trimmed() == header) at = i;
  if (at < 0) {
    if (!lines.isEmpty() && !lines.last().trimmed().isEmpty()) lines << QString();
    lines << header << entry;
  } else {
    bool replaced = false;
    qsizetype end = at + 1;
    for (; end < lines.size() && !IsSectionHeader(lines[end].trimmed()); ++end) {
      const QString trimmed = lines[end].trimmed();
      const qsizetype equals = trimmed.indexOf(QLatin1Char('='));
      if (equals > 0 && trimmed.left(equals).trimmed() == key) {
        lines[end] = entry;
        replaced = true;
      }
    }
    if (!replaced) lines.insert(at + 1, entry);
  }
  return lines.join(QLatin1Char('\n')) + QLatin1Char('\n');
}

QString DesktopExecArgument(const QString& program) {
  // Inside double quotes the Exec rules want ", `, $ and \ escaped with a
  // backslash; the file's string rules then double every backslash again.
  // A literal % is written %%.
  QString quoted;
  for (QChar c : program) {
    if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$'))
      quoted += QStringLiteral("\\\\") + c;
    else if (c == QLatin1Char('\\'))
      quoted += QStringLiteral("\\\\\\\\");
    else if (c == QLatin1Char('%'))
      quoted += QStringLiteral("%%");
    else
      quoted += c;
  }
  return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QString DesktopEntryText(const QString& program, const QString& icon) {
  QString text;
  QTextStream out(&text);
  out << "[Desktop Entry]\n"
      << "Type=Application\n"
      << "Name=Quarnel\n"
      << "Comment=" << kPlyTypeName << " viewer\n"
      << "Exec=" << DesktopExecArgument(program) << " -" << kShellOpenSwitch << " %f\n"
      << "MimeType=" << kPlyMimeType << ";\n"
      << "Terminal=false\n"
      << "Categories=Graphics;3DGraphics;Viewer;\n";
  if (!icon.isEmpty()) out << "Icon=" << DesktopString(icon) << "\n";
  return text;
}

QString MimePackageText() {
  QString text;
  QTextStream out(&text);
  out << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
      << "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
      << "  <mime-type type=\"" << kPlyMimeType << "\">\n"
      << "    <comment>" << kPlyTypeName << "</comment>\n"
      << "    <glob pattern=\"*.ply\"/>\n"
      << "  </mime-type>\n"
      << "</mime-info>\n";
  return text;
}

void RemovePlyAssociations(const XdgFolders& folders) {
  QFile::remove(folders.MimePackage());
  QFile::remove(folders.DesktopEntry());
  for (const QString& list : {folders.MimeApps(), folders.LegacyMimeApps()}) {
    if (!QFileInfo::exists(list)) continue;
    const QString text = ReadText(list);
    const QString kept = MimeAppsWithout(text, PlyMimeTypes());
    if (kept != text) WriteWhole(list, kept);
  }
}

bool RegisterPlyFileType(const XdgFolders& folders, const QString& program) {
  bool ok = WriteWhole(folders.MimePackage(), MimePackageText());
  // A desktop entry without its icon still opens files: it then names none.
  const QByteArray icon = ProgramIconFile(kIconSize);
  const bool iconWritten = !icon.isEmpty() && WriteWhole(folders.IconFile(), icon);
  ok = iconWritten && ok;
  ok = WriteWhole(folders.DesktopEntry(),
                  DesktopEntryText(program, iconWritten ? folders.IconFile() : QString())) &&
       ok;
  const QString type = QLatin1String(kPlyMimeType);
  const QString desktop = QLatin1String(kDesktopFile);
  QString list = ReadText(folders.MimeApps());
  list = MimeAppsWith(list, kDefaultApplications, type, desktop);
  list = MimeAppsWith(list, kAddedAssociations, type, desktop + QLatin1Char(';'));
  return WriteWhole(folders.MimeApps(), list) && ok;
}

void NotifyAssociationsChanged(const XdgFolders& folders) {
  RunTool(QStringLiteral("update-mime-database"), folders.dataHome + QStringLiteral("/mime"));
  RunTool(QStringLiteral("update-desktop-database"),
          folders.dataHome + QStringLiteral("/applications"));
}

}  // namespace quarnel
