#include "FakeRuntime.h"

#include <stdexcept>

#include <algorithm>
#include <cstring>
#include <cwctype>

#include "system/modRegistro.h"

namespace cm::test {

std::wstring Lower(const std::wstring& text) {
    std::wstring out = text;
    for (auto& c : out) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return out;
}

namespace {

std::wstring Normalise(std::wstring path) {
    std::replace(path.begin(), path.end(), L'/', L'\\');
    while (path.size() > 1 && path.back() == L'\\') path.pop_back();
    return Lower(path);
}

std::pair<std::wstring, std::wstring> SplitPath(const std::wstring& path) {
    const auto slash = path.find_last_of(L"\\/");
    if (slash == std::wstring::npos) return {L"", path};
    return {path.substr(0, slash), path.substr(slash + 1)};
}

// '*' any run, '?' one character; case ignored.
bool Matches(const std::wstring& pattern, const std::wstring& name) {
    const std::wstring p = Lower(pattern), n = Lower(name);
    std::size_t pi = 0, ni = 0, star = std::wstring::npos, mark = 0;
    while (ni < n.size()) {
        if (pi < p.size() && (p[pi] == L'?' || p[pi] == n[ni])) {
            ++pi, ++ni;
        } else if (pi < p.size() && p[pi] == L'*') {
            star = pi++, mark = ni;
        } else if (star != std::wstring::npos) {
            pi = star + 1, ni = ++mark;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == L'*') ++pi;
    return pi == p.size();
}

std::wstring Widen(const char* text) {
    std::wstring out;
    for (const char* p = text; *p != '\0'; ++p) out += static_cast<wchar_t>(static_cast<unsigned char>(*p));
    return out;
}

}  // namespace

FakeRuntime::FakeRuntime() = default;
FakeRuntime::~FakeRuntime() = default;

ScopedFakeRuntime::ScopedFakeRuntime() {
    modRegistro::Esquece();
    InstallRuntime(&runtime);
}

ScopedFakeRuntime::~ScopedFakeRuntime() {
    InstallRuntime(nullptr);
    modRegistro::Esquece();
}

void FakeRuntime::Event(const std::wstring& text) {
    events.push_back(text);
    if (on_event) on_event(text);
}

void FakeRuntime::AddFolder(const std::wstring& path, int attributes) {
    const auto [parent, name] = SplitPath(path);
    if (!parent.empty() && !Exists(parent) && parent.find(L'\\') != std::wstring::npos) AddFolder(parent);
    auto& entries = tree_[Normalise(parent)];
    const bool known = std::any_of(entries.begin(), entries.end(),
                                   [&](const Entry& e) { return Lower(e.name) == Lower(name); });
    if (!known) entries.push_back({name, attributes | kDirectoryAttr, ++next_identity_});
    tree_[Normalise(path)];
}

void FakeRuntime::AddFile(const std::wstring& path, int attributes) {
    const auto [parent, name] = SplitPath(path);
    if (!parent.empty() && !Exists(parent) && parent.find(L'\\') != std::wstring::npos) AddFolder(parent);
    auto& entries = tree_[Normalise(parent)];
    for (auto& e : entries) {
        if (Lower(e.name) == Lower(name)) {
            e.attributes = attributes;
            return;
        }
    }
    entries.push_back({name, attributes});
}

bool FakeRuntime::Exists(const std::wstring& path) const {
    const auto [parent, name] = SplitPath(Normalise(path));
    const auto it = tree_.find(parent);
    if (it == tree_.end()) return tree_.count(Normalise(path)) > 0;
    return std::any_of(it->second.begin(), it->second.end(),
                       [&](const Entry& e) { return Lower(e.name) == name; });
}

int FakeRuntime::ShowMsgBox(const std::wstring& text, int style, const std::optional<std::wstring>& title) {
    msgboxes.push_back({text, style, title});
    Event(L"MsgBox " + text);
    if (!msgbox_answers.empty()) {
        const int answer = msgbox_answers.front();
        msgbox_answers.pop_front();
        return answer;
    }
    switch (style & 7) {
        case 0: return vbOK;
        case 4: return vbNo;
        default: return vbCancel;
    }
}

std::wstring FakeRuntime::ShowInputBox(const std::wstring& prompt) {
    input_prompts.push_back(prompt);
    Event(L"InputBox " + prompt);
    if (input_answers.empty()) return L"";
    std::wstring answer = input_answers.front();
    input_answers.pop_front();
    return answer;
}

void FakeRuntime::SetMousePointer(int pointer) {
    pointer_ = pointer;
    pointer_history.push_back(pointer);
    Event(L"Pointer " + std::to_wstring(pointer));
}

void FakeRuntime::DoEvents() {
    ++doevents_count;
    Event(L"DoEvents");
}

void FakeRuntime::End() {
    Event(L"End " + std::to_wstring(ExitCode()));
    throw ProgramEnded{};
}

std::wstring FakeRuntime::Dir(const std::wstring& pattern, int attributes) {
    Event(L"Dir " + pattern);
    search_results_.clear();
    search_pos_ = 0;
    dir_next_calls_ = 0;
    search_active_ = true;

    std::wstring full = pattern;
    if (!full.empty() && (full.back() == L'\\' || full.back() == L'/')) full += L'*';
    const auto [folder, name_pattern] = SplitPath(full);
    const auto it = tree_.find(Normalise(folder));
    if (it == tree_.end()) return NextMatch();

    const bool folders_too = (attributes & vbDirectory) != 0;
    // A folder other than a drive's root lists its own two entries first.
    const bool is_root = Normalise(folder).size() <= 2;
    if (folders_too && !is_root && Exists(folder)) {
        for (const wchar_t* dot : {L".", L".."}) {
            if (Matches(name_pattern, dot)) search_results_.push_back(dot);
        }
    }
    for (const auto& entry : it->second) {
        if (entry.attributes & (kHidden | kSystem)) continue;
        if ((entry.attributes & kDirectoryAttr) && !folders_too) continue;
        if (Matches(name_pattern, entry.name)) search_results_.push_back(entry.name);
    }
    return NextMatch();
}

std::wstring FakeRuntime::NextMatch() {
    if (search_pos_ >= search_results_.size()) {
        search_active_ = false;
        return L"";
    }
    return search_results_[search_pos_++];
}

std::wstring FakeRuntime::DirNext() {
    Event(L"DirNext");
    ++dir_next_calls_;
    if (fail_dir_next_at && *fail_dir_next_at == dir_next_calls_) {
        throw RuntimeError(52, L"Nome ou número de arquivo incorreto");
    }
    if (!search_active_) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    return NextMatch();
}

void FakeRuntime::SetEnv(const std::wstring& name, const std::wstring& value) {
    for (auto& [n, v] : env_) {
        if (Lower(n) == Lower(name)) {
            v = value;
            return;
        }
    }
    env_.emplace_back(name, value);
}

void FakeRuntime::UnsetEnv(const std::wstring& name) {
    std::erase_if(env_, [&](const auto& kv) { return Lower(kv.first) == Lower(name); });
}

std::optional<std::wstring> FakeRuntime::Env(const std::wstring& name) const {
    for (const auto& [n, v] : env_) {
        if (Lower(n) == Lower(name)) return v;
    }
    return std::nullopt;
}

std::wstring FakeRuntime::Environ(const std::wstring& name) {
    Event(L"Environ " + name);
    return Env(name).value_or(L"");
}

double FakeRuntime::Shell(const std::wstring& command_line, std::int32_t window_style) {
    Event(L"Shell " + command_line);
    std::variant<double, RuntimeError> result = static_cast<double>(next_pid_++);
    if (!shell_results.empty()) {
        result = shell_results.front();
        shell_results.pop_front();
    }
    if (const auto* error = std::get_if<RuntimeError>(&result)) throw *error;
    shells.push_back({command_line, window_style, clock_ms});
    const double id = std::get<double>(result);
    const FakeProgram program = program_for ? program_for(command_line) : FakeProgram{};
    const std::uint64_t ends_at = program.never_ends ? UINT64_MAX : clock_ms + program.runs_ms;
    running_[static_cast<std::int32_t>(id)] = Running{program, ends_at, command_line};
    return id;
}

bool FakeRuntime::WaitForProgram(std::int32_t process_id, std::uint32_t timeout_ms) {
    Event(L"WaitForProgram");
    const auto it = running_.find(process_id);
    if (it == running_.end()) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    const std::uint64_t ends_at = it->second.ends_at;
    if (ends_at <= clock_ms) return true;
    if (Interrupted()) return false;
    // Waiting for ever on a program that never ends would hang the test.
    if (timeout_ms == kForever && ends_at == UINT64_MAX) throw std::logic_error("waits for ever on a stuck program");
    if (ends_at - clock_ms <= timeout_ms) {
        clock_ms = ends_at;
        return true;
    }
    clock_ms += timeout_ms;
    return false;
}

ProgramEnd FakeRuntime::EndOfProgram(std::int32_t process_id) {
    const auto it = running_.find(process_id);
    if (it == running_.end() || it->second.ends_at > clock_ms) {
        throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    }
    const FakeProgram& program = it->second.program;
    const ProgramEnd end{program.exit_code, program.output, program.errors};
    running_.erase(it);
    return end;
}

std::wstring FakeRuntime::EndProgram(std::int32_t process_id) {
    Event(L"EndProgram");
    const auto it = running_.find(process_id);
    if (it == running_.end()) throw RuntimeError(kErrInvalidCall, DescribeError(kErrInvalidCall));
    ended_programs.push_back(it->second.command_line);
    running_.erase(it);
    return L"pelo job";
}

void FakeRuntime::WriteRunRecord(const std::wstring& text) {
    Event(L"WriteRunRecord");
    if (run_record_fails) throw RuntimeError(75, L"Erro de acesso ao caminho/arquivo");
    run_record = text;
    run_record_writes.push_back(text);
}

void FakeRuntime::RemoveRunRecord() {
    Event(L"RemoveRunRecord");
    if (run_record_stays) throw RuntimeError(75, L"Erro de acesso ao caminho/arquivo");
    run_record.reset();
}

std::wstring FakeRuntime::FolderIdentity(const std::wstring& path) {
    const auto [parent, name] = SplitPath(Normalise(path));
    const auto it = tree_.find(parent);
    if (it == tree_.end()) return L"";
    for (const Entry& e : it->second) {
        if (Lower(e.name) == name && (e.attributes & kDirectoryAttr)) return L"pasta " + std::to_wstring(e.identity);
    }
    return L"";
}

void FakeRuntime::RunInBackground(const std::function<void()>& work) {
    Event(L"RunInBackground");
    ++background_runs;
    {
        const std::lock_guard lock(handover_);
        work_done_ = false;
        pending_ = nullptr;
    }
    std::exception_ptr work_error;
    std::thread worker([&] {
        try {
            work();
        } catch (...) {
            work_error = std::current_exception();
        }
        const std::lock_guard lock(handover_);
        work_done_ = true;
        handover_changed_.notify_all();
    });
    std::unique_lock lock(handover_);
    for (;;) {
        handover_changed_.wait(lock, [&] { return work_done_ || pending_ != nullptr; });
        if (pending_ == nullptr) break;
        const auto* call = pending_;
        lock.unlock();
        std::exception_ptr call_error;
        try {
            (*call)();
        } catch (...) {
            call_error = std::current_exception();
        }
        lock.lock();
        pending_error_ = call_error;
        pending_ = nullptr;
        handover_changed_.notify_all();
    }
    lock.unlock();
    worker.join();
    if (work_error) std::rethrow_exception(work_error);
}

void FakeRuntime::OnWindowThread(const std::function<void()>& call) {
    if (std::this_thread::get_id() == window_thread_) return call();
    std::unique_lock lock(handover_);
    ++window_calls_from_background;
    pending_ = &call;
    handover_changed_.notify_all();
    handover_changed_.wait(lock, [&] { return pending_ == nullptr; });
    if (const auto error = std::exchange(pending_error_, nullptr)) std::rethrow_exception(error);
}

std::wstring FakeRuntime::FileSha256(const std::wstring& path) {
    const auto it = hashes.find(Lower(path));
    return it == hashes.end() ? L"" : it->second;
}

std::vector<std::wstring> FakeRuntime::ChangeableByAnyone(const std::wstring& path) {
    const auto it = changeable_by.find(Lower(path));
    return it == changeable_by.end() ? std::vector<std::wstring>{} : it->second;
}

std::unique_ptr<Runtime::HeldFile> FakeRuntime::HoldFile(const std::wstring& path) {
    struct Held final : HeldFile {
        Held(FakeRuntime& runtime, std::wstring path) : runtime(runtime), path(std::move(path)) {}
        ~Held() override { runtime.Event(L"ReleaseFile " + path); }
        FakeRuntime& runtime;
        std::wstring path;
    };
    Event(L"HoldFile " + path);
    if (std::find(unholdable.begin(), unholdable.end(), Lower(path)) != unholdable.end()) return nullptr;
    return std::make_unique<Held>(*this, path);
}

std::vector<std::wstring> FakeRuntime::ReplaceableByAnyone(const std::wstring& path) {
    const auto it = replaceable_by.find(Lower(path));
    return it == replaceable_by.end() ? std::vector<std::wstring>{} : it->second;
}

std::vector<std::wstring> FakeRuntime::RootOpenToAnyone(const std::wstring& drive) {
    const auto it = root_open_to.find(Lower(drive));
    return it == root_open_to.end() ? std::vector<std::wstring>{} : it->second;
}

bool FakeRuntime::KeepsAccessLists(const std::wstring& drive) {
    Event(L"KeepsAccessLists " + drive);
    return std::find(drives_without_acls.begin(), drives_without_acls.end(), Lower(drive)) ==
           drives_without_acls.end();
}

std::optional<std::string> FakeRuntime::ReadFilePart(const std::wstring& path, std::uint64_t offset,
                                                     std::uint32_t length) {
    if (!FileLength(path)) return std::nullopt;
    const std::string content = FileContent(path);
    if (offset >= content.size()) return std::string();
    return content.substr(static_cast<std::size_t>(offset), length);
}

std::optional<std::uint64_t> FakeRuntime::FileWriteTime(const std::wstring& path) {
    if (!FileLength(path)) return std::nullopt;
    const auto it = write_times.find(Lower(path));
    return it == write_times.end() ? 0 : it->second;
}

bool FakeRuntime::ClaimSingleInstance() {
    Event(L"ClaimSingleInstance");
    return !other_copy;
}

void FakeRuntime::BlockShutdown(const std::wstring& reason) { shutdown_reason = reason; }

void FakeRuntime::Pause(std::uint32_t milliseconds) {
    // An interrupted run's pauses end at once.
    if (!Interrupted()) clock_ms += milliseconds;
    Event(L"Pause " + std::to_wstring(milliseconds));
}

std::vector<Runtime::Listener> FakeRuntime::TcpListeners(std::uint16_t port) {
    Event(L"TcpListeners " + std::to_wstring(port));
    const auto it = listeners.find(port);
    return it == listeners.end() ? std::vector<Listener>{} : it->second;
}

std::vector<Runtime::NamedService> FakeRuntime::ListServices() {
    Event(L"ListServices");
    std::vector<NamedService> all;
    for (const auto& [name, state] : services) all.push_back({name, state});
    return all;
}

std::optional<ServiceState> FakeRuntime::QueryService(const std::wstring& name) {
    Event(L"QueryService " + name);
    const auto it = services.find(Lower(name));
    if (it == services.end()) return std::nullopt;
    return it->second;
}

bool FakeRuntime::IsAdministrator() {
    Event(L"IsAdministrator");
    return administrator;
}

void FakeRuntime::MakeFolder(const std::wstring& path, FolderAccess access) {
    Event(L"MakeFolder " + path);
    if (Exists(path)) throw RuntimeError(75, L"Não foi possível criar a pasta " + path + L" (erro do sistema 183)");
    AddFolder(path);
    made_folders.emplace_back(path, access);
}

void FakeRuntime::RemoveFolder(const std::wstring& path) {
    Event(L"RemoveFolder " + path);
    const std::wstring root = Normalise(path);
    std::erase_if(tree_, [&](const auto& kv) { return kv.first == root || kv.first.rfind(root + L"\\", 0) == 0; });
    const auto [parent, name] = SplitPath(root);
    if (const auto it = tree_.find(parent); it != tree_.end()) {
        std::erase_if(it->second, [&](const Entry& e) { return Lower(e.name) == name; });
    }
    removed_folders.push_back(path);
}

void FakeRuntime::RenameFolder(const std::wstring& from, const std::wstring& to) {
    Event(L"RenameFolder " + from + L" " + to);
    if (!Exists(from) || Exists(to)) throw RuntimeError(75, L"Não foi possível renomear a pasta " + from);
    // Within one folder, as the program renames: the entry keeps what tells it apart.
    const std::wstring old_root = Normalise(from), new_root = Normalise(to);
    const auto renamed = [&](const std::wstring& key) {
        return key == old_root || key.starts_with(old_root + L"\\") ? new_root + key.substr(old_root.size()) : key;
    };
    decltype(tree_) tree;
    for (auto& [key, entries] : tree_) tree[renamed(key)] = std::move(entries);
    tree_ = std::move(tree);
    decltype(files_) files;
    for (auto& [key, content] : files_) files[renamed(key)] = std::move(content);
    files_ = std::move(files);
    for (auto& entry : tree_[SplitPath(old_root).first]) {
        if (Lower(entry.name) == SplitPath(old_root).second) entry.name = SplitPath(to).second;
    }
}

bool FakeRuntime::AppendToFile(const std::wstring& path, const std::string& bytes) {
    const std::wstring folder = SplitPath(Normalise(path)).first;
    for (const auto& read_only : read_only_folders) {
        if (Normalise(read_only) == folder) return false;
    }
    files_[Normalise(path)] += bytes;
    if (!Exists(path)) AddFile(path);
    return true;
}

std::optional<std::uint64_t> FakeRuntime::FileLength(const std::wstring& path) {
    const auto it = files_.find(Normalise(path));
    if (it != files_.end()) return it->second.size();
    return Exists(path) ? std::optional<std::uint64_t>(0) : std::nullopt;
}

std::string FakeRuntime::FileContent(const std::wstring& path) const {
    const auto it = files_.find(Normalise(path));
    return it == files_.end() ? std::string() : it->second;
}

std::int32_t FakeRuntime::EnumWindows(EnumWindowsCallback callback, std::intptr_t value) {
    ++enum_passes;
    Event(L"EnumWindows");
    current_pass_.clear();
    if (!window_passes.empty()) {
        current_pass_ = window_passes.front();
        window_passes.pop_front();
    }
    int offered = 0;
    for (const auto& window : current_pass_) {
        ++offered;
        if (callback(window.handle, value) == 0) break;
    }
    windows_offered_per_pass.push_back(offered);
    return 1;
}

std::uint32_t FakeRuntime::GetWindowThreadProcessId(WindowHandle window, std::int32_t* process_id) {
    for (const auto& w : current_pass_) {
        if (w.handle == window) {
            if (process_id) *process_id = w.process_id;
            return 1;
        }
    }
    return 0;
}

std::uint32_t FakeRuntime::GetSystemDirectoryA(char* buffer, std::uint32_t size) {
    ++system_directory_calls;
    Event(L"GetSystemDirectoryA");
    const auto length = static_cast<std::uint32_t>(system_directory.size());
    if (length + 1 > size) return length + 1;
    std::memcpy(buffer, system_directory.c_str(), length + 1);
    return length;
}

std::int32_t FakeRuntime::WritePrivateProfileStringA(const char* section, const char* key, const char* value,
                                                     const char* file) {
    profile_writes.push_back({section ? section : "", key ? key : "", value ? value : "", file ? file : ""});
    Event(L"WritePrivateProfileStringA");
    if (refuse_profile_write_at && *refuse_profile_write_at == static_cast<int>(profile_writes.size())) return 0;
    if (!section || !key || !file) return 0;
    const std::wstring path = Widen(file);
    const auto [folder, name] = SplitPath(path);
    if (!folder.empty() && tree_.find(Normalise(folder)) == tree_.end()) return 0;  // no such folder
    if (!Exists(path)) AddFile(path);
    auto& keys = ini_[Normalise(path)][Lower(Widen(section))];
    if (value) {
        keys[Lower(Widen(key))] = Widen(value);
    } else {
        keys.erase(Lower(Widen(key)));
    }
    return 1;
}

std::optional<std::wstring> FakeRuntime::IniValue(const std::wstring& file, const std::wstring& section,
                                                  const std::wstring& key) const {
    const auto f = ini_.find(Normalise(file));
    if (f == ini_.end()) return std::nullopt;
    const auto s = f->second.find(Lower(section));
    if (s == f->second.end()) return std::nullopt;
    const auto k = s->second.find(Lower(key));
    if (k == s->second.end()) return std::nullopt;
    return k->second;
}

std::uint32_t FakeRuntime::GetEnvironmentVariableA(const char* name, char* buffer, std::uint32_t size) {
    Event(L"GetEnvironmentVariableA");
    const auto value = Env(Widen(name));
    if (!value) return 0;
    const std::string ansi = ToAnsi(*value);
    const auto length = static_cast<std::uint32_t>(ansi.size());
    if (length + 1 > size) return length + 1;
    std::memcpy(buffer, ansi.c_str(), length + 1);
    return length;
}

std::int32_t FakeRuntime::SetEnvironmentVariableA(const char* name, const char* value) {
    Event(L"SetEnvironmentVariableA");
    if (value == nullptr) {
        UnsetEnv(Widen(name));
    } else {
        SetEnv(Widen(name), Widen(value));
    }
    return 1;
}

std::string FakeRuntime::ToAnsi(const std::wstring& text) {
    // Latin-1 stands in for the ANSI code page.
    std::string out;
    for (wchar_t c : text) out += static_cast<std::uint32_t>(c) <= 0xFF ? static_cast<char>(c) : '?';
    return out;
}

std::wstring FakeRuntime::FromAnsi(const std::string& text) {
    std::wstring out;
    for (const char c : text) out += static_cast<wchar_t>(static_cast<unsigned char>(c));
    return out;
}

void FakeRuntime::AddLibraryFunction(const std::wstring& library, const std::string& function, void* address) {
    libraries_[{Lower(library), function}] = address;
}

void* FakeRuntime::BindLibraryFunction(const std::wstring& library, const std::string& function) {
    Event(L"Bind " + library);
    const bool library_known = std::any_of(libraries_.begin(), libraries_.end(),
                                           [&](const auto& kv) { return kv.first.first == Lower(library); });
    if (!library_known) throw RuntimeError(kErrFileNotFound, L"Arquivo não encontrado: " + library);
    const auto it = libraries_.find({Lower(library), function});
    if (it == libraries_.end()) {
        throw RuntimeError(kErrDllEntryPoint, L"Ponto de entrada de DLL " + Widen(function.c_str()) +
                                                  L" não encontrado em " + library);
    }
    return it->second;
}

}  // namespace cm::test
