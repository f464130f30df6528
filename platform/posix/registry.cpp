#include "platform/registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/codepage.h"

namespace platform {
namespace {

std::string EnvOr(const char* name, const std::string& fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::string(v) : fallback;
}

// Splits a backslash-separated key name into usable components.
bool SplitKey(const std::u16string& key, std::vector<std::string>& parts) {
    std::u16string part;
    auto flush = [&]() {
        if (part.empty()) return true;
        if (part == u"." || part == u".." || part.find(u'/') != std::u16string::npos ||
            part.find(u'\0') != std::u16string::npos)
            return false;
        parts.push_back(TextToUtf8(part));
        part.clear();
        return true;
    };
    for (char16_t c : key) {
        if (c == u'\\') {
            if (!flush()) return false;
        } else {
            part += c;
        }
    }
    return flush() && !parts.empty();
}

bool MakeFolders(const std::string& path) {
    std::string sofar;
    size_t pos = 0;
    while (pos != std::string::npos) {
        pos = path.find('/', pos + 1);
        sofar = path.substr(0, pos);
        if (sofar.empty()) continue;
        if (mkdir(sofar.c_str(), 0755) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadWholeFile(const std::string& name, std::string& out) {
    int fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    out.clear();
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            close(fd);
            return false;
        }
        if (n == 0) break;
        out.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

// Writes `content` to `name` through "<name>.tmp", flushed, then renamed.
bool WriteFileAtomically(const std::string& name, const std::string& content) {
    std::string tmp = name + ".tmp";
    int fd = open(tmp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return false;
    size_t done = 0;
    bool ok = true;
    while (done < content.size()) {
        ssize_t n = write(fd, content.data() + done, content.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            ok = false;
            break;
        }
        done += static_cast<size_t>(n);
    }
    if (ok && fsync(fd) != 0) ok = false;
    if (close(fd) != 0) ok = false;
    if (ok && rename(tmp.c_str(), name.c_str()) != 0) ok = false;
    if (!ok) unlink(tmp.c_str());
    return ok;
}

void AppendQuoted(std::string& out, const std::u16string& text) {
    static const char hex[] = "0123456789abcdef";
    out += '"';
    for (char16_t c : text) {
        if (c == u'"') {
            out += "\\\"";
        } else if (c == u'\\') {
            out += "\\\\";
        } else if (c >= 0x20 && c < 0x7F) {
            out += static_cast<char>(c);
        } else {
            out += "\\u";
            for (int shift = 12; shift >= 0; shift -= 4) out += hex[(c >> shift) & 0xF];
        }
    }
    out += '"';
}

// A reader for exactly the format above (any JSON string escapes; raw UTF-8).
class ValuesReader {
public:
    explicit ValuesReader(std::string_view text) : s_(text) {}

    bool Read(TRegistryValues& values) {
        values.clear();
        Skip();
        if (!Take('{')) return false;
        Skip();
        if (Take('}')) return End();
        for (;;) {
            std::u16string name, value;
            Skip();
            if (!String(name)) return false;
            Skip();
            if (!Take(':')) return false;
            Skip();
            if (!String(value)) return false;
            Set(values, std::move(name), std::move(value));
            Skip();
            if (Take(',')) continue;
            if (Take('}')) return End();
            return false;
        }
    }

private:
    static void Set(TRegistryValues& values, std::u16string name, std::u16string value) {
        for (auto& nv : values)
            if (nv.first == name) {
                nv.second = std::move(value);
                return;
            }
        values.emplace_back(std::move(name), std::move(value));
    }
    bool End() {
        Skip();
        return i_ == s_.size();
    }
    void Skip() {
        while (i_ < s_.size() && (s_[i_] == ' ' || s_[i_] == '\t' || s_[i_] == '\n' || s_[i_] == '\r'))
            ++i_;
    }
    bool Take(char c) {
        if (i_ < s_.size() && s_[i_] == c) {
            ++i_;
            return true;
        }
        return false;
    }
    bool Hex4(char16_t& out) {
        if (s_.size() - i_ < 4) return false;
        unsigned v = 0;
        for (int k = 0; k < 4; ++k) {
            char c = s_[i_++];
            v <<= 4;
            if (c >= '0' && c <= '9') v |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f') v |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F') v |= static_cast<unsigned>(c - 'A' + 10);
            else return false;
        }
        out = static_cast<char16_t>(v);
        return true;
    }
    bool String(std::u16string& out) {
        if (!Take('"')) return false;
        std::string raw;  // UTF-8 run between escapes
        for (;;) {
            if (i_ >= s_.size()) return false;
            char c = s_[i_++];
            if (c == '"') break;
            if (static_cast<unsigned char>(c) < 0x20) return false;
            if (c != '\\') {
                raw += c;
                continue;
            }
            if (i_ >= s_.size()) return false;
            char e = s_[i_++];
            char16_t u = 0;
            switch (e) {
                case '"': u = u'"'; break;
                case '\\': u = u'\\'; break;
                case '/': u = u'/'; break;
                case 'b': u = u'\b'; break;
                case 'f': u = u'\f'; break;
                case 'n': u = u'\n'; break;
                case 'r': u = u'\r'; break;
                case 't': u = u'\t'; break;
                case 'u':
                    if (!Hex4(u)) return false;
                    break;
                default: return false;
            }
            out += Utf8ToText(raw);
            raw.clear();
            out += u;
        }
        out += Utf8ToText(raw);
        return true;
    }

    std::string_view s_;
    size_t i_ = 0;
};

}  // namespace

std::string FormatRegistryValues(const TRegistryValues& values) {
    std::string out = "{";
    for (size_t k = 0; k < values.size(); ++k) {
        out += k ? ",\n  " : "\n  ";
        AppendQuoted(out, values[k].first);
        out += ": ";
        AppendQuoted(out, values[k].second);
    }
    out += values.empty() ? "}\n" : "\n}\n";
    return out;
}

bool ParseRegistryValues(std::string_view text, TRegistryValues& values) {
    return ValuesReader(text).Read(values);
}

std::string TRegistry::StoreFolder() {
    const char* dir = std::getenv("ZELVANO_REGISTRY_DIR");
    if (dir && *dir) return dir;
    std::string data = EnvOr("XDG_DATA_HOME", EnvOr("HOME", "/tmp") + "/.local/share");
    return data + "/zelvano/registry";
}

std::string TRegistry::KeyFileName(const std::u16string& key) const {
    std::vector<std::string> parts;
    std::u16string root = root_;
    if (!SplitKey(key, parts) || root.empty() || root.find(u'/') != std::u16string::npos) return {};
    std::string path = StoreFolder() + "/" + TextToUtf8(root);
    for (const auto& p : parts) path += "/" + p;
    return path + ".json";
}

bool TRegistry::OpenKey(const std::u16string& key, bool canCreate) {
    CloseKey();
    std::string file = KeyFileName(key);
    if (file.empty()) return false;
    std::string text;
    TRegistryValues values;
    if (ReadWholeFile(file, text)) {
        if (!ParseRegistryValues(text, values)) return false;
    } else {
        if (errno != ENOENT || !canCreate) return false;
        if (!MakeFolders(file.substr(0, file.rfind('/')))) return false;
        if (!WriteFileAtomically(file, FormatRegistryValues(values))) return false;
    }
    current_ = std::move(file);
    values_ = std::move(values);
    return true;
}

bool TRegistry::KeyExists(const std::u16string& key) const {
    std::string file = KeyFileName(key);
    struct stat st {};
    return !file.empty() && stat(file.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool TRegistry::DeleteKey(const std::u16string& key) {
    std::string file = KeyFileName(key);
    if (file.empty()) return false;
    if (file == current_) CloseKey();
    return unlink(file.c_str()) == 0;
}

void TRegistry::WriteString(const std::u16string& name, const std::u16string& value) {
    std::u16string message = u"Failed to set data for '" + name + u"'";
    if (current_.empty()) throw ERegistryException(message);
    TRegistryValues changed = values_;
    bool found = false;
    for (auto& nv : changed)
        if (nv.first == name) {
            nv.second = value;
            found = true;
        }
    if (!found) changed.emplace_back(name, value);
    if (!WriteFileAtomically(current_, FormatRegistryValues(changed))) throw ERegistryException(message);
    values_ = std::move(changed);
}

}  // namespace platform
