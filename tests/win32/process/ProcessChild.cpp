// A small console program whose behaviour the process tests choose on its command line.
//   emit PIECE...        writes each piece as it stands (\r \n \0 \\ are escapes); a
//                        piece "+N" sleeps N milliseconds instead
//   burst N              writes N bytes of 100-byte lines in one write
//   flood N              writes N bytes of numbered 64-byte lines, 64 KB per write
//   ticks N MS BREAK     writes "tick" N times, every MS milliseconds, with CR LF when BREAK is 1
//   echo                 answers every input line L with "got:L" until its input ends
//   prompt               writes "Name: ", reads a line L, answers "Hello L"
//   exit CODE            writes "bye" and ends with CODE
//   sleep MS             sleeps, never reading its input
//   touch PATH           creates the file
//   startwait A B C      creates A, waits until B exists, then creates C
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "win32/base/ScopedHandle.h"

namespace {

HANDLE Out() { return ::GetStdHandle(STD_OUTPUT_HANDLE); }

void Write(const std::string& bytes) {
  DWORD written = 0;
  std::size_t done = 0;
  while (done < bytes.size()) {
    if (!::WriteFile(Out(), bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) return;
    done += written;
  }
}

std::string Unescape(const char* text) {
  std::string out;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\\' && p[1] != '\0') {
      ++p;
      out.push_back(*p == 'r' ? '\r' : *p == 'n' ? '\n' : *p == '0' ? '\0' : *p);
    } else {
      out.push_back(*p);
    }
  }
  return out;
}

bool ReadLine(std::string& line) {
  line.clear();
  char c = 0;
  DWORD read = 0;
  while (::ReadFile(::GetStdHandle(STD_INPUT_HANDLE), &c, 1, &read, nullptr) && read == 1) {
    if (c == '\n') return true;
    if (c != '\r') line.push_back(c);
  }
  return !line.empty();
}

bool Exists(const char* path) { return ::GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

void Touch(const char* path) {
  const cvl::TScopedHandle file(::CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  const std::string mode = argv[1];
  if (mode == "emit") {
    for (int i = 2; i < argc; ++i) {
      if (argv[i][0] == '+') {
        ::Sleep(static_cast<DWORD>(std::atoi(argv[i] + 1)));
      } else {
        Write(Unescape(argv[i]));
      }
    }
  } else if (mode == "burst" && argc > 2) {
    std::string bytes;
    const int n = std::atoi(argv[2]);
    for (int line = 0; static_cast<int>(bytes.size()) < n; ++line) {
      char head[16];
      std::snprintf(head, sizeof head, "%04d", line);
      bytes += head + std::string(94, 'b') + "\r\n";
    }
    bytes.resize(static_cast<std::size_t>(n));
    Write(bytes);
  } else if (mode == "flood" && argc > 2) {
    const long n = std::atol(argv[2]);
    std::string chunk;
    for (long line = 0; line * 64 < n; ++line) {
      char text[80];
      std::snprintf(text, sizeof text, "%08ld%s\r\n", line, std::string(54, 'x').c_str());
      chunk += text;
      if (chunk.size() >= 65536) {
        Write(chunk);
        chunk.clear();
      }
    }
    Write(chunk);
  } else if (mode == "ticks" && argc > 4) {
    const int n = std::atoi(argv[2]);
    for (int i = 0; i < n; ++i) {
      ::Sleep(static_cast<DWORD>(std::atoi(argv[3])));
      Write(std::string("tick") + (std::atoi(argv[4]) == 1 ? "\r\n" : ""));
    }
  } else if (mode == "echo") {
    std::string line;
    while (ReadLine(line)) Write("got:" + line + "\r\n");
  } else if (mode == "prompt") {
    Write("Name: ");
    std::string line;
    ReadLine(line);
    Write("Hello " + line + "\r\n");
  } else if (mode == "exit" && argc > 2) {
    Write("bye\r\n");
    return static_cast<int>(std::strtoul(argv[2], nullptr, 10));
  } else if (mode == "sleep" && argc > 2) {
    ::Sleep(static_cast<DWORD>(std::atoi(argv[2])));
  } else if (mode == "touch" && argc > 2) {
    Touch(argv[2]);
  } else if (mode == "startwait" && argc > 4) {
    Touch(argv[2]);
    while (!Exists(argv[3])) ::Sleep(20);
    Touch(argv[4]);
  } else {
    return 2;
  }
  return 0;
}
