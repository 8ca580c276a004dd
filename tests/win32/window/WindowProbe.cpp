// Runs the launcher's real status window with scripted hooks, for the looks and paths
// that only the later start-up steps reach:
//
//   idle            the window with no start-up work
//   prompt TEXT     the Yes/No prompt with TEXT; prints "yes" when Yes is clicked
//   fatal TEXT      the fatal message with TEXT, which closes the window by itself
//   status TEXT     a plain status text
//   create-error    the creation handler fails
//   style NAME      activates the style NAME, then ends
//   developer TEXT  the hidden encrypt/decrypt controls, then an undecryptable value
//
// "\n" in TEXT stands for a line break. Prints "closed" when the window has closed.
#include <windows.h>

#include <cstdio>
#include <string>

#include "app/Application.h"
#include "core/Exception.h"
#include "core/Text.h"
#include "win32/base/WinText.h"
#include "win32/window/WindowText.h"

namespace {

std::u16string Unescaped(const std::wstring& text) {
  std::u16string out = cvl::FromWide(text);
  for (std::size_t at; (at = out.find(u"\\n")) != std::u16string::npos;) out.replace(at, 2, u"\n");
  return out;
}

void Say(const std::u16string& text) {
  std::printf("%s\n", cvl::Utf16ToUtf8(text).c_str());
  std::fflush(stdout);
}

void Click(cvl::TFrmMain& form, int id) { ::SendMessageW(form.DeveloperControl(id), BM_CLICK, 0, 0); }

void SetText(cvl::TFrmMain& form, int id, const std::u16string& text) {
  ::SetWindowTextW(form.DeveloperControl(id), cvl::ToWide(text).c_str());
}

std::u16string TextOf(cvl::TFrmMain& form, int id) { return cvl::WindowTextOf(form.DeveloperControl(id)); }

void Developer(cvl::TFrmMain& form, const std::u16string& plain) {
  using F = cvl::TFrmMain;
  SetText(form, F::IdEdtDecrypted, plain);
  Click(form, F::IdButton2);
  const std::u16string encrypted = TextOf(form, F::IdEdtEncrypted);
  Say(u"encrypted " + encrypted);
  SetText(form, F::IdEdtDecrypted, u"");
  Click(form, F::IdButton3);
  Say(u"decrypted " + TextOf(form, F::IdEdtDecrypted));
  // Too short to decrypt: the error box shows, the window goes on.
  SetText(form, F::IdEdtEncrypted, u"QQ");
  Click(form, F::IdButton3);
  Say(u"after error " + form.StatusText());
  form.SetStatusText(u"still running");
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::wstring command = argc > 1 ? argv[1] : L"";
  const std::u16string text = argc > 2 ? Unescaped(argv[2]) : std::u16string();
  cvl::TFrmMainHooks hooks;
  if (command == L"style") {
    cvl::ActivateStyle(text);
    Say(u"style done");
    return 0;
  }
  if (command == L"prompt") hooks.TimerShowDownloadTimer = [text](cvl::TFrmMain& f) { f.ShowPrompt(true, text); };
  if (command == L"fatal") {
    hooks.TimerShowDownloadTimer = [text](cvl::TFrmMain& f) {
      f.ShowFatalMessage(text);
      Say(f.StatusTextBold() ? u"bold" : u"regular");
    };
  }
  if (command == L"status") hooks.TimerShowDownloadTimer = [text](cvl::TFrmMain& f) { f.SetStatusText(text); };
  if (command == L"developer") hooks.TimerShowDownloadTimer = [text](cvl::TFrmMain& f) { Developer(f, text); };
  if (command == L"create-error") {
    hooks.FormCreate = [] {
      throw cvl::Exception("EDecryptError", u"Invalid protected value");
    };
  }
  hooks.ImgYesClick = [](cvl::TFrmMain&) { Say(u"yes"); };
  cvl::RunApplication(std::move(hooks));
  Say(u"closed");
  return 0;
}
