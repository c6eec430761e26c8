// The simulated machine's state and the API tests use to arrange and inspect it.
#include "sim/machine_impl.h"

#include "platform/operations.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace sim {

namespace fs = std::filesystem;

// --- Values and GUIDs ----------------------------------------------------------

Value Sz(const std::string& text) {
    Value value;
    value.type = REG_SZ;
    value.bytes = text;
    value.bytes.push_back('\0');
    return value;
}

Value MultiSz(const std::vector<std::string>& strings) {
    Value value;
    value.type = REG_MULTI_SZ;
    value.bytes = plat::MultiSzBytes(strings);
    return value;
}

std::string SzText(const Value& value) { return value.bytes.substr(0, value.bytes.find('\0')); }

bool SameGuid(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::memcmp(a.Data4, b.Data4, sizeof a.Data4) == 0;
}

// --- Names -------------------------------------------------------------------

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string ToUpper(std::string text) {
    for (char& c : text) c = Upper(c);
    return text;
}

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (Upper(a[i]) != Upper(b[i])) return false;
    }
    return true;
}

bool NoCaseLess::operator()(const std::string& a, const std::string& b) const {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return static_cast<unsigned char>(Upper(x)) < static_cast<unsigned char>(Upper(y));
    });
}

bool WildcardMatch(const std::string& pattern, const std::string& name) {
    const std::size_t none = std::string::npos;
    std::size_t p = 0, n = 0, star = none, starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && pattern[p] == '*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == '?' || Upper(pattern[p]) == Upper(name[n]))) {
            ++p;
            ++n;
        } else if (star != none) {
            // Let the last '*' take one more character and try again from there.
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') ++p;
    return p == pattern.size();
}

std::vector<std::string> SplitMultiSz(const std::string& bytes) {
    std::vector<std::string> strings;
    std::size_t start = 0;
    while (start < bytes.size()) {
        const std::size_t end = std::min(bytes.find('\0', start), bytes.size());
        if (end == start) break;  // the empty string that ends the list
        strings.push_back(bytes.substr(start, end - start));
        start = end + 1;
    }
    return strings;
}

namespace {

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// Characters Windows refuses in a file name.
bool HasForbiddenChar(const std::string& name) {
    for (char c : name) {
        if (static_cast<unsigned char>(c) < 0x20 || std::strchr("<>:\"|?*", c) != nullptr) return true;
    }
    return false;
}

}  // namespace

WinPath ParseWinPath(const std::string& path) {
    WinPath result;
    std::string rest = path;
    if (rest.size() >= 2 && rest[1] == ':' && std::isalpha(static_cast<unsigned char>(rest[0]))) {
        if (Upper(rest[0]) != 'C') {
            result.error = ERROR_PATH_NOT_FOUND;
            return result;
        }
        rest.erase(0, 2);
    } else if (rest.empty()) {
        result.error = ERROR_PATH_NOT_FOUND;
        return result;
    } else if (rest.size() >= 2 && IsSeparator(rest[0]) && IsSeparator(rest[1])) {
        result.error = ERROR_BAD_NETPATH;  // network and device paths are not simulated
        return result;
    }

    std::vector<std::string> raw(1);
    for (char c : rest) {
        if (IsSeparator(c)) {
            raw.emplace_back();
        } else {
            raw.back().push_back(c);
        }
    }
    // raw.back() is the final name; it is empty when the path ends in a separator.
    for (std::size_t i = 0; i < raw.size(); ++i) {
        std::string part = raw[i];
        if (part.empty() || part == ".") continue;
        if (part == "..") {
            if (!result.parts.empty()) result.parts.pop_back();
            continue;
        }
        if (i + 1 == raw.size()) {
            while (!part.empty() && (part.back() == '.' || part.back() == ' ')) part.pop_back();
        } else if (part.back() == '.') {
            part.pop_back();
        }
        if (part.empty()) continue;
        if (HasForbiddenChar(part)) {
            result.error = ERROR_INVALID_NAME;
            result.parts.clear();
            return result;
        }
        result.parts.push_back(part);
    }
    return result;
}

std::vector<std::string> SplitKeyPath(const std::string& path) {
    std::vector<std::string> parts;
    std::string part;
    for (char c : path + "\\") {
        if (c != '\\') {
            part.push_back(c);
        } else if (!part.empty()) {
            parts.push_back(part);
            part.clear();
        }
    }
    return parts;
}

std::string JoinUpper(const std::vector<std::string>& parts) {
    std::string joined;
    for (const std::string& part : parts) joined += "\\" + ToUpper(part);
    return joined;
}

// --- Machine::Impl ---------------------------------------------------------------

std::optional<DWORD> Machine::Impl::EnterLocked(const char* operation) {
    const int call = ++calls[operation];
    const auto numbered = failOnCall.find({operation, call});
    if (numbered != failOnCall.end()) return numbered->second;
    const auto next = failNext.find(operation);
    if (next != failNext.end() && !next->second.empty()) {
        const DWORD error = next->second.front();
        next->second.pop_front();
        return error;
    }
    const auto always = failAlways.find(operation);
    if (always != failAlways.end()) return always->second;
    return std::nullopt;
}

Machine::Impl::DeviceRecord* Machine::Impl::FindRecordLocked(DWORD devInst) {
    // Records keep the order they were added in, so their numbers ascend.
    const auto found = std::lower_bound(devices.begin(), devices.end(), devInst,
                                        [](const auto& record, DWORD n) { return record->devInst < n; });
    return found != devices.end() && (*found)->devInst == devInst ? found->get() : nullptr;
}

Machine::Impl::DeviceRecord* Machine::Impl::FindRecordLocked(const std::string& instanceId) {
    const auto found = byInstanceId.find(instanceId);
    return found != byInstanceId.end() ? found->second : nullptr;
}

std::vector<std::string> Machine::Impl::EnumKeyParts(const std::string& instanceId) {
    std::vector<std::string> parts = {"SYSTEM", "CurrentControlSet", "Enum"};
    for (std::string& part : SplitKeyPath(instanceId)) parts.push_back(std::move(part));
    return parts;
}

Machine::Impl::Key* Machine::Impl::FindKeyLocked(const std::vector<std::string>& parts) {
    Key* key = &hklm;
    for (const std::string& part : parts) {
        const auto sub = key->subkeys.find(part);
        if (sub == key->subkeys.end()) return nullptr;
        key = sub->second.get();
    }
    return key;
}

Machine::Impl::Key* Machine::Impl::MakeKeyLocked(const std::vector<std::string>& parts) {
    Key* key = &hklm;
    for (const std::string& part : parts) {
        std::unique_ptr<Key>& sub = key->subkeys[part];
        if (!sub) sub = std::make_unique<Key>();
        key = sub.get();
    }
    return key;
}

void Machine::Impl::WriteDriverKeyLocked(DeviceRecord& record) {
    Device& device = record.device;
    if (device.driverInf.empty()) return;
    char number[16];
    std::snprintf(number, sizeof number, "%04u", static_cast<unsigned>(record.devInst));
    const std::string classKey = plat::GuidText(device.classGuid);
    Key* key = MakeKeyLocked({"SYSTEM", "CurrentControlSet", "Control", "Class", classKey, number});
    key->values["InfPath"] = Sz(device.driverInf.substr(device.driverInf.find_last_of('\\') + 1));
    device.properties[SPDRP_DRIVER] = Sz(classKey + "\\" + number);
}

void Machine::Impl::DeleteKeyLocked(const std::vector<std::string>& parts) {
    if (parts.empty()) return;
    Key* parent = FindKeyLocked(std::vector<std::string>(parts.begin(), parts.end() - 1));
    if (parent != nullptr) parent->subkeys.erase(parts.back());
}

namespace {

bool IsFolder(const fs::path& path) {
    std::error_code ec;
    return fs::is_directory(path, ec);
}

std::string ShortNameKey(const fs::path& folder, const std::string& name) {
    return folder.string() + "/" + ToUpper(name);
}

}  // namespace

std::optional<fs::path> Machine::Impl::FindEntryLocked(const fs::path& folder, const std::string& name) const {
    std::error_code ec;
    // The name as given is the common case; only a differently cased one needs the walk.
    if (fs::exists(fs::symlink_status(folder / name, ec))) return folder / name;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        if (EqualNoCase(it->path().filename().string(), name)) return it->path();
    }
    const auto alias = shortNames.find(ShortNameKey(folder, name));
    if (alias != shortNames.end() && fs::exists(fs::symlink_status(folder / alias->second, ec))) {
        return folder / alias->second;
    }
    return std::nullopt;
}

std::string Machine::Impl::WindowsPathOfHostLocked(const fs::path& host) const {
    std::error_code ec;
    const fs::path below = host.lexically_relative(fs::weakly_canonical(root, ec));
    std::string path;
    if (below.empty() || *below.begin() == "..") {
        path = "Z:" + host.string();  // outside drive C:, as Wine shows the host's own folders
    } else {
        path = "C:";
        for (const fs::path& part : below) {
            if (part != ".") path += "\\" + part.string();
        }
        if (path == "C:") path += "\\";
    }
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

Machine::Impl::Resolved Machine::Impl::ResolveLocked(const WinPath& path) const {
    Resolved resolved;
    if (path.error != ERROR_SUCCESS || root.empty()) {
        resolved.error = path.error != ERROR_SUCCESS ? path.error : ERROR_PATH_NOT_FOUND;
        return resolved;
    }
    resolved.key = JoinUpper(path.parts);
    fs::path folder = root;
    for (std::size_t i = 0; i + 1 < path.parts.size(); ++i) {
        const std::optional<fs::path> entry = FindEntryLocked(folder, path.parts[i]);
        if (!entry || !IsFolder(*entry)) {
            resolved.error = ERROR_PATH_NOT_FOUND;
            return resolved;
        }
        folder = *entry;
    }
    if (path.parts.empty()) {
        resolved.host = root;
        resolved.exists = resolved.isDir = true;
        return resolved;
    }
    if (const std::optional<fs::path> entry = FindEntryLocked(folder, path.parts.back())) {
        std::error_code ec;
        resolved.host = *entry;
        resolved.exists = true;
        resolved.isDir = IsFolder(*entry);
        resolved.isLink = fs::is_symlink(fs::symlink_status(*entry, ec));
        resolved.leadsNowhere = resolved.isLink && !fs::exists(fs::status(*entry, ec));
    } else {
        resolved.host = folder / path.parts.back();
    }
    return resolved;
}

Machine::Impl::Resolved Machine::Impl::ResolveLocked(const std::string& windowsPath) const {
    return ResolveLocked(ParseWinPath(windowsPath));
}

bool Machine::Impl::MakeFoldersLocked(const std::vector<std::string>& parts) {
    if (root.empty()) return false;
    fs::path folder = root;
    for (const std::string& part : parts) {
        if (const std::optional<fs::path> entry = FindEntryLocked(folder, part)) {
            if (!IsFolder(*entry)) return false;
            folder = *entry;
        } else {
            folder /= part;
            std::error_code ec;
            if (!fs::create_directory(folder, ec)) return false;
        }
    }
    return true;
}

DWORD Machine::Impl::DeleteFileLocked(const std::string& windowsPath) {
    const Resolved file = ResolveLocked(windowsPath);
    if (file.error != ERROR_SUCCESS) return file.error;
    if (!file.exists) return ERROR_FILE_NOT_FOUND;
    if (file.isDir || undeletable.count(file.key) != 0) return ERROR_ACCESS_DENIED;
    for (const auto& entry : files) {
        if (entry.second.key == file.key && !(entry.second.share & FILE_SHARE_DELETE)) {
            return ERROR_SHARING_VIOLATION;
        }
    }
    std::error_code ec;
    if (!fs::remove(file.host, ec)) return ERROR_ACCESS_DENIED;
    return ERROR_SUCCESS;
}

void Machine::Impl::DropMutexIfUnusedLocked(const std::string& name) {
    const auto found = mutexes.find(name);
    if (found != mutexes.end() && found->second.localHandles == 0 && !found->second.openElsewhere) {
        mutexes.erase(found);
    }
}

void Machine::Impl::AbandonMutexesOfLocked(std::thread::id thread) {
    for (auto& entry : mutexes) {
        NamedMutex& mutex = entry.second;
        if (mutex.recursion == 0 || mutex.owner != thread) continue;
        mutex.owner = std::thread::id();
        mutex.recursion = 0;
        mutex.abandoned = true;
    }
}

bool Machine::Impl::IsWindowLocked(HWND window) const {
    return window != nullptr && std::any_of(windows.begin(), windows.end(),
                                            [&](const Window& w) { return w.hwnd == window; });
}

void Machine::Impl::ReleaseFilesLocked() {
    files.clear();  // closes the host streams before their folder goes
    searches.clear();
    if (!root.empty()) {
        std::error_code ec;
        fs::remove_all(root, ec);
        root.clear();
    }
}

void Machine::Impl::ResetLocked() {
    ReleaseFilesLocked();
    calls.clear();
    failNext.clear();
    failAlways.clear();
    failOnCall.clear();
    devices.clear();
    byInstanceId.clear();
    lastDevInst = 0;
    sets.clear();
    hklm = Key{};
    deniedKeys.clear();
    openKeys.clear();
    undeletable.clear();
    unreadable.clear();
    unwritable.clear();
    packages.clear();
    answers.clear();
    boxes.clear();
    nowMs = 0;
    sleeps.clear();
    trace.clear();
    driverUpdates.clear();
    regWrites.clear();
    windows.clear();
    foreground = nullptr;
    inputs.clear();
    mutexes.clear();
    mutexHandles.clear();
    modulePath = "C:\\ZAN\\ZanDriverInstaller.exe";
    programs.clear();
    shortNames.clear();
    processHandles.clear();
    processStarts.clear();
    fsRedirectionOff.clear();
    openedWithoutRedirection.clear();
    stdOutHandle = 0;
    stdOutDuplicates.clear();
    stdOutText.clear();

    // A fresh host folder stands for drive C:, with "WINDOWS\INF" in it.
    std::error_code ec;
    std::string pattern = (fs::temp_directory_path(ec) / "zan-sim-XXXXXX").string();
    if (ec) pattern = "/tmp/zan-sim-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::fprintf(stderr, "sim: cannot create a folder for drive C: (%s)\n", pattern.c_str());
        return;
    }
    root = pattern;
    fs::create_directories(root / "WINDOWS" / "INF", ec);
}

Machine::Impl::~Impl() { ReleaseFilesLocked(); }

// --- Machine -----------------------------------------------------------------------

Machine::Machine() : impl_(new Impl) { Reset(); }

Machine::~Machine() { delete impl_; }

Machine::Impl& Machine::impl() { return *impl_; }

void Machine::Reset() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->ResetLocked();
    onSleep = nullptr;
    onMessageBox = nullptr;
    onCreateFile = nullptr;
    linksAlwaysFollowed = false;
    defaultAnswer = IDNO;
    foregroundLocked = false;
    processId = kDefaultProcessId;
    driverUpdateNeedsRestart = false;
    wow64 = false;
    errorMode = 0;
    windowsFolderAnswer = FolderAnswer::Path;
    standardOutput = StandardOutput::None;
}

void Machine::AddDevice(const Device& device) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    if (Impl::DeviceRecord* existing = impl_->FindRecordLocked(device.instanceId)) {
        existing->device = device;
    } else {
        auto record = std::make_unique<Impl::DeviceRecord>();
        record->devInst = ++impl_->lastDevInst;
        record->device = device;
        impl_->byInstanceId[device.instanceId] = record.get();
        impl_->devices.push_back(std::move(record));
    }
    std::vector<std::string> parameters = Impl::EnumKeyParts(device.instanceId);
    parameters.push_back("Device Parameters");
    impl_->MakeKeyLocked(parameters);
    impl_->WriteDriverKeyLocked(*impl_->FindRecordLocked(device.instanceId));
}

const Device* Machine::FindDevice(const std::string& instanceId) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::DeviceRecord* record = impl_->FindRecordLocked(instanceId);
    return record != nullptr ? &record->device : nullptr;
}

std::vector<Device> Machine::Devices() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::vector<Device> devices;
    for (const auto& record : impl_->devices) devices.push_back(record->device);
    return devices;
}

void Machine::CreateKey(const std::string& path) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->MakeKeyLocked(SplitKeyPath(path));
}

void Machine::SetValue(const std::string& keyPath, const std::string& name, const Value& value) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->MakeKeyLocked(SplitKeyPath(keyPath))->values[name] = value;
}

bool Machine::KeyExists(const std::string& path) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->FindKeyLocked(SplitKeyPath(path)) != nullptr;
}

std::optional<Value> Machine::GetValue(const std::string& keyPath, const std::string& name) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Key* key = impl_->FindKeyLocked(SplitKeyPath(keyPath));
    if (key == nullptr) return std::nullopt;
    const auto value = key->values.find(name);
    if (value == key->values.end()) return std::nullopt;
    return value->second;
}

void Machine::DeleteKey(const std::string& path) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->DeleteKeyLocked(SplitKeyPath(path));
}

void Machine::DenyKeyAccess(const std::string& path) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->deniedKeys.insert(JoinUpper(SplitKeyPath(path)));
}

fs::path Machine::HostPath(const std::string& windowsPath) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Resolved resolved = impl_->ResolveLocked(windowsPath);
    return resolved.error == ERROR_SUCCESS ? resolved.host : fs::path();
}

void Machine::PutFile(const std::string& windowsPath, const std::string& bytes) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const WinPath path = ParseWinPath(windowsPath);
    bool written = false;
    if (path.error == ERROR_SUCCESS && !path.parts.empty() &&
        impl_->MakeFoldersLocked(std::vector<std::string>(path.parts.begin(), path.parts.end() - 1))) {
        const Impl::Resolved resolved = impl_->ResolveLocked(path);
        if (resolved.error == ERROR_SUCCESS && !resolved.isDir) {
            if (std::FILE* file = std::fopen(resolved.host.c_str(), "wb")) {
                written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
                written = (std::fclose(file) == 0) && written;
            }
        }
    }
    if (!written) std::fprintf(stderr, "sim: PutFile cannot write \"%s\"\n", windowsPath.c_str());
}

void Machine::PutFolder(const std::string& windowsPath) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const WinPath path = ParseWinPath(windowsPath);
    if (path.error != ERROR_SUCCESS || !impl_->MakeFoldersLocked(path.parts)) {
        std::fprintf(stderr, "sim: PutFolder cannot create \"%s\"\n", windowsPath.c_str());
    }
}

bool Machine::FileExists(const std::string& windowsPath) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Resolved resolved = impl_->ResolveLocked(windowsPath);
    return resolved.error == ERROR_SUCCESS && resolved.exists && !resolved.isDir;
}

std::optional<std::string> Machine::ReadWholeFile(const std::string& windowsPath) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Resolved resolved = impl_->ResolveLocked(windowsPath);
    if (resolved.error != ERROR_SUCCESS || !resolved.exists || resolved.isDir) return std::nullopt;
    std::unique_ptr<std::FILE, Impl::FileCloser> file(std::fopen(resolved.host.c_str(), "rb"));
    if (!file) return std::nullopt;
    std::string bytes;
    char chunk[4096];
    std::size_t got = 0;
    while ((got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0) bytes.append(chunk, got);
    return bytes;
}

std::vector<std::string> Machine::ListFolder(const std::string& windowsPath) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Resolved resolved = impl_->ResolveLocked(windowsPath);
    std::vector<std::string> names;
    if (resolved.error != ERROR_SUCCESS || !resolved.isDir) return names;
    std::error_code ec;
    for (fs::directory_iterator it(resolved.host, ec), end; !ec && it != end; it.increment(ec)) {
        names.push_back(it->path().filename().string());
    }
    // NTFS keeps a folder's names in the order of their upper-cased forms.
    std::sort(names.begin(), names.end(), NoCaseLess());
    return names;
}

namespace {

void MarkPath(Machine::Impl& impl, std::set<std::string>& marks, const std::string& windowsPath) {
    std::lock_guard<std::mutex> lock(impl.mu);
    const WinPath path = ParseWinPath(windowsPath);
    if (path.error == ERROR_SUCCESS) marks.insert(JoinUpper(path.parts));
}

}  // namespace

void Machine::MakeUndeletable(const std::string& windowsPath) {
    MarkPath(*impl_, impl_->undeletable, windowsPath);
}

void Machine::MakeUnreadable(const std::string& windowsPath) {
    MarkPath(*impl_, impl_->unreadable, windowsPath);
}

void Machine::MakeUnwritable(const std::string& windowsPath) {
    MarkPath(*impl_, impl_->unwritable, windowsPath);
}

void Machine::AddSymbolicLink(const std::string& linkPath, const std::string& targetPath) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const WinPath link = ParseWinPath(linkPath);
    const WinPath target = ParseWinPath(targetPath);
    std::error_code ec;
    if (link.error == ERROR_SUCCESS && target.error == ERROR_SUCCESS && !link.parts.empty() &&
        impl_->MakeFoldersLocked(std::vector<std::string>(link.parts.begin(), link.parts.end() - 1))) {
        // A target whose folder is missing is named as given.
        const Impl::Resolved to = impl_->ResolveLocked(target);
        fs::path host = impl_->root;
        for (const std::string& part : target.parts) host /= part;
        if (to.error == ERROR_SUCCESS) host = to.host;
        fs::create_symlink(host, impl_->ResolveLocked(link).host, ec);
        if (!ec) return;
    }
    std::fprintf(stderr, "sim: AddSymbolicLink cannot link \"%s\"\n", linkPath.c_str());
}

void Machine::AddHardLink(const std::string& linkPath, const std::string& existingPath) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Resolved existing = impl_->ResolveLocked(existingPath);
    const WinPath link = ParseWinPath(linkPath);
    std::error_code ec;
    if (existing.error == ERROR_SUCCESS && existing.exists && !existing.isDir && link.error == ERROR_SUCCESS &&
        !link.parts.empty() &&
        impl_->MakeFoldersLocked(std::vector<std::string>(link.parts.begin(), link.parts.end() - 1))) {
        fs::create_hard_link(existing.host, impl_->ResolveLocked(link).host, ec);
        if (!ec) return;
    }
    std::fprintf(stderr, "sim: AddHardLink cannot link \"%s\"\n", linkPath.c_str());
}

void Machine::SetShortName(const std::string& windowsPath, const std::string& shortName) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const Impl::Resolved entry = impl_->ResolveLocked(windowsPath);
    if (entry.error != ERROR_SUCCESS || !entry.exists) {
        std::fprintf(stderr, "sim: SetShortName finds no \"%s\"\n", windowsPath.c_str());
        return;
    }
    impl_->shortNames[ShortNameKey(entry.host.parent_path(), shortName)] = entry.host.filename().string();
}

void Machine::PublishDriverPackage(const std::string& oemInfName, const std::string& infBytes) {
    const std::string inf = std::string(kWindowsDir) + "\\INF\\" + oemInfName;
    PutFile(inf, infBytes);
    PutFile(inf.substr(0, inf.rfind('.')) + ".PNF", "pnf");
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->packages.insert(oemInfName);
}

std::vector<std::string> Machine::DriverPackages() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return std::vector<std::string>(impl_->packages.begin(), impl_->packages.end());
}

bool Machine::FsRedirectionOff() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return !impl_->fsRedirectionOff.empty();
}

std::set<std::string> Machine::OpenedWithoutRedirection() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->openedWithoutRedirection;
}

void Machine::SetModulePath(const std::string& windowsPath) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->modulePath = windowsPath;
}

void Machine::AddProgram(const std::string& windowsPath, std::function<DWORD(const std::string&)> run,
                         DWORD runsForMs) {
    PutFile(windowsPath, "MZ");
    std::lock_guard<std::mutex> lock(impl_->mu);
    const WinPath path = ParseWinPath(windowsPath);
    if (path.error == ERROR_SUCCESS) impl_->programs[JoinUpper(path.parts)] = {std::move(run), runsForMs};
}

std::vector<ProcessStart> Machine::ProcessStarts() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->processStarts;
}

void Machine::QueueAnswers(const std::vector<int>& answers) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->answers.insert(impl_->answers.end(), answers.begin(), answers.end());
}

std::vector<MessageBoxCall> Machine::MessageBoxes() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->boxes;
}

std::uint64_t Machine::NowMs() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->nowMs;
}

std::vector<DWORD> Machine::Sleeps() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->sleeps;
}

std::vector<std::string> Machine::Trace() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->trace;
}

void Machine::ClearTrace() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->trace.clear();
}

std::vector<DriverUpdateCall> Machine::DriverUpdates() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->driverUpdates;
}

std::vector<RegWrite> Machine::RegWrites() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->regWrites;
}

HWND Machine::AddWindow(const std::string& title) { return AddWindow(title, "#32770"); }

HWND Machine::AddWindow(const std::string& title, const std::string& className) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const HWND window = reinterpret_cast<HWND>(impl_->NewHandleLocked());
    impl_->windows.push_back({window, title, className});
    return window;
}

void Machine::CloseWindow(HWND window) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    auto& windows = impl_->windows;
    windows.erase(std::remove_if(windows.begin(), windows.end(),
                                 [&](const Impl::Window& w) { return w.hwnd == window; }),
                  windows.end());
    if (impl_->foreground == window) impl_->foreground = nullptr;
}

void Machine::HoldMutexElsewhere(const std::string& name) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    Impl::NamedMutex& mutex = impl_->mutexes[name];
    mutex.openElsewhere = true;
    mutex.heldElsewhere = true;
    mutex.abandoned = false;
}

void Machine::AbandonMutexElsewhere(const std::string& name) {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const auto found = impl_->mutexes.find(name);
    if (found == impl_->mutexes.end()) return;
    if (found->second.heldElsewhere) found->second.abandoned = true;
    found->second.heldElsewhere = false;
    found->second.openElsewhere = false;
    impl_->DropMutexIfUnusedLocked(name);
}

bool Machine::MutexExists(const std::string& name) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->mutexes.count(name) != 0;
}

bool Machine::MutexOwnedHere(const std::string& name) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const auto found = impl_->mutexes.find(name);
    return found != impl_->mutexes.end() && found->second.recursion > 0;
}

std::vector<KeyInput> Machine::Inputs() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->inputs;
}

void Machine::ClearInputs() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->inputs.clear();
}

namespace {

// A fault for a name the seam lacks, or for an operation that has none, would
// never be met: the test that asked for it would prove nothing.
void CheckFaultable(const std::string& operation) {
    const auto in = [&](const auto& list) {
        return std::find(std::begin(list), std::end(list), operation) != std::end(list);
    };
    if (!in(plat::kOperations) || in(kOperationsWithoutFault)) {
        throw std::invalid_argument("no fault can be injected into \"" + operation + "\"");
    }
}

}  // namespace

void Machine::FailOnCall(const std::string& operation, int call, DWORD error) {
    CheckFaultable(operation);
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->failOnCall[{operation, call}] = error;
}

void Machine::FailNext(const std::string& operation, DWORD error) {
    CheckFaultable(operation);
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->failNext[operation].push_back(error);
}

void Machine::FailAlways(const std::string& operation, DWORD error) {
    CheckFaultable(operation);
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->failAlways[operation] = error;
}

void Machine::ClearFaults() {
    std::lock_guard<std::mutex> lock(impl_->mu);
    impl_->failNext.clear();
    impl_->failAlways.clear();
    impl_->failOnCall.clear();
}

int Machine::Calls(const std::string& operation) const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    const auto count = impl_->calls.find(operation);
    return count != impl_->calls.end() ? count->second : 0;
}

HandleCounts Machine::OpenHandles() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    HandleCounts counts;
    counts.deviceSets = static_cast<int>(impl_->sets.size());
    counts.keys = static_cast<int>(impl_->openKeys.size());
    counts.files = static_cast<int>(impl_->files.size());
    counts.searches = static_cast<int>(impl_->searches.size());
    counts.mutexes = static_cast<int>(impl_->mutexHandles.size());
    counts.processes = static_cast<int>(impl_->processHandles.size());
    counts.duplicates = static_cast<int>(impl_->stdOutDuplicates.size());
    return counts;
}

bool Machine::Impl::IsStandardOutputLocked(HANDLE handle) const {
    const std::uintptr_t id = reinterpret_cast<std::uintptr_t>(handle);
    return (id != 0 && id == stdOutHandle) || stdOutDuplicates.count(id) != 0;
}

std::string Machine::StandardOutputText() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    return impl_->stdOutText;
}

namespace {

// Bytes as text: printable ASCII as it is, every other byte as \xNN.
std::string Shown(const std::string& bytes) {
    std::string text;
    for (const unsigned char c : bytes) {
        if (c >= 0x20 && c < 0x7F && c != '\\') {
            text += static_cast<char>(c);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\x%02X", c);
            text += escaped;
        }
    }
    return text;
}

void KeyText(const Machine::Impl::Key& key, const std::string& path, std::string& out) {
    for (const auto& [name, value] : key.values) {
        out += "value " + path + " \"" + name + "\" " + std::to_string(value.type) + " " + Shown(value.bytes) + "\n";
    }
    for (const auto& [name, sub] : key.subkeys) {
        out += "key " + path + "\\" + name + "\n";
        KeyText(*sub, path + "\\" + name, out);
    }
}

}  // namespace

std::string Machine::StateText() const {
    std::lock_guard<std::mutex> lock(impl_->mu);
    std::string out;
    for (const auto& record : impl_->devices) {
        const Device& d = record->device;
        out += "device " + d.instanceId + " class " + plat::GuidText(d.classGuid) + (d.present ? " present" : "") +
               " interfaces " + std::to_string(d.interfaces.size()) + " driver \"" + d.driverInf + "\" package \"" +
               d.driverPackage + "\"\n";
        for (const auto& [property, value] : d.properties) {
            out += "  property " + std::to_string(property) + " " + std::to_string(value.type) + " " +
                   Shown(value.bytes) + "\n";
        }
    }
    KeyText(impl_->hklm, "HKLM", out);
    std::vector<std::string> files;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(impl_->root, ec), end; !ec && it != end; it.increment(ec)) {
        std::string line = "file " + fs::relative(it->path(), impl_->root, ec).string();
        if (it->is_symlink(ec)) {
            line += " -> " + fs::read_symlink(it->path(), ec).string();
        } else if (it->is_regular_file(ec)) {
            std::unique_ptr<std::FILE, Impl::FileCloser> file(std::fopen(it->path().c_str(), "rb"));
            std::string bytes;
            char chunk[4096];
            for (std::size_t got; file && (got = std::fread(chunk, 1, sizeof chunk, file.get())) > 0;)
                bytes.append(chunk, got);
            line += " " + Shown(bytes);
        }
        files.push_back(line);
    }
    std::sort(files.begin(), files.end());
    for (const std::string& line : files) out += line + "\n";
    for (const std::string& package : impl_->packages) out += "package " + package + "\n";
    return out;
}

Machine& TheMachine() {
    // Never destroyed: a thread the installer leaves running (the wizard
    // dismisser never ends) may still call in while the process exits. Only
    // its host folder goes at exit.
    static Machine* const machine = [] {
        Machine* created = new Machine();
        std::atexit([] {
            Machine::Impl& impl = TheMachine().impl();
            std::lock_guard<std::mutex> lock(impl.mu);
            impl.ReleaseFilesLocked();
        });
        return created;
    }();
    return *machine;
}

}  // namespace sim
