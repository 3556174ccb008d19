// Native command-line front end to the codec, used to cross-check archives
// with other LHA programs and by the benchmark.
//   lzhtool a [-0|-5|-6|-7] [-dN -nN -pN] archive.lzh path...   create (folders recurse)
//   lzhtool t archive.lzh                          test every member
//   lzhtool x archive.lzh folder                   extract
//   lzhtool l archive.lzh                          list
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lzh_archive.h"
#include "stdio_streams.h"

using namespace lzh;
using lzhtool::FileIn;
using lzhtool::FileOut;

namespace {

std::string to_member_path(std::string p) {
    while (p.size() > 1 && p.back() == '/') p.pop_back();
    for (char& c : p)
        if (c == '/') c = '\\';
    return p;
}

EncodeOptions g_opt;

bool add_path(FileOut& out, const std::string& path, Method m) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        std::fprintf(stderr, "cannot stat %s\n", path.c_str());
        return false;
    }
    MemberHeader h;
    h.path = to_member_path(path);
    h.unix_time = st.st_mtime;
    h.has_unix_time = true;
    if (S_ISDIR(st.st_mode)) {
        if (write_dir_member(out, h) != Status::Ok) return false;
        DIR* d = opendir(path.c_str());
        if (!d) return false;
        std::vector<std::string> names;
        while (dirent* e = readdir(d))
            if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
        closedir(d);
        for (const auto& n : names)
            if (!add_path(out, path + "/" + n, m)) return false;
        return true;
    }
    FileIn in(path.c_str());
    if (!in.ok()) return false;
    h.orig_size = static_cast<uint64_t>(st.st_size);
    Status s = write_file_member(out, h, in, m, g_opt);
    if (s != Status::Ok) std::fprintf(stderr, "%s: %s\n", path.c_str(), status_text(s));
    return s == Status::Ok;
}

int cmd_add(int argc, char** argv) {
    Method m = Method::Lh7;
    int i = 2;
    if (i < argc && argv[i][0] == '-') {
        switch (argv[i][1]) {
        case '0': m = Method::Lh0; break;
        case '5': m = Method::Lh5; break;
        case '6': m = Method::Lh6; break;
        default: m = Method::Lh7; break;
        }
        ++i;
    }
    // Encoder tuning for experiments: -dN chain depth, -nN nice length, -pN passes.
    for (; i < argc && argv[i][0] == '-'; ++i) {
        int v = std::atoi(argv[i] + 2);
        if (argv[i][1] == 'd') g_opt.chain_depth = v;
        if (argv[i][1] == 'n') g_opt.nice_length = v;
        if (argv[i][1] == 'p') g_opt.passes = v;
        if (argv[i][1] == 'o') g_opt.optimal = true;
        if (argv[i][1] == 'c') g_opt.carried_passes_saved = v;
        if (argv[i][1] == 'f') g_opt.lazy_first_passes = v;
        if (argv[i][1] == 'l') g_opt.lazy2 = v != 0;
    }
    if (i >= argc) return 2;
    std::string arc = argv[i++];
    std::string tmp = arc + ".tmp";
    FileOut out(tmp.c_str());
    if (!out.ok()) return 1;
    for (; i < argc; ++i)
        if (!add_path(out, argv[i], m)) return 1;
    if (write_archive_end(out) != Status::Ok || !out.truncate() || !out.close()) return 1;
    return std::rename(tmp.c_str(), arc.c_str()) == 0 ? 0 : 1;
}

int cmd_read(const char* arc, char mode, const char* dest) {
    std::vector<ListedMember> ms;
    {
        FileIn in(arc);
        if (!in.ok()) return 1;
        Status s = list_archive(in, ms);
        if (s != Status::Ok) {
            std::fprintf(stderr, "%s: %s\n", arc, status_text(s));
            return 1;
        }
    }
    FileIn in(arc);
    int bad = 0;
    for (const auto& m : ms) {
        const MemberHeader& h = m.header;
        if (mode == 'l') {
            std::printf("%.5s %10llu %10llu L%d %s%s\n", reinterpret_cast<const char*>(h.method_id),
                        static_cast<unsigned long long>(h.packed_size),
                        static_cast<unsigned long long>(h.orig_size), h.level, h.path.c_str(),
                        h.is_dir ? "\\" : "");
            continue;
        }
        if (h.is_dir) continue;
        if (!in.seek(m.data_offset)) return 1;
        Status s;
        if (mode == 'x') {
            std::string p = std::string(dest) + "/" + h.path;
            for (char& c : p)
                if (c == '\\') c = '/';
            for (size_t k = std::strlen(dest) + 1; k < p.size(); ++k)
                if (p[k] == '/') mkdir(p.substr(0, k).c_str(), 0755);
            FileOut out(p.c_str());
            s = out.ok() ? extract_member(h, in, out) : Status::WriteError;
        } else {
            NullOut out;
            s = extract_member(h, in, out);
        }
        if (s != Status::Ok) {
            std::fprintf(stderr, "%s: %s\n", h.path.c_str(), status_text(s));
            ++bad;
        }
    }
    return bad ? 1 : 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 3) {
        std::fprintf(stderr, "usage: lzhtool a|t|x|l ...\n");
        return 2;
    }
    switch (argv[1][0]) {
    case 'a': return cmd_add(argc, argv);
    case 't': return cmd_read(argv[2], 't', nullptr);
    case 'l': return cmd_read(argv[2], 'l', nullptr);
    case 'x': return argc > 3 ? cmd_read(argv[2], 'x', argv[3]) : 2;
    default: return 2;
    }
}
