#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>

#include "cli/cli.h"
#include "platform/file_system.h"

namespace bmp256 {

namespace {

void SplitPath(const std::string& path, std::string* dir, std::string* name) {
    size_t cut = path.find_last_of(kPathSeparators);
    if (cut == std::string::npos) {
        dir->clear();
        *name = path;
    } else {
        *dir = path.substr(0, cut + 1);
        *name = path.substr(cut + 1);
    }
}

// The length of `name` without the extension of an image file this program
// reads (.bmp, .dib, .png, .jpg, .jpeg, in any case), so that every result is
// NAME.bmp whatever it was made from.
size_t StemLength(const std::string& name) {
    static const char* const kExtensions[] = {".bmp", ".dib", ".png", ".jpg", ".jpeg"};
    for (const char* extension : kExtensions) {
        const size_t length = std::strlen(extension);
        if (name.size() <= length) continue;
        const size_t stem = name.size() - length;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i) same = (name[stem + i] | 0x20) == extension[i];
        if (same) return stem;
    }
    return name.size();
}

// The file a path names, however it is spelt: its folder resolved, its name
// as given. Two spellings of one output must clash.
std::string FileKey(const std::string& path) {
    std::string dir, name;
    SplitPath(path, &dir, &name);
    const std::string where = ResolvedFolder(dir);
    return where + "/" + name;
}

std::string OutputOf(const std::string& source, const BatchOptions& options) {
    if (options.inPlace) return source;
    std::string dir, name;
    SplitPath(source, &dir, &name);
    name = name.substr(0, StemLength(name)) + options.suffix + ".bmp";
    if (options.outputDir.empty()) return dir + name;
    std::string out = options.outputDir;
    if (out.find_last_of(kPathSeparators) != out.size() - 1) out += '/';
    return out + name;
}

}  // namespace

bool PlanBatch(const std::vector<std::string>& sources, const BatchOptions& options,
               std::vector<BatchItem>* items) {
    items->clear();
    std::map<std::string, size_t> outputs, inputs;
    for (size_t i = 0; i < sources.size(); ++i) {
        items->push_back({sources[i], OutputOf(sources[i], options)});
        inputs.emplace(FileKey(sources[i]), i);
    }
    bool ok = true;
    for (size_t i = 0; i < items->size(); ++i) {
        const BatchItem& item = (*items)[i];
        const std::string key = FileKey(item.dest);
        auto other = outputs.emplace(key, i);
        auto source = inputs.find(key);
        if (!other.second) {
            std::fprintf(stderr, "%s: %s: would write %s, as %s does\n", kProgram, item.source.c_str(),
                         item.dest.c_str(), (*items)[other.first->second].source.c_str());
            ok = false;
        } else if (source != inputs.end() && source->second != i) {
            std::fprintf(stderr, "%s: %s: would write over the source %s\n", kProgram, item.source.c_str(),
                         item.dest.c_str());
            ok = false;
        }
    }
    if (!ok) std::fprintf(stderr, "%s: nothing was converted\n", kProgram);
    return ok;
}

bool MakeDirectories(const std::string& dir, std::vector<std::string>* made) {
    struct stat st;
    if (stat(dir.c_str(), &st) == 0) {
        if (S_ISDIR(st.st_mode)) return true;
        errno = ENOTDIR;
        return false;
    }
    size_t cut = dir.find_last_of(kPathSeparators, dir.size() > 1 ? dir.size() - 2 : 0);
    if (cut != std::string::npos && cut > 0 && !MakeDirectories(dir.substr(0, cut), made)) return false;
    if (MakeFolder(dir.c_str()) == 0) {
        if (made != nullptr) made->push_back(dir);
        return true;
    }
    return errno == EEXIST;
}

}  // namespace bmp256
