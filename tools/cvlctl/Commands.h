// The commands of cvlctl, one source file each; RunCvlCtl picks one by its name.
// Each takes the whole argument list (args[0] is the command's name), answers "--help",
// and raises EUsage (ToolSupport.h) for bad input.
#pragma once

#include <string>
#include <vector>

#include "CvlCtl.h"

namespace cvl {

int RunEncrypt(const std::vector<std::u16string>& args, const TToolIo& io);
int RunDecrypt(const std::vector<std::u16string>& args, const TToolIo& io);
int RunMakePre(const std::vector<std::u16string>& args, const TToolIo& io);
int RunMakeUser(const std::vector<std::u16string>& args, const TToolIo& io);
int RunMakeInfo(const std::vector<std::u16string>& args, const TToolIo& io);
int RunReadConfig(const std::vector<std::u16string>& args, const TToolIo& io);
int RunRelease(const std::vector<std::u16string>& args, const TToolIo& io);
int RunCheckServer(const std::vector<std::u16string>& args, const TToolIo& io);

// Signed updates (SigningCommands.cpp).
int RunKeygen(const std::vector<std::u16string>& args, const TToolIo& io);
int RunSign(const std::vector<std::u16string>& args, const TToolIo& io);
int RunVerify(const std::vector<std::u16string>& args, const TToolIo& io);

}  // namespace cvl
