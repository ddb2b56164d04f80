// The operating-system module: distribution and kernel, users, uptime and load, installed
// packages, services, processes, kernel modules, file systems, network configuration,
// environment, locale and time.
#include "ModuleKit.h"

#include "support/TextCodec.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cstdio>
#include <ctime>
#include <ifaddrs.h>
#include <map>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/statvfs.h>
#include <sys/utsname.h>
#include <unistd.h>

extern char** environ;

namespace ostero::modules {

namespace {

enum : uint16_t {
    icInfo = 16,
    icHarddisk = 9,
    icFailed = 32,
    icClock = 46,
    icUser = 50,
    icSoftware = 52,
    icApplication = 53,
    icDriver = 54,
    icOperatingSystem = 55,
    icSetting = 56,
    icNetworkDrive = 73,
    icService = 79,
    icPciNetwork = 23,
    icProcesses = 107,
    icRunningProcess = 108,
    icStoppedProcess = 109,
};

uint64_t ToNumber(const std::string& text, int base = 10) {
    try {
        return text.empty() ? 0 : std::stoull(text, nullptr, base);
    } catch (...) {
        return 0;
    }
}

std::string Unquote(std::string text) {
    if (text.size() >= 2 && (text.front() == '"' || text.front() == '\'') &&
        text.back() == text.front())
        text = text.substr(1, text.size() - 2);
    return text;
}

std::map<std::string, std::string> OsRelease() {
    std::string text = ReadText("/etc/os-release", 65536);
    if (text.empty())
        text = ReadText("/usr/lib/os-release", 65536);
    std::map<std::string, std::string> values;
    for (const std::string& line : SplitLines(text)) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !StartsWith(Trim(line), "#"))
            values[Trim(line.substr(0, eq))] = Unquote(Trim(line.substr(eq + 1)));
    }
    return values;
}

// Kernel values: from /proc/sys/kernel below the root folder, else (the running machine) uname.
struct TKernel {
    std::string Name, Release, Version, Architecture, HostName;
};

TKernel Kernel() {
    TKernel k;
    k.Name = ReadValue("/proc/sys/kernel/ostype");
    k.Release = ReadValue("/proc/sys/kernel/osrelease");
    k.Version = ReadValue("/proc/sys/kernel/version");
    k.Architecture = ReadValue("/proc/sys/kernel/arch");
    k.HostName = ReadValue("/proc/sys/kernel/hostname");
    utsname uts{};
    if (ReadingLiveSystem() && ::uname(&uts) == 0) {
        if (k.Name.empty())
            k.Name = uts.sysname;
        if (k.Release.empty())
            k.Release = uts.release;
        if (k.Version.empty())
            k.Version = uts.version;
        if (k.Architecture.empty())
            k.Architecture = uts.machine;
        if (k.HostName.empty())
            k.HostName = uts.nodename;
    }
    return k;
}

std::string DistributionName(const std::map<std::string, std::string>& os) {
    const auto pretty = os.find("PRETTY_NAME");
    if (pretty != os.end() && !pretty->second.empty())
        return pretty->second;
    const auto name = os.find("NAME");
    const auto version = os.find("VERSION");
    std::string text = name != os.end() ? name->second : "Linux";
    if (version != os.end())
        text += " " + version->second;
    return text;
}

std::string Duration(uint64_t seconds) {
    char text[64];
    std::snprintf(text, sizeof(text), "%llu days, %02llu:%02llu:%02llu",
                  static_cast<unsigned long long>(seconds / 86400),
                  static_cast<unsigned long long>(seconds / 3600 % 24),
                  static_cast<unsigned long long>(seconds / 60 % 60),
                  static_cast<unsigned long long>(seconds % 60));
    return text;
}

std::string DateTime(time_t t) {
    tm local{};
    ::localtime_r(&t, &local);
    char text[64];
    std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// --- Operating system.

void FillOperatingSystem(TSubList& list) {
    const auto os = OsRelease();
    const TKernel kernel = Kernel();
    list.Group(0, icOperatingSystem, "Distribution");
    list.Property("Name", DistributionName(os), icOperatingSystem, 0, kBoldLine);
    for (const auto& [key, name] : std::initializer_list<std::pair<const char*, const char*>>{
             {"NAME", "Distribution"},
             {"VERSION", "Version"},
             {"VERSION_ID", "Version number"},
             {"VERSION_CODENAME", "Code name"},
             {"ID", "Identifier"},
             {"ID_LIKE", "Based on"}}) {
        const auto it = os.find(key);
        if (it != os.end() && !it->second.empty())
            list.Property(name, it->second);
    }
    const auto home = os.find("HOME_URL");
    if (home != os.end())
        list.Property("Home page", home->second, 0, nfLink);
    const std::string debian = ReadValue("/etc/debian_version");
    if (!debian.empty())
        list.Property("Debian version", debian);
    list.Group(0, icSetting, "Kernel");
    list.Property("Kernel", kernel.Name);
    list.Property("Release", kernel.Release, 0, 0, kBoldLine);
    list.Property("Build", kernel.Version);
    list.Property("Architecture", kernel.Architecture);
    const std::string procVersion = ReadValue("/proc/version");
    if (!procVersion.empty())
        list.Property("Kernel banner", procVersion);
    const std::string cmdline = ReadValue("/proc/cmdline");
    if (!cmdline.empty())
        list.Property("Command line", cmdline);
    list.Group(0, icInfo, "Computer");
    list.Property("Host name", kernel.HostName, 0, nfPrivate);
    const std::string machineId = ReadValue("/etc/machine-id");
    if (!machineId.empty())
        list.Property("Machine ID", machineId, 0, nfPrivate);
}

// --- Users.

void FillUsers(TSubList& list) {
    const auto lines = SplitLines(ReadText("/etc/passwd", 4 << 20));
    const std::string shells = ReadText("/etc/shells", 65536);
    int people = 0, system = 0;
    list.Group(0, icUser, "Accounts that can log in");
    for (const std::string& line : lines) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t colon; (colon = line.find(':', start)) != std::string::npos; start = colon + 1)
            f.push_back(line.substr(start, colon - start));
        f.push_back(line.substr(start));
        if (f.size() < 7 || f[0].empty())
            continue;
        const std::string& shell = f[6];
        const bool canLogIn =
            shell.find("nologin") == std::string::npos && shell != "/bin/false" && !shell.empty();
        const uint64_t uid = ToNumber(f[2]);
        if (!canLogIn || (uid != 0 && uid < 1000)) {
            ++system;
            continue;
        }
        ++people;
        list.Group(1, icUser, f[0]);
        list.Property("User ID", f[2], 0, nfPrivate);
        list.Property("Group ID", f[3], 0, nfPrivate);
        const std::string fullName = f[4].substr(0, f[4].find(','));
        if (!fullName.empty())
            list.Property("Full name", fullName, 0, nfPrivate);
        list.Property("Home folder", f[5], 0, nfPrivate);
        list.Property("Shell", shell, 0,
                      shells.empty() || shells.find(shell) != std::string::npos
                          ? nfPrivate
                          : nfPrivate | nfHighlight);
        if (uid == 0)
            list.Property("Administrator", "Yes", 0, nfPrivate);
    }
    if (people == 0)
        list.Note("No accounts found", icInfo);
    list.Group(0, icUser, "Summary");
    list.Property("Accounts that can log in", std::to_string(people));
    list.Property("System accounts", std::to_string(system));
}

// --- Uptime and load.

void FillUptime(TSubList& list) {
    list.Group(0, icClock, "Uptime and load");
    const std::string uptime = ReadValue("/proc/uptime");
    if (!uptime.empty())
        list.Property("Running for", Duration(ToNumber(uptime.substr(0, uptime.find('.')))),
                      icClock, nfVolatile);
    for (const std::string& line : SplitLines(ReadText("/proc/stat", 1 << 20))) {
        if (StartsWith(line, "btime "))
            list.Property("Started at",
                          DateTime(static_cast<time_t>(ToNumber(Trim(line.substr(6))))));
        else if (StartsWith(line, "procs_running "))
            list.Property("Runnable processes", Trim(line.substr(14)), 0, nfVolatile);
        else if (StartsWith(line, "processes "))
            list.Property("Processes started since boot", Trim(line.substr(10)), 0, nfVolatile);
    }
    const std::string load = ReadValue("/proc/loadavg");
    if (!load.empty()) {
        std::vector<std::string> parts;
        size_t start = 0;
        for (size_t blank; (blank = load.find(' ', start)) != std::string::npos; start = blank + 1)
            parts.push_back(load.substr(start, blank - start));
        parts.push_back(load.substr(start));
        if (parts.size() >= 3) {
            const long cpus = ReadingLiveSystem() ? ::sysconf(_SC_NPROCESSORS_ONLN) : 0;
            // A load above twice the processor count means work is waiting.
            const double one = std::atof(parts[0].c_str());
            const int32_t busy =
                cpus > 0 && one > 2.0 * static_cast<double>(cpus) ? nfHighlight : 0;
            list.Property("Load (1 minute)", parts[0], 0, nfVolatile | busy);
            list.Property("Load (5 minutes)", parts[1], 0, nfVolatile);
            list.Property("Load (15 minutes)", parts[2], 0, nfVolatile);
        }
    }
}

// --- Installed packages.

void FillPackages(TSubList& list) {
    auto result = ReadSysFile("/var/lib/dpkg/status", 256 << 20);
    if (!result.Text) {
        list.Note("No package database found (/var/lib/dpkg/status)", icInfo);
        return;
    }
    std::map<std::string, std::string> packages; // name (with architecture when foreign) -> version
    std::string name, version, status, arch;
    auto flush = [&]() {
        if (!name.empty() && status.find(" installed") != std::string::npos)
            packages[name + (arch.empty() || arch == "all" ? "" : ":" + arch)] = version;
        name.clear();
        version.clear();
        status.clear();
        arch.clear();
    };
    for (const std::string& line : SplitLines(*result.Text)) {
        if (line.empty())
            flush();
        else if (StartsWith(line, "Package: "))
            name = Trim(line.substr(9));
        else if (StartsWith(line, "Version: "))
            version = Trim(line.substr(9));
        else if (StartsWith(line, "Status: "))
            status = line.substr(7);
        else if (StartsWith(line, "Architecture: "))
            arch = Trim(line.substr(14));
    }
    flush();
    list.Group(0, icSoftware, "Installed packages");
    list.Property("Count", std::to_string(packages.size()), 0, 0, kBoldLine);
    for (const auto& [package, packageVersion] : packages)
        list.Property(package, packageVersion, icApplication);
}

// --- Services.

void FillServices(TSubList& list) {
    // Unit files: the administrator's folder wins over the distribution's.
    std::map<std::string, std::string> units; // name -> file
    for (const char* folder :
         {"/usr/lib/systemd/system", "/lib/systemd/system", "/etc/systemd/system"}) {
        for (const std::string& name : ListFolder(folder)) {
            if (name.size() > 8 && name.ends_with(".service") &&
                name.find('@') == std::string::npos)
                units[name] = std::string(folder) + "/" + name;
        }
    }
    if (units.empty()) {
        list.Note("No systemd services found", icInfo);
        return;
    }
    std::map<std::string, std::string> enabledBy;
    for (const std::string& wants : ListFolder("/etc/systemd/system")) {
        if (!wants.ends_with(".wants"))
            continue;
        for (const std::string& name : ListFolder("/etc/systemd/system/" + wants))
            enabledBy[name] = wants.substr(0, wants.size() - 6);
    }
    list.Group(0, icService, "Services");
    for (const auto& [name, file] : units) {
        std::string description;
        bool hasInstall = false;
        for (const std::string& line : SplitLines(ReadText(file, 65536))) {
            if (StartsWith(line, "Description="))
                description = Trim(line.substr(12));
            else if (Trim(line) == "[Install]")
                hasInstall = true;
        }
        const auto enabled = enabledBy.find(name);
        // A unit linked to /dev/null is masked: it cannot be started at all.
        const std::string state = LinkName(file) == "null"     ? "masked"
                                  : enabled != enabledBy.end() ? "enabled (" + enabled->second + ")"
                                  : hasInstall                 ? "disabled"
                                                               : "static";
        list.Property(name.substr(0, name.size() - 8),
                      state + (description.empty() ? "" : ", " + description), icService);
    }
}

// --- Processes (a live entry).

void FillProcesses(TSubList& list) {
    std::map<uint64_t, std::string> userNames;
    for (const std::string& line : SplitLines(ReadText("/etc/passwd", 4 << 20))) {
        const size_t a = line.find(':'), b = line.find(':', a + 1), c = line.find(':', b + 1);
        if (c != std::string::npos)
            userNames[ToNumber(line.substr(b + 1, c - b - 1))] = line.substr(0, a);
    }
    int count = 0;
    list.Group(0, icProcesses, "Processes");
    for (const std::string& pid : ListFolder("/proc")) {
        if (pid.find_first_not_of("0123456789") != std::string::npos)
            continue;
        const std::string dir = "/proc/" + pid;
        const std::string stat = ReadText(dir + "/stat", 4096);
        const size_t close = stat.rfind(')');
        if (close == std::string::npos || close + 2 >= stat.size())
            continue; // the process ended meanwhile
        const std::string comm = stat.substr(stat.find('(') + 1, close - stat.find('(') - 1);
        const char state = stat[close + 2];
        if (comm.empty())
            continue;
        ++count;
        std::string user, rss;
        for (const std::string& line : SplitLines(ReadText(dir + "/status", 65536))) {
            if (StartsWith(line, "Uid:")) {
                const uint64_t uid = ToNumber(
                    Trim(line.substr(4)).substr(0, Trim(line.substr(4)).find_first_of(" \t")));
                const auto it = userNames.find(uid);
                user = it != userNames.end() ? it->second : std::to_string(uid);
            } else if (StartsWith(line, "VmRSS:")) {
                rss = Trim(line.substr(6));
            }
        }
        const bool stopped = state == 'T' || state == 't' || state == 'Z';
        const char* stateName = state == 'R'                   ? "running"
                                : state == 'S'                 ? "sleeping"
                                : state == 'D'                 ? "waiting for I/O"
                                : state == 'Z'                 ? "ended, not collected (zombie)"
                                : state == 'T' || state == 't' ? "stopped"
                                : state == 'I'                 ? "idle"
                                                               : "other";
        // One line per process, all volatile: processes come and go between two looks, which
        // a comparison must not count as a change of the machine. The name is the key, so an
        // "=" in it would cut it short.
        std::string name = comm + " (" + pid + ")";
        std::replace(name.begin(), name.end(), '=', ':');
        list.Property(name,
                      rss.empty() ? std::string(stateName) : stateName + std::string(", ") + rss,
                      stopped ? icStoppedProcess : icRunningProcess,
                      nfVolatile | (state == 'Z' ? nfHighlight : 0));
        // Who started it and how: command lines can carry passwords and personal paths.
        std::string cmdline = ReadText(dir + "/cmdline", 4096);
        std::replace(cmdline.begin(), cmdline.end(), '\0', ' ');
        cmdline = Trim(cmdline);
        if (!user.empty() || !cmdline.empty())
            list.Property(name + " started by",
                          cmdline.empty() ? user : (user.empty() ? cmdline : user + ": " + cmdline),
                          0, nfVolatile | nfPrivate);
    }
    list.Group(0, icProcesses, "Summary");
    list.Property("Processes", std::to_string(count), 0, nfVolatile);
}

// --- Kernel modules.

void FillKernelModules(TSubList& list) {
    auto result = ReadSysFile("/proc/modules", 4 << 20);
    list.Group(0, icDriver, "Loaded kernel modules");
    if (!result.Text || result.Text->empty()) {
        list.Note("No loadable kernel modules in use", icInfo);
        return;
    }
    for (const std::string& line : SplitLines(*result.Text)) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t blank; (blank = line.find(' ', start)) != std::string::npos; start = blank + 1)
            f.push_back(line.substr(start, blank - start));
        f.push_back(line.substr(start));
        if (f.size() < 5)
            continue;
        std::string users = f[3] == "-" ? "" : f[3];
        if (!users.empty() && users.back() == ',')
            users.pop_back();
        std::string value = FormatBytes(ToNumber(f[1])) + ", used " + f[2] + " times";
        if (!users.empty())
            value += " by " + users;
        if (f[4] != "Live")
            value += ", " + f[4];
        list.Property(f[0], value, icDriver, f[4] == "Live" ? 0 : nfHighlight);
    }
}

// --- File systems.

bool IsNetworkFileSystem(const std::string& type) {
    return type == "nfs" || type == "nfs4" || type == "cifs" || type == "smb3" || type == "smbfs" ||
           type == "fuse.sshfs" || type == "9p" || type == "ceph" || type == "glusterfs" ||
           type == "fuse.glusterfs";
}

bool IsPseudoFileSystem(const std::string& type) {
    static const char* const pseudo[] = {
        "proc",    "sysfs",       "devpts",   "cgroup",     "cgroup2",   "securityfs", "debugfs",
        "tracefs", "pstore",      "bpf",      "mqueue",     "hugetlbfs", "configfs",   "fusectl",
        "autofs",  "binfmt_misc", "efivarfs", "rpc_pipefs", "nsfs",      "devtmpfs",   "ramfs"};
    return std::find(std::begin(pseudo), std::end(pseudo), type) != std::end(pseudo);
}

// Octal escapes of the mount table ("\040" for a blank).
std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() &&
            text.find_first_not_of("01234567", i + 1) >= i + 4) {
            out += static_cast<char>(std::stoi(text.substr(i + 1, 3), nullptr, 8));
            i += 3;
        } else {
            out += text[i];
        }
    }
    return out;
}

void FillFileSystems(TSubList& list) {
    // The machine's mounts as its first process sees them: the agent service runs in a mount
    // namespace of its own, where its sandbox shows every file system read only.
    std::string text = ReadText("/proc/1/mounts", 4 << 20);
    if (text.empty())
        text = ReadText("/proc/self/mounts", 4 << 20);
    if (text.empty())
        text = ReadText("/proc/mounts", 4 << 20);
    int count = 0;
    for (const std::string& line : SplitLines(text)) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t blank; (blank = line.find(' ', start)) != std::string::npos; start = blank + 1)
            f.push_back(line.substr(start, blank - start));
        f.push_back(line.substr(start));
        if (f.size() < 4 || IsPseudoFileSystem(f[2]))
            continue;
        ++count;
        const std::string mountPoint = Unescape(f[1]);
        const bool network = IsNetworkFileSystem(f[2]);
        list.Group(0, network ? icNetworkDrive : icHarddisk, mountPoint);
        list.Property("Device", Unescape(f[0]));
        list.Property("File system", f[2]);
        const bool readOnly = f[3] == "ro" || StartsWith(f[3], "ro,");
        list.Property("Access", readOnly ? "read only" : "read and write");
        if (network) {
            // A file server that went away would leave statvfs hanging.
            list.Property("Size", "not asked of network file systems");
            continue;
        }
        struct statvfs st {};
        if (!ReadingLiveSystem() || ::statvfs(mountPoint.c_str(), &st) != 0 || st.f_blocks == 0)
            continue;
        const uint64_t total = uint64_t{st.f_blocks} * st.f_frsize;
        const uint64_t free = uint64_t{st.f_bavail} * st.f_frsize;
        list.Property("Size", FormatBytes(total));
        // Less than 5 % free: the file system is about to fill up.
        const int32_t full = !readOnly && free < total / 20 ? nfAlert : 0;
        list.Property("Free",
                      FormatBytes(free) + " (" + std::to_string(total ? free * 100 / total : 0) +
                          " %)",
                      0, nfVolatile | full);
    }
    if (count == 0)
        list.Note("No mounted file systems found", icFailed, nfAlert);
}

// --- Network configuration.

std::string HexIPv4(const std::string& hex) {
    const auto value = static_cast<uint32_t>(ToNumber(hex, 16)); // little-endian in the table
    in_addr address{};
    address.s_addr = value;
    char text[INET_ADDRSTRLEN] = {};
    ::inet_ntop(AF_INET, &address, text, sizeof(text));
    return text;
}

void FillNetworkConfiguration(TSubList& list) {
    if (ReadingLiveSystem()) {
        list.Group(0, icPciNetwork, "Addresses");
        ifaddrs* addresses = nullptr;
        if (::getifaddrs(&addresses) == 0) {
            for (ifaddrs* a = addresses; a; a = a->ifa_next) {
                if (!a->ifa_addr ||
                    (a->ifa_addr->sa_family != AF_INET && a->ifa_addr->sa_family != AF_INET6))
                    continue;
                char text[INET6_ADDRSTRLEN] = {};
                const void* raw =
                    a->ifa_addr->sa_family == AF_INET
                        ? static_cast<const void*>(
                              &reinterpret_cast<sockaddr_in*>(a->ifa_addr)->sin_addr)
                        : static_cast<const void*>(
                              &reinterpret_cast<sockaddr_in6*>(a->ifa_addr)->sin6_addr);
                ::inet_ntop(a->ifa_addr->sa_family, raw, text, sizeof(text));
                list.Property(std::string(a->ifa_name) +
                                  (a->ifa_addr->sa_family == AF_INET ? " IPv4" : " IPv6"),
                              text, 0, nfPrivate | nfVolatile);
            }
            ::freeifaddrs(addresses);
        }
    }
    list.Group(0, icSetting, "Routes");
    int routes = 0;
    for (const std::string& line : SplitLines(ReadText("/proc/net/route", 1 << 20))) {
        std::vector<std::string> f;
        size_t start = 0;
        for (size_t tab; (tab = line.find('\t', start)) != std::string::npos; start = tab + 1)
            f.push_back(Trim(line.substr(start, tab - start)));
        f.push_back(Trim(line.substr(start)));
        if (f.size() < 8 || f[0] == "Iface")
            continue;
        ++routes;
        const std::string destination = HexIPv4(f[1]);
        const std::string gateway = HexIPv4(f[2]);
        const std::string mask = HexIPv4(f[7]);
        const std::string name = destination == "0.0.0.0" && mask == "0.0.0.0"
                                     ? "Default route"
                                     : destination + "/" + mask;
        list.Property(
            name, (gateway == "0.0.0.0" ? std::string("direct") : "via " + gateway) + " on " + f[0],
            0, nfPrivate);
    }
    if (routes == 0)
        list.Note("No IPv4 routes", icInfo, nfHighlight);
    list.Group(0, icSetting, "Name resolution");
    int servers = 0;
    for (const std::string& line : SplitLines(ReadText("/etc/resolv.conf", 65536))) {
        const std::string t = Trim(line);
        if (StartsWith(t, "nameserver")) {
            list.Property("DNS server " + std::to_string(++servers), Trim(t.substr(10)), 0,
                          nfPrivate);
        } else if (StartsWith(t, "search") || StartsWith(t, "domain")) {
            list.Property("Search domains", Trim(t.substr(6)), 0, nfPrivate);
        }
    }
    if (servers == 0)
        list.Note("No DNS server configured (/etc/resolv.conf)", icInfo, nfHighlight);
    const std::string hostName = ReadValue("/etc/hostname");
    if (!hostName.empty())
        list.Property("Host name", hostName, 0, nfPrivate);
}

// --- Environment, locale and time.

void FillEnvironment(TSubList& list) {
    std::vector<std::string> entries;
    for (char** e = environ; e && *e; ++e)
        entries.emplace_back(*e);
    std::sort(entries.begin(), entries.end());
    list.Group(0, icSetting, "Environment of the program");
    for (const std::string& entry : entries) {
        const size_t eq = entry.find('=');
        if (eq == std::string::npos || eq == 0)
            continue;
        // Variables can carry tokens and personal paths.
        list.Property(entry.substr(0, eq), entry.substr(eq + 1), 0, nfPrivate);
    }
}

void FillLocaleAndTime(TSubList& list) {
    list.Group(0, icSetting, "Locale");
    for (const std::string& line : SplitLines(ReadText("/etc/default/locale", 65536))) {
        const size_t eq = line.find('=');
        if (eq != std::string::npos && !StartsWith(Trim(line), "#"))
            list.Property("System " + Trim(line.substr(0, eq)), Unquote(Trim(line.substr(eq + 1))));
    }
    for (const char* name : {"LANG", "LC_ALL", "LC_CTYPE", "LANGUAGE"}) {
        if (const char* value = std::getenv(name))
            list.Property(std::string("Program ") + name, value);
    }
    list.Group(0, icClock, "Time");
    std::string zone = ReadValue("/etc/timezone");
    if (zone.empty()) {
        char target[4096];
        const ssize_t n = ::readlink(SysPath("/etc/localtime").c_str(), target, sizeof(target) - 1);
        if (n > 0) {
            const std::string link(target, static_cast<size_t>(n));
            const size_t at = link.find("zoneinfo/");
            zone = at == std::string::npos ? link : link.substr(at + 9);
        }
    }
    list.Property("Time zone", zone.empty() ? "UTC (none set)" : zone);
    if (ReadingLiveSystem()) {
        const time_t now = std::time(nullptr);
        tm local{};
        ::localtime_r(&now, &local);
        char offset[16];
        std::strftime(offset, sizeof(offset), "%z", &local);
        list.Property("Local time", DateTime(now), icClock, nfVolatile);
        list.Property("Offset from UTC", offset);
    }
    const std::string adjtime = ReadText("/etc/adjtime", 4096);
    if (!adjtime.empty())
        list.Property("Hardware clock",
                      adjtime.find("LOCAL") != std::string::npos ? "local time" : "UTC");
}

TInfoModule gModule({
    {icOperatingSystem, 0, "Operating system", "OS", FillOperatingSystem},
    {icUser, 0, "Users", "USERS", FillUsers},
    {icClock, 2, "Uptime and load", "UPTIME", FillUptime},
    {icSoftware, 0, "Installed packages", "PACKAGES", FillPackages},
    {icService, 256, "Services", "SERVICES", FillServices},
    {icProcesses, 2, "Processes", "PROCESSES", FillProcesses},
    {icDriver, 256, "Kernel modules", "MODULES", FillKernelModules},
    {icHarddisk, 0, "File systems", "FILESYSTEMS", FillFileSystems},
    {icPciNetwork, 0, "Network configuration", "NETCONFIG", FillNetworkConfiguration},
    {icSetting, 256, "Environment", "ENVIRONMENT", FillEnvironment},
    {icClock, 0, "Locale and time", "LOCALE", FillLocaleAndTime},
});

} // namespace

} // namespace ostero::modules

OSTERO_DEFINE_INFO_MODULE_EXPORTS(ostero::modules::gModule)

// "Debian GNU/Linux 12 (bookworm), x86_64, kernel 6.1.0-18-amd64".
OSTERO_MODULE_EXPORT void GetOSVersionString(char* buffer) {
    using namespace ostero::modules;
    if (!buffer)
        return;
    try {
        const TKernel kernel = Kernel();
        std::string text = DistributionName(OsRelease());
        if (!kernel.Architecture.empty())
            text += ", " + kernel.Architecture;
        if (!kernel.Release.empty())
            text += ", kernel " + kernel.Release;
        CopyText(buffer, 260, ostero::support::Utf8ToAnsi(text));
    } catch (...) {
        buffer[0] = '\0';
    }
}
