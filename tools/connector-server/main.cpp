// connector-server: the launcher's connector endpoints on plain HTTP, for the demo and
// for tests. See --help.
#include <fstream>
#include <iostream>
#include <stdexcept>

#include "ConnectorServer.h"

int main(int argc, char** argv) {
  try {
    connector::TServerOptions options = connector::ParseOptions(argc, argv);
    if (options.Help) {
      std::cout << connector::kUsage;
      return 0;
    }
    const auto portFile = options.PortFile;
    const std::string bind = options.Bind;
    connector::TConnectorServer server(std::move(options));
    const int port = server.Bind();
    if (portFile) {
      // Written whole under another name first, so a reader never sees half a number.
      const std::filesystem::path partial = portFile->string() + ".part";
      std::ofstream(partial) << port << "\n";
      std::filesystem::rename(partial, *portFile);
    }
    std::cout << "connector-server listening on " << bind << ":" << port << std::endl;
    server.Run();
    return 0;
  } catch (const std::exception& error) {
    std::cerr << "connector-server: " << error.what() << "\n" << connector::kUsage;
    return 2;
  }
}
