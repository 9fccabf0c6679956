// SPDX-License-Identifier: GPL-3.0-or-later
// The command runs as a child with UMOCKDEV_DIR set, so it sees the device at
// /dev/bus/usb/001/002 through an unmodified libusb; the emulator exits with the child's
// exit code.
#include "UmockdevFrontEnd.h"

#include "EmulatedUsbDevice.h"
#include "EmulatorSession.h"
#include "Preload.h"

#include <glib.h>

#include <sys/prctl.h>
#include <sys/wait.h>

#include <csignal>
#include <cstdio>
#include <vector>

namespace {

class UmockdevPort : public PluggableDevice {
public:
    explicit UmockdevPort(EmulatorSession& session)
        : device_([&session](const std::uint8_t* request, std::size_t length) {
            return session.sensor().answer(request, length, session.elapsed());
        }) {}
    bool plug(std::string& error) override { return device_.plug(error); }
    void unplug() override { device_.unplug(); }
    EmulatedUsbDevice& device() { return device_; }

private:
    EmulatedUsbDevice device_;
};

struct Child {
    EmulatorSession* session = nullptr;
    GPid pid = 0;
};

void onChildExit(GPid pid, gint status, gpointer data) {
    auto& child = *static_cast<Child*>(data);
    g_spawn_close_pid(pid);
    child.pid = 0;
    if (WIFEXITED(status))
        child.session->quit(WEXITSTATUS(status));
    else
        child.session->quit(128 + (WIFSIGNALED(status) ? WTERMSIG(status) : 0));
}

void childSetup(gpointer) {
    prctl(PR_SET_PDEATHSIG, SIGTERM);
}

bool startChild(Child& child, const std::string& rootDir, const std::vector<std::string>& command) {
    std::vector<char*> argv;
    for (const std::string& word : command)
        argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    gchar** env = g_get_environ();
    env = g_environ_setenv(env, "UMOCKDEV_DIR", rootDir.c_str(), TRUE);
    env = g_environ_setenv(env, "LD_PRELOAD", g_getenv("LD_PRELOAD"), TRUE);
    env = g_environ_unsetenv(env, preload::kReexecMark);
    GError* error = nullptr;
    const bool ok =
        g_spawn_async(nullptr, argv.data(), env,
                      static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                               G_SPAWN_CHILD_INHERITS_STDIN),
                      childSetup, nullptr, &child.pid, &error);
    g_strfreev(env);
    if (!ok) {
        std::fprintf(stderr, "sensor-emulator: cannot start %s: %s\n", argv[0], error->message);
        g_error_free(error);
        return false;
    }
    g_child_watch_add(child.pid, onChildExit, &child);
    return true;
}

} // namespace

int runUmockdevFrontEnd(EmulatorSession& session) {
    const EmulatorOptions& options = session.options();
    UmockdevPort port(session);
    port.device().setVerbose(options.verbose);
    std::string error;
    if (!port.plug(error)) {
        std::fprintf(stderr, "sensor-emulator: cannot add the device: %s\n", error.c_str());
        return 1;
    }
    if (!session.start(port)) return 2;
    Child child{&session, 0};
    session.onTerminate([&child, &session] {
        if (child.pid)
            kill(child.pid, SIGTERM); // the emulator exits once the child has
        else
            session.quit(0);
    });
    if (!options.command.empty()) {
        if (!startChild(child, port.device().rootDir(), options.command)) return 127;
    } else {
        std::printf("UMOCKDEV_DIR=%s\nLD_PRELOAD=%s\n", port.device().rootDir().c_str(),
                    g_getenv("LD_PRELOAD"));
        std::fflush(stdout);
    }
    return session.run();
}
