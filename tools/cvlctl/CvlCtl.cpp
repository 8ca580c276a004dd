#include "CvlCtl.h"

#include <string_view>

#include "Commands.h"
#include "ToolSupport.h"

namespace cvl {
namespace {

constexpr std::string_view kUsage =
    "usage: cvlctl COMMAND [ARGS]\n"
    "\n"
    "commands:\n"
    "  encrypt [--key server|user] TEXT   print the protected form of TEXT\n"
    "  decrypt [--key server|user] TEXT   print the text a protected value holds\n"
    "  make-pre FOLDER WEBVIEW2 RUNTIME1 RUNTIME2\n"
    "                                     print a ready [Pre] section\n"
    "  make-user --address A --port P     print a ready [User] section\n"
    "  make-info [-o FILE] SETTINGS.json  write the protected info answer\n"
    "  read-config FILE                   show what the launcher reads from CVLauncher.cfg\n"
    "  keygen DIR                         make a new update key pair in DIR\n"
    "  sign --key KEY.pem FILE...         write FILE.sig for each file\n"
    "  verify --key KEY.pub FILE...       check each FILE.sig, naming each bad one\n"
    "  release --settings S --root R CLIENT_FOLDER\n"
    "                                     publish what changed in CLIENT_FOLDER as the next patch\n"
    "  check-server --settings S --root R check what launchers meet on the server\n"
    "\n"
    "TEXT '-' reads one line from standard input. Texts are ISO 8859-1.\n"
    "Run 'cvlctl COMMAND --help' for one command.\n";

}  // namespace

int RunCvlCtl(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (args.empty() || args[0] == u"--help" || args[0] == u"-h" || args[0] == u"help") {
    io.Out(std::string(kUsage));
    return args.empty() ? 1 : 0;
  }
  try {
    if (args[0] == u"encrypt") return RunEncrypt(args, io);
    if (args[0] == u"decrypt") return RunDecrypt(args, io);
    if (args[0] == u"make-pre") return RunMakePre(args, io);
    if (args[0] == u"make-user") return RunMakeUser(args, io);
    if (args[0] == u"make-info") return RunMakeInfo(args, io);
    if (args[0] == u"read-config") return RunReadConfig(args, io);
    if (args[0] == u"keygen") return RunKeygen(args, io);
    if (args[0] == u"sign") return RunSign(args, io);
    if (args[0] == u"verify") return RunVerify(args, io);
    if (args[0] == u"release") return RunRelease(args, io);
    if (args[0] == u"check-server") return RunCheckServer(args, io);
    throw EUsage(u"unknown command '" + args[0] + u"'");
  } catch (const EUsage& e) {
    io.Err("cvlctl: " + std::string(e.what()) + "\n");
    io.Err("Run 'cvlctl --help' for usage.\n");
    return 1;
  } catch (const EBadInput& e) {
    io.Err("cvlctl: " + std::string(e.what()) + "\n");
    return 1;
  } catch (const Exception& e) {
    // The platform failed (no cryptography, no memory): one line as well.
    io.Err("cvlctl: " + std::string(e.what()) + "\n");
    return 1;
  }
}

}  // namespace cvl
