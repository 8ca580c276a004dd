// keygen, sign and verify: the operator's update key and the detached signatures the
// launcher checks on every download when it is built with the key (CVL_UPDATE_KEY).
#include <memory>
#include <optional>
#include <string_view>

#include "Commands.h"
#include "ToolSupport.h"
#include "core/Text.h"
#include "core/UpdateKeyFiles.h"
#include "core/UpdateSignature.h"

namespace cvl {
namespace {

constexpr char16_t kPrivateKeyFile[] = u"update-key.pem";
constexpr char16_t kPublicKeyFile[] = u"update-key.pub";

constexpr std::string_view kKeygenUsage =
    "usage: cvlctl keygen DIR\n"
    "\n"
    "Makes a new ECDSA P-256 update key pair in the folder DIR (made when missing):\n"
    "  update-key.pem  the private key (PKCS#8 PEM): it signs what you publish. Keep it\n"
    "                  off the connector server. On Linux it is readable by you alone\n"
    "                  (mode 0600); on Windows it takes the permissions of DIR, so make DIR\n"
    "                  a folder only you can open, for example one under your user profile.\n"
    "  update-key.pub  the public key (PEM): build the launcher with it,\n"
    "                  -DCVL_UPDATE_KEY=DIR/update-key.pub\n"
    "An existing key is never replaced: keygen stops when either file exists.\n";

constexpr std::string_view kSignUsage =
    "usage: cvlctl sign --key update-key.pem FILE...\n"
    "\n"
    "Writes FILE.sig beside each FILE: the DER ECDSA P-256 signature with SHA-256 of\n"
    "  CVL-SIGNATURE-1 LF <the base name of FILE> LF <the bytes of FILE>\n"
    "which a launcher built with the public key requires beside every file it downloads.\n"
    "The same with openssl, for one file:\n"
    "  (printf 'CVL-SIGNATURE-1\\n%s\\n' patch_5.zip; cat patch_5.zip) |\n"
    "    openssl dgst -sha256 -sign update-key.pem > patch_5.zip.sig\n"
    "  --key KEY   the private key: PKCS#8 (BEGIN PRIVATE KEY) or SEC 1 (BEGIN EC\n"
    "              PRIVATE KEY) PEM of P-256, without a passphrase\n"
    "Sign a file under the name the launcher asks for, after its last change.\n";

constexpr std::string_view kVerifyUsage =
    "usage: cvlctl verify --key update-key.pub [--key KEY2.pub] FILE...\n"
    "\n"
    "Checks FILE.sig beside each FILE as the launcher does: good when one of the keys\n"
    "signed FILE under its base name. Prints 'good: FILE' for each good one, names each\n"
    "bad one on standard error, and exits with status 1 when any is bad.\n"
    "  --key KEY   a public key (BEGIN PUBLIC KEY, P-256 uncompressed, as openssl ec\n"
    "              -pubout writes it); give several to accept any of them\n";

struct TSigningArgs {
  std::vector<std::u16string> Keys;
  std::vector<std::u16string> Files;
};

TSigningArgs ParseSigningArgs(const std::vector<std::u16string>& args) {
  TSigningArgs parsed;
  bool optionsEnd = false;
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::u16string& a = args[i];
    if (!optionsEnd && a == u"--") {
      optionsEnd = true;
    } else if (!optionsEnd && a == u"--key") {
      if (i + 1 >= args.size()) throw EUsage(u"--key needs a key file");
      parsed.Keys.push_back(args[++i]);
    } else if (!optionsEnd && a.size() > 1 && a[0] == u'-') {
      throw EUsage(u"unknown option " + Quoted(a));
    } else {
      parsed.Files.push_back(a);
    }
  }
  if (parsed.Keys.empty()) throw EUsage(u"--key is missing");
  if (parsed.Files.empty()) throw EUsage(u"no FILE given");
  return parsed;
}

std::string ReadKeyFile(const std::u16string& path, const TToolIo& io) {
  const auto text = io.ReadFile(path);
  if (!text) throw EBadInput(u"cannot read the key " + Quoted(path));
  return *text;
}

std::u16string JoinPath(const std::u16string& folder, const std::u16string& name) {
  if (folder.empty()) return name;
  const char16_t last = folder.back();
  return (last == u'/' || last == u'\\') ? folder + name : folder + u"/" + name;
}

void Print(const TToolIo& io, std::u16string_view text) { io.Out(Utf16ToUtf8(text) + "\n"); }
void Complain(const TToolIo& io, std::u16string_view text) { io.Err("cvlctl: " + Utf16ToUtf8(text) + "\n"); }

// The digest of FILE's signed message; nullopt (and a line on standard error) when it
// cannot be read.
std::optional<TSha256Digest> FileDigest(const std::u16string& file, const TToolIo& io) {
  const auto stream = io.OpenRead(file);
  if (!stream) {
    Complain(io, u"cannot read " + Quoted(file));
    return std::nullopt;
  }
  try {
    return SignedMessageDigest(ArgumentUtf8(BaseName(file)), *stream);
  } catch (const Exception& e) {
    Complain(io, u"cannot read " + Quoted(file) + u": " + e.Message());
    return std::nullopt;
  }
}

}  // namespace

int RunKeygen(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kKeygenUsage));
    return 0;
  }
  if (args.size() != 2 || (args[1].size() > 1 && args[1][0] == u'-')) throw EUsage(u"keygen takes one DIR");
  const std::u16string& folder = args[1];
  const std::u16string privatePath = JoinPath(folder, kPrivateKeyFile);
  const std::u16string publicPath = JoinPath(folder, kPublicKeyFile);
  if (!io.MakeFolder(folder)) throw EBadInput(u"cannot make the folder " + Quoted(folder));

  const TP256PrivateKey key = GenerateEcdsaP256Key();
  // The public key first: when the private one cannot be written, the public one
  // goes again, and no half pair is left.
  switch (io.CreateNewFile(publicPath, PublicKeyPem(key.Public), false)) {
    case TCreateResult::Created:
      break;
    case TCreateResult::Exists:
      throw EBadInput(Quoted(publicPath) + u" exists already; keygen never replaces a key");
    case TCreateResult::Failed:
      throw EBadInput(u"cannot write " + Quoted(publicPath));
  }
  const TCreateResult privateWritten = io.CreateNewFile(privatePath, PrivateKeyPem(key), true);
  if (privateWritten != TCreateResult::Created) {
    io.RemoveFile(publicPath);
    throw EBadInput(privateWritten == TCreateResult::Exists
                        ? Quoted(privatePath) + u" exists already; keygen never replaces a key"
                        : u"cannot write " + Quoted(privatePath));
  }
  Print(io, u"private key: " + privatePath + u" (keep it off the server)");
  Print(io, u"public key:  " + publicPath + u" (build the launcher with -DCVL_UPDATE_KEY=" + publicPath + u")");
  return 0;
}

int RunSign(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kSignUsage));
    return 0;
  }
  const TSigningArgs parsed = ParseSigningArgs(args);
  if (parsed.Keys.size() != 1) throw EUsage(u"sign takes one --key");
  TP256PrivateKey key;
  std::unique_ptr<TEcdsaP256PublicKey> publicKey;
  try {
    key = ParsePrivateKeyPem(ReadKeyFile(parsed.Keys[0], io));
    publicKey = CreateEcdsaP256PublicKey(key.Public);
  } catch (const EBadInput&) {
    throw;
  } catch (const Exception& e) {
    // A reason from the key file's reading, or the platform refusing its point.
    throw EBadInput(Quoted(parsed.Keys[0]) + u": " + e.Message());
  }

  int status = 0;
  for (const std::u16string& file : parsed.Files) {
    const auto digest = FileDigest(file, io);
    if (!digest) {
      status = 1;
      continue;
    }
    const TP256Signature signature = SignEcdsaP256(key, *digest);
    // A key file whose public point is not its own would sign what no launcher accepts.
    if (!publicKey->Verify(*digest, signature)) {
      throw EBadInput(Quoted(parsed.Keys[0]) + u": its public point does not belong to its private number");
    }
    const std::u16string signaturePath = file + kSignatureFileSuffix;
    if (!io.WriteFile(signaturePath, EncodeDerSignature(signature))) {
      Complain(io, u"cannot write " + Quoted(signaturePath));
      status = 1;
      continue;
    }
    Print(io, u"signed: " + file + u" -> " + signaturePath);
  }
  return status;
}

int RunVerify(const std::vector<std::u16string>& args, const TToolIo& io) {
  if (WantsHelp(args)) {
    io.Out(std::string(kVerifyUsage));
    return 0;
  }
  const TSigningArgs parsed = ParseSigningArgs(args);
  std::vector<TP256Point> keys;
  for (const std::u16string& path : parsed.Keys) {
    try {
      keys.push_back(ParsePublicKeyPem(ReadKeyFile(path, io)));
    } catch (const EKeyFile& e) {
      throw EBadInput(Quoted(path) + u": " + e.Message());
    }
  }

  int status = 0;
  for (const std::u16string& file : parsed.Files) {
    const std::u16string signaturePath = file + kSignatureFileSuffix;
    const auto signature = io.ReadFile(signaturePath);
    const auto stream = io.OpenRead(file);
    std::u16string problem;
    if (!stream) {
      problem = u"cannot read the file";
    } else if (!signature) {
      problem = u"no signature " + Quoted(signaturePath);
    } else {
      try {
        switch (VerifyFileSignature(keys, ArgumentUtf8(BaseName(file)), *stream, *signature)) {
          case TSignatureCheck::Verified:
            break;
          case TSignatureCheck::Malformed:
            problem = Quoted(signaturePath) + u" is no DER ECDSA P-256 signature";
            break;
          case TSignatureCheck::NotVerified:
            problem = u"the signature does not match: another file, name or key";
            break;
        }
      } catch (const Exception& e) {
        problem = u"cannot read the file: " + e.Message();
      }
    }
    if (problem.empty()) {
      Print(io, u"good: " + file);
    } else {
      Complain(io, u"bad: " + file + u": " + problem);
      status = 1;
    }
  }
  return status;
}

}  // namespace cvl
