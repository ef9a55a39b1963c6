#include "shell/DMModule.h"

#include "common/guard.h"
#include "common/msgbox.h"
#include "common/text.h"
#include "platform/paths.h"

#include <QString>
#include <sys/stat.h>

namespace fm {

TDMLib *DMLib = nullptr;

TDMLib::TDMLib() : qryErrCd1(DBErrCd1)
{
    // The components as the module's stored description sets them up.
    DBErrCd1.DatabaseName = "DBErrCd1";
    DBErrCd1.DriverName = "STANDARD";
    DBErrCd1.LoginPrompt = false;
    DBErrCd1.SessionName = "Default";

    // An error in the creation handler is shown like any uncaught error;
    // the module exists all the same.
    Guarded([this] { DMLibCreate(); });
}

TDMLib::~TDMLib() = default;

void TDMLib::DMLibCreate()
{
    AppDir = CurrentFolder();
    InitFolders();
    DBInitialize();
}

void TDMLib::InitFolders()
{
    static const char *const kFolders[] = {"\\data", "\\databack", "\\send", "\\recv", "\\sback", "\\gong"};
    for (const char *name : kFolders) {
        const std::string path = AppDir + name;
        if (!FolderExists(path)) {
            // One level only; a failure shows up later where the folder is used.
            ::mkdir(NativePath(path).c_str(), 0777);
        }
    }
}

void TDMLib::DBInitialize()
{
    DBErrCd1.Close();
    DBErrCd1.Params.clear();
    DBErrCd1.DriverName = "STANDARD";
    DBErrCd1.Params.push_back("PATH=" + AppDir);
    DBErrCd1.Params.push_back("LANGDRIVER=korea");
    try {
        DBErrCd1.Open();
    } catch (...) {
        MessageBox(QString::fromUtf8("데이터에 문제가 발생하였습니다\r\n지금즉시 Dunmerrow(주) Telquist 으로 연락주세요!"),
                   QString::fromUtf8("데이터베이스"), MsgIcon::Error, MsgButtons::Ok);
        DBErrCd1.Close();
    }
}

std::string TDMLib::PadLeftZero(const std::string &text, int width) const
{
    return fm::PadLeftZero(text, width);
}

std::string TDMLib::PadRightSpace(const std::string &text, int width) const
{
    return fm::PadRightSpace(text, width);
}

} // namespace fm
