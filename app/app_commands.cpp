// The application's own commands: Preferences, About and File Types, and
// the route by which the loaders below the Qt layer ask the user.
#include <QCoreApplication>
#include <QDialog>
#include <QOpenGLContext>

#include "app/about_dialog.h"
#include "app/command_ids.h"
#include "app/file_types.h"
#include "app/main_frame.h"
#include "app/pref_dialog.h"
#include "app/quarnel_app.h"
#include "app/user_prompt.h"
#include "platform/messages.h"
#include "platform/profile.h"

namespace quarnel {

void CQuarnelApp::BuildCommands() {
  map_.On(cmd::kAppAbout, [this] { OnAppAbout(); })
      .On(cmd::kPreferences, [this] { OnPreferences(); })
      .On(cmd::kFileTypes, [this] { OnFileTypes(); });
}

void CQuarnelApp::InstallUserPrompt() {
  SetUserPrompt([this](const std::string& text, PromptButtons buttons) {
    // The loaders ask with a view's context current; the box may let other
    // views paint meanwhile, which makes their own contexts current.
    QOpenGLContext* context = QOpenGLContext::currentContext();
    QSurface* surface = context ? context->surface() : nullptr;
    const MessageAnswer answer = messages_->Show(
        QString::fromStdString(text),
        buttons == PromptButtons::YesNo ? MessageButtons::YesNo : MessageButtons::Ok);
    if (context && surface && QOpenGLContext::currentContext() != context)
      context->makeCurrent(surface);
    return buttons == PromptButtons::Ok || answer == MessageAnswer::Yes;
  });
}

void CQuarnelApp::OnPreferences() {
  CPrefDlg dialog(*messages_, mainFrame_ ? &mainFrame_->Window() : nullptr);
  dialog.m_showTrackBall = m_showTrackBallAtStart ? 1 : 0;
  dialog.m_flipTextures = m_flipTextures ? 1 : 0;
  dialog.m_smallFontHeight = m_smallFontHeight;
  dialog.m_largeFontHeight = m_largeFontHeight;
  dialog.m_halveTextureSize = m_halveTextureSize ? 1 : 0;
  if (dialog.exec() != QDialog::Accepted) return;

  m_showTrackBallAtStart = dialog.m_showTrackBall == 1;
  m_smallFontHeight = dialog.m_smallFontHeight;
  m_largeFontHeight = dialog.m_largeFontHeight;
  m_flipTextures = dialog.m_flipTextures == 1;
  m_halveTextureSize = dialog.m_halveTextureSize == 1;

  const QString prefs = QStringLiteral("Prefs");
  bool written = profile_->WriteInt(prefs, QStringLiteral("PngFlag"), dialog.m_flipTextures);
  written =
      profile_->WriteInt(prefs, QStringLiteral("TrackFlag"), dialog.m_showTrackBall) && written;
  written =
      profile_->WriteInt(prefs, QStringLiteral("SmallFontHeight"), dialog.m_smallFontHeight) &&
      written;
  written =
      profile_->WriteInt(prefs, QStringLiteral("LargeFontHeight"), dialog.m_largeFontHeight) &&
      written;
  written = profile_->WriteInt(prefs, QStringLiteral("HalveTextureSizeFlag"),
                               dialog.m_halveTextureSize) &&
            written;
  // The new values hold for this run; the user learns that the next run
  // will not have them.
  if (!written)
    messages_->Show(QStringLiteral("The preferences could not be saved."), MessageButtons::Ok,
                    MessageIcon::Warning);
}

void CQuarnelApp::OnAppAbout() {
  CAboutDlg dialog(mainFrame_ ? &mainFrame_->Window() : nullptr);
  dialog.m_buildText = BuildLine(__DATE__);
  dialog.m_productVersion = ProductVersion();
  dialog.exec();
}

void CQuarnelApp::OnFileTypes() {
  if (messages_->Show(QStringLiteral("Do you want re-associate Quarnel with file types?"),
                      MessageButtons::YesNoCancel) != MessageAnswer::Yes)
    return;
  const XdgFolders folders = UserXdgFolders();
  RemovePlyAssociations(folders);
  RegisterPlyFileType(folders, QCoreApplication::applicationFilePath());
  NotifyAssociationsChanged(folders);
}

}  // namespace quarnel
