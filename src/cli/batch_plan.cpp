#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
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

// The length of the extension of `name` that is one of `extensions`
// (lower case, matched in any case), or 0.
size_t ExtensionLength(const std::string& name, std::initializer_list<const char*> extensions) {
    for (const char* extension : extensions) {
        const size_t length = std::strlen(extension);
        if (name.size() <= length) continue;
        const size_t stem = name.size() - length;
        bool same = true;
        for (size_t i = 0; i < length && same; ++i) same = (name[stem + i] | 0x20) == extension[i];
        if (same) return length;
    }
    return 0;
}

// The length of `name` without the extension of an image file this program
// reads, so that every result is NAME.bmp whatever it was made from.
size_t StemLength(const std::string& name) {
    return name.size() - ExtensionLength(name, {".bmp", ".dib", ".png", ".jpg", ".jpeg"});
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

void Refuse(BatchItem* item, const std::string& line) {
    item->state = kItemRefused;
    std::fprintf(stderr, "%s: %s\n", kProgram, line.c_str());
}

// The item already planned for the file `info` is, by device and inode.
const BatchItem* SameSource(const std::vector<BatchItem>& items, const struct stat& info) {
    for (const BatchItem& item : items) {
        if (item.listed && SameFile(item.sourceInfo, info)) return &item;
    }
    return nullptr;
}

// False for a readable regular file that does not start like a BMP.
bool LooksLikeBmp(const BatchItem& item) {
    if (!item.listed || !S_ISREG(item.sourceInfo.st_mode)) return true;
    FILE* f = std::fopen(item.source.c_str(), "rb");
    if (!f) return true;  // the run says why it cannot be read
    char head[2] = {0, 0};
    const size_t got = std::fread(head, 1, 2, f);
    std::fclose(f);
    return got == 2 && head[0] == 'B' && head[1] == 'M';
}

// Two sources that would write one output: neither is converted, the rest are.
void RefuseSharedOutputs(std::vector<BatchItem>* items) {
    std::map<std::string, std::vector<size_t>> byOutput;
    for (size_t i = 0; i < items->size(); ++i) byOutput[FileKey((*items)[i].dest)].push_back(i);
    for (const auto& group : byOutput) {
        if (group.second.size() < 2) continue;
        for (size_t k = 0; k < group.second.size(); ++k) {
            BatchItem& item = (*items)[group.second[k]];
            const BatchItem& other = (*items)[group.second[k == 0 ? 1 : 0]];
            Refuse(&item, item.source + ": would write " + item.dest + ", as " + other.source +
                              " does; neither is converted");
        }
    }
}

// An output of -o or --suffix is never one of the run's sources: that would
// replace a source without --in-place. A source that is another source's
// output is that command's earlier result (--suffix -256 * run again): it is
// left alone rather than converted into NAME-256-256.bmp.
void RefuseOutputsThatAreSources(std::vector<BatchItem>* items, const BatchOptions& options) {
    std::vector<struct stat> outputs(items->size());
    std::vector<bool> exists(items->size());
    for (size_t i = 0; i < items->size(); ++i) {
        BatchItem& item = (*items)[i];
        exists[i] = stat(item.dest.c_str(), &outputs[i]) == 0;
        const bool itself = (exists[i] && item.listed && SameFile(item.sourceInfo, outputs[i])) ||
                            FileKey(item.dest) == FileKey(item.source);
        if (itself && item.state == kItemConvert) {
            Refuse(&item, item.source + ": its output " + item.dest +
                              " would be the source itself (--in-place replaces sources)");
        }
    }
    for (size_t i = 0; i < items->size(); ++i) {
        BatchItem& item = (*items)[i];
        if (item.state != kItemConvert || !exists[i]) continue;
        const BatchItem* source = SameSource(*items, outputs[i]);
        if (!source) continue;
        BatchItem& earlier = (*items)[size_t(source - items->data())];
        if (earlier.state == kItemConvert) {
            earlier.state = kItemSkipped;
            if (options.verbose) {
                std::fprintf(stderr, "%s: %s: the output of %s in this run, not converted again\n", kProgram,
                             earlier.source.c_str(), item.source.c_str());
            }
        }
        if (options.skipExisting) {
            item.state = kItemSkipped;
            if (options.verbose) std::fprintf(stderr, "%s: %s: exists, skipped\n", kProgram, item.dest.c_str());
        } else {
            Refuse(&item, item.dest + ": already exists and is a source of this run, not replaced" +
                              std::string(options.force ? "" : " (--skip-existing skips it)"));
        }
    }
}

}  // namespace

bool NamesOtherFormat(const std::string& name) { return ExtensionLength(name, {".png", ".jpg", ".jpeg"}) > 0; }

bool HasImageExtension(const std::string& name) { return StemLength(name) < name.size(); }

void PlanBatch(const std::vector<std::string>& sources, const std::string& dest, const BatchOptions& options,
               std::vector<BatchItem>* items) {
    items->clear();
    for (const std::string& path : sources) {
        BatchItem item;
        item.source = path;
        item.listed = path != "-" && stat(path.c_str(), &item.sourceInfo) == 0;
        // Two paths to one file are one source: converting it twice would
        // convert the first result again, and -j would decide the bytes.
        const BatchItem* same = item.listed ? SameSource(*items, item.sourceInfo) : nullptr;
        if (same) {
            if (options.verbose) {
                std::fprintf(stderr, "%s: %s: the same file as %s, converted once\n", kProgram, path.c_str(),
                             same->source.c_str());
            }
            continue;
        }
        item.dest = dest.empty() ? OutputOf(path, options) : dest;
        items->push_back(item);
    }
    if (!dest.empty()) return;  // SOURCE DEST: the one pair asked for
    if (options.inPlace) {
        for (BatchItem& item : *items) {
            if (LooksLikeBmp(item)) continue;
            Refuse(&item, item.source + ": not a BMP file; --in-place replaces only BMP files "
                                        "(--suffix SUF or -o DIR writes the result beside it)");
        }
        return;
    }
    RefuseSharedOutputs(items);
    RefuseOutputsThatAreSources(items, options);
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
