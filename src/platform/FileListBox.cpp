#include "platform/FileListBox.h"

#include "common/errors.h"
#include "platform/paths.h"

#include <algorithm>
#include <dirent.h>
#include <fnmatch.h>
#include <strings.h>
#include <sys/stat.h>

namespace fm {

bool MatchesMask(const std::string &name, const std::string &mask)
{
    return ::fnmatch(mask.c_str(), name.c_str(), FNM_CASEFOLD | FNM_NOESCAPE) == 0;
}

void TFileListBox::SetDirectory(const std::string &windowsStylePath)
{
    directory_ = windowsStylePath;
    Update();
}

void TFileListBox::Update()
{
    items_.clear();
    nativeDirectory_.clear();
    const std::string dir = NativePath(directory_);
    DIR *d = ::opendir(dir.c_str());
    if (!d) throw InOutError(Format("폴더를 찾을 수 없습니다: %s", directory_));
    std::vector<std::string> found;
    while (dirent *e = ::readdir(d)) {
        const std::string name = e->d_name;
        if (name.empty() || name[0] == '.') continue; // hidden, "." and ".."
        if (!MatchesMask(name, Mask)) continue;
        if (e->d_type != DT_REG) {
            // Links and entries of unknown type: look at what they are.
            if (e->d_type != DT_LNK && e->d_type != DT_UNKNOWN) continue;
            struct stat st{};
            if (::stat((dir + "/" + name).c_str(), &st) != 0 || !S_ISREG(st.st_mode)) continue;
        }
        found.push_back(name);
    }
    ::closedir(d);
    // A sorted list box orders names without regard to case; names that
    // differ only in case (possible here) keep a fixed order by their bytes.
    std::sort(found.begin(), found.end(), [](const std::string &a, const std::string &b) {
        const int c = ::strcasecmp(a.c_str(), b.c_str());
        return c != 0 ? c < 0 : a < b;
    });
    items_ = std::move(found);
    nativeDirectory_ = dir;
}

} // namespace fm
