#include "FormCreate.h"

#include "ConfigDocument.h"
#include "StringCipher.h"
#include "SystemErrors.h"
#include "TextEncoding.h"

namespace cvl {
namespace {

void ApplyOptions(TLauncherSettings& settings, const TConfigDocument& config) {
  settings.FInstallClient = config.ReadBool(OptionsSection, InstallClientKey, false);
  settings.FEnglishClient = config.ReadBool(OptionsSection, LanguageKey, true);
  settings.FZephraneVersion = config.ReadBool(OptionsSection, ZephraneKey, false);
  settings.FUpdateClientLanguage = config.ReadBool(OptionsSection, UpdateClientLanguageKey, false);
  settings.FClientActualPatchVersion = config.ReadInteger(OptionsSection, PatchVersionKey, 0);
  settings.FKeepUpdateFiles = config.ReadBool(OptionsSection, KeepUpdateFilesKey, false);
}

// The encrypted override of the connector server's address; an empty entry is none.
void ApplyUserOverride(TLauncherSettings& settings, const TConfigDocument& config) {
  const std::u16string recovery = config.ReadString(UserSection, RecoveryKey, u"");
  if (!recovery.empty()) settings.FConnectInfo.App_center_ip = DecryptString(recovery, UserKeyText);
  const std::u16string email = config.ReadString(UserSection, EmailKey, u"");
  if (!email.empty()) settings.FConnectInfo.App_center_port = StrToInt(DecryptString(email, UserKeyText));
}

void ReadConfiguration(TLauncherSettings& settings, ILocalFiles& files) {
  const std::optional<std::string> bytes = files.ReadWholeFile(settings.FConfigFileName);
  const TDecodedText decoded = DecodeText(bytes.value_or(std::string()), files.AnsiCodePage());
  TConfigDocument config = TConfigDocument::Parse(decoded.Text);

  ApplyOptions(settings, config);
  ApplyUserOverride(settings, config);
  settings.FInstallFiles = config.SectionLines(PreSection);

  // With nothing left to install, the file is tidied on every start (and made when it
  // was missing); while [Pre] has entries it stays exactly as the operator wrote it.
  if (settings.FInstallFiles.empty()) {
    config.EraseSection(PreSection);
    files.WriteWholeFile(settings.FConfigFileName,
                         EncodeText(config.ToText(), decoded.Encoding, files.AnsiCodePage()));
  }
}

void ReadInstallFolder(TLauncherSettings& settings, IFormCreatePlatform& platform) {
  settings.FBaseDirectory.clear();
  const std::u16string valueName(settings.FZephraneVersion ? InstallPathZephraneValue : InstallPathValue);
  std::u16string path = platform.ReadLocalMachineString(std::u16string(InstallPathKey), valueName);
  if (path.empty()) return;
  if (path.back() != u'\\') path += u'\\';
  settings.FBaseDirectory = path;
}

}  // namespace

TFormCreateResult FormCreate(IFormCreatePlatform& platform) {
  TFormCreateResult result;
  TLauncherSettings& settings = result.Settings;
  try {
    settings.FDebug = platform.IsDebuggerPresent();

    const std::u16string programDirectory = platform.Files().ProgramDirectory();
    settings.FConfigFileName = programDirectory + std::u16string(ConfigFileName);
    settings.FConnectInfo.App_center_ip = std::u16string(DefaultConnectorAddress);
    settings.FConnectInfo.App_center_port = DefaultConnectorPort;

    ReadConfiguration(settings, platform.Files());
    ReadInstallFolder(settings, platform);

    if (settings.FDebug) {
      platform.ShowMessage(std::u16string(DebugMessageText));
      settings.FBaseDirectory = programDirectory;
    }
  } catch (...) {
    result.Error = std::current_exception();
  }
  return result;
}

}  // namespace cvl
