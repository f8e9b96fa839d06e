#include "service/service_shell.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>

namespace lumaghost {

namespace {

ServiceShell *theService = nullptr;

std::string format(const char *pattern, const std::string &a, const std::string &b = {}) {
    std::string out;
    bool first = true;
    for (const char *p = pattern; *p; ++p) {
        if (p[0] == '%' && p[1] == 's') {
            out += first ? a : b;
            first = false;
            ++p;
        } else {
            out.push_back(*p);
        }
    }
    return out;
}

}  // namespace

std::string systemMessage(uint32_t error) {
    struct Entry {
        uint32_t code;
        const char *text;
    };
    static constexpr Entry kMessages[] = {
        {0, "The operation completed successfully."},
        {2, "The system cannot find the file specified."},
        {5, "Access is denied."},
        {87, "The parameter is incorrect."},
        {161, "The specified path is invalid."},
        {1056, "An instance of the service is already running."},
        {1057,
         "The account name is invalid or does not exist, or the password is invalid for the "
         "account name specified."},
        {1060, "The specified service does not exist as an installed service."},
        {1062, "The service has not been started."},
        {1063, "The service process could not connect to the service controller."},
        {1072, "The specified service has been marked for deletion."},
        {1073, "The specified service already exists."},
        {ERROR_SERVICE_MANAGER_UNREACHABLE, "The service manager cannot be reached."},
    };
    for (const auto &m : kMessages) {
        if (m.code == error)
            return std::string(m.text) + "\r\n";
    }
    return {};
}

ServiceShell *ServiceShell::instance() {
    return theService;
}

ServiceShell::ServiceShell(std::string serviceName, std::string displayName,
                           ServicePlatform platform)
    : serviceName_(std::move(serviceName)),
      displayName_(displayName.empty() ? serviceName_ : std::move(displayName)),
      platform_(platform) {
    theService = this;
    OsVersionInfo info;
    isNt_ =
        readPlatformVersion(platform_.versions, info) && info.platformId == VER_PLATFORM_WIN32_NT;
    if (isNt_) {
        // The account running the process goes with every event-log entry.
        if (const passwd *pw = getpwuid(geteuid()))
            userName_ = pw->pw_name;
    }
}

ServiceShell::~ServiceShell() {
    theService = nullptr;
}

void ServiceShell::OnCustomControl(uint32_t) {}
void ServiceShell::Pause() {}
void ServiceShell::Resume() {}
void ServiceShell::OnShutdown() {}

std::string ServiceShell::StartProblem() {
    return {};
}

uint32_t ServiceShell::checkpoint() const {
    std::lock_guard lock(statusMutex_);
    return checkpoint_;
}

ServiceStatus ServiceShell::status() const {
    std::lock_guard lock(statusMutex_);
    return status_;
}

std::string ServiceShell::withName(const char *pattern) const {
    return format(pattern, displayName_);
}

std::string ServiceShell::withNameAndError(const char *pattern) const {
    return format(pattern, displayName_, LastErrorText(256));
}

std::string ServiceShell::LastErrorText(size_t bufferSize) const {
    const std::string message = systemMessage(lastError_);
    if (message.empty() || bufferSize < message.size() + 14)
        return {};
    std::string text = message.substr(0, message.size() - 2);
    // Where the manager knows what stood in the way, it is said too.
    if (const std::string detail = platform_.manager.errorDetail(hresultFromWin32(lastError_));
        !detail.empty())
        text.insert(text.size() - 1, ": " + detail);
    return text;
}

void ServiceShell::EnsureConsole() {
    if (consoleAttached_)
        return;
    // Our standard streams are the console: unbuffered, so dots appear as they are printed.
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    std::setvbuf(stderr, nullptr, _IONBF, 0);
    consoleAttached_ = true;
}

int ServiceShell::DispatchCommandLine(int argc, char **argv) {
    enum class Choice { None, Install, Uninstall, Start, Stop } choice = Choice::None;
    for (int i = 1; i < argc; ++i) {
        const char *arg = argv[i];
        if (arg[0] != '-')
            continue;
        switch (arg[1]) {
            case 'i':
                choice = Choice::Install;
                break;
            case 'u':
                choice = Choice::Uninstall;
                break;
            case 's':
                choice = Choice::Start;
                break;
            case 'e':
                choice = Choice::Stop;
                break;
            case 'd':
            case 'f':
                foreground_ = true;
                return RunInForeground(argc, argv, arg[1] == 'f');
            case 'l':
            case 'p': {
                // The value is the rest of the argument, or else the next argument (none past the
                // end).
                std::string value = arg + 2;
                if (value.empty() && i + 1 < argc)
                    value = argv[++i];
                (arg[1] == 'l' ? account_ : password_) = value;
                break;
            }
            default:
                break;
        }
    }
    switch (choice) {
        case Choice::Install:
            return Install();
        case Choice::Uninstall:
            return Uninstall();
        case Choice::Start:
            return StartInstalled();
        case Choice::Stop:
            return StopInstalled();
        case Choice::None:
            break;
    }
    if (isNt_)
        return RunAsService();
    foreground_ = true;
    return RunInForeground(argc, argv, true);
}

bool ServiceShell::SetStatus(uint32_t state, uint32_t waitHint, uint32_t serviceSpecificExitCode) {
    if (foreground_)
        return true;
    HResult result;
    {
        // One report at a time, so checkpoints reach the manager in the order they were counted.
        std::lock_guard lock(statusMutex_);
        status_.currentState = state;
        status_.controlsAccepted = state == SERVICE_START_PENDING ? 0 : controlsAccepted_;
        status_.serviceSpecificExitCode = serviceSpecificExitCode;
        status_.win32ExitCode = serviceSpecificExitCode ? ERROR_SERVICE_SPECIFIC_ERROR : 0;
        status_.checkPoint =
            (state == SERVICE_RUNNING || state == SERVICE_STOPPED) ? 0 : ++checkpoint_;
        status_.waitHint = waitHint;
        result = platform_.manager.setStatus(status_);
    }
    if (result.failed()) {
        LogEvent("SetServiceStatus() failed", EventType::Error);
        return false;
    }
    return true;
}

int ServiceShell::RunAsService() {
    const HResult err = platform_.manager.runDispatcher(serviceName_, [this] { serviceMain(); });
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        LogEvent(LastErrorText(255), EventType::Error);
        return 0;
    }
    return 1;
}

void ServiceShell::serviceMain() {
    if (platform_.manager
            .registerControlHandler(serviceName_, [this](uint32_t c) { controlHandler(c); })
            .failed())
        return;
    haveStatusHandle_ = true;
    if (reportDirect(SERVICE_START_PENDING, 0).failed()) {
        LogEvent("SetServiceStatus() failed", EventType::Error);
    } else {
        Run(0, nullptr);
    }
    if (reportDirect(SERVICE_STOPPED, controlsAccepted_).failed())
        LogEvent("SetServiceStatus() failed", EventType::Error);
}

HResult ServiceShell::reportDirect(uint32_t state, uint32_t controlsAccepted) {
    std::lock_guard lock(statusMutex_);
    status_.currentState = state;
    status_.controlsAccepted = controlsAccepted;
    status_.win32ExitCode = 0;
    status_.checkPoint = state == SERVICE_STOPPED ? 0 : ++checkpoint_;
    status_.waitHint = 3000;
    return platform_.manager.setStatus(status_);
}

void ServiceShell::setCurrentState(uint32_t state) {
    std::lock_guard lock(statusMutex_);
    status_.currentState = state;
}

void ServiceShell::controlHandler(uint32_t code) {
    switch (code) {
        case SERVICE_CONTROL_STOP:
            setCurrentState(SERVICE_STOP_PENDING);
            RequestStop();
            break;
        case SERVICE_CONTROL_PAUSE:
            setCurrentState(SERVICE_PAUSE_PENDING);
            Pause();
            break;
        case SERVICE_CONTROL_CONTINUE:
            setCurrentState(SERVICE_CONTINUE_PENDING);
            Resume();
            break;
        case SERVICE_CONTROL_INTERROGATE:
            SetStatus(status().currentState, 3000, 0);
            break;
        case SERVICE_CONTROL_SHUTDOWN:
            OnShutdown();
            break;
        default:
            if (code >= 128 && code <= 255)
                OnCustomControl(code);
            break;
    }
}

int ServiceShell::Install() {
    EnsureConsole();
    const std::string &path = platform_.modulePath;
    if (path.empty() || path.size() > 1023) {
        lastError_ = ERROR_FILE_NOT_FOUND;
        print(withNameAndError("Unable to install %s - %s\n"));
        return 0;
    }
    if (!isNt_) {
        HResult r =
            platform_.machine.setValue(kRunServicesKey, serviceName_, RegValue::expandString(path));
        return r.succeeded() ? 1 : 0;
    }
    HResult err = platform_.manager.connect();
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("OpenSCManager failed - %s\n", LastErrorText(256)));
        return 0;
    }
    installation_ = {serviceName_, displayName_, path, account_, password_, SERVICE_AUTO_START};
    err = platform_.manager.createService(installation_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("CreateService failed - %s\n", LastErrorText(256)));
        return 0;
    }
    print(withName("%s installed.\n"));
    AddEventSource(path, 7);
    LogEvent("Service installed", EventType::Information);
    return 1;
}

uint32_t ServiceShell::waitWhile(uint32_t pending) {
    ServiceStatus s;
    for (;;) {
        platform_.waiter.sleep(1000);
        if (platform_.manager.queryStatus(serviceName_, s).failed())
            return 0;
        if (s.currentState != pending)
            return s.currentState;
        print(".");
    }
}

bool ServiceShell::openService() {
    HResult err = platform_.manager.connect();
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("OpenSCManager failed - %s\n", LastErrorText(256)));
        return false;
    }
    err = platform_.manager.openService(serviceName_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("OpenService failed - %s\n", LastErrorText(256)));
        return false;
    }
    return true;
}

bool ServiceShell::stopAndWait(uint32_t &endState) {
    ServiceStatus s;
    if (platform_.manager.controlStop(serviceName_, s).failed())
        return false;  // not running: nothing to say
    print(withName("Stopping %s."));
    endState = waitWhile(SERVICE_STOP_PENDING);
    print(withName(endState == SERVICE_STOPPED ? "\n%s stopped.\n" : "\n%s failed to stop.\n"));
    return true;
}

int ServiceShell::Uninstall() {
    EnsureConsole();
    if (!isNt_) {
        HResult r = platform_.machine.modify([&](HiveData &d) {
            d.createKey(kRunServicesKey);
            d.deleteValue(kRunServicesKey, serviceName_);
            return S_OK;
        });
        return r.succeeded() ? 1 : 0;
    }
    if (!openService())
        return 0;
    uint32_t ended = 0;
    (void)stopAndWait(ended);
    const HResult err = platform_.manager.deleteService(serviceName_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(format("DeleteService failed - %s\n", LastErrorText(256)));
        return 0;
    }
    print(withName("%s removed.\n"));
    RemoveEventSource();
    return 1;
}

int ServiceShell::StopInstalled() {
    if (!openService())
        return 0;
    uint32_t state = 0;
    if (!stopAndWait(state))
        return 0;
    return state == SERVICE_STOPPED ? 1 : 0;
}

int ServiceShell::StartInstalled() {
    if (!openService())
        return 0;
    print(withName("Starting up %s."));
    const HResult err = platform_.manager.startService(serviceName_);
    if (err.failed()) {
        lastError_ = win32ErrorOf(err);
        print(withNameAndError("\n%s failed to start: %s\n"));
        return 0;
    }
    const uint32_t state = waitWhile(SERVICE_START_PENDING);
    print(withName(state == SERVICE_RUNNING ? "\n%s started.\n" : "\n%s failed to start.\n"));
    return state == SERVICE_RUNNING ? 1 : 0;
}

int ServiceShell::RunInForeground(int argc, char **argv, bool faceless) {
    // Said while the terminal is still there, in the faceless mode too.
    if (const std::string problem = StartProblem(); !problem.empty()) {
        EnsureConsole();
        print(problem + "\n");
        return kCannotRunExitCode;
    }
    if (!faceless) {
        EnsureConsole();
        print(withName("Debugging %s.\n"));
        platform_.console.installBreakHandler([this] {
            print(withName("Stopping %s.\n"));
            RequestStop();
        });
    } else {
        platform_.console.detach([this] { RequestStop(); });
    }
    Run(argc, argv);
    return 1;
}

void ServiceShell::AddEventSource(const std::string &messageFile, uint32_t typesSupported) {
    const std::string key = kEventLogApplicationKey + serviceName_;
    (void)platform_.machine.modify([&](HiveData &d) {
        d.setValue(key, "EventMessageFile", RegValue::expandString(messageFile));
        d.setValue(key, "TypesSupported", RegValue::fromDword(typesSupported));
        return S_OK;
    });
    // The service joins the "Sources" list once; a list that does not exist is left alone.
    (void)platform_.machine.modify([&](HiveData &d) {
        const std::string application = normaliseKeyPath(kEventLogApplicationKey);
        const RegValue *sources = d.value(application, "Sources");
        if (!sources || sources->type != RegType::MultiString)
            return E_FAIL;
        for (const auto &s : sources->strings) {
            if (s == serviceName_)
                return E_FAIL;
        }
        RegValue grown = *sources;
        grown.strings.push_back(serviceName_);
        d.setValue(application, "Sources", grown);
        return S_OK;
    });
}

void ServiceShell::RemoveEventSource() {
    (void)platform_.machine.modify([&](HiveData &d) {
        d.deleteKey(kEventLogApplicationKey + serviceName_);
        const std::string application = normaliseKeyPath(kEventLogApplicationKey);
        if (const RegValue *sources = d.value(application, "Sources");
            sources && sources->type == RegType::MultiString) {
            RegValue kept = *sources;
            kept.strings.clear();
            for (const auto &s : sources->strings) {
                if (s != serviceName_)
                    kept.strings.push_back(s);
            }
            if (kept.strings.size() != sources->strings.size())
                d.setValue(application, "Sources", kept);
        }
        return S_OK;
    });
}

void ServiceShell::LogEvent(const std::string &text, EventType type, int64_t id) {
    uint32_t eventId = static_cast<uint32_t>(id);
    if (id == -1) {
        eventId = type == EventType::Error     ? 0xC0000002u
                  : type == EventType::Warning ? 0x80000001u
                                               : 0x40000000u;
    }
    (void)platform_.eventLog.report(serviceName_, type, eventId, text);
}

}  // namespace lumaghost
