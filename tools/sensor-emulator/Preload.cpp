// SPDX-License-Identifier: GPL-3.0-or-later
#include "Preload.h"

#include <link.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

namespace preload {

namespace {
bool contains(const std::string& list, const std::string& item) {
    return (" " + list + " ").find(item) != std::string::npos;
}

// The path of a loaded library whose name contains one of `parts`, or "".
std::string loaded(std::initializer_list<const char*> parts) {
    struct Search {
        std::initializer_list<const char*> parts;
        std::string found;
    } search{parts, {}};
    dl_iterate_phdr(
        [](dl_phdr_info* info, size_t, void* data) {
            auto* s = static_cast<Search*>(data);
            for (const char* part : s->parts)
                if (info->dlpi_name && std::strstr(info->dlpi_name, part)) {
                    s->found = info->dlpi_name;
                    return 1;
                }
            return 0;
        },
        &search);
    return search.found;
}
} // namespace

std::string withUmockdev(const char* current) {
    std::string list = current ? current : "";
    for (char& c : list)
        if (c == ':') c = ' ';
    const auto add = [&list](const std::string& item, bool first) {
        if (contains(list, item)) return;
        if (list.empty())
            list = item;
        else
            list = first ? item + " " + list : list + " " + item;
    };
    add(loaded({"libasan.so", "libclang_rt.asan"}), true);
    add(kLibrary, false);
    return list;
}

bool ensure(char** argv) {
    if (!loaded({"libumockdev-preload.so"}).empty()) return true;
    if (std::getenv(kReexecMark)) {
        std::fprintf(stderr, "sensor-emulator: %s could not be preloaded (package umockdev)\n",
                     kLibrary);
        return false;
    }
    setenv("LD_PRELOAD", withUmockdev(std::getenv("LD_PRELOAD")).c_str(), 1);
    setenv(kReexecMark, "1", 1);
    execv("/proc/self/exe", argv);
    std::perror("sensor-emulator: re-executing under the preload library");
    return false;
}

} // namespace preload
