// Arbitrary archives extracted whole into a temporary destination, with
// RecreateDirs on and every entry overwritten, as the installer extracts
// what it downloaded. The target aborts when anything outside the
// destination was created, removed or changed (kind, permissions, size,
// modification time), when the destination's own permissions changed, or
// when a symbolic link appears inside it.
//
// The destination stands eight folders deep in a sandbox of its own, so a
// name that climbs out by up to eight steps lands where the check sees it.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <tuple>

#include "fuzz_common.h"
#include "unzip/BufferedStream.h"
#include "unzip/UnZipper.h"

namespace fs = std::filesystem;

namespace {

using TStamp = std::tuple<unsigned, unsigned, long long, long long, long long>;  // kind, mode, size, mtime s, ns

struct Sandbox {
    fs::path root, dest;
    std::map<std::string, TStamp> before;
    unsigned destMode = 0;

    Sandbox() {
        std::string tmpl = (fs::temp_directory_path() / "zelvano-extract-fuzz-XXXXXX").string();
        if (!::mkdtemp(tmpl.data())) std::abort();
        root = tmpl;
        fs::path deep = root;
        for (int k = 1; k <= 7; ++k) {
            deep /= "n" + std::to_string(k);
            fs::create_directories(deep / "side");
            Touch(deep / "sentinel.txt");
        }
        dest = deep / "dest";
        fs::create_directories(dest);
        Touch(root / "sentinel.txt");
        before = Snapshot();
        destMode = Mode(dest);
    }
    ~Sandbox() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }

    static void Touch(const fs::path& p) {
        if (FILE* f = std::fopen(p.c_str(), "w")) {
            std::fputs("sentinel", f);
            std::fclose(f);
        }
    }
    static unsigned Mode(const fs::path& p) {
        struct stat st {};
        return ::lstat(p.c_str(), &st) == 0 ? st.st_mode : 0;
    }

    // Everything below the sandbox root but the destination's contents.
    std::map<std::string, TStamp> Snapshot() const {
        std::map<std::string, TStamp> m;
        auto add = [&](const fs::path& p) {
            struct stat st {};
            if (::lstat(p.c_str(), &st) != 0) return;
            bool isDest = p == dest;
            m[p.string()] = TStamp(st.st_mode & S_IFMT, st.st_mode & 07777, isDest ? 0 : st.st_size,
                                   isDest ? 0 : st.st_mtim.tv_sec, isDest ? 0 : st.st_mtim.tv_nsec);
        };
        add(root);
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(root, fs::directory_options::none, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) break;
            add(it->path());
            if (it->path() == dest) it.disable_recursion_pending();
        }
        return m;
    }

    void Check() const {
        auto after = Snapshot();
        if (after != before) {
            for (auto& [path, stamp] : after)
                if (!before.count(path) || before.at(path) != stamp) std::fprintf(stderr, "changed: %s\n", path.c_str());
            for (auto& [path, stamp] : before)
                if (!after.count(path)) std::fprintf(stderr, "removed: %s\n", path.c_str());
            std::abort();
        }
        if (Mode(dest) != destMode) {
            std::fprintf(stderr, "destination mode changed: %o\n", Mode(dest));
            std::abort();
        }
        std::error_code ec;
        for (auto it = fs::recursive_directory_iterator(dest, fs::directory_options::none, ec);
             it != fs::recursive_directory_iterator(); it.increment(ec)) {
            if (ec) break;
            if (it->is_symlink(ec)) {
                std::fprintf(stderr, "link: %s\n", it->path().c_str());
                std::abort();
            }
        }
    }

    void Empty() const {
        std::error_code ec;
        for (auto& e : fs::recursive_directory_iterator(dest, ec))
            if (e.is_directory(ec) && !e.is_symlink(ec))
                fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
        for (auto& e : fs::directory_iterator(dest, ec)) fs::remove_all(e.path(), ec);
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static Sandbox box;
    platform::TMemoryStream s;
    LoadInto(s, data, size);
    unzip::TBufferedStream buffered(&s, 512);
    {
        unzip::TUnZipper z;
        z.DoProcessMessages = false;
        z.IncompleteZipMode = unzip::izAssumeBad;
        z.RecreateDirs = true;
        z.DoAll = true;
        z.OverwriteMode = unzip::Always;
        z.ReplaceReadOnly = true;
        z.Password = "password";
        z.OnBadPassword = [](unzip::TUnZipper*, int, std::string& pw) {
            if (pw == "password") pw = "12345678";
        };
        // Entries that declare more than 4 MiB are left out: writing them
        // costs time and tells nothing about where files go.
        z.OnStartUnZip = [](unzip::TUnZipper* u, int i, std::u16string&, bool& skip) {
            skip = u->Entry(i).UncompressedSize() > (4u << 20);
        };
        z.SetArchiveStream(&buffered);
        z.SetDestDir(box.dest.u16string());
        try {
            z.UnZip();
        } catch (const platform::Exception&) {
        }
    }
    box.Check();
    box.Empty();
    return 0;
}
