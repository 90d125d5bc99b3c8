// launch.exe: runs one program and prints the full 32-bit exit code Windows gives it.
//
//   launch.exe [--mutex NAME] [--] PROGRAM [ARGUMENTS...]
//
// Wine hands a Linux shell only the low 8 bits of a process's exit code, so a test that must
// see 700 and up runs the program through this launcher: the program inherits the console
// handles and the environment, and once it ends the launcher prints, as its own last line,
//   exit code: <decimal value>
// and exits with the same value. --mutex NAME creates the named mutex and holds it while the
// program runs (a stand-in for another running instance of a single-instance program).
// The program's arguments are passed on exactly as they stand in the launcher's own command
// line; a program path in Linux form (/...) is turned into its Z: drive form.
#include <windows.h>

#include <cstdio>
#include <string>

namespace {

// Returns the position just past the argument that starts at text[pos], using the quoting
// rules of the C runtime's argument splitter for the parts this launcher needs.
size_t SkipArgument(const std::string& text, size_t pos) {
    bool quoted = false;
    while (pos < text.size()) {
        char c = text[pos];
        if (c == '"') {
            quoted = !quoted;
        } else if ((c == ' ' || c == '\t') && !quoted) {
            break;
        }
        ++pos;
    }
    return pos;
}

size_t SkipBlanks(const std::string& text, size_t pos) {
    while (pos < text.size() && (text[pos] == ' ' || text[pos] == '\t')) ++pos;
    return pos;
}

std::string Unquote(const std::string& word) {
    std::string out;
    for (char c : word)
        if (c != '"') out += c;
    return out;
}

// "/work/x/torbel.exe" → "Z:\work\x\torbel.exe"; Windows paths are left alone.
std::string WindowsProgramPath(const std::string& program) {
    if (program.empty() || program[0] != '/') return program;
    std::string out = "Z:";
    for (char c : program) out += (c == '/') ? '\\' : c;
    return out;
}

int Usage() {
    std::fprintf(stderr, "usage: launch.exe [--mutex NAME] [--] PROGRAM [ARGUMENTS...]\n");
    return 2;
}

}  // namespace

int main() {
    const std::string line = GetCommandLineA();
    size_t pos = SkipBlanks(line, SkipArgument(line, SkipBlanks(line, 0)));

    std::string mutexName;
    for (;;) {
        size_t end = SkipArgument(line, pos);
        std::string word = Unquote(line.substr(pos, end - pos));
        if (word == "--mutex") {
            pos = SkipBlanks(line, end);
            end = SkipArgument(line, pos);
            mutexName = Unquote(line.substr(pos, end - pos));
            if (mutexName.empty()) return Usage();
            pos = SkipBlanks(line, end);
        } else if (word == "--") {
            pos = SkipBlanks(line, end);
            break;
        } else {
            break;
        }
    }
    if (pos >= line.size()) return Usage();

    const size_t programEnd = SkipArgument(line, pos);
    std::string program = WindowsProgramPath(Unquote(line.substr(pos, programEnd - pos)));
    std::string commandLine = "\"" + program + "\"" + line.substr(programEnd);

    HANDLE mutex = nullptr;
    if (!mutexName.empty()) {
        mutex = CreateMutexA(nullptr, TRUE, mutexName.c_str());
        if (mutex == nullptr) {
            std::fprintf(stderr, "launch.exe: CreateMutexA(%s) failed: %lu\n", mutexName.c_str(),
                         GetLastError());
            return 2;
        }
    }

    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    std::fflush(stdout);
    // Under load wine now and then fails to start a process with ERROR_INTERNAL_ERROR
    // (the new process died before it reached the server). That is the harness's trouble,
    // not the program's: try again a few times before giving up.
    DWORD startError = 0;
    for (int attempt = 0; attempt < 5; ++attempt) {
        if (CreateProcessA(nullptr, commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr,
                           nullptr, &startup, &process)) {
            startError = 0;
            break;
        }
        startError = GetLastError();
        if (startError != ERROR_INTERNAL_ERROR) break;
        Sleep(200u * static_cast<DWORD>(attempt + 1));
    }
    if (startError != 0) {
        std::fprintf(stderr, "launch.exe: cannot start %s: error %lu\n", program.c_str(),
                     startError);
        return 2;
    }
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD code = 0;
    if (!GetExitCodeProcess(process.hProcess, &code)) {
        std::fprintf(stderr, "launch.exe: GetExitCodeProcess failed: %lu\n", GetLastError());
        code = 2;
    }
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    if (mutex != nullptr) CloseHandle(mutex);

    std::printf("exit code: %lu\n", static_cast<unsigned long>(code));
    std::fflush(stdout);
    return static_cast<int>(code);
}
