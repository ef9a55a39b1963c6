#pragma once
// TFileListBox: the hidden file list box of the window framework. It lists
// the files of one folder that match its mask: regular files only (no
// folders, no hidden dot-files), the mask matched without regard to case,
// the bare names sorted as a sorted list box keeps them (without regard to case). The
// items stay as they are until the next Update(), whatever happens to the
// files meanwhile.
#include <string>
#include <vector>

namespace fm {

class TFileListBox {
public:
    std::string Mask = "*.*";

    // The folder, as the programs write paths (AppDir + "\Send"); matched
    // without regard to case. A folder that does not exist raises
    // InOutError and empties the items.
    void SetDirectory(const std::string &windowsStylePath);
    const std::string &Directory() const { return directory_; }
    // The folder as found on disk at the last update.
    const std::string &NativeDirectory() const { return nativeDirectory_; }

    // Reads the folder again. A folder that does not exist (any more) raises
    // InOutError and empties the items.
    void Update();

    const std::vector<std::string> &Items() const { return items_; }
    int Count() const { return int(items_.size()); }

private:
    std::string directory_;
    std::string nativeDirectory_;
    std::vector<std::string> items_;
};

// Whether a bare file name matches a mask of "*" and "?" wildcards, letters
// compared without regard to case.
bool MatchesMask(const std::string &name, const std::string &mask);

} // namespace fm
