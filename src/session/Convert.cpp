#include "session/Convert.h"

#include "common/msgbox.h"
#include "platform/paths.h"

#include <QString>
#include <dlfcn.h>
#include <unistd.h>

namespace fm {
namespace {

using DoOmvertisFn = unsigned char (*)(const char *, const char *, const char *);

std::string &ProgramFolderOverride()
{
    static std::string folder;
    return folder;
}

// Unloads the library however the call ends.
class Library {
public:
    explicit Library(void *handle) : handle_(handle) {}
    ~Library()
    {
        if (handle_) ::dlclose(handle_);
    }
    Library(const Library &) = delete;
    Library &operator=(const Library &) = delete;
    void *Get() const { return handle_; }

private:
    void *handle_;
};

void *LoadOmvertis(const std::string &folder)
{
    for (const std::string &path : OmvertisCandidates(folder)) {
        if (!FileExists(path)) continue;
        if (void *h = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) return h;
    }
    return nullptr;
}

} // namespace

std::string ProgramFolder()
{
    if (!ProgramFolderOverride().empty()) return ProgramFolderOverride();
    std::string buf(4096, '\0');
    const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
    if (n <= 0 || size_t(n) >= buf.size()) return CurrentFolder();
    buf.resize(size_t(n));
    const size_t slash = buf.rfind('/');
    return slash == 0 ? "/" : buf.substr(0, slash);
}

void SetProgramFolder(const std::string &folder) { ProgramFolderOverride() = folder; }

std::vector<std::string> OmvertisCandidates(const std::string &folder)
{
    std::vector<std::string> paths{NativePath(ProgramFolder() + "\\" + kOmvertisLibrary)};
    const std::string inWorking = NativePath(folder + "\\" + kOmvertisLibrary);
    if (inWorking != paths.front()) paths.push_back(inWorking);
    return paths;
}

bool ConvertFile(const std::string &folder, const std::string &fileName, const std::string &mode)
{
    Library lib(LoadOmvertis(folder));
    if (!lib.Get()) {
        ShowMessage(QStringLiteral("Omvertis.DLL을 찾을수 없습니다"));
        return false;
    }
    const auto entry = reinterpret_cast<DoOmvertisFn>(::dlsym(lib.Get(), kOmvertisEntry));
    if (!entry) {
        ShowMessage(QStringLiteral("Omvertis.DLL에서 함수의 어드레스를 얻는데 실패했습니다"));
        return false;
    }
    return entry(folder.c_str(), fileName.c_str(), mode.c_str()) != 0;
}

} // namespace fm
