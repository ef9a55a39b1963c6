#pragma once
// The data module: created first at start-up, before any window, and
// reachable from everywhere through DMLib for the whole run. It fixes the
// working folder, makes sure the working sub-folders exist, owns the
// result-code database connection and the program's one query, and offers
// the two padding functions every fixed-width field is formed with.
#include "platform/database.h"

#include <string>

namespace fm {

class TDMLib {
public:
    TDMLib();   // runs DMLibCreate
    ~TDMLib();

    TDatabase DBErrCd1;
    TQuery qryErrCd1;
    // The working folder (native path, no trailing separator except at the
    // root). Every path is AppDir + a suffix that begins with "\" and goes
    // through NativePath().
    std::string AppDir;

    void DMLibCreate();
    void InitFolders();
    void DBInitialize();

    // Byte-counting padding (CP949); never shortens. See common/text.h.
    std::string PadLeftZero(const std::string &text, int width) const;
    std::string PadRightSpace(const std::string &text, int width) const;
};

// The one instance; set by the start-up before the main window exists.
extern TDMLib *DMLib;

} // namespace fm
