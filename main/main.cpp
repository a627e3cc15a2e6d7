// The program: with a command, the command line; without one, the window. Each is a part of its
// own, loaded here when it is wanted: the window's libraries (Qt Gui and Widgets, resolved in full
// at load) took half of a short command's run, and a command never needs them.
#include <cerrno>
#include <climits>
#include <cstdio>
#include <dlfcn.h>
#include <string>
#include <unistd.h>

#include "cli/command_line.h"

namespace {
using Entry = int (*)(int, char*[]);

// The folder the program itself lies in; the parts lie beside it in the build and in the
// install's library folder (QUILLET_PARTS, relative to the program's folder) once installed.
std::string programFolder() {
    char path[PATH_MAX];
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (n <= 0)
        return ".";
    const std::string self(path, static_cast<std::size_t>(n));
    return self.substr(0, self.rfind('/'));
}

Entry load(const char* file, const char* entry) {
    const std::string folder = programFolder();
    std::string why = "見つかりません";
    for (const std::string& place : {folder, folder + "/" QUILLET_PARTS}) {
        const std::string path = place + "/" + file;
        if (void* part = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            if (void* found = ::dlsym(part, entry))
                return reinterpret_cast<Entry>(found);
        }
        const char* error = ::dlerror();
        if (::access(path.c_str(), F_OK) == 0) { // there, but it would not load
            if (error)
                why = error;
            break;
        }
    }
    std::fprintf(stderr, "quillet: 部品 %s を読み込めません (%s)\n", file, why.c_str());
    return nullptr;
}
} // namespace

int main(int argc, char* argv[]) {
    const Entry run = quillet::cli::isCommandLine(argc, argv) ? load("quillet-cli.so", "quilletCommandLine")
                                                              : load("quillet-window.so", "quilletWindow");
    return run ? run(argc, argv) : 1;
}
