#include "FormCreate.h"

#include "ConfigDocument.h"
#include "StringCipher.h"
#include "SystemErrors.h"
#include "TextEncoding.h"

namespace cvl {
namespace {

void ApplyOptions(TFrmMainState& state, const TConfigDocument& config) {
  state.FInstallClient = config.ReadBool(OptionsSection, InstallClientKey, false);
  state.FEnglishClient = config.ReadBool(OptionsSection, LanguageKey, true);
  state.FZephraneVersion = config.ReadBool(OptionsSection, ZephraneKey, false);
  state.FUpdateClientLanguage = config.ReadBool(OptionsSection, UpdateClientLanguageKey, false);
  state.FClientActualPatchVersion = config.ReadInteger(OptionsSection, PatchVersionKey, 0);
  state.FKeepUpdateFiles = config.ReadBool(OptionsSection, KeepUpdateFilesKey, false);
}

// The encrypted override of the connector server's address; an empty entry is none.
void ApplyUserOverride(TFrmMainState& state, const TConfigDocument& config) {
  const std::u16string recovery = config.ReadString(UserSection, RecoveryKey, u"");
  if (!recovery.empty()) state.FConnectInfo->App_center_ip = DecryptString(recovery, UserKeyText);
  const std::u16string email = config.ReadString(UserSection, EmailKey, u"");
  if (!email.empty()) state.FConnectInfo->App_center_port = StrToInt(DecryptString(email, UserKeyText));
}

void ReadConfiguration(TFrmMainState& state, ILocalFiles& files) {
  const std::optional<std::string> bytes = files.ReadWholeFile(state.FConfigFileName);
  const TDecodedText decoded = DecodeText(bytes.value_or(std::string()), files.AnsiCodePage());
  TConfigDocument config = TConfigDocument::Parse(decoded.Text);

  ApplyOptions(state, config);
  ApplyUserOverride(state, config);
  *state.FInstallFiles = config.SectionLines(PreSection);

  // With nothing left to install, the file is tidied on every start (and made when it
  // was missing); while [Pre] has entries it stays exactly as the operator wrote it.
  if (state.FInstallFiles->empty()) {
    config.EraseSection(PreSection);
    files.WriteWholeFile(state.FConfigFileName,
                         EncodeText(config.ToText(), decoded.Encoding, files.AnsiCodePage()));
  }
}

void ReadInstallFolder(TFrmMainState& state, IFormCreatePlatform& platform) {
  state.FBaseDirectory.clear();
  const std::u16string valueName(state.FZephraneVersion ? InstallPathZephraneValue : InstallPathValue);
  std::u16string path = platform.ReadLocalMachineString(std::u16string(InstallPathKey), valueName);
  if (path.empty()) return;
  if (path.back() != u'\\') path += u'\\';
  state.FBaseDirectory = path;
}

}  // namespace

void FormCreate(TFrmMainState& state, IFormCreatePlatform& platform) {
  state.FDebug = platform.IsDebuggerPresent();

  state.FNewPatchVersion = 0;
  state.FClientActualPatchVersion = 0;
  state.FEnglishClient = false;
  state.FZephraneVersion = false;
  state.FUpdateClientLanguage = false;
  state.FKeepUpdateFiles = false;
  state.FInstallFiles = std::make_unique<std::vector<std::u16string>>();

  const std::u16string programDirectory = platform.Files().ProgramDirectory();
  state.FConfigFileName = programDirectory + std::u16string(ConfigFileName);

  state.FConnectInfo = std::make_unique<TConnectInfo>();
  state.FConnectInfo->App_center_ip = std::u16string(DefaultConnectorAddress);
  state.FConnectInfo->App_center_port = DefaultConnectorPort;

  ReadConfiguration(state, platform.Files());
  ReadInstallFolder(state, platform);

  if (state.FDebug) {
    platform.ShowMessage(std::u16string(DebugMessageText));
    state.FBaseDirectory = programDirectory;
  }
}

}  // namespace cvl
