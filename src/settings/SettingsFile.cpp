#include "settings/SettingsFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>

#include "text/Encoding.h"

namespace marlo {

struct SettingsFile::Node {
    std::string name;
    std::vector<Value> values;
    std::vector<std::unique_ptr<Node>> children;
    std::map<std::string, Node*> index;  // children by name

    Node* Child(const std::string& n) const {
        auto it = index.find(n);
        return it == index.end() ? nullptr : it->second;
    }
    Node* AddChild(const std::string& n) {
        children.push_back(std::make_unique<Node>());
        children.back()->name = n;
        index[n] = children.back().get();
        return children.back().get();
    }
};

namespace {

constexpr const char* kFileName = "settings.conf";
constexpr size_t kMaxFileSize = 64u << 20;

bool IsLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Key paths use "\\" between levels; "" is the main key. The second byte of a Shift-JIS character
// may be 0x5C ("ソ", "表"), which does not separate levels.
std::vector<std::string> SplitPath(const std::string& key, char sep, bool sjis = true) {
    std::vector<std::string> parts;
    if (key.empty()) return parts;
    std::string part;
    for (size_t i = 0; i < key.size(); ++i) {
        if (key[i] == sep) {
            parts.push_back(std::move(part));
            part.clear();
            continue;
        }
        part += key[i];
        if (sjis && IsLeadByte(static_cast<unsigned char>(key[i])) && i + 1 < key.size())
            part += key[++i];
    }
    parts.push_back(std::move(part));
    return parts;
}

// ---- Escaping -------------------------------------------------------------------------------

enum class Field { Text, ValueName, KeyPart };

bool IsAscii(std::string_view s) {
    for (unsigned char c : s)
        if (c >= 0x80) return false;
    return true;
}

void AppendHex(std::string& out, unsigned char c) {
    static const char digits[] = "0123456789ABCDEF";
    out += "\\x";
    out += digits[c >> 4];
    out += digits[c & 15];
}

// Writes a byte string so that Unescape gives it back exactly.
std::string Escape(std::string_view bytes, Field field) {
    // Non-ASCII text is shown as UTF-8 when it converts there and back unchanged.
    std::string shown;
    bool utf8 = false;
    if (!IsAscii(bytes)) {
        std::string u = SjisToUtf8(bytes);
        if (Utf8ToSjis(u) == bytes) {
            shown = std::move(u);
            utf8 = true;
        }
    }
    std::string_view src = utf8 ? std::string_view(shown) : bytes;
    std::string out;
    out.reserve(src.size() + 8);
    for (size_t i = 0; i < src.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(src[i]);
        bool edge = i == 0 || i + 1 == src.size();
        if (c == '\\') {
            out += "\\\\";
        } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
            AppendHex(out, c);
        } else if (field == Field::Text && c == '"') {
            out += "\\\"";
        } else if (field != Field::Text &&
                   (c == '"' || (c == ' ' && edge) ||
                    (field == Field::ValueName &&
                     (c == '=' || (i == 0 && (c == '[' || c == '#' || c == ';')))) ||
                    (field == Field::KeyPart && (c == '/' || c == ']')))) {
            AppendHex(out, c);
        } else {
            out += static_cast<char>(c);
        }
    }
    return out;
}

int HexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

// Reverses Escape on `in`; literal runs are UTF-8 and become Shift-JIS, escapes are raw bytes.
bool Unescape(std::string_view in, std::string& out, std::string* error) {
    out.clear();
    std::string run;
    auto flush = [&] {
        if (run.empty()) return;
        out += IsAscii(run) ? run : Utf8ToSjis(run);
        run.clear();
    };
    for (size_t i = 0; i < in.size(); ++i) {
        if (in[i] != '\\') {
            run += in[i];
            continue;
        }
        flush();
        if (i + 1 >= in.size()) {
            *error = "末尾の \\ が不完全です";
            return false;
        }
        char e = in[++i];
        if (e == '\\' || e == '"') {
            out += e;
        } else if (e == 'x' && i + 2 < in.size() && HexDigit(in[i + 1]) >= 0 &&
                   HexDigit(in[i + 2]) >= 0) {
            out += static_cast<char>(HexDigit(in[i + 1]) * 16 + HexDigit(in[i + 2]));
            i += 2;
        } else {
            *error = "不正なエスケープ \\" + std::string(1, e);
            return false;
        }
    }
    flush();
    return true;
}

std::string_view Trim(std::string_view s) {
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
    return s;
}

bool ParseInt32(std::string_view s, int32_t& v) {
    if (s.empty()) return false;
    bool neg = s[0] == '-';
    size_t i = neg ? 1 : 0;
    if (i >= s.size()) return false;
    int64_t n = 0;
    for (; i < s.size(); ++i) {
        if (s[i] < '0' || s[i] > '9') return false;
        n = n * 10 + (s[i] - '0');
        if (n > 2147483648LL) return false;
    }
    if (neg) n = -n;
    if (n > INT32_MAX) return false;
    v = static_cast<int32_t>(n);
    return true;
}

std::string Errno() {
    return std::strerror(errno);
}

bool SyncFolder(const std::string& dir) {
    int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    bool ok = ::fsync(fd) == 0 || errno == EINVAL;  // some file systems cannot sync a folder
    ::close(fd);
    return ok;
}

bool CopyFile(const std::string& from, const std::string& to) {
    std::error_code ec;
    std::filesystem::copy_file(from, to, std::filesystem::copy_options::overwrite_existing, ec);
    if (ec) return false;
    ::chmod(to.c_str(), 0600);
    return true;
}

}  // namespace

// ---- The key tree --------------------------------------------------------------------------

SettingsFile::SettingsFile(std::string dir)
    : dir_(std::move(dir)), path_(dir_ + "/" + kFileName), root_(std::make_unique<Node>()) {}

SettingsFile::~SettingsFile() = default;

SettingsFile::Node* SettingsFile::Find(const std::string& key) const {
    Node* n = root_.get();
    for (const std::string& part : SplitPath(key, '\\')) {
        n = n->Child(part);
        if (n == nullptr) return nullptr;
    }
    return n;
}

SettingsFile::Node* SettingsFile::FindOrCreate(const std::string& key) {
    Node* n = root_.get();
    for (const std::string& part : SplitPath(key, '\\')) {
        Node* c = n->Child(part);
        n = c != nullptr ? c : n->AddChild(part);
    }
    return n;
}

SettingsFile::Value* SettingsFile::FindValue(const std::string& key,
                                             const std::string& name) const {
    Node* n = Find(key);
    if (n == nullptr) return nullptr;
    for (Value& v : n->values)
        if (v.name == name) return &v;
    return nullptr;
}

SettingsFile::Value& SettingsFile::MakeValue(const std::string& key, const std::string& name) {
    dirty_ = true;
    if (Value* v = FindValue(key, name)) return *v;
    Node* n = FindOrCreate(key);
    n->values.push_back(Value{name, false, 0, {}});
    return n->values.back();
}

std::optional<int32_t> SettingsFile::GetNumber(const std::string& key,
                                               const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Value* v = FindValue(key, name);
    if (v == nullptr || v->isText) return std::nullopt;
    return v->number;
}

std::optional<std::string> SettingsFile::GetText(const std::string& key,
                                                 const std::string& name) const {
    std::lock_guard lock(mutex_);
    const Value* v = FindValue(key, name);
    if (v == nullptr || !v->isText) return std::nullopt;
    return v->text;
}

void SettingsFile::SetNumber(const std::string& key, const std::string& name, int32_t value) {
    if (name.empty()) return;  // the file has no form for it (" = 5" cannot be read back)
    std::lock_guard lock(mutex_);
    Value& v = MakeValue(key, name);
    v.isText = false;
    v.number = value;
    v.text.clear();
}

void SettingsFile::SetText(const std::string& key, const std::string& name,
                           const std::string& value) {
    if (name.empty()) return;  // the file has no form for it (" = 5" cannot be read back)
    std::lock_guard lock(mutex_);
    Value& v = MakeValue(key, name);
    v.isText = true;
    v.number = 0;
    v.text = value;
}

void SettingsFile::DeleteValue(const std::string& key, const std::string& name) {
    std::lock_guard lock(mutex_);
    Node* n = Find(key);
    if (n == nullptr) return;
    for (auto it = n->values.begin(); it != n->values.end(); ++it) {
        if (it->name == name) {
            n->values.erase(it);
            dirty_ = true;
            return;
        }
    }
}

void SettingsFile::DeleteKey(const std::string& key) {
    std::lock_guard lock(mutex_);
    std::vector<std::string> parts = SplitPath(key, '\\');
    if (parts.empty()) {  // the main key: everything goes
        root_ = std::make_unique<Node>();
        dirty_ = true;
        return;
    }
    std::string leaf = parts.back();
    parts.pop_back();
    Node* parent = root_.get();
    for (const std::string& part : parts) {
        parent = parent->Child(part);
        if (parent == nullptr) return;
    }
    if (parent->Child(leaf) == nullptr) return;
    parent->index.erase(leaf);
    std::erase_if(parent->children, [&](const auto& c) { return c->name == leaf; });
    dirty_ = true;
}

bool SettingsFile::KeyExists(const std::string& key) const {
    std::lock_guard lock(mutex_);
    return Find(key) != nullptr;
}

std::vector<std::string> SettingsFile::SubKeys(const std::string& key) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    if (const Node* n = Find(key))
        for (const auto& c : n->children) names.push_back(c->name);
    return names;
}

std::vector<std::string> SettingsFile::ValueNames(const std::string& key) const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> names;
    if (const Node* n = Find(key))
        for (const Value& v : n->values) names.push_back(v.name);
    return names;
}

std::string SettingsFile::LastError() const {
    std::lock_guard lock(mutex_);
    return lastError_;
}

// ---- Text form -----------------------------------------------------------------------------

std::string SettingsFile::Serialize() const {
    std::lock_guard lock(mutex_);
    return SerializeLocked();
}

std::string SettingsFile::SerializeLocked() const {
    std::string out =
        "# Marlo settings. One section per key, `Name = number` or `Name = \"text\"`;\n"
        "# \\xHH is a raw Shift-JIS byte. Written by the program: edit only while it is not "
        "running.\n";
    auto writeValues = [&out](const Node& n) {
        for (const Value& v : n.values) {
            out += Escape(v.name, Field::ValueName);
            out += " = ";
            if (v.isText) {
                out += '"';
                out += Escape(v.text, Field::Text);
                out += '"';
            } else {
                out += std::to_string(v.number);
            }
            out += '\n';
        }
    };
    writeValues(*root_);
    // Depth first, so that a key's section comes before its sub-keys' sections.
    std::vector<std::pair<std::string, const Node*>> stack;
    for (auto it = root_->children.rbegin(); it != root_->children.rend(); ++it)
        stack.emplace_back(Escape((*it)->name, Field::KeyPart), it->get());
    while (!stack.empty()) {
        auto [header, node] = stack.back();
        stack.pop_back();
        // "[]" is the main key: a sub-key with an empty name (the first step of a path that begins
        // with the separator) holds no values of its own, and its sub-keys name it in their paths.
        if (!header.empty() || !node->values.empty()) out += "\n[" + header + "]\n";
        writeValues(*node);
        for (auto it = node->children.rbegin(); it != node->children.rend(); ++it)
            stack.emplace_back(header + "/" + Escape((*it)->name, Field::KeyPart), it->get());
    }
    return out;
}

bool SettingsFile::Parse(const std::string& text, std::string* error) {
    auto root = std::make_unique<Node>();
    Node* section = root.get();
    std::string_view all = text;
    if (all.substr(0, 3) == "\xEF\xBB\xBF") all.remove_prefix(3);
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        if (error != nullptr) *error = std::to_string(lineNo) + "行目: " + why;
        return false;
    };
    while (!all.empty()) {
        ++lineNo;
        size_t nl = all.find('\n');
        std::string_view line = all.substr(0, nl);
        all.remove_prefix(nl == std::string_view::npos ? all.size() : nl + 1);
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        line = Trim(line);
        if (line.empty() || line[0] == '#' || line[0] == ';') continue;
        std::string why;
        if (line[0] == '[') {
            if (line.back() != ']') return fail("節の見出しが ] で終わっていません");
            std::string_view inner = line.substr(1, line.size() - 2);
            section = root.get();
            if (inner.empty()) continue;
            std::string part;
            for (const std::string& raw : SplitPath(std::string(inner), '/', false)) {
                if (!Unescape(raw, part, &why)) return fail(why);
                Node* c = section->Child(part);
                section = c != nullptr ? c : section->AddChild(part);
            }
            continue;
        }
        size_t eq = line.find('=');
        if (eq == std::string_view::npos) return fail("= がありません");
        std::string name;
        if (!Unescape(Trim(line.substr(0, eq)), name, &why)) return fail(why);
        if (name.empty()) return fail("値の名前がありません");
        std::string_view rhs = Trim(line.substr(eq + 1));
        Value v;
        v.name = name;
        if (!rhs.empty() && rhs[0] == '"') {
            // The closing quote is the first one not escaped.
            size_t end = std::string_view::npos;
            for (size_t i = 1; i < rhs.size(); ++i) {
                if (rhs[i] == '\\') {
                    ++i;
                } else if (rhs[i] == '"') {
                    end = i;
                    break;
                }
            }
            if (end == std::string_view::npos) return fail("文字列が \" で閉じられていません");
            if (end + 1 != rhs.size()) return fail("文字列の後に余分な文字があります");
            v.isText = true;
            if (!Unescape(rhs.substr(1, end - 1), v.text, &why)) return fail(why);
        } else if (!ParseInt32(rhs, v.number)) {
            return fail("数値でも文字列でもありません");
        }
        auto same = std::find_if(section->values.begin(), section->values.end(),
                                 [&](const Value& x) { return x.name == v.name; });
        if (same != section->values.end())
            *same = std::move(v);  // a repeated name: the last one counts
        else
            section->values.push_back(std::move(v));
    }
    std::lock_guard lock(mutex_);
    root_ = std::move(root);
    dirty_ = false;
    return true;
}

// ---- Load and save -------------------------------------------------------------------------

bool SettingsFile::Load(std::string* message, bool setAsideDamaged) {
    auto say = [message](const std::string& m) {
        if (message != nullptr) *message = m;
    };
    {
        std::lock_guard lock(mutex_);
        root_ = std::make_unique<Node>();
        dirty_ = false;
        mustNotOverwrite_ = false;
        pendingSetAside_ = false;
    }
    int fd = ::open(path_.c_str(), O_RDONLY | O_CLOEXEC);
    fileFound_ = !(fd < 0 && errno == ENOENT);
    if (!fileFound_) return true;
    std::string text;
    bool readOk = fd >= 0;
    std::string readError = readOk ? "" : Errno();
    if (readOk) {
        char buf[65536];
        for (;;) {
            ssize_t n = ::read(fd, buf, sizeof buf);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                readOk = false;
                readError = Errno();
                break;
            }
            if (n == 0) break;
            text.append(buf, static_cast<size_t>(n));
            if (text.size() > kMaxFileSize) break;
        }
        ::close(fd);
    }
    if (!readOk) {
        std::lock_guard lock(mutex_);
        mustNotOverwrite_ = true;
        say("設定ファイル「" + path_ + "」を読めません（" + readError +
            "）。既定の設定で始めます。このファイルには書き込みません。");
        return false;
    }
    std::string why;
    if (text.size() > kMaxFileSize) why = "ファイルが大きすぎます";
    if (why.empty() && Parse(text, &why)) return true;

    std::string m = "設定ファイル「" + path_ + "」を読み込めませんでした（" + why + "）。";
    std::string aside;
    if (!setAsideDamaged) {
        std::lock_guard lock(mutex_);
        mustNotOverwrite_ = true;
        m += "既定の設定を使います。";
    } else if (SetAside(&aside)) {
        m += "このファイルは「" + aside + "」として残し、既定の設定で始めます。";
    } else {
        std::lock_guard lock(mutex_);
        pendingSetAside_ = true;
        m += "このファイルを別の名前に移せなかったため、そのまま残します。既定の設定で始めます。";
    }
    if (::access(BackupPath().c_str(), F_OK) == 0)
        m += "前回の設定は「" + BackupPath() + "」に残っています。";
    say(m);
    return false;
}

bool SettingsFile::SetAside(std::string* asidePath) {
    char stamp[32];
    std::time_t now = std::time(nullptr);
    std::tm tm{};
    localtime_r(&now, &tm);
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &tm);
    std::string base = path_ + ".damaged-" + stamp;
    std::string target = base;
    for (int i = 1; ::access(target.c_str(), F_OK) == 0; ++i) {
        if (i > 100) return false;
        target = base + "-" + std::to_string(i);
    }
    if (::rename(path_.c_str(), target.c_str()) != 0) return false;
    SyncFolder(dir_);
    if (asidePath != nullptr) *asidePath = target;
    return true;
}

bool SettingsFile::Save() {
    std::lock_guard lock(mutex_);
    lastError_.clear();
    if (mustNotOverwrite_) {
        lastError_ = "設定ファイル「" + path_ + "」を読めなかったため、上書きしません。";
        return false;
    }
    if (pendingSetAside_) {
        if (::access(path_.c_str(), F_OK) == 0 && !SetAside(nullptr)) {
            lastError_ = "壊れた設定ファイル「" + path_ + "」を別の名前に移せません。";
            return false;
        }
        pendingSetAside_ = false;
    }
    if (!dirty_ && ::access(path_.c_str(), F_OK) == 0) return true;
    std::error_code ec;
    // Only a folder made here is made private; one the user chose keeps its mode.
    if (std::filesystem::create_directories(dir_, ec)) ::chmod(dir_.c_str(), 0700);
    if (!WriteFile(SerializeLocked())) return false;
    dirty_ = false;
    return true;
}

bool SettingsFile::WriteFile(const std::string& text) {
    auto step = [this](SaveStep s) { return !hook_ || hook_(s); };
    auto failed = [this](const std::string& what) {
        lastError_ = what + "（" + Errno() + "）";
        return false;
    };
    // A settings file that is a symbolic link (a dotfile manager's) stays one: the file it points
    // to is replaced, beside itself.
    std::string target = path_;
    std::error_code ec;
    if (std::filesystem::is_symlink(path_, ec)) {
        std::filesystem::path resolved = std::filesystem::weakly_canonical(path_, ec);
        if (ec) return failed("設定ファイル「" + path_ + "」のリンク先がわかりません");
        target = resolved.string();
    }
    const std::string targetDir = std::filesystem::path(target).parent_path().string();
    const std::string tmp = target + ".tmp";
    if (!step(SaveStep::OpenTemp)) return false;
    int fd = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return failed("一時ファイル「" + tmp + "」を作れません");
    ::fchmod(fd, 0600);
    auto writeAll = [fd](const char* p, size_t n) {
        while (n > 0) {
            ssize_t w = ::write(fd, p, n);
            if (w < 0 && errno == EINTR) continue;
            if (w <= 0) return false;
            p += w;
            n -= static_cast<size_t>(w);
        }
        return true;
    };
    size_t half = text.size() / 2;
    bool ok = writeAll(text.data(), half);
    if (ok && !step(SaveStep::WriteHalf)) {
        ::close(fd);
        return false;
    }
    ok = ok && writeAll(text.data() + half, text.size() - half);
    if (!ok) {
        failed("一時ファイル「" + tmp + "」に書けません");
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    if (!step(SaveStep::SyncTemp)) {
        ::close(fd);
        return false;
    }
    if (::fsync(fd) != 0) {
        failed("一時ファイル「" + tmp + "」をディスクに書き出せません");
        ::close(fd);
        ::unlink(tmp.c_str());
        return false;
    }
    ::close(fd);
    if (!step(SaveStep::Backup)) return false;
    if (::access(target.c_str(), F_OK) == 0) {
        const std::string bak = BackupPath();
        ::unlink(bak.c_str());
        // A second name for the current file costs nothing and never leaves it missing.
        if (::link(target.c_str(), bak.c_str()) != 0 && !CopyFile(target, bak))
            return failed("バックアップ「" + bak + "」を作れません");
    }
    if (!step(SaveStep::Rename)) return false;
    if (::rename(tmp.c_str(), target.c_str()) != 0) {
        failed("設定ファイル「" + path_ + "」を置き換えられません");
        ::unlink(tmp.c_str());
        return false;
    }
    if (!step(SaveStep::SyncDir)) return false;
    SyncFolder(targetDir);
    return true;
}

}  // namespace marlo
