#include "platform/shell.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/codepage.h"

namespace platform {
namespace {

std::string Native(const std::u16string& path) { return TextToUtf8(path); }

std::u16string Reason(int err) { return Utf8ToText(std::strerror(err)); }

unsigned AttributesOf(const std::string& path, const std::string& name) {
    struct stat st {};
    if (lstat(path.c_str(), &st) != 0) return 0;
    unsigned attr = 0;
    if (S_ISLNK(st.st_mode)) {
        attr |= faSymLink;
        struct stat target {};
        if (stat(path.c_str(), &target) == 0 && S_ISDIR(target.st_mode)) attr |= faDirectory;
    } else if (S_ISDIR(st.st_mode)) {
        attr |= faDirectory;
    } else if (!S_ISREG(st.st_mode)) {
        attr |= faSysFile;
    }
    if (!S_ISLNK(st.st_mode) && !(st.st_mode & S_IWUSR)) attr |= faReadOnly;
    if (!name.empty() && name[0] == '.') attr |= faHidden;
    return attr;
}

// Deletes the entries of the open folder `dirFd` (taking ownership of it).
bool DeleteContents(int dirFd, const std::string& shownPath, std::u16string* error) {
    DIR* dir = fdopendir(dirFd);
    if (!dir) {
        if (error && error->empty()) *error = u"Cannot read " + Utf8ToText(shownPath) + u": " + Reason(errno);
        close(dirFd);
        return false;
    }
    bool ok = true;
    std::vector<std::string> names;
    while (dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        names.emplace_back(e->d_name);
    }
    for (const auto& name : names) {
        std::string shown = shownPath + "/" + name;
        struct stat st {};
        if (fstatat(dirfd(dir), name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (S_ISDIR(st.st_mode)) {
            int sub = openat(dirfd(dir), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (sub < 0 || !DeleteContents(sub, shown, error)) {
                if (sub < 0 && error && error->empty())
                    *error = u"Cannot read " + Utf8ToText(shown) + u": " + Reason(errno);
                ok = false;
                continue;
            }
            if (unlinkat(dirfd(dir), name.c_str(), AT_REMOVEDIR) != 0) {
                if (error && error->empty()) *error = u"Cannot delete " + Utf8ToText(shown) + u": " + Reason(errno);
                ok = false;
            }
        } else if (unlinkat(dirfd(dir), name.c_str(), 0) != 0) {
            if (error && error->empty()) *error = u"Cannot delete " + Utf8ToText(shown) + u": " + Reason(errno);
            ok = false;
        }
    }
    closedir(dir);
    return ok;
}

}  // namespace

bool ListFolder(const std::u16string& folder, std::vector<TFolderEntry>& entries) {
    entries.clear();
    std::string base = Native(folder);
    DIR* dir = opendir(base.empty() ? "." : base.c_str());
    if (!dir) return false;
    while (dirent* e = readdir(dir)) {
        if (std::strcmp(e->d_name, ".") == 0 || std::strcmp(e->d_name, "..") == 0) continue;
        TFolderEntry entry;
        entry.Name = Utf8ToText(e->d_name);
        entry.Attr = AttributesOf(base + "/" + e->d_name, e->d_name);
        entries.push_back(std::move(entry));
    }
    closedir(dir);
    return true;
}

bool FileExists(const std::u16string& path) {
    struct stat st {};
    return lstat(Native(path).c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DeleteFileUnlessInUse(const std::u16string& path) {
    std::string p = Native(path);
    int fd = open(p.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        bool inUse = flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK;
        bool removed = !inUse && unlink(p.c_str()) == 0;
        close(fd);  // also drops the lock taken for the test
        return removed;
    }
    return unlink(p.c_str()) == 0;
}

bool DeleteTree(const std::u16string& path, std::u16string* error) {
    if (error) error->clear();
    std::string p = Native(path);
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    struct stat st {};
    if (p.empty() || lstat(p.c_str(), &st) != 0) {
        if (error) *error = u"Cannot delete " + path + u": " + Reason(p.empty() ? ENOENT : errno);
        return false;
    }
    if (!S_ISDIR(st.st_mode)) {
        if (unlink(p.c_str()) == 0) return true;
        if (error) *error = u"Cannot delete " + path + u": " + Reason(errno);
        return false;
    }
    int fd = open(p.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        if (error) *error = u"Cannot read " + path + u": " + Reason(errno);
        return false;
    }
    bool ok = DeleteContents(fd, p, error);
    if (rmdir(p.c_str()) != 0) {
        if (error && error->empty()) *error = u"Cannot delete " + path + u": " + Reason(errno);
        ok = false;
    }
    return ok;
}

bool ShellExecute(const std::u16string& file, const std::vector<std::u16string>& args,
                  const std::u16string& workingFolder) {
    std::string program = Native(file);
    struct stat st {};
    if (program.empty() || stat(program.c_str(), &st) != 0) return false;
    bool direct = S_ISREG(st.st_mode) && access(program.c_str(), X_OK) == 0;

    // Everything the child needs is prepared before fork: after it only
    // async-signal-safe calls are allowed.
    std::vector<std::string> argStrings;
    if (direct) {
        argStrings.push_back(program);
        for (const auto& a : args) argStrings.push_back(Native(a));
    } else {
        argStrings = {"xdg-open", program};
    }
    std::vector<char*> argv;
    for (auto& a : argStrings) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string folder = Native(workingFolder);

    int report[2];
    if (pipe2(report, O_CLOEXEC) != 0) return false;
    pid_t child = fork();
    if (child < 0) {
        close(report[0]);
        close(report[1]);
        return false;
    }
    if (child == 0) {
        close(report[0]);
        setsid();
        pid_t grandchild = fork();
        if (grandchild != 0) _exit(grandchild < 0 ? 1 : 0);
        sigset_t none;
        sigemptyset(&none);
        sigprocmask(SIG_SETMASK, &none, nullptr);
        struct sigaction dfl {};
        dfl.sa_handler = SIG_DFL;
        for (int sig = 1; sig < NSIG; ++sig) sigaction(sig, &dfl, nullptr);
        int err = 0;
        if (!folder.empty() && chdir(folder.c_str()) != 0) err = errno;
        if (!err) {
            int null = open("/dev/null", O_RDWR);
            if (null >= 0) {
                dup2(null, 0);
                dup2(null, 1);
                dup2(null, 2);
                if (null > 2) close(null);
            }
            if (direct) execv(argv[0], argv.data());
            else execvp(argv[0], argv.data());
            err = errno;
        }
        ssize_t ignored = write(report[1], &err, sizeof err);
        (void)ignored;
        _exit(127);
    }
    close(report[1]);
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    int err = 0;
    ssize_t n;
    while ((n = read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
    }
    close(report[0]);
    bool forked = WIFEXITED(status) && WEXITSTATUS(status) == 0;
    return forked && n == 0;
}

bool StartAsDesktopUser(const std::u16string& file, const std::u16string& workingFolder) {
    return ShellExecute(file, {}, workingFolder);
}

}  // namespace platform
