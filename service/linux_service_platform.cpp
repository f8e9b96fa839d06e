// SPDX-License-Identifier: LGPL-2.1-or-later
#include "service/linux_service_platform.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <systemd/sd-bus.h>
#include <systemd/sd-daemon.h>
#include <systemd/sd-journal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>

#include "platform/paths.h"
#include "platform/posix_file.h"

namespace lumaghost {

namespace fs = std::filesystem;

namespace {

constexpr const char *kDestination = "org.freedesktop.systemd1";
constexpr const char *kPath = "/org/freedesktop/systemd1";
constexpr const char *kManager = "org.freedesktop.systemd1.Manager";

std::string unitName(const std::string &name) {
    return name + ".service";
}

// A failed call of the manager's in the service manager's terms: a unit that is not there is a
// service that does not exist, a failure of no other meaning one of reaching the manager.
HResult managerError(int negativeErrno) {
    const HResult r = hresultFromErrno(-negativeErrno);
    if (r == hresultFromWin32(ERROR_FILE_NOT_FOUND))
        return hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    if (r == E_FAIL)
        return hresultFromWin32(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    return r;
}

// Appends a one-entry string array and then the given booleans.
int appendNameAndFlags(void *m, const std::string &name, std::initializer_list<int> flags) {
    auto *msg = static_cast<sd_bus_message *>(m);
    char *entries[] = {const_cast<char *>(name.c_str()), nullptr};
    int r = sd_bus_message_append_strv(msg, entries);
    for (int flag : flags) {
        if (r >= 0)
            r = sd_bus_message_append(msg, "b", flag);
    }
    return r;
}

sd_bus *busOf(void *p) {
    return static_cast<sd_bus *>(p);
}

bool hasControlCharacter(const std::string &text) {
    return std::any_of(text.begin(), text.end(), [](char c) {
        const auto u = static_cast<unsigned char>(c);
        return u < 0x20 || u == 0x7F;
    });
}

// Where sd-bus looks for the bus it was asked to open.
std::string busAddress(bool user) {
    if (const char *address = getenv(user ? "DBUS_SESSION_BUS_ADDRESS" : "DBUS_SYSTEM_BUS_ADDRESS"))
        return address;
    if (!user)
        return "unix:path=/run/dbus/system_bus_socket";
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    return runtime ? std::string("unix:path=") + runtime + "/bus" : "(no XDG_RUNTIME_DIR)";
}

}  // namespace

std::string unitQuotedWord(const std::string &word) {
    std::string out = "\"";
    for (char c : word) {
        if (c == '\\' || c == '"')
            out += '\\';
        else if (c == '%')
            out += '%';
        out += c;
    }
    return out + '"';
}

uint32_t serviceStateOf(const std::string &state) {
    if (state == "active" || state == "reloading")
        return SERVICE_RUNNING;
    if (state == "activating")
        return SERVICE_START_PENDING;
    if (state == "deactivating")
        return SERVICE_STOP_PENDING;
    return SERVICE_STOPPED;
}

UnitFiles::UnitFiles(fs::path adminDirectory, std::vector<fs::path> packagedDirectories)
    : adminDirectory_(std::move(adminDirectory)),
      packagedDirectories_(std::move(packagedDirectories)) {}

fs::path UnitFiles::adminFile(const std::string &name) const {
    return adminDirectory_ / unitName(name);
}

fs::path UnitFiles::packagedFile(const std::string &name) const {
    std::error_code ec;
    for (const fs::path &directory : packagedDirectories_) {
        const fs::path file = directory / unitName(name);
        if (fs::is_regular_file(file, ec))
            return file;
    }
    return {};
}

bool UnitFiles::masked(const std::string &name) const {
    std::error_code ec;
    const fs::path file = adminFile(name);
    return fs::is_symlink(file, ec) && fs::read_symlink(file, ec) == "/dev/null";
}

fs::path UnitFiles::installed(const std::string &name) const {
    std::error_code ec;
    if (masked(name))
        return {};
    if (const fs::path file = adminFile(name); fs::exists(file, ec))
        return file;
    return packagedFile(name);
}

int UnitFiles::remove(const std::string &name) const {
    std::error_code ec;
    const fs::path file = adminFile(name);
    if (fs::is_symlink(file, ec) || fs::exists(file, ec)) {
        if (!fs::remove(file, ec))
            return ec.value() ? ec.value() : ENOENT;
    }
    return packagedFile(name).empty() ? 0 : mask(name);
}

int UnitFiles::mask(const std::string &name) const {
    std::error_code ec;
    const fs::path file = adminFile(name);
    fs::create_directories(file.parent_path(), ec);
    fs::create_symlink("/dev/null", file, ec);
    return ec.value();
}

SystemdServiceManager::SystemdServiceManager(fs::path unitDirectory, bool userManager,
                                             std::vector<fs::path> packagedDirectories)
    : units_(std::move(unitDirectory), std::move(packagedDirectories)), userManager_(userManager) {}

SystemdServiceManager::~SystemdServiceManager() {
    if (bus_)
        sd_bus_flush_close_unref(busOf(bus_));
}

fs::path SystemdServiceManager::unitFile(const std::string &name) const {
    return units_.adminFile(name);
}

HResult SystemdServiceManager::checkUnit(const ServiceInstallation &service, std::string &problem) {
    const std::string &program = service.binaryPath;
    // systemd refuses to run a program whose path holds a quote or a backslash, however quoted.
    if (program.empty() || program.front() != '/' || hasControlCharacter(program) ||
        program.find_first_of("\"'\\") != std::string::npos) {
        problem =
            "systemd does not start a program whose path is not absolute or holds a quote, "
            "a backslash or a control character: " +
            program;
        return hresultFromWin32(ERROR_BAD_PATHNAME);
    }
    if (const std::string root = lumaghostRoot().string(); hasControlCharacter(root)) {
        problem = "LUMAGHOST_ROOT holds a control character";
        return hresultFromWin32(ERROR_BAD_PATHNAME);
    }
    // User= is taken as it stands: no quoting, so nothing that could end or split the line.
    const std::string &account = service.account;
    if (hasControlCharacter(account) || account.find_first_of(" \t\"'\\%/:") != std::string::npos) {
        problem = "the account \"" + account + "\" is not a user name";
        return hresultFromWin32(ERROR_INVALID_SERVICE_ACCOUNT);
    }
    if (hasControlCharacter(service.displayName)) {
        problem = "the display name holds a control character";
        return hresultFromWin32(ERROR_INVALID_PARAMETER);
    }
    return S_OK;
}

std::string SystemdServiceManager::unitText(const ServiceInstallation &service, bool userManager) {
    std::string description = service.displayName;
    for (size_t at = description.find('%'); at != std::string::npos;
         at = description.find('%', at + 2))
        description.insert(at, 1, '%');
    std::string text =
        "[Unit]\nDescription=" + description +
        "\nDocumentation=man:lumaserv(1)\n\n[Service]\nType=notify\nNotifyAccess=main\nExecStart=" +
        unitQuotedWord(service.binaryPath) +
        "\nExecReload=/bin/kill -HUP $MAINPID\nTimeoutStopSec=15\n"
        // The program ends with 1 when it ran well.
        "SuccessExitStatus=1\n";
    if (!userManager)
        text +=
            "User=" + (service.account.empty() ? std::string(kServiceAccount) : service.account) +
            "\nSupplementaryGroups=video\n";
    else if (!service.account.empty())
        text += "User=" + service.account + "\n";
    const fs::path root = lumaghostRoot();
    if (!root.empty())
        text += "Environment=" + unitQuotedWord("LUMAGHOST_ROOT=" + root.string()) + "\n";
    text += "NoNewPrivileges=yes\nRestrictRealtime=yes\nLockPersonality=yes\n";
    if (!userManager) {
        // A system service may write nothing but the frame channels and its settings, while it
        // may still read sequence files wherever users let group video read them (a missing
        // directory is no error). It needs no device, no network, no privilege and no code
        // made at run time: GStreamer's ORC runs its portable code. A user manager cannot set
        // up these namespaces.
        text +=
            "UMask=0007\nEnvironment=ORC_CODE=backup\n"
            "ProtectSystem=strict\nProtectHome=read-only\nReadWritePaths=" +
            unitQuotedWord("-" + frameChannelDirectory().string()) + " " +
            unitQuotedWord("-" + systemDirectory().string()) +
            "\nPrivateTmp=yes\nPrivateDevices=yes\nPrivateNetwork=yes\nIPAddressDeny=any\n"
            "RestrictAddressFamilies=AF_UNIX\nCapabilityBoundingSet=\nAmbientCapabilities=\n"
            "ProtectKernelTunables=yes\nProtectKernelModules=yes\nProtectKernelLogs=yes\n"
            "ProtectControlGroups=yes\nProtectClock=yes\nProtectHostname=yes\n"
            "ProtectProc=invisible\nRestrictNamespaces=yes\nRestrictSUIDSGID=yes\n"
            "MemoryDenyWriteExecute=yes\nSystemCallArchitectures=native\n"
            "SystemCallFilter=@system-service\nSystemCallFilter=~@privileged @resources\n"
            "SystemCallErrorNumber=EPERM\n";
    }
    text += std::string("\n[Install]\nWantedBy=") +
            (userManager ? "default.target" : "multi-user.target") + "\n";
    return text;
}

HResult SystemdServiceManager::fail(HResult error, std::string detail) {
    detailedError_ = error;
    errorDetail_ = std::move(detail);
    return error;
}

std::string SystemdServiceManager::errorDetail(HResult error) const {
    return error == detailedError_ ? errorDetail_ : std::string();
}

HResult SystemdServiceManager::connect() {
    if (bus_)
        return S_OK;
    sd_bus *bus = nullptr;
    const int r = userManager_ ? sd_bus_open_user(&bus) : sd_bus_open_system(&bus);
    if (r < 0) {
        return fail(hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE),
                    std::string("cannot connect to the ") + (userManager_ ? "session" : "system") +
                        " bus at " + busAddress(userManager_) + " (" + std::strerror(-r) + ")");
    }
    if (interactive_)
        (void)sd_bus_set_allow_interactive_authorization(bus, 1);
    bus_ = bus;
    return S_OK;
}

void SystemdServiceManager::setInteractiveAuthorization(bool allow) {
    interactive_ = allow;
    if (bus_)
        (void)sd_bus_set_allow_interactive_authorization(busOf(bus_), allow ? 1 : 0);
}

HResult SystemdServiceManager::call(const char *method, const std::function<int(void *)> &append,
                                    void **reply) {
    if (const HResult err = connect(); err.failed())
        return err;
    sd_bus_message *m = nullptr;
    int r = sd_bus_message_new_method_call(busOf(bus_), &m, kDestination, kPath, kManager, method);
    if (r >= 0 && append)
        r = append(m);
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message *answer = nullptr;
    if (r >= 0)
        r = sd_bus_call(busOf(bus_), m, interactive_ ? kInteractiveCallTimeoutUs : 0, &error,
                        &answer);
    sd_bus_message_unref(m);
    HResult result = S_OK;
    if (r < 0) {
        const char *bus = userManager_ ? "session" : "system";
        if (sd_bus_error_has_name(&error, "org.freedesktop.systemd1.NoSuchUnit"))
            result = hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
        else if (sd_bus_error_has_name(&error, SD_BUS_ERROR_ACCESS_DENIED) ||
                 sd_bus_error_has_name(&error, SD_BUS_ERROR_INTERACTIVE_AUTHORIZATION_REQUIRED))
            result = hresultFromWin32(ERROR_ACCESS_DENIED);
        else if (sd_bus_error_has_name(&error, SD_BUS_ERROR_SERVICE_UNKNOWN) ||
                 sd_bus_error_has_name(&error, SD_BUS_ERROR_NAME_HAS_NO_OWNER))
            result = fail(hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE),
                          std::string("systemd is not on the ") + bus + " bus at " +
                              busAddress(userManager_));
        else if (r == -ECONNRESET || r == -ENOTCONN || r == -EPIPE)
            result = fail(hresultFromWin32(ERROR_SERVICE_MANAGER_UNREACHABLE),
                          std::string("the connection to the ") + bus + " bus at " +
                              busAddress(userManager_) + " was lost (" + std::strerror(-r) + ")");
        else
            result = managerError(r);
    }
    sd_bus_error_free(&error);
    if (reply && r >= 0)
        *reply = answer;
    else
        sd_bus_message_unref(answer);
    return result;
}

HResult SystemdServiceManager::enable(const std::string &name) {
    const std::string file = unitFile(name).string();
    // A unit outside the manager's search path is linked first.
    (void)call("LinkUnitFiles", [&](void *m) {
        return appendNameAndFlags(m, file, {false, true});
    });
    const std::string unit = unitName(name);
    return call("EnableUnitFiles", [&](void *m) {
        return appendNameAndFlags(m, unit, {false, true});
    });
}

HResult SystemdServiceManager::disable(const std::string &name) {
    const std::string unit = unitName(name);
    return call("DisableUnitFiles", [&](void *m) { return appendNameAndFlags(m, unit, {false}); });
}

HResult SystemdServiceManager::createService(const ServiceInstallation &service) {
    std::string problem;
    if (const HResult err = checkUnit(service, problem); err.failed())
        return fail(err, problem);
    const fs::path file = unitFile(service.name);
    if (!units_.installed(service.name).empty())
        return hresultFromWin32(ERROR_SERVICE_EXISTS);
    // A removed packaged unit is masked: the unit written now takes the mask's place.
    const bool wasMasked = units_.masked(service.name);
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    if (replaceFileAtomically(file, unitText(service, userManager_), 0644) != 0)
        return hresultFromWin32(ERROR_ACCESS_DENIED);
    HResult err = call("Reload", nullptr);
    if (err.succeeded() && service.startType == SERVICE_AUTO_START)
        err = enable(service.name);
    if (err.failed()) {
        fs::remove(file, ec);
        if (wasMasked)
            (void)units_.mask(service.name);
    }
    return err;
}

HResult SystemdServiceManager::openService(const std::string &name) {
    if (const HResult err = connect(); err.failed())
        return err;
    return units_.installed(name).empty() ? hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST) : S_OK;
}

HResult SystemdServiceManager::deleteService(const std::string &name) {
    if (units_.installed(name).empty())
        return hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    (void)disable(name);
    if (units_.remove(name) != 0)
        return hresultFromWin32(ERROR_ACCESS_DENIED);
    return call("Reload", nullptr);
}

std::string SystemdServiceManager::activeState(const std::string &name) {
    if (connect().failed())
        return {};
    sd_bus_message *reply = nullptr;
    const std::string unit = unitName(name);
    if (call(
            "LoadUnit",
            [&](void *m) {
                return sd_bus_message_append(static_cast<sd_bus_message *>(m), "s", unit.c_str());
            },
            reinterpret_cast<void **>(&reply))
            .failed())
        return {};
    const char *path = nullptr;
    std::string state;
    if (sd_bus_message_read(reply, "o", &path) >= 0 && path) {
        char *value = nullptr;
        if (sd_bus_get_property_string(busOf(bus_), kDestination, path,
                                       "org.freedesktop.systemd1.Unit", "ActiveState", nullptr,
                                       &value) >= 0 &&
            value) {
            state = value;
            free(value);
        }
    }
    sd_bus_message_unref(reply);
    return state;
}

HResult SystemdServiceManager::queryStatus(const std::string &name, ServiceStatus &status) {
    if (const HResult err = connect(); err.failed())
        return err;
    const std::string state = activeState(name);
    if (state.empty())
        return hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    status = ServiceStatus{};
    status.currentState = serviceStateOf(state);
    status.controlsAccepted = status.currentState == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP : 0;
    return S_OK;
}

HResult SystemdServiceManager::controlStop(const std::string &name, ServiceStatus &status) {
    if (const HResult err = queryStatus(name, status); err.failed())
        return err;
    if (status.currentState != SERVICE_RUNNING && status.currentState != SERVICE_START_PENDING)
        return hresultFromWin32(ERROR_SERVICE_NOT_ACTIVE);
    const std::string unit = unitName(name);
    const HResult err = call("StopUnit", [&](void *m) {
        return sd_bus_message_append(static_cast<sd_bus_message *>(m), "ss", unit.c_str(),
                                     "replace");
    });
    if (err.succeeded())
        status.currentState = SERVICE_STOP_PENDING;
    return err;
}

HResult SystemdServiceManager::startService(const std::string &name) {
    ServiceStatus status;
    if (queryStatus(name, status).succeeded() && status.currentState == SERVICE_RUNNING)
        return hresultFromWin32(ERROR_SERVICE_ALREADY_RUNNING);
    const std::string unit = unitName(name);
    return call("StartUnit", [&](void *m) {
        return sd_bus_message_append(static_cast<sd_bus_message *>(m), "ss", unit.c_str(),
                                     "replace");
    });
}

HResult SystemdServiceManager::restartIfRunning(const std::string &name) {
    ServiceStatus status;
    if (const HResult err = queryStatus(name, status); err.failed())
        return err;
    if (status.currentState != SERVICE_RUNNING && status.currentState != SERVICE_START_PENDING)
        return S_FALSE;
    const std::string unit = unitName(name);
    return call("TryRestartUnit", [&](void *m) {
        return sd_bus_message_append(static_cast<sd_bus_message *>(m), "ss", unit.c_str(),
                                     "replace");
    });
}

HResult SystemdServiceManager::changeStartType(const std::string &name, uint32_t startType) {
    if (units_.installed(name).empty())
        return hresultFromWin32(ERROR_SERVICE_DOES_NOT_EXIST);
    return startType == SERVICE_AUTO_START ? enable(name) : disable(name);
}

HResult SystemdServiceManager::runDispatcher(const std::string &,
                                             const std::function<void()> &serviceMain) {
    if (!getenv("NOTIFY_SOCKET"))
        return hresultFromWin32(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
    // Controls arrive as signals, taken here on the dispatcher's thread while the service runs
    // on its own: SIGTERM stops, SIGHUP reloads.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    std::atomic<bool> done{false};
    std::thread service([&] {
        serviceMain();
        done = true;
    });
    while (!done) {
        timespec tick{0, 100'000'000};
        const int signal = sigtimedwait(&signals, nullptr, &tick);
        // A control that comes before the handler waits for it; every tick hands over what
        // has waited, so it is delivered within a tick of the handler's registration.
        std::function<void(uint32_t)> handler;
        std::deque<uint32_t> controls;
        {
            std::lock_guard lock(handlerMutex_);
            if (signal > 0)
                pending_.push_back(signal == SIGHUP ? SERVICE_CONTROL_RELOAD
                                                    : SERVICE_CONTROL_STOP);
            if (handler_ && !pending_.empty()) {
                handler = handler_;
                controls.swap(pending_);
            }
        }
        for (const uint32_t control : controls)
            handler(control);
    }
    service.join();
    std::lock_guard lock(handlerMutex_);
    handler_ = nullptr;
    pending_.clear();
    return S_OK;
}

HResult SystemdServiceManager::registerControlHandler(const std::string &,
                                                      std::function<void(uint32_t)> handler) {
    std::lock_guard lock(handlerMutex_);
    handler_ = std::move(handler);
    return S_OK;
}

HResult SystemdServiceManager::setStatus(const ServiceStatus &status) {
    std::string message;
    const std::string extend =
        "EXTEND_TIMEOUT_USEC=" + std::to_string(uint64_t(status.waitHint) * 1000);
    switch (status.currentState) {
        case SERVICE_START_PENDING:
            message = "STATUS=Starting\n" + extend;
            break;
        case SERVICE_RUNNING:
            message = "READY=1\nSTATUS=Running";
            break;
        case SERVICE_STOP_PENDING:
            message = "STOPPING=1\nSTATUS=Stopping\n" + extend;
            break;
        case SERVICE_STOPPED:
            message = "STATUS=Stopped";
            break;
        default:
            message = "STATUS=Pending\n" + extend;
            break;
    }
    return sd_notify(0, message.c_str()) > 0
               ? S_OK
               : hresultFromWin32(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT);
}

namespace {

// Where the system manager finds the units packages bring.
std::vector<fs::path> packagedUnitDirectories() {
    std::vector<fs::path> directories;
    for (const char *directory :
         {"/usr/local/lib/systemd/system", "/usr/lib/systemd/system", "/lib/systemd/system"})
        directories.push_back(machinePath(directory));
    return directories;
}

}  // namespace

SystemdServiceManager &systemServiceManager() {
    const char *kind = getenv("LUMAGHOST_SERVICE_MANAGER");
    const bool user = kind && std::string(kind) == "user";
    static SystemdServiceManager manager(
        machinePath("/etc/systemd/system"), user,
        user ? std::vector<fs::path>() : packagedUnitDirectories());
    return manager;
}

bool JournalEventLog::report(const std::string &source, EventType type, uint32_t id,
                             const std::string &text) {
    // Without a journal to listen, nothing is written and nothing waits.
    if (::access("/run/systemd/journal/socket", W_OK) != 0)
        return false;
    const int priority = type == EventType::Error     ? LOG_ERR
                         : type == EventType::Warning ? LOG_WARNING
                                                      : LOG_INFO;
    return sd_journal_send("MESSAGE=%s", text.c_str(), "PRIORITY=%d", priority,
                           "SYSLOG_IDENTIFIER=%s", source.c_str(), "LUMAGHOST_EVENT_ID=0x%08X", id,
                           nullptr) == 0;
}

void TerminalConsole::print(const std::string &text) {
    (void)writeAll(STDOUT_FILENO, text.data(), text.size());
}

namespace {

// The handler of the signal thread; replaced and cleared under the lock, so a signal never
// reaches an object that is gone. Never destroyed: the thread outlives static destruction.
struct SignalHandler {
    std::mutex mutex;  // guards handler and its calls
    std::function<void()> handler;
};

SignalHandler &signalHandler() {
    static auto *handler = new SignalHandler;
    return *handler;
}

// Signals are taken by a thread of their own, where anything may be done with them.
void handleSignals(std::function<void()> onSignal, bool includeInterrupt) {
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGTERM);
    if (includeInterrupt)
        sigaddset(&signals, SIGINT);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    {
        std::lock_guard lock(signalHandler().mutex);
        signalHandler().handler = std::move(onSignal);
    }
    std::thread([signals] {
        for (;;) {
            int signal = 0;
            if (sigwait(&signals, &signal) != 0)
                continue;
            SignalHandler &h = signalHandler();
            std::lock_guard lock(h.mutex);
            if (h.handler)
                h.handler();
        }
    }).detach();
}

}  // namespace

void TerminalConsole::installBreakHandler(std::function<void()> onBreak) {
    handleSignals(std::move(onBreak), true);
}

void TerminalConsole::detach(std::function<void()> onStop) {
    // Leave the terminal: the parent returns to the shell, the child carries on in a session of
    // its own with its standard streams on /dev/null.
    const pid_t pid = fork();
    if (pid > 0)
        _exit(1);
    setsid();
    UniqueFd null(::open("/dev/null", O_RDWR | O_CLOEXEC));
    if (null) {
        dup2(null.get(), STDIN_FILENO);
        dup2(null.get(), STDOUT_FILENO);
        dup2(null.get(), STDERR_FILENO);
    }
    handleSignals(std::move(onStop), false);
}

void TerminalConsole::clearHandlers() {
    SignalHandler &h = signalHandler();
    std::lock_guard lock(h.mutex);
    h.handler = nullptr;
}

}  // namespace lumaghost
